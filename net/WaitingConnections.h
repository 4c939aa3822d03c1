#pragma once

#include <QList>
#include <optional>

#include "net/TServerClientWinSocket.h"

// Connections accepted whose connect event has not been raised yet, in order of acceptance.
// They are held by their sockets alone; those whose peer gives up are found and closed here.
class WaitingConnections
{
public:
    bool isEmpty() const { return m_waiting.isEmpty(); }
    void append(const AcceptedConnection &accepted) { m_waiting.append(accepted); }
    AcceptedConnection takeFirst() { return m_waiting.takeFirst(); }
    // Closes the one of this id, if it waits here, and tells what it was.
    std::optional<AcceptedConnection> close(quint64 id);
    // Closes those whose peer reset or closed its end, and tells what they were.
    QList<AcceptedConnection> closeHungUp();
    // Closes every one, and tells what they were.
    QList<AcceptedConnection> closeAll();

private:
    QList<AcceptedConnection> m_waiting;
};
