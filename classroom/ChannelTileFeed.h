#pragma once

#include <QByteArray>
#include <QSet>
#include <QSize>

#include "classroom/TileFeed.h"

class AgentChannel;

// The wall's pictures of students on the trusted channel: each is asked with `wall` (on, with the
// tile's size, again whenever the size changes; off when its tile goes) and sends its screen's
// small picture as a `tile` message when it changed. Nothing travels outside the channel, so
// no other host can put a picture on its tile; a tile from an agent not asked, or over the
// bound, is dropped unread.
class ChannelTileFeed : public TileFeed
{
    Q_OBJECT

public:
    explicit ChannelTileFeed(AgentChannel &agents, QObject *parent = nullptr);

    // The rows the channel links.
    bool serves(quint64 key) const override;
    void start(quint64 key) override;
    void stop(quint64 key) override;
    void setTileSize(int width, int height) override;

private:
    void tileReceived(quint64 key, const QByteArray &jpeg);
    void ask(quint64 key, bool on) const;

    AgentChannel &m_agents;
    QSet<quint64> m_asked;
    QSize m_tile;
};
