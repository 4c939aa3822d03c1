#include "classroom/CommandChannel.h"

#include "classroom/CommandLog.h"
#include "classroom/CommandPacer.h"
#include "classroom/RosterModel.h"
#include "net/TServerClientWinSocket.h"
#include "net/TServerWinSocket.h"

CommandChannel::CommandChannel(TServerWinSocket *server, const RosterModel *roster)
    : m_server(server), m_roster(roster), m_pacer(std::make_unique<CommandPacer>())
{
}

CommandChannel::~CommandChannel() = default;

void CommandChannel::sendHeldNow() const
{
    m_pacer->writeHeldNow();
}

void CommandChannel::SendToAll(const QByteArray &text) const
{
    const int count = m_server->ConnectionCount();
    int written = 0;
    for (int i = 0; i < count; ++i) {
        TServerClientWinSocket *connection = m_server->ConnectionAt(i);
        if (connection->IsOpen()) {
            m_pacer->write(connection, text);
            ++written;
        }
    }
    commandlog::sent(text, commandlog::allStudents(written));
}

void CommandChannel::SendToRow(int index, const QByteArray &text) const
{
    if (m_roster->hasRow(index))
        SendToKey(m_roster->key(index), text);
}

void CommandChannel::SendToKey(quint64 key, const QByteArray &text) const
{
    TServerClientWinSocket *connection = connectionOf(key);
    const int row = m_roster->rowOfKey(key);
    if (!connection || row < 0)
        return;
    commandlog::sent(text,
                     commandlog::student(m_roster->caption(row),
                                         m_roster->subItem(row, RosterModel::AddressColumn - 1)));
    m_pacer->write(connection, text);
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
