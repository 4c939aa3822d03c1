#include "net/ScreenSender.h"

#include "protocol/Chunks.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDefaultFps = 2.0;
constexpr double kMinFps = 0.01;
constexpr double kMaxFps = 50.0;
constexpr double kMillisecondsPerSecond = 1000.0;

} // namespace

ScreenSender::ScreenSender(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    setFramesPerSecond(kDefaultFps);
    connect(&m_timer, &QTimer::timeout, this, &ScreenSender::sendFrame);
}

void ScreenSender::setFramesPerSecond(double fps)
{
    // NaN fails every comparison and would slip through std::clamp.
    const double rate = std::isnan(fps) ? kDefaultFps : std::clamp(fps, kMinFps, kMaxFps);
    m_timer.setInterval(static_cast<int>(std::lround(kMillisecondsPerSecond / rate)));
}

void ScreenSender::setDestination(const QHostAddress &console, quint16 port)
{
    m_console = console;
    m_port = port;
}

void ScreenSender::start()
{
    if (m_timer.isActive() || !ensureBound()) {
        return;
    }
    m_timer.start();
    sendFrame();
}

void ScreenSender::stop()
{
    m_timer.stop();
}

bool ScreenSender::sendFile(QByteArrayView file)
{
    if (!ensureBound()) {
        return false;
    }
    for (const QByteArray &piece : chunks::cut(file)) {
        if (m_socket.writeDatagram(piece, m_console, m_port) != piece.size()) {
            emit failed(QStringLiteral("datagram not sent: %1").arg(m_socket.errorString()));
            return false;
        }
    }
    return true;
}

bool ScreenSender::ensureBound()
{
    if (m_socket.state() == QAbstractSocket::BoundState) {
        return true;
    }
    // Sent from the student's own address: the console drops datagrams from its own.
    if (!m_socket.bind(m_source.isNull() ? QHostAddress(QHostAddress::AnyIPv4) : m_source, 0)) {
        emit failed(
            QStringLiteral("cannot bind the screen socket: %1").arg(m_socket.errorString()));
        return false;
    }
    return true;
}

void ScreenSender::sendFrame()
{
    const QByteArray file = m_producer ? m_producer() : QByteArray();
    if (file.isEmpty()) {
        emit failed(QStringLiteral("cannot encode the screen"));
        return;
    }
    if (sendFile(file)) {
        ++m_framesSent;
    }
}
