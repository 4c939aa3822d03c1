#include "net/TServerClientWinSocket.h"

#include <QHostAddress>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/ReverseLookup.h"
#include "net/TServerWinSocket.h"
#include "system/Guard.h"

namespace {

constexpr int kKeepAliveIdleS = 10;
constexpr int kKeepAliveIntervalS = 5;
constexpr int kKeepAliveProbes = 3;
// Keep-alive stays silent while sent data waits for an acknowledgement; this bound gives a
// vanished student the same 25 s in that case too.
constexpr int kUnacknowledgedLimitMs =
    (kKeepAliveIdleS + kKeepAliveIntervalS * kKeepAliveProbes) * 1000;
// A student that lets more than this pile up, or takes nothing of it for this long, is not
// reading; it is dropped. A long message to a healthy but slow student fits well within both.
constexpr qsizetype kQueueLimit = 8 * 1024 * 1024;
constexpr int kDrainTimeoutMs = 30 * 1000;
// Bounds one notification's draining so a flooding student cannot starve the event loop.
constexpr int kReadChunk = 64 * 1024;
constexpr int kReadsPerNotification = 16;
constexpr int kHostNameSize = 256;

char g_sink[kReadChunk];
quint64 g_lastConnectionId = 0;

void setOption(int handle, int level, int name, int value)
{
    ::setsockopt(handle, level, name, &value, sizeof value);
}

void keepAlive(int handle)
{
    setOption(handle, SOL_SOCKET, SO_KEEPALIVE, 1);
    setOption(handle, IPPROTO_TCP, TCP_KEEPIDLE, kKeepAliveIdleS);
    setOption(handle, IPPROTO_TCP, TCP_KEEPINTVL, kKeepAliveIntervalS);
    setOption(handle, IPPROTO_TCP, TCP_KEEPCNT, kKeepAliveProbes);
    setOption(handle, IPPROTO_TCP, TCP_USER_TIMEOUT, kUnacknowledgedLimitMs);
}

bool wouldBlock(int code)
{
    return code == EAGAIN || code == EWOULDBLOCK || code == EINTR;
}

void silence(QSocketNotifier *notifier)
{
    if (notifier)
        notifier->setEnabled(false);
}

bool localEnd(int handle, sockaddr_in &local)
{
    socklen_t length = sizeof local;
    return handle >= 0 && ::getsockname(handle, reinterpret_cast<sockaddr *>(&local), &length) == 0;
}

} // namespace

TServerClientWinSocket::TServerClientWinSocket(const AcceptedConnection &accepted,
                                               TServerWinSocket *server)
    : m_server(server), m_id(accepted.id), m_handle(accepted.handle),
      m_peerAddress(accepted.address), m_peerPort(accepted.port), m_queue(kDrainTimeoutMs, [this] {
          guard::run([this] {
              if (m_handle >= 0 && !m_queue.isEmpty())
                  failSend(ETIMEDOUT);
          });
      })
{
    keepAlive(m_handle);
    m_server->m_connections.append(this);
    m_readNotifier = new QSocketNotifier(m_handle, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &TServerClientWinSocket::onReadable);
    m_writeNotifier = new QSocketNotifier(m_handle, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this,
            &TServerClientWinSocket::onWritable);
}

TServerClientWinSocket::~TServerClientWinSocket()
{
    silence(m_readNotifier);
    silence(m_writeNotifier);
    if (m_handle >= 0)
        ::close(m_handle);
    m_server->forget(this);
}

quint64 TServerClientWinSocket::newId()
{
    return ++g_lastConnectionId;
}

quintptr TServerClientWinSocket::NotifyWindow() const
{
    return reinterpret_cast<quintptr>(this);
}

QString TServerClientWinSocket::HostName() const
{
    if (m_handle < 0)
        return {};
    char name[kHostNameSize];
    if (::gethostname(name, sizeof name) != 0)
        return {};
    name[sizeof name - 1] = '\0';
    return QString::fromLocal8Bit(name);
}

QString TServerClientWinSocket::HostAddress() const
{
    sockaddr_in local{};
    if (!localEnd(m_handle, local))
        return {};
    return QHostAddress(ntohl(local.sin_addr.s_addr)).toString();
}

int TServerClientWinSocket::HostPort() const
{
    sockaddr_in local{};
    if (!localEnd(m_handle, local))
        return -1;
    return ntohs(local.sin_port);
}

QByteArray TServerClientWinSocket::PeerName() const
{
    return m_handle < 0 ? QByteArray() : reverse_lookup::nameOf(m_peerAddress);
}

QString TServerClientWinSocket::PeerAddress() const
{
    return m_handle < 0 ? QString() : QHostAddress(m_peerAddress).toString();
}

int TServerClientWinSocket::PeerPort() const
{
    return m_handle < 0 ? 0 : m_peerPort;
}

int TServerClientWinSocket::WriteText(const QByteArray &text)
{
    if (m_handle < 0 || text.isEmpty())
        return 0;
    if (m_sendFailed)
        return -1;
    qsizetype sent = 0;
    // Once bytes wait in the queue, new text goes behind them so nothing is reordered.
    if (m_queue.isEmpty()) {
        const ssize_t count = ::send(m_handle, text.constData(), size_t(text.size()), MSG_NOSIGNAL);
        if (count >= 0) {
            sent = count;
        } else if (!wouldBlock(errno)) {
            failSendLater(errno);
            return -1;
        }
    }
    if (sent < text.size() && !enqueue(text.constData() + sent, text.size() - sent))
        return -1;
    return int(text.size());
}

