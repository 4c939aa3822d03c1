#include "SimulatedChannel.h"

#include "protocol/CommandParser.h"
#include "protocol/KeyFingerprint.h"

#include <QtEndian>

SimulatedChannel::SimulatedChannel(QTcpSocket &socket, const QString &fingerprint, QObject *parent)
    : QObject(parent),
      m_client(socket, [want = keyfingerprint::normalized(fingerprint)](
                           const QString &key) { return !want.isEmpty() && key == want; }),
      m_fingerprint(fingerprint)
{
    connect(&m_client, &ChannelClient::established, this, [this] {
        ChannelMessage hello;
        hello.kind = ChannelMessage::Kind::Hello;
        hello.capabilities = {QStringLiteral("simulated")};
        hello.host = m_host;
        hello.user = m_user;
        hello.mac = m_mac;
        hello.screen = m_screen;
        m_client.send(hello);
        emit established();
    });
    connect(&m_client, &ChannelClient::messageReceived, this, &SimulatedChannel::received);
    connect(&m_client, &ChannelClient::failed, this,
            [this](const QString &reason) { emit failed(reason); });
}

void SimulatedChannel::setClaims(const QString &host, const QString &user, const QByteArray &mac,
                                 QSize screen)
{
    m_host = host;
    m_user = user;
    m_mac = mac;
    m_screen = screen;
}

QByteArray SimulatedChannel::macFor(quint32 address)
{
    QByteArray mac(6, '\0');
    mac[0] = 0x02;
    qToBigEndian(address, mac.data() + 2);
    return mac;
}

void SimulatedChannel::answer(quint32 id, bool refused, const QString &reason)
{
    m_client.send(ChannelMessage::answer(id, refused, reason));
}

void SimulatedChannel::sendTile(const QByteArray &jpeg)
{
    ChannelMessage tile;
    tile.kind = ChannelMessage::Kind::Tile;
    tile.jpeg = jpeg;
    m_client.send(tile);
}

// A message holds one whole text: what a plaintext agent learns from a quiet gap, the channel
// says by its framing.
void SimulatedChannel::received(const ChannelMessage &message)
{
    switch (message.kind) {
    case ChannelMessage::Kind::Command: {
        CommandParser parser;
        QList<StudentCommand> commands = parser.feed(message.text);
        commands += parser.flush();
        for (const StudentCommand &each : std::as_const(commands))
            emit command(each, message.id);
        break;
    }
    case ChannelMessage::Kind::DemoKey:
        m_key = message.key;
        emit keyReceived(m_key);
        break;
    case ChannelMessage::Kind::Wall:
        emit wallAsked(message.on ? message.tile : QSize());
        break;
    default:
        break;
    }
}
