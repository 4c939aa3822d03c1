#include "net/TServerWinSocket.h"

#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/TServerClientWinSocket.h"
#include "platform/EventLog.h"
#include "platform/Guard.h"
#include "platform/NetworkInterfaces.h"

namespace {

// A whole room may connect in the same instant; whatever the queue cannot hold the kernel
// answers with SYN cookies, and a student whose last ACK is then lost believes it is connected.
constexpr char kSomaxconnPath[] = "/proc/sys/net/core/somaxconn";
// Taken per notification, so that a flood of connections still lets timers and paints run.
constexpr int kAcceptsPerNotification = 64;
// While the process is out of descriptors a waiting connection keeps the listening socket
// readable; the notifier stays off and this retries.
constexpr int kAcceptRetryMs = 1000;

[[noreturn]] void closeAndThrow(int handle, const char *api)
{
    const int code = errno;
    ::close(handle);
    throw ESocketError::fromCode(code, api);
}

bool isResourceShortage(int code)
{
    return code == EMFILE || code == ENFILE || code == ENOBUFS || code == ENOMEM;
}

} // namespace

TServerWinSocket::TServerWinSocket(QObject *parent)
    : QObject(parent), m_retryTimer(new QTimer(this))
{
    m_retryTimer->setSingleShot(true);
    m_retryTimer->setInterval(kAcceptRetryMs);
    connect(m_retryTimer, &QTimer::timeout, this, &TServerWinSocket::resume);
}

TServerWinSocket::~TServerWinSocket()
{
    Close();
}

int TServerWinSocket::listenQueue()
{
    QFile file(QString::fromLatin1(kSomaxconnPath));
    bool ok = false;
    int value = 0;
    if (file.open(QIODevice::ReadOnly))
        value = file.readAll().trimmed().toInt(&ok);
    return ok && value > SOMAXCONN ? value : SOMAXCONN;
}

void TServerWinSocket::Open(int port)
{
    if (IsOpen())
        throw ESocketError(QStringLiteral("Can't listen on an open socket"));
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (handle < 0)
        throw ESocketError(QStringLiteral("Can't create new socket"));

    // The console closes its connections first at shutdown, so a restart finds them in
    // TIME_WAIT on this port; this lets it listen again at once. Linux still refuses a
    // second listener on a port, so a port in use still fails.
    const int on = 1;
    ::setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(quint16(port & 0xFFFF));
    if (::bind(handle, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0)
        closeAndThrow(handle, "bind");
    if (::listen(handle, listenQueue()) != 0)
        closeAndThrow(handle, "listen");

    m_handle = handle;
    m_pause = Pause::None;
    m_acceptNotifier = new QSocketNotifier(handle, QSocketNotifier::Read, this);
    connect(m_acceptNotifier, &QSocketNotifier::activated, this, &TServerWinSocket::onAcceptReady);
}

void TServerWinSocket::Close()
{
    if (m_acceptNotifier) {
        // Close may run inside this notifier's own signal, so it must outlive the call.
        m_acceptNotifier->setEnabled(false);
        m_acceptNotifier->deleteLater();
        m_acceptNotifier = nullptr;
    }
    m_retryTimer->stop();
    for (const Waiting &waiting : std::as_const(m_waiting)) {
        ::close(waiting.handle);
        m_budget.remove(waiting.source);
    }
    m_waiting.clear();
    while (!m_connections.isEmpty())
        delete m_connections.constFirst();
    if (m_handle >= 0) {
        ::close(m_handle);
        m_handle = -1;
    }
    m_pause = Pause::None;
    m_refusedSources.clear();
}

int TServerWinSocket::ListenPort() const
{
    if (m_handle < 0)
        return -1;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(m_handle, reinterpret_cast<sockaddr *>(&local), &length) != 0)
        return -1;
    return ntohs(local.sin_port);
}

void TServerWinSocket::onAcceptReady()
{
    guard::run([this] {
        acceptWaiting();
        raiseConnects();
    });
}

