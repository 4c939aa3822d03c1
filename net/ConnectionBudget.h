#pragma once

#include <QHash>
#include <QtGlobal>

// Keeps the command server within what the process can hold: a bound per source address and
// one in total, below the descriptor limit, so that a room of students always fits.
class ConnectionBudget
{
public:
    // One computer has no use for more; a flood from one host then cannot crowd out the room.
    static constexpr int kPerSource = 16;
    // Several rooms of students; far above a classroom, far below what would slow the window.
    static constexpr int kMostConnections = 2000;
    // Descriptors left for everything that is not a student: the display, files, UDP sockets.
    static constexpr int kHeadroom = 48;

    // How many connections may be held now, from the current soft descriptor limit.
    static int capacity();

    bool sourceFull(quint32 source) const { return m_perSource.value(source) >= kPerSource; }
    int count(quint32 source) const { return m_perSource.value(source); }
    bool full() const { return full(capacity()); }
    // Against a capacity read once for a batch of accepts.
    bool full(int capacity) const { return m_total >= capacity; }
    void add(quint32 source);
    void remove(quint32 source);
    int total() const { return m_total; }

private:
    QHash<quint32, int> m_perSource;
    int m_total = 0;
};
