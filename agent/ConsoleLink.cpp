#include "agent/ConsoleLink.h"

#include "net/ChannelClient.h"
#include "net/DatagramHub.h"
#include "net/SocketOptions.h"
#include "protocol/MouseDatagram.h"

#include <QtDebug>
#include <algorithm>

namespace {

constexpr int kFirstDelayMs = 1000;
constexpr int kMaxDelayMs = 30000;
constexpr int kConnectTimeoutMs = 10000;
// Bytes Qt holds for us between reads; the rest waits in the kernel.
constexpr qint64 kReadBuffer = 64 * 1024;
constexpr int kKeepAliveIdle = 10;
constexpr int kKeepAliveInterval = 5;
constexpr int kKeepAliveCount = 3;
// A console announces itself every 5 s: three missed beacons and it has left.
constexpr int kBeaconLapseMs = 3 * 5000;
// Refused hosts remembered; a host that makes up addresses cannot grow the list without end.
constexpr qsizetype kMaxRefused = 256;

} // namespace

ConsoleLink::ConsoleLink(const AgentSettings &settings, QObject *parent)
    : QObject(parent), m_settings(settings), m_firstDelay(kFirstDelayMs), m_maxDelay(kMaxDelayMs),
      m_delay(kFirstDelayMs), m_trust(settings)
{
    if (settings.usesChannel()) {
        m_channel = std::make_unique<ChannelClient>(
            m_socket, [this](const QString &key) { return m_trust.accepts(key); });
        connect(m_channel.get(), &ChannelClient::established, this, &ConsoleLink::onEstablished);
        connect(m_channel.get(), &ChannelClient::messageReceived, this,
                &ConsoleLink::messageReceived);
        connect(m_channel.get(), &ChannelClient::failed, this, &ConsoleLink::onChannelFailed);
    }
    m_retry.setSingleShot(true);
    m_connectTimeout.setSingleShot(true);
    m_connectTimeout.setInterval(kConnectTimeoutMs);
    m_socket.setReadBufferSize(kReadBuffer);
    connect(&m_retry, &QTimer::timeout, this, &ConsoleLink::attempt);
    connect(&m_connectTimeout, &QTimer::timeout, this, [this] {
        m_socket.abort();
        onEnded();
    });
    connect(&m_socket, &QTcpSocket::connected, this, &ConsoleLink::onConnected);
    connect(&m_socket, &QTcpSocket::readyRead, this,
            [this] { m_channel ? m_channel->readAvailable() : onReadyRead(); });
    connect(&m_socket, &QTcpSocket::disconnected, this, &ConsoleLink::onEnded);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_socket.state() != QAbstractSocket::ConnectedState) {
            onEnded();
        }
    });
}

ConsoleLink::~ConsoleLink()
{
    if (m_lookup >= 0) {
        QHostInfo::abortHostLookup(m_lookup);
    }
    m_socket.disconnect(this);
    m_socket.abort();
}

void ConsoleLink::setRetryDelays(int firstMs, int maxMs)
{
    m_firstDelay = firstMs;
    m_maxDelay = maxMs;
    m_delay = firstMs;
}

void ConsoleLink::start()
{
    attempt();
}

void ConsoleLink::attempt()
{
    if (m_socket.state() != QAbstractSocket::UnconnectedState || m_lookup >= 0) {
        return;
    }
    if (m_settings.console.isEmpty()) {
        QString error;
        if (!m_beacons) {
            m_beacons = DatagramHub::acquire(m_settings.mousePort, &error);
        }
        if (!m_beacons) {
            qWarning().noquote() << "cannot listen for beacons on UDP port" << m_settings.mousePort
                                 << error;
            retryLater();
            return;
        }
        connect(m_beacons.get(), &DatagramHub::datagramReceived, this, &ConsoleLink::onBeacon,
                Qt::UniqueConnection);
        // The console found before still announces itself: back to it without waiting.
        if (!m_found.isNull() && m_foundHeard.elapsed() < kBeaconLapseMs) {
            connectTo(m_found);
        }
        return;
    }
    const QHostAddress address(m_settings.console);
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        connectTo(address);
        return;
    }
    m_lookup = QHostInfo::lookupHost(m_settings.console, this, &ConsoleLink::onResolved);
}

