#include "net/ChannelServer.h"

#include "identity/NetworkInterfaces.h"
#include "net/TServerClientWinSocket.h"
#include "net/TServerWinSocket.h"
#include "system/EventLog.h"

#include <algorithm>

namespace {

constexpr int kGreetingCheckMs = 1000;
// Lines about one source and one reason are written once; past this many pairs, no more are.
constexpr int kMaxLogged = 1024;

const char kKeyRefused[] = "refused this console's key: its ConsoleFingerprint names another "
                           "console (velmora-teacher --fingerprint prints this one's)";
const char kKeyRefusedNotice[] =
    "学生机 %1 拒绝了本教师机的密钥：它的 ConsoleFingerprint 与本机指纹不符";

} // namespace

ChannelServer::ChannelServer(std::shared_ptr<TlsContext> context, QObject *parent)
    : QObject(parent), m_context(std::move(context)),
      m_server(new TServerWinSocket(ConnectionBudget::kCommandServer, this))
{
    m_clock.start();
    m_greetings.setInterval(kGreetingCheckMs);
    connect(&m_greetings, &QTimer::timeout, this, &ChannelServer::checkGreetings);
    connect(m_server, &TServerWinSocket::clientConnect, this, &ChannelServer::connected);
    connect(m_server, &TServerWinSocket::clientDisconnect, this, &ChannelServer::disconnected);
    connect(m_server, &TServerWinSocket::clientError, this,
            [](TServerClientWinSocket *socket, TErrorEvent, int &errorCode) {
                socket->CloseConnection();
                errorCode = 0;
            });
    connect(m_server, &TServerWinSocket::acceptNotice, this, &ChannelServer::notice);
}

ChannelServer::~ChannelServer()
{
    m_server->disconnect(this);
}

void ChannelServer::Open(int port)
{
    m_server->Open(port);
}

void ChannelServer::Close()
{
    for (const quint64 key : agents())
        closeAgent(key);
    m_greetings.stop();
    m_links.clear();
    m_server->Close();
}

bool ChannelServer::IsOpen() const
{
    return m_server->IsOpen();
}

int ChannelServer::ListenPort() const
{
    return m_server->ListenPort();
}

ChannelServer::Link *ChannelServer::find(quint64 key)
{
    const auto at = m_links.find(key);
    return at == m_links.end() || !at->second.socket ? nullptr : &at->second;
}

const ChannelServer::Link *ChannelServer::find(quint64 key) const
{
    return const_cast<ChannelServer *>(this)->find(key);
}

QList<quint64> ChannelServer::agents() const
{
    QList<quint64> keys;
    for (const auto &[key, link] : m_links) {
        if (link.greeted && link.socket && link.socket->IsOpen())
            keys.append(key);
    }
    return keys;
}

quint32 ChannelServer::peerAddress(quint64 key) const
{
    const Link *link = find(key);
    return link ? link->socket->PeerIPv4() : 0;
}

quint16 ChannelServer::peerPort(quint64 key) const
{
    const Link *link = find(key);
    return link ? quint16(link->socket->PeerPort()) : 0;
}

void ChannelServer::connected(TServerClientWinSocket *socket)
{
    const quint64 key = socket->ConnectionId();
    Link &link = m_links[key];
    link.socket = socket;
    link.end = std::make_unique<ChannelEnd>(m_context);
    link.arrivedMs = m_clock.elapsed();
    socket->setReader([this, key](QByteArrayView bytes) { bytesArrived(key, bytes); });
    if (!m_greetings.isActive())
        m_greetings.start();
}

void ChannelServer::disconnected(TServerClientWinSocket *socket)
{
    const auto at = m_links.find(socket->ConnectionId());
    if (at == m_links.end())
        return;
    const bool greeted = at->second.greeted;
    const quint64 key = at->first;
    if (!greeted && !at->second.dropped)
        logOnce(socket->PeerIPv4(), QStringLiteral("left before it said hello"));
    m_links.erase(at);
    if (greeted)
        emit agentLeft(key);
}

// Messages that came before a failure are still taken; the end of the handshake (or the alert
// of a refusal) goes out before anything else happens.
void ChannelServer::bytesArrived(quint64 key, QByteArrayView bytes)
{
    Link *link = find(key);
    if (!link)
        return;
    QList<ChannelMessage> messages;
    const bool alive = link->end->receive(bytes, messages);
    flush(*link);
    for (const ChannelMessage &message : std::as_const(messages)) {
        if (!deliver(key, message))
            return;
    }
    if (alive || !(link = find(key)))
        return;
    const ChannelEnd &end = *link->end;
    if (end.keyRefused()) {
        const QString source = netif::dotted(link->socket->PeerIPv4());
        if (drop(key, QLatin1String(kKeyRefused)))
            emit notice(QString::fromUtf8(kKeyRefusedNotice).arg(source));
    } else {
        drop(key, end.state() == ChannelEnd::State::Closed ? QStringLiteral("closed the channel")
                                                           : end.error());
    }
}

bool ChannelServer::deliver(quint64 key, const ChannelMessage &message)
{
    Link *link = find(key);
    if (!link)
        return false;
    if (link->greeted) {
        emit messageReceived(key, message);
    } else if (message.kind != ChannelMessage::Kind::Hello) {
        drop(key, QStringLiteral("its first message is not a hello: no agent"));
        return false;
    } else {
        link->greeted = true;
        link->end->setBound(ChannelMessage::kMaxFromAgent);
        emit agentGreeted(key, message);
    }
    return find(key) != nullptr;
}

void ChannelServer::flush(Link &link)
{
    const QByteArray bytes = link.end->takeOutgoing();
    if (!bytes.isEmpty() && link.socket)
        link.socket->WriteText(bytes);
}

bool ChannelServer::sendEncoded(quint64 key, const QByteArray &message)
{
    Link *link = find(key);
    if (!link || !link->greeted || !link->socket->IsOpen())
        return false;
    link->end->sendEncoded(message);
    flush(*link);
    return true;
}

void ChannelServer::closeAgent(quint64 key)
{
    if (Link *link = find(key))
        link->socket->CloseConnection();
}

bool ChannelServer::drop(quint64 key, const QString &reason)
{
    Link *link = find(key);
    if (!link)
        return false;
    const bool logged = logOnce(link->socket->PeerIPv4(), reason);
    link->dropped = true;
    link->socket->CloseConnection();
    return logged;
}

void ChannelServer::checkGreetings()
{
    QList<std::pair<quint64, QString>> late;
    for (const auto &[key, link] : m_links) {
        if (link.greeted || m_clock.elapsed() - link.arrivedMs < m_greetingMs)
            continue;
        late.append({key, link.end->state() == ChannelEnd::State::Handshaking
                              ? QStringLiteral("its TLS handshake did not end within %1 ms")
                              : QStringLiteral("said no hello within %1 ms")});
    }
    for (const auto &[key, reason] : std::as_const(late))
        drop(key, reason.arg(m_greetingMs));
    if (std::none_of(m_links.begin(), m_links.end(),
                     [](const auto &each) { return !each.second.greeted; }))
        m_greetings.stop();
}

bool ChannelServer::logOnce(quint32 source, const QString &reason)
{
    const QString key = netif::dotted(source) + reason;
    if (m_logged.contains(key) || m_logged.size() >= kMaxLogged)
        return false;
    m_logged.insert(key);
    eventlog::warning(QStringLiteral("trusted channel: %1 %2").arg(netif::dotted(source), reason));
    return true;
}
