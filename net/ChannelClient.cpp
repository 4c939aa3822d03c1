#include "net/ChannelClient.h"

#include "net/TlsContext.h"

#include <QPointer>
#include <QTcpSocket>

ChannelClient::ChannelClient(QTcpSocket &socket, ChannelEnd::KeyCheck check, QObject *parent)
    : QObject(parent), m_socket(socket), m_check(std::move(check)),
      m_context(TlsContext::forAgent())
{
}

ChannelClient::~ChannelClient() = default;

void ChannelClient::start()
{
    m_end = std::make_unique<ChannelEnd>(m_context, m_check);
    m_end->start();
    flush();
}

void ChannelClient::flush()
{
    const QByteArray bytes = m_end->takeOutgoing();
    if (!bytes.isEmpty())
        m_socket.write(bytes);
    if (m_end->state() == ChannelEnd::State::Failed)
        m_socket.flush();
}

// A refusal's alert goes out before failed() is said, so the console learns why.
void ChannelClient::readAvailable()
{
    if (!m_end || m_end->state() == ChannelEnd::State::Failed ||
        m_end->state() == ChannelEnd::State::Closed)
        return;
    const bool wasOpen = m_end->isOpen();
    QList<ChannelMessage> messages;
    const bool alive = m_end->receive(m_socket.readAll(), messages);
    flush();
    // A handler may end the connection, or start the next one.
    const QPointer<ChannelClient> self(this);
    ChannelEnd *end = m_end.get();
    if (!wasOpen && end->isOpen())
        emit established();
    for (const ChannelMessage &message : std::as_const(messages)) {
        if (!self || m_end.get() != end)
            return;
        emit messageReceived(message);
    }
    if (!alive && self && m_end.get() == end) {
        if (m_end->state() == ChannelEnd::State::Closed)
            emit failed(QStringLiteral("the console closed the channel"), false);
        else
            emit failed(m_end->error(), m_end->keyRefused());
    }
}

void ChannelClient::send(const ChannelMessage &message)
{
    if (!isOpen())
        return;
    m_end->send(message);
    flush();
}
