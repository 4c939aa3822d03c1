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
    if (!m_roster->hasRow(index))
        return;
    const QByteArray name = m_roster->caption(index);
    const int count = m_server->ConnectionCount();
    for (int i = 0; i < count; ++i) {
        TServerClientWinSocket *connection = m_server->ConnectionAt(i);
        if (!connection->IsOpen())
            continue;
        if (connection->PeerName() == name) {
            connection->WriteText(text);
            return;
        }
    }
}