void ConsoleLink::onResolved(const QHostInfo &info)
{
    m_lookup = -1;
    const QList<QHostAddress> addresses = info.addresses();
    const auto ipv4 = std::find_if(addresses.begin(), addresses.end(), [](const QHostAddress &a) {
        return a.protocol() == QAbstractSocket::IPv4Protocol;
    });
    if (ipv4 == addresses.end()) {
        qWarning().noquote() << "cannot find the console" << m_settings.console
                             << info.errorString();
        retryLater();
        return;
    }
    connectTo(*ipv4);
}

// The beacons are heard while connected too, to know that the console found is still there.
void ConsoleLink::onBeacon(const QByteArray &data, const QHostAddress &sender)
{
    if (!m_beacons || MouseDatagram::parse(data).kind != MouseDatagram::Kind::Beacon) {
        return;
    }
    const QHostAddress console(sender.toIPv4Address());
    if (console == m_found) {
        m_foundHeard.start();
    }
    if (m_socket.state() != QAbstractSocket::UnconnectedState || m_retry.isActive()) {
        return;
    }
    if (!m_found.isNull() && console != m_found && m_foundHeard.elapsed() < kBeaconLapseMs) {
        return;
    }
    if (m_refused.contains(console.toIPv4Address())) {
        return;
    }
    qInfo().noquote() << "beacon from" << console.toString();
    connectTo(console);
}

void ConsoleLink::connectTo(const QHostAddress &address)
{
    m_connectTimeout.start();
    m_socket.connectToHost(address, m_channel ? m_settings.agentPort : m_settings.commandPort);
}

// The connection timeout covers the handshake too: a host that accepts and says nothing is left.
void ConsoleLink::onConnected()
{
    if (m_channel) {
        m_channel->start();
        return;
    }
    onEstablished();
}

void ConsoleLink::onChannelFailed(const QString &reason, bool keyRefused)
{
    const QHostAddress console = m_socket.peerAddress();
    if (keyRefused) {
        qWarning().noquote() << "refused the console at" << console.toString() + ":" << reason
                             << "(" + m_trust.trusted() +
                                    " is trusted); tried again later, never in plaintext";
        if (m_beacons && m_refused.size() < kMaxRefused) {
            m_refused.insert(console.toIPv4Address());
        }
    } else {
        qWarning().noquote() << "the trusted channel to"
                             << console.toString() + " failed:" << reason;
    }
    m_socket.abort();
    onEnded();
}

void ConsoleLink::onEstablished()
{
    m_connectTimeout.stop();
    if (m_channel) {
        m_trust.confirm(m_channel->fingerprint());
    }
    m_wasConnected = true;
    m_connectedFor.start();
    if (m_beacons) {
        m_found = m_socket.peerAddress();
        m_foundHeard.start();
    }
    SocketOptions::setKeepAlive(m_socket.socketDescriptor(), kKeepAliveIdle, kKeepAliveInterval,
                                kKeepAliveCount);
    qInfo().noquote() << "connected to the console" << m_socket.peerAddress().toString()
                      << m_socket.peerPort()
                      << (m_channel ? "through the trusted channel" : "in plaintext");
    emit connected();
}

void ConsoleLink::onReadyRead()
{
    const QByteArray bytes = m_socket.readAll();
    if (!bytes.isEmpty()) {
        emit bytesReceived(bytes);
    }
}

void ConsoleLink::onEnded()
{
    m_connectTimeout.stop();
    if (m_retry.isActive()) {
        return;
    }
    // Commands that came with the close are still obeyed.
    if (m_socket.bytesAvailable() > 0) {
        m_channel ? m_channel->readAvailable() : onReadyRead();
    }
    const bool wasConnected = m_wasConnected;
    m_wasConnected = false;
    if (wasConnected && m_connectedFor.elapsed() >= m_maxDelay) {
        m_delay = m_firstDelay;
    }
    // Scheduled first: the abort may report the end once more, and that report must find it.
    retryLater();
    m_socket.abort();
    if (wasConnected) {
        qInfo("the console connection ended");
        emit disconnected();
    }
}

void ConsoleLink::send(const ChannelMessage &message)
{
    if (m_channel) {
        m_channel->send(message);
    }
}

void ConsoleLink::retryLater()
{
    m_retry.start(m_delay);
    m_delay = std::min(m_delay * 2, m_maxDelay);
}
