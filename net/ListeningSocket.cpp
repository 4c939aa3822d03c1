#include "net/ListeningSocket.h"

#include <QFile>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/ESocketError.h"

namespace listening_socket {
namespace {

// A whole room may connect in the same instant; whatever the queue cannot hold the kernel
// answers with SYN cookies, and a student whose last ACK is then lost believes it is connected.
constexpr char kSomaxconnPath[] = "/proc/sys/net/core/somaxconn";

[[noreturn]] void closeAndThrow(int handle, const char *api)
{
    const int code = errno;
    ::close(handle);
    throw ESocketError::fromCode(code, api);
}

} // namespace

int queueLength()
{
    QFile file(QString::fromLatin1(kSomaxconnPath));
    bool ok = false;
    int value = 0;
    if (file.open(QIODevice::ReadOnly))
        value = file.readAll().trimmed().toInt(&ok);
    return ok && value > SOMAXCONN ? value : SOMAXCONN;
}

int open(int port)
{
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
    if (::listen(handle, queueLength()) != 0)
        closeAndThrow(handle, "listen");
    return handle;
}

} // namespace listening_socket
