#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One console per user: the first copy listens on a per-user local socket; a copy started
// later connects to it, which asks the first to come to the front, and then ends.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(const QString &socketPath, QObject *parent = nullptr);

    // $XDG_RUNTIME_DIR/velmora-teacher-<uid>.socket; the temporary folder when it is unset.
    static QString defaultSocketPath();

    // True when this is the first copy, which now listens (or, should listening fail, runs on
    // alone); false when a running copy was reached and asked to come forward.
    bool claim();

signals:
    void activationRequested();

private:
    void acceptAll();

    QString m_path;
    QLocalServer *m_server = nullptr;
};
