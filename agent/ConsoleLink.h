#pragma once

#include "agent/AgentSettings.h"
#include "agent/ConsoleTrust.h"
#include "protocol/ChannelMessage.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QObject>
#include <QSet>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

class ChannelClient;
class DatagramHub;

// The command connection to the console: found at the configured address (or name), or at the
// sender of a beacon where the admin allows that; kept up by reconnecting after a growing pause
// (1 s doubling to 30 s), so it never spins. Discovery sticks to the console it is connected to,
// or was last connected to, for as long as that console goes on announcing itself: a host that
// beacons faster cannot take the agent over while the teacher's console is there. The pause starts
// again from 1 s only after a connection that lasted longer than the longest pause: a console that
// accepts and drops at once is retried ever more slowly too.
//
// Where the settings trust a console key, the link is the trusted channel on the agent port and
// nothing else: it counts as connected once the console presented that key, and a console that
// presents another is refused (logged, retried after the pause, never reached in plaintext);
// discovery follows no beacon of a host that was refused.
class ConsoleLink : public QObject
{
    Q_OBJECT

public:
    ConsoleLink(const AgentSettings &settings, QObject *parent = nullptr);
    ~ConsoleLink() override;

    void start();
    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    // The console's and our own address on the connection (null while not connected).
    QHostAddress consoleAddress() const { return m_socket.peerAddress(); }
    QHostAddress localAddress() const { return m_socket.localAddress(); }
    bool usesChannel() const { return m_channel != nullptr; }
    // On the channel, once connected; nothing otherwise.
    void send(const ChannelMessage &message);
    // The pause before the next attempt.
    int retryDelay() const { return m_delay; }
    // Tests shorten the pauses.
    void setRetryDelays(int firstMs, int maxMs);

signals:
    void connected();
    void bytesReceived(const QByteArray &bytes);
    // A message of the trusted channel.
    void messageReceived(const ChannelMessage &message);
    // The connection that was up has ended; a new attempt is already scheduled.
    void disconnected();

private:
    void attempt();
    void onResolved(const QHostInfo &info);
    void onBeacon(const QByteArray &data, const QHostAddress &sender);
    void connectTo(const QHostAddress &address);
    void onConnected();
    void onEstablished();
    void onChannelFailed(const QString &reason, bool keyRefused);
    void onReadyRead();
    void onEnded();
    void retryLater();

    AgentSettings m_settings;
    QTcpSocket m_socket;
    QTimer m_retry;
    QTimer m_connectTimeout;
    int m_firstDelay;
    int m_maxDelay;
    int m_delay;
    int m_lookup = -1;
    bool m_wasConnected = false;
    QElapsedTimer m_connectedFor;
    std::shared_ptr<DatagramHub> m_beacons;
    // The console found by its beacon that the agent was last connected to, and when it was
    // last heard (or connected).
    QHostAddress m_found;
    QElapsedTimer m_foundHeard;
    ConsoleTrust m_trust;
    std::unique_ptr<ChannelClient> m_channel;
    // Hosts that presented a key not trusted: their beacons are not followed again.
    QSet<quint32> m_refused;
};
