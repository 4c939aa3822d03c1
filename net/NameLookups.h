#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class QThreadPool;

// The names of the peers' addresses, asked of the name service off the window's thread: each
// address once while its answer is fresh, however many connections it has; the newest question
// first, so that a crowd of connections whose addresses a silent name server never names cannot
// keep a newcomer's name waiting behind them; nothing asked for a connection that left.
class NameLookups : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(const QByteArray &name)>;

    // The one instance, living on the thread that first asks (the application's).
    static NameLookups &instance();

    // done gets the name on this thread: at once when it is known, else when the answer comes,
    // unless context is gone or the ticket was cancelled by then. Returns that ticket (0 when
    // answered at once).
    quint64 request(quint32 address, const QObject *context, Done done);
    // The asker wants the answer no more; a question nobody waits for is not asked.
    void cancel(quint64 ticket);
    // Drops every name kept: the lookup itself was replaced.
    void forgetNames();
    // Waits, delivering answers, until nothing is asked or waiting; false when time ran out.
    bool waitForIdle(int timeoutMs);

private:
    struct Waiter
    {
        quint64 ticket;
        QPointer<const QObject> context;
        Done done;
    };
    struct Entry
    {
        QByteArray name;
        qint64 expiresMs = 0;
        bool known = false;
        bool asking = false;
        QList<Waiter> waiters;
    };

    NameLookups();
    void askNext();
    void answered(quint32 address, const QByteArray &name, quint64 generation);
    bool stillWanted(Entry &entry);
    void trim();

    QThreadPool *m_pool;
    QElapsedTimer m_clock;
    QHash<quint32, Entry> m_entries;
    // Addresses to ask, the newest last: the next one asked is taken from the end.
    QList<quint32> m_queue;
    QHash<quint64, quint32> m_tickets;
    quint64 m_lastTicket = 0;
    quint64 m_generation = 0;
    int m_asking = 0;
};