void TServerClientWinSocket::CloseConnection()
{
    close(m_handle);
}

void TServerClientWinSocket::onReadable()
{
    guard::run([this] {
        const int handle = m_handle;
        for (int i = 0; handle >= 0 && handle == m_handle && i < kReadsPerNotification; ++i) {
            const ssize_t count = ::recv(handle, g_sink, sizeof g_sink, 0);
            if (count > 0 && m_reader) {
                m_reader(QByteArrayView(g_sink, count));
                continue;
            }
            if (count > 0) {
                heard();
                continue;
            }
            if (count == 0) {
                peerGone(0);
                return;
            }
            if (errno == EINTR)
                continue;
            if (!wouldBlock(errno))
                peerGone(errno);
            return;
        }
    });
}

// A crowd leaving at once is ended a batch per pass of the event loop (TServerWinSocket), so
// the window's timers and paints go on between batches; until then nothing is read.
void TServerClientWinSocket::peerGone(int code)
{
    silence(m_readNotifier);
    m_goneCode = code;
    m_server->endLater(this);
}

void TServerClientWinSocket::endGone()
{
    if (m_handle < 0)
        return;
    if (m_goneCode == 0) {
        close(m_handle);
        return;
    }
    // Should nobody close it on its failure, it is read again and ends with its stream.
    m_readNotifier->setEnabled(true);
    failReceive(m_goneCode);
}

void TServerClientWinSocket::onWritable()
{
    guard::run([this] {
        while (m_handle >= 0 && !m_queue.isEmpty()) {
            const ssize_t count =
                ::send(m_handle, m_queue.front(), size_t(m_queue.size()), MSG_NOSIGNAL);
            if (count < 0) {
                if (wouldBlock(errno))
                    return;
                failSend(errno);
                return;
            }
            m_queue.drop(count);
        }
        silence(m_writeNotifier);
    });
}

// The disconnect handler may itself close this connection again, or fail part-way (a reset
// peer's address can no longer be read); either way the connection ends up closed.
void TServerClientWinSocket::close(int handle)
{
    if (m_handle < 0 || handle != m_handle || m_closing)
        return;
    m_closing = true;
    try {
        emit m_server->clientDisconnect(this);
    } catch (...) {
        finishClose(handle);
        throw;
    }
    finishClose(handle);
}

void TServerClientWinSocket::finishClose(int handle)
{
    silence(m_readNotifier);
    silence(m_writeNotifier);
    // A last chance for queued bytes (a closing command): the kernel delivers what it takes.
    if (!m_queue.isEmpty())
        ::send(handle, m_queue.front(), size_t(m_queue.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    m_queue.clear();
    // Unread bytes at close make the kernel answer with a reset, which can cost the student
    // the last text: the end is announced first, and what the student sent is drained.
    ::shutdown(handle, SHUT_WR);
    for (int i = 0; i < kReadsPerNotification; ++i) {
        if (::recv(handle, g_sink, sizeof g_sink, MSG_DONTWAIT) <= 0)
            break;
    }
    ::close(handle);
    m_handle = -1;
    m_server->released(this);
    deleteLater();
}

void TServerClientWinSocket::heard()
{
    if (m_heard)
        return;
    m_heard = true;
    m_server->heard(this);
}

int TServerClientWinSocket::raiseError(TErrorEvent event, int code)
{
    emit m_server->clientError(this, event, code);
    return code;
}

void TServerClientWinSocket::failReceive(int code)
{
    m_server->failed(this);
    const int left = raiseError(TErrorEvent::eeReceive, code);
    if (left != 0)
        throw ESocketError(QStringLiteral("Asynchronous socket error %1").arg(left));
}

void TServerClientWinSocket::failSend(int code)
{
    const int handle = m_handle;
    m_server->failed(this);
    int left = code;
    try {
        left = raiseError(TErrorEvent::eeSend, code);
    } catch (...) {
        close(handle);
        throw;
    }
    close(handle);
    if (left != 0)
        throw ESocketError::fromCode(left, "send");
}

// The caller's loop (a send to all, a release at close) goes on with its next student; the
// roster learns of this one's failure when that loop is over.
void TServerClientWinSocket::failSendLater(int code)
{
    m_sendFailed = true;
    QMetaObject::invokeMethod(
        this,
        [this, code] {
            guard::run([&] {
                if (m_handle >= 0)
                    failSend(code);
            });
        },
        Qt::QueuedConnection);
}

bool TServerClientWinSocket::enqueue(const char *data, qsizetype size)
{
    if (m_queue.size() + size > kQueueLimit) {
        failSendLater(ENOBUFS);
        return false;
    }
    m_queue.append(data, size);
    m_writeNotifier->setEnabled(true);
    return true;
}

void TServerClientWinSocket::setDrainTimeout(int milliseconds)
{
    m_queue.setDrainTimeout(milliseconds);
}
