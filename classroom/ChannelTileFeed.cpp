#include "classroom/ChannelTileFeed.h"

#include "classroom/AgentChannel.h"
#include "net/ChannelServer.h"
#include "protocol/ChannelMessage.h"

ChannelTileFeed::ChannelTileFeed(AgentChannel &agents, QObject *parent)
    : TileFeed(parent), m_agents(agents)
{
    connect(&agents, &AgentChannel::tileReceived, this, &ChannelTileFeed::tileReceived);
}

bool ChannelTileFeed::serves(quint64 key) const
{
    const ChannelServer *server = m_agents.server();
    return server != nullptr && server->agents().contains(key);
}

void ChannelTileFeed::start(quint64 key)
{
    if (m_asked.contains(key))
        return;
    m_asked.insert(key);
    ask(key, true);
}

// An agent already gone is not there to tell: the channel's end stops its tiles with it.
void ChannelTileFeed::stop(quint64 key)
{
    if (m_asked.remove(key))
        ask(key, false);
}

void ChannelTileFeed::setTileSize(int width, int height)
{
    const QSize tile(width, height);
    if (tile == m_tile)
        return;
    m_tile = tile;
    for (const quint64 key : std::as_const(m_asked))
        ask(key, true);
}

void ChannelTileFeed::ask(quint64 key, bool on) const
{
    ChannelServer *server = m_agents.server();
    if (server == nullptr)
        return;
    ChannelMessage wall;
    wall.kind = ChannelMessage::Kind::Wall;
    wall.on = on;
    wall.tile = on ? m_tile : QSize();
    server->send(key, wall);
}

void ChannelTileFeed::tileReceived(quint64 key, const QByteArray &jpeg)
{
    if (m_asked.contains(key) && jpeg.size() <= ChannelMessage::kMaxTile)
        emit fileArrived(key, jpeg);
}
