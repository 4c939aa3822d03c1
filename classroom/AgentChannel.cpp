#include "classroom/AgentChannel.h"

#include "classroom/CommandLog.h"
#include "classroom/Roster.h"
#include "classroom/RosterModel.h"
#include "identity/NetworkInterfaces.h"
#include "net/ChannelServer.h"
#include "net/TlsContext.h"
#include "protocol/Ports.h"
#include "settings/ConsoleKey.h"
#include "system/EventLog.h"
#include "text/Cp936.h"

namespace {

const QString kPartRestarted =
    QString::fromUtf8("学生机 %1 上用户 %2 的显示程序被结束，已重新启动（%3）");

QString macText(const QByteArray &mac)
{
    return mac.isEmpty() ? QStringLiteral("unknown") : QString::fromLatin1(mac.toHex(':'));
}

} // namespace

AgentChannel::AgentChannel(Roster &roster, const RosterModel &model, QObject *parent)
    : QObject(parent), m_roster(roster), m_model(model), m_streamPort(ports::kStreamPort)
{
}

AgentChannel::~AgentChannel() = default;

void AgentChannel::open(int port, const ConsoleKey &key)
{
    auto server = std::make_unique<ChannelServer>(
        TlsContext::forConsole(key.certificatePem, key.privateKeyPem), this);
    server->setObjectName(QStringLiteral("AgentServer"));
    server->Open(port);
    m_server = server.release();
    connect(m_server, &ChannelServer::agentGreeted, this, &AgentChannel::greeted);
    connect(m_server, &ChannelServer::messageReceived, this, &AgentChannel::received);
    connect(m_server, &ChannelServer::agentLeft, this,
            [this](quint64 agent) { m_roster.agentLeft(agent); });
    connect(m_server, &ChannelServer::notice, this, &AgentChannel::notice);
    eventlog::info(QStringLiteral("trusted channel: listening on TCP port %1 with the key %2")
                       .arg(m_server->ListenPort())
                       .arg(key.fingerprint));
}

void AgentChannel::close()
{
    if (m_server)
        m_server->Close();
}

QString AgentChannel::student(quint64 key) const
{
    const int row = m_model.rowOfKey(key);
    if (row < 0)
        return netif::dotted(m_server->peerAddress(key));
    return commandlog::student(m_model.caption(row),
                               m_model.subItem(row, RosterModel::AddressColumn - 1));
}

// The row is named as any student's; until its name is found, by the name the agent gave.
void AgentChannel::greeted(quint64 key, const ChannelMessage &hello)
{
    const quint32 address = m_server->peerAddress(key);
    const QByteArray host = cp936::encode(hello.host);
    m_roster.agentJoined(key, address, m_server->peerPort(key), host, cp936::encode(hello.user));
    eventlog::info(
        QStringLiteral("trusted channel: %1 joined: %2 on %3, user %4, MAC %5, "
                       "screen %6x%7, version %8, capabilities %9")
            .arg(netif::dotted(address), hello.host.isEmpty() ? QStringLiteral("-") : hello.host,
                 QStringLiteral("%1").arg(m_server->peerPort(key)),
                 hello.user.isEmpty() ? QStringLiteral("-") : hello.user, macText(hello.mac))
            .arg(hello.screen.width())
            .arg(hello.screen.height())
            .arg(hello.version)
            .arg(hello.capabilities.join(QLatin1Char(','))));
    ChannelMessage welcome;
    welcome.kind = ChannelMessage::Kind::Welcome;
    welcome.streamPort = m_streamPort;
    m_server->send(key, welcome);
    if (m_demonstrationKey.isValid()) {
        ChannelMessage demoKey;
        demoKey.kind = ChannelMessage::Kind::DemoKey;
        demoKey.key = m_demonstrationKey;
        m_server->send(key, demoKey);
    }
    emit agentSeen(key, hello.mac, address, host);
}

void AgentChannel::received(quint64 key, const ChannelMessage &message)
{
    switch (message.kind) {
    case ChannelMessage::Kind::Answer: {
        const QString text =
            m_answers.answered(message.id, key, student(key), message.refused, message.reason);
        if (!text.isEmpty())
            emit notice(text);
        break;
    }
    case ChannelMessage::Kind::SessionEvent:
        eventlog::warning(
            QStringLiteral("%1: the display part of session %2 (%3) %4 and is started again")
                .arg(student(key), message.session, message.user, message.reason));
        emit notice(kPartRestarted.arg(student(key), message.user, message.reason));
        break;
    case ChannelMessage::Kind::Hello:
        m_roster.setUser(key, cp936::encode(message.user));
        break;
    case ChannelMessage::Kind::Tile:
        emit tileReceived(key, message.jpeg);
        break;
    default:
        break;
    }
}

bool AgentChannel::sendText(quint64 key, const QByteArray &text)
{
    if (!m_server || !m_server->agents().contains(key))
        return false;
    return m_server->send(key, ChannelMessage::command(m_answers.sent(text), text));
}

int AgentChannel::sendTextToAll(const QByteArray &text)
{
    if (!m_server)
        return 0;
    const QByteArray command = ChannelMessage::command(m_answers.sent(text), text).encode();
    int written = 0;
    for (const quint64 key : m_server->agents())
        written += m_server->sendEncoded(key, command) ? 1 : 0;
    return written;
}

void AgentChannel::setDemonstrationKey(const StreamKey &key)
{
    m_demonstrationKey = key;
    if (!key.isValid() || !m_server)
        return;
    ChannelMessage demoKey;
    demoKey.kind = ChannelMessage::Kind::DemoKey;
    demoKey.key = key;
    for (const quint64 agent : m_server->agents())
        m_server->send(agent, demoKey);
}
