#include "net/TServerWinSocket.h"

#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/TServerClientWinSocket.h"
#include "platform/Guard.h"

namespace {

constexpr int kListenQueue = 5;
// While the process is out of descriptors a waiting connection keeps the listening socket
// readable; pausing keeps that from spinning the event loop.
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

TServerWinSocket::TServerWinSocket(QObject *parent) : QObject(parent) {}

TServerWinSocket::~TServerWinSocket()
{
    Close();
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
    if (::listen(handle, kListenQueue) != 0)
        closeAndThrow(handle, "listen");

    m_handle = handle;
    m_acceptStalled = false;
    m_acceptNotifier = new QSocketNotifier(handle, QSocketNotifier::Read, this);
    connect(m_acceptNotifier, &QSocketNotifier::activated, this, &TServerWinSocket::onAcceptReady);
}

void TServerWinSocket::Close()
{
    while (!m_connections.isEmpty())
        delete m_connections.constFirst();
    if (m_acceptNotifier) {
        // Close may run inside this notifier's own signal, so it must outlive the call.
        m_acceptNotifier->setEnabled(false);
        m_acceptNotifier->deleteLater();
        m_acceptNotifier = nullptr;
    }
    if (m_handle >= 0) {
        ::close(m_handle);
        m_handle = -1;
    }
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
    guard::run([this] { accept(); });
}

// One connection per notification: the level-triggered notifier fires again for the next.
void TServerWinSocket::accept()
{
    const int handle = ::accept4(m_handle, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (handle < 0) {
        // Anything else (the peer gave up, would-block) concerns that one connection only.
        if (isResourceShortage(errno))
            pauseAccepting(errno);
        return;
    }
    m_acceptStalled = false;
    auto *connection = new TServerClientWinSocket(handle, this);

    // A handler that runs a nested loop (a modal box) must still finish before the next
    // student is accepted.
    m_acceptNotifier->setEnabled(false);
    guard::run([&] {
        if (OnClientConnect)
            OnClientConnect(this, connection);
    });
    if (m_acceptNotifier)
        m_acceptNotifier->setEnabled(true);
}

void TServerWinSocket::pauseAccepting(int code)
{
    m_acceptNotifier->setEnabled(false);
    QTimer::singleShot(kAcceptRetryMs, this, [this] {
        if (m_acceptNotifier)
            m_acceptNotifier->setEnabled(true);
    });
    // Reported once per shortage, not at every retry.
    if (m_acceptStalled)
        return;
    m_acceptStalled = true;
    throw ESocketError(QStringLiteral("Asynchronous socket error %1").arg(code));
}

void TServerWinSocket::forget(TServerClientWinSocket *connection)
{
    m_connections.removeOne(connection);
}
