#include "classroom/PlaintextLinks.h"

#include "classroom/CommandPacer.h"
#include "net/TServerClientWinSocket.h"
#include "net/TServerWinSocket.h"

PlaintextLinks::PlaintextLinks(TServerWinSocket *server)
    : m_server(server), m_pacer(std::make_unique<CommandPacer>())
{
}

PlaintextLinks::~PlaintextLinks() = default;

bool PlaintextLinks::sendText(quint64 key, const QByteArray &text)
{
    TServerClientWinSocket *connection = connectionOf(key);
    if (!connection)
        return false;
    m_pacer->write(connection, text);
    return true;
}

int PlaintextLinks::sendTextToAll(const QByteArray &text)
{
    if (!m_server)
        return 0;
    const int count = m_server->ConnectionCount();
    int written = 0;
    for (int i = 0; i < count; ++i) {
        TServerClientWinSocket *connection = m_server->ConnectionAt(i);
        if (connection->IsOpen()) {
            m_pacer->write(connection, text);
            ++written;
        }
    }
    return written;
}

void PlaintextLinks::sendHeldNow()
{
    m_pacer->writeHeldNow();
}

// Other connections are only compared by key, never asked anything, so one that was reset
// cannot stand in the way.
TServerClientWinSocket *PlaintextLinks::connectionOf(quint64 key) const
{
    if (key == 0 || !m_server)
        return nullptr;
    const int count = m_server->ConnectionCount();
    for (int i = 0; i < count; ++i) {
        TServerClientWinSocket *connection = m_server->ConnectionAt(i);
        if (connection->ConnectionId() == key)
            return connection->IsOpen() ? connection : nullptr;
    }
    return nullptr;
}
