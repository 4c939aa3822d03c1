#include "net/TServerWinSocket.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "identity/NetworkInterfaces.h"
#include "net/ConnectionTrouble.h"
#include "net/ListeningSocket.h"
#include "system/EventLog.h"
#include "system/Guard.h"

namespace {

// Taken per notification, so that a flood of connections still lets timers and paints run.
constexpr int kAcceptsPerNotification = 64;
// While the process is out of descriptors a waiting connection keeps the listening socket
// readable; the notifier stays off and this retries.
constexpr int kAcceptRetryMs = 1000;
// While a connect handler waits in a nested loop (a box), the connections accepted meanwhile
// are looked at this often, so those that fail or reset are closed at once.
constexpr int kWaitingCheckMs = 200;
// Connections ended per pass of the event loop when many peers leave at once: a class of
// thousands closing together would otherwise hold the window for a tenth of a second and more.
constexpr int kEndsPerPass = 64;

bool isResourceShortage(int code)
{
    return code == EMFILE || code == ENFILE || code == ENOBUFS || code == ENOMEM;
}

} // namespace

TServerWinSocket::TServerWinSocket(ConnectionBudget::Bounds bounds, QObject *parent)
    : QObject(parent), m_retryTimer(new QTimer(this)), m_waitingCheck(new QTimer(this)),
      m_goneTimer(new QTimer(this)),
      m_trouble(new ConnectionTrouble([this](const QString &line) { notice(line, true); }, this)),
      m_budget(bounds)
{
    m_retryTimer->setSingleShot(true);
    m_retryTimer->setInterval(kAcceptRetryMs);
    connect(m_retryTimer, &QTimer::timeout, this, &TServerWinSocket::resume);
    m_waitingCheck->setInterval(kWaitingCheckMs);
    connect(m_waitingCheck, &QTimer::timeout, this, &TServerWinSocket::dropDeadWaiting);
    m_goneTimer->setSingleShot(true);
    m_goneTimer->setInterval(0);
    connect(m_goneTimer, &QTimer::timeout, this, &TServerWinSocket::endGone);
}

TServerWinSocket::~TServerWinSocket()
{
    Close();
}

int TServerWinSocket::listenQueue()
{
    return listening_socket::queueLength();
}