// Accepting never waits for a connect handler: one that runs a nested loop (a modal box) only
// delays the events of the connections taken meanwhile, which wait in m_waiting in order.
void TServerWinSocket::acceptWaiting()
{
    const int capacity = ConnectionBudget::capacity();
    for (int i = 0; i < kAcceptsPerNotification && IsOpen(); ++i) {
        if (m_budget.full(capacity)) {
            // Full with nobody waiting is no news: stay listening until someone comes.
            if (connectionWaiting())
                pause(Pause::Full);
            return;
        }
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int handle = ::accept4(m_handle, reinterpret_cast<sockaddr *>(&peer), &length,
                                     SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (handle < 0) {
            // Anything else (the peer gave up, would-block) concerns that one connection only.
            if (isResourceShortage(errno))
                pause(Pause::NoDescriptor);
            return;
        }
        if (m_pause == Pause::NoDescriptor) {
            m_pause = Pause::None;
            notice(QString::fromUtf8("已恢复接受学生连接"), false);
        }
        const quint32 source = ntohl(peer.sin_addr.s_addr);
        if (m_budget.sourceFull(source)) {
            refuse(handle, source);
            continue;
        }
        m_budget.add(source);
        m_waiting.append({handle, source});
    }
}

// Each connection's event is raised in acceptance order, and each handler finishes before the
// next connection is listed; a nested call only adds to the queue its caller is emptying.
void TServerWinSocket::raiseConnects()
{
    if (m_raising)
        return;
    QPointer<TServerWinSocket> alive(this);
    m_raising = true;
    while (!m_waiting.isEmpty()) {
        const Waiting waiting = m_waiting.takeFirst();
        auto *connection = new TServerClientWinSocket(waiting.handle, this);
        m_sources.insert(connection, waiting.source);
        guard::run([&] {
            if (OnClientConnect)
                OnClientConnect(this, connection);
        });
        if (!alive)
            return;
    }
    m_raising = false;
}

bool TServerWinSocket::connectionWaiting() const
{
    pollfd listening{m_handle, POLLIN, 0};
    return ::poll(&listening, 1, 0) > 0 && (listening.revents & POLLIN);
}

void TServerWinSocket::refuse(int handle, quint32 source)
{
    ::close(handle);
    if (m_refusedSources.contains(source))
        return;
    m_refusedSources.insert(source);
    notice(QString::fromUtf8("来自 %1 的连接超过 %2 个，多余的连接已被拒绝")
               .arg(netif::dotted(source))
               .arg(ConnectionBudget::kPerSource),
           true);
}

void TServerWinSocket::pause(Pause reason)
{
    if (m_acceptNotifier)
        m_acceptNotifier->setEnabled(false);
    // A full budget is normally ended by a connection leaving, but a raised descriptor limit
    // ends it too, so both are looked at again after a while.
    m_retryTimer->start();
    if (m_pause == reason)
        return;
    m_pause = reason;
    if (reason == Pause::Full)
        notice(QString::fromUtf8("学生连接数已达上限 %1，新的学生暂时等待")
                   .arg(ConnectionBudget::capacity()),
               true);
    else
        notice(QString::fromUtf8("系统文件描述符不足，新的学生暂时等待"), true);
}

// Out of descriptors, the pause ends with the next connection that can be accepted; a full
// budget ends as soon as a connection has left.
void TServerWinSocket::resume()
{
    if (m_pause == Pause::None || !m_acceptNotifier)
        return;
    if (m_pause == Pause::Full) {
        if (m_budget.full()) {
            m_retryTimer->start();
            return;
        }
        m_pause = Pause::None;
        notice(QString::fromUtf8("已恢复接受学生连接"), false);
    }
    m_acceptNotifier->setEnabled(true);
}

void TServerWinSocket::notice(const QString &text, bool warning)
{
    if (warning)
        eventlog::warning(text);
    else
        eventlog::info(text);
    guard::run([&] {
        if (OnAcceptNotice)
            OnAcceptNotice(this, text);
    });
}

void TServerWinSocket::forget(TServerClientWinSocket *connection)
{
    m_connections.removeOne(connection);
    const auto at = m_sources.constFind(connection);
    if (at == m_sources.constEnd())
        return;
    const quint32 source = at.value();
    m_sources.erase(at);
    m_budget.remove(source);
    if (m_budget.count(source) == 0)
        m_refusedSources.remove(source);
    resume();
}
