#pragma once

#include "protocol/WallTile.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSize>
#include <QTimer>
#include <functional>

// A student's part of the screen wall: while the console asks for tiles, the screen is looked at
// once a second, never more often, and its small picture handed on only when it changed.
class WallSender : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 1000;

    // The screen now, valid until the next call; without pixels when it cannot be had.
    using Screen = std::function<WallTile::Screen()>;
    using Sink = std::function<void(const QByteArray &jpeg)>;

    explicit WallSender(Screen screen, QObject *parent = nullptr);

    void setSink(Sink sink) { m_sink = std::move(sink); }
    // Tiles of this size from now on; an empty size stops them, and the next start sends the
    // picture even where it did not change (the console has forgotten it).
    void setTile(QSize tile);
    bool isSending() const { return !m_tile.isEmpty(); }
    int tilesSent() const { return m_sent; }

private:
    void look();

    Screen m_screen;
    Sink m_sink;
    QSize m_tile;
    QTimer m_timer;
    QElapsedTimer m_lastLook;
    WallTile m_picture;
    int m_sent = 0;
};
