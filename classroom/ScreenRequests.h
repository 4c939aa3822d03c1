#pragma once

#include <QHash>
#include <QObject>

class CommandChannel;
class RosterModel;

// Who wants a student's screen sent: the monitor window (single monitoring and the rotation)
// and the screen wall each ask and let go on their own. A student is told "SCREEN" when the first
// asks and "NOTSCREEN" when the last lets go, so neither stops what the other still shows.
class ScreenRequests : public QObject
{
    Q_OBJECT

public:
    enum Asker : unsigned { Monitor = 1, Wall = 2 };

    ScreenRequests(const CommandChannel &channel, QObject *parent = nullptr);

    // "SCREEN" unless someone already asks; a key with no row (0: nobody) asks nothing.
    void ask(quint64 key, Asker asker);
    // "NOTSCREEN" unless someone else still asks, also when this asker had not asked: a student
    // told to send by anyone before keeps sending otherwise.
    void release(quint64 key, Asker asker);

    const RosterModel &roster() const;

private:
    const CommandChannel &m_channel;
    // The askers of each student still asked, as bits; a row that goes takes its entry along.
    QHash<quint64, unsigned> m_askers;
};
