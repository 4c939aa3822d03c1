#include "protocol/WallSender.h"

#include "system/Guard.h"

#include <algorithm>

WallSender::WallSender(Screen screen, QObject *parent)
    : QObject(parent), m_screen(std::move(screen))
{
    // Never early: two looks are a whole interval apart.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &WallSender::look);
}

// A wall left and shown again within the second waits for the rest of it.
void WallSender::setTile(QSize tile)
{
    if (tile.isEmpty())
        tile = QSize();
    if (tile == m_tile)
        return;
    const bool wasSending = isSending();
    m_tile = tile;
    if (!isSending()) {
        m_timer.stop();
        m_picture.forget();
    } else if (!wasSending) {
        const qint64 since = m_lastLook.isValid() ? m_lastLook.elapsed() : kIntervalMs;
        m_timer.start(int(std::max<qint64>(0, kIntervalMs - since)));
    }
}

void WallSender::look()
{
    if (!isSending())
        return;
    m_lastLook.start();
    m_timer.start(kIntervalMs);
    guard::run([this] {
        const QByteArray jpeg = m_picture.make(m_screen(), m_tile);
        if (jpeg.isEmpty() || !m_sink)
            return;
        ++m_sent;
        m_sink(jpeg);
    });
}