void TServerWinSocket::Open(int port)
{
    if (IsOpen())
        throw ESocketError(QStringLiteral("Can't listen on an open socket"));
    m_handle = listening_socket::open(port);
    m_pause = Pause::None;
    m_acceptNotifier = new QSocketNotifier(m_handle, QSocketNotifier::Read, this);
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
    m_waitingCheck->stop();
    m_goneTimer->stop();
    m_gone.clear();
    for (const AcceptedConnection &waiting : m_waiting.closeAll())
        m_budget.remove(waiting.id);
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
    const int capacity = m_budget.capacity();
    for (int i = 0; i < kAcceptsPerNotification && IsOpen(); ++i) {
        if (m_budget.full(capacity) && m_budget.victim() == 0) {
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
        if (!admit(handle, source, capacity))
            continue;
        const AcceptedConnection accepted{handle, source, ntohs(peer.sin_port),
                                          TServerClientWinSocket::newId()};
        m_budget.add(source, accepted.id);
        m_waiting.append(accepted);
    }
}

// A full budget makes room only for a source that holds nothing yet: one that is already
// listed keeps what it has and gets no more.
bool TServerWinSocket::admit(int handle, quint32 source, int capacity)
{
    if (m_budget.sourceFull(source)) {
        refuse(handle, source);
        return false;
    }
    if (!m_budget.full(capacity))
        return true;
    if (m_budget.count(source) > 0) {
        ::close(handle);
        m_trouble->refused(source);
        return false;
    }
    evict(m_budget.victim());
    return true;
}

// Each connection's event is raised in acceptance order, and each handler finishes before the
// next connection is listed; a nested call only adds to the queue its caller is emptying.
void TServerWinSocket::raiseConnects()
{
    if (m_raising)
        return;
    QPointer<TServerWinSocket> alive(this);
    m_raising = true;
    // A connection reset before its event never gets one, nor a row.
    dropDeadWaiting();
    m_waitingCheck->start();
    while (!m_waiting.isEmpty()) {
        auto *connection = new TServerClientWinSocket(m_waiting.takeFirst(), this);
        guard::run([&] { emit clientConnect(connection); });
        if (!alive)
            return;
    }
    m_waitingCheck->stop();
    m_raising = false;
}

void TServerWinSocket::dropDeadWaiting()
{
    const QList<AcceptedConnection> gone = m_waiting.closeHungUp();
    for (const AcceptedConnection &waiting : gone) {
        m_budget.remove(waiting.id);
        m_trouble->failed(waiting.address);
    }
    if (!gone.isEmpty())
        resume();
}

bool TServerWinSocket::connectionWaiting() const
{
    pollfd listening{m_handle, POLLIN, 0};
    return ::poll(&listening, 1, 0) > 0 && (listening.revents & POLLIN);
}

void TServerWinSocket::refuse(int handle, quint32 source)
{
    ::close(handle);
    m_trouble->refused(source);
    if (m_refusedSources.contains(source))
        return;
    m_refusedSources.insert(source);
    notice(QString::fromUtf8("来自 %1 的连接超过 %2 个，多余的连接已被拒绝")
               .arg(netif::dotted(source))
               .arg(m_budget.bounds().perSource),
           true);
}

// The connection given up closes as a departure does: its row goes, nothing is shown.
void TServerWinSocket::evict(quint64 id)
{
    if (const auto waiting = m_waiting.close(id)) {
        m_budget.remove(id);
        m_trouble->evicted(waiting->address);
        return;
    }
    for (TServerClientWinSocket *connection : std::as_const(m_connections)) {
        if (connection->ConnectionId() != id || !connection->IsOpen())
            continue;
        m_trouble->evicted(connection->PeerIPv4());
        guard::run([connection] { connection->CloseConnection(); });
        break;
    }
    m_budget.remove(id);
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
        notice(
            QString::fromUtf8("学生连接数已达上限 %1，新的学生暂时等待").arg(m_budget.capacity()),
            true);
    else
        notice(QString::fromUtf8("系统文件描述符不足，新的学生暂时等待"), true);
}

// Out of descriptors, the pause ends with the next connection that can be accepted; a full
// budget ends as soon as a connection has left, or one could be given up for a newcomer.
void TServerWinSocket::resume()
{
    if (m_pause == Pause::None || !m_acceptNotifier)
        return;
    if (m_pause == Pause::Full) {
        if (m_budget.full() && m_budget.victim() == 0) {
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
    guard::run([&] { emit acceptNotice(text); });
}

void TServerWinSocket::heard(const TServerClientWinSocket *connection)
{
    m_budget.markTalkative(connection->ConnectionId());
}

void TServerWinSocket::failed(const TServerClientWinSocket *connection)
{
    m_trouble->failed(connection->PeerIPv4());
}

// The descriptor is free once the connection has closed, before its deferred release.
void TServerWinSocket::released(const TServerClientWinSocket *connection)
{
    const quint32 source = connection->PeerIPv4();
    m_budget.remove(connection->ConnectionId());
    if (m_budget.count(source) == 0)
        m_refusedSources.remove(source);
    resume();
}

void TServerWinSocket::forget(TServerClientWinSocket *connection)
{
    m_connections.removeOne(connection);
    m_budget.remove(connection->ConnectionId());
}

void TServerWinSocket::endLater(TServerClientWinSocket *connection)
{
    m_gone.append(connection);
    if (!m_goneTimer->isActive())
        m_goneTimer->start();
}

void TServerWinSocket::endGone()
{
    for (int i = 0; i < kEndsPerPass && !m_gone.isEmpty(); ++i) {
        const QPointer<TServerClientWinSocket> connection = m_gone.takeFirst();
        if (connection)
            guard::run([&] { connection->endGone(); });
    }
    if (!m_gone.isEmpty())
        m_goneTimer->start();
}
