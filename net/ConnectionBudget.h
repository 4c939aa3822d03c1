#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QtGlobal>

// Keeps one server's connections within what the process can hold: a few per source address
// and a total below the descriptor limit. Each server owns one, so the students of one server
// are counted apart from another's and can never be crowded out by its connections.
//
// When the total is reached, a source that holds nothing yet is let in at the expense of the
// source holding the most (its newest connection), then of a connection that talks: a student
// never sends on its command connection. A quiet source's only connection is never given up.
class ConnectionBudget
{
public:
    struct Bounds
    {
        int perSource;
        int total;
    };
    // A student computer holds one command connection, and a second for a while after its
    // agent restarted (until keep-alive ends the old one); four leave room for a computer
    // shared by a few sessions. The total is far above a school's rooms and above the addresses
    // one host of a classroom subnet can answer for, yet cheap for the window's event loop.
    static constexpr Bounds kCommandServer{4, 4096};
    // Descriptors left for everything that is not a student: the display, files, UDP sockets.
    static constexpr int kHeadroom = 48;

    explicit ConnectionBudget(Bounds bounds = kCommandServer) : m_bounds(bounds) {}

    const Bounds &bounds() const { return m_bounds; }
    // How many connections may be held now: the total, lowered by the soft descriptor limit.
    int capacity() const;

    bool sourceFull(quint32 source) const { return count(source) >= m_bounds.perSource; }
    int count(quint32 source) const;
    bool full() const { return full(capacity()); }
    // Against a capacity read once for a batch of accepts.
    bool full(int capacity) const { return total() >= capacity; }
    int total() const { return int(m_held.size()); }

    // The connection to give up for a source that holds nothing yet; 0 when none may go.
    quint64 victim() const;
    // Connections are named by ids that are never 0 and never reused.
    void add(quint32 source, quint64 id);
    // Forgetting an id that is not held does nothing.
    void remove(quint64 id);
    // The connection sent bytes, which no student does on this connection.
    void markTalkative(quint64 id);

private:
    struct Held
    {
        quint32 source;
        bool talkative;
    };

    Bounds m_bounds;
    QHash<quint64, Held> m_held;
    // Each source's connections in order of arrival.
    QHash<quint32, QList<quint64>> m_bySource;
    QSet<quint64> m_talkative;
};
