#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QString>

// The journal's lines about what came from the console, one per kind per burst: the first of a
// kind is written at once, and the burst's end (the stream falling quiet, the connection
// ending, or a minute of a stream that never falls quiet) writes how many more followed. A
// flood costs the journal a few lines, not one per text.
class BurstLog
{
public:
    // Counts one of the kind ("command STOP", "unknown bytes") and its bytes; true when it is the
    // first of its kind in this burst, for the caller to write its line.
    bool note(const QString &kind, qint64 bytes);
    // Ends the burst; returns the bytes it held.
    qint64 endBurst();

private:
    struct Entry
    {
        QString kind;
        qint64 count = 0;
        qint64 bytes = 0;
    };

    QList<Entry> m_entries;
    QElapsedTimer m_started;
};
