#include "net/WaitingConnections.h"

#include <poll.h>
#include <unistd.h>

std::optional<AcceptedConnection> WaitingConnections::close(quint64 id)
{
    for (qsizetype i = 0; i < m_waiting.size(); ++i) {
        if (m_waiting.at(i).id != id)
            continue;
        const AcceptedConnection gone = m_waiting.takeAt(i);
        ::close(gone.handle);
        return gone;
    }
    return std::nullopt;
}

QList<AcceptedConnection> WaitingConnections::closeHungUp()
{
    QList<AcceptedConnection> gone;
    if (m_waiting.isEmpty())
        return gone;
    QList<pollfd> polled;
    polled.reserve(m_waiting.size());
    for (const AcceptedConnection &waiting : std::as_const(m_waiting))
        polled.append({waiting.handle, POLLRDHUP, 0});
    if (::poll(polled.data(), nfds_t(polled.size()), 0) <= 0)
        return gone;
    QList<AcceptedConnection> alive;
    alive.reserve(m_waiting.size());
    for (qsizetype i = 0; i < m_waiting.size(); ++i) {
        const AcceptedConnection &waiting = m_waiting.at(i);
        if (polled.at(i).revents & (POLLRDHUP | POLLHUP | POLLERR)) {
            ::close(waiting.handle);
            gone.append(waiting);
        } else {
            alive.append(waiting);
        }
    }
    m_waiting.swap(alive);
    return gone;
}

QList<AcceptedConnection> WaitingConnections::closeAll()
{
    for (const AcceptedConnection &waiting : std::as_const(m_waiting))
        ::close(waiting.handle);
    return std::exchange(m_waiting, {});
}
