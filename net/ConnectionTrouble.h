#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <functional>

class QTimer;

// Gathers the student connections that ended without a word (failed, reset, refused, or given
// up to make room) into one line per burst: a storm of resets must cost neither a box nor a
// line per connection, yet the admin can read that it happened.
class ConnectionTrouble : public QObject
{
    Q_OBJECT

public:
    // The burst's line goes to report.
    explicit ConnectionTrouble(std::function<void(const QString &line)> report,
                               QObject *parent = nullptr);

    void failed(quint32 source);
    void refused(quint32 source);
    void evicted(quint32 source);
    // Writes the burst's line now, if there is one.
    void flush();

private:
    void note(quint32 source, int &counter);

    std::function<void(const QString &)> m_report;
    QTimer *m_quiet;
    QElapsedTimer m_since;
    int m_failed = 0;
    int m_refused = 0;
    int m_evicted = 0;
    QSet<quint32> m_sources;
};
