#include "net/SocketOptions.h"

#include <QUdpSocket>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

QString SocketOptions::bindShared(QUdpSocket &socket, quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return systemError("socket");
    }
    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    QString error;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0) {
        error = systemError("setsockopt");
    } else if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        error = systemError("bind");
    } else if (!socket.setSocketDescriptor(fd, QAbstractSocket::BoundState)) {
        error = socket.errorString();
    }
    if (!error.isEmpty()) {
        ::close(fd);
    }
    return error;
}

bool SocketOptions::setAbortiveClose(qintptr descriptor)
{
    const linger option{1, 0};
    return ::setsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_LINGER, &option,
                        sizeof option) == 0;
}

bool SocketOptions::setReceiveBuffer(qintptr descriptor, int bytes)
{
    return ::setsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_RCVBUF, &bytes,
                        sizeof bytes) == 0;
}

bool SocketOptions::setKeepAlive(qintptr descriptor, int idleSeconds, int intervalSeconds,
                                 int count)
{
    const int fd = static_cast<int>(descriptor);
    const int on = 1;
    return ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
           ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds) == 0 &&
           ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds) ==
               0 &&
           ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count) == 0;
}
