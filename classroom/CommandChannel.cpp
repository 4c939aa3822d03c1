#include "classroom/CommandChannel.h"

#include "classroom/RosterModel.h"
#include "net/TServerClientWinSocket.h"
#include "net/TServerWinSocket.h"

CommandChannel::CommandChannel(TServerWinSocket *server, const RosterModel *roster)
    : m_server(server), m_roster(roster)
{
}

void CommandChannel::SendToAll(const QByteArray &text) const
{
    const int count = m_server->ConnectionCount();
    for (int i = 0; i < count; ++i) {
        TServerClientWinSocket *connection = m_server->ConnectionAt(i);
        if (connection->IsOpen())
            connection->WriteText(text);
    }
}

void CommandChannel::SendToRow(int index, const QByteArray &text) const
{
    if (m_roster->hasRow(index))
        SendToKey(m_roster->key(index), text);
}

void CommandChannel::SendToKey(quint64 key, const QByteArray &text) const
{
    if (TServerClientWinSocket *connection = connectionOf(key))
        connection->WriteText(text);
}

// Other connections are only compared by key, never asked anything, so one that was reset
// cannot stand in the way.
TServerClientWinSocket *CommandChannel::connectionOf(quint64 key) const
{
    if (key == 0)
        return nullptr;
    const int count = m_server->ConnectionCount();
    for (int i = 0; i < count; ++i) {
        TServerClientWinSocket *connection = m_server->ConnectionAt(i);
        if (connection->ConnectionId() == key)
            return connection->IsOpen() ? connection : nullptr;
    }
    return nullptr;
}
