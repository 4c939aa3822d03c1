#include "net/StreamSocket.h"

#include <QHostAddress>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// A full second of the stream at its fastest may wait in the kernel.
constexpr int kSendBuffer = 4 * 1024 * 1024;
} // namespace

StreamSocket::~StreamSocket()
{
    close();
}

QString StreamSocket::open(const QString &host, quint16 port)
{
    close();
    bool ok = false;
    const quint32 address = QHostAddress(host).toIPv4Address(&ok);
    if (!ok || port == 0)
        return QStringLiteral("no IPv4 address to send the stream to (%1:%2)").arg(host).arg(port);
    m_descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_descriptor < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    const int on = 1;
    ::setsockopt(m_descriptor, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    ::setsockopt(m_descriptor, SOL_SOCKET, SO_SNDBUF, &kSendBuffer, sizeof kSendBuffer);
    m_address = address;
    m_port = port;
    return {};
}

void StreamSocket::close()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
}

bool StreamSocket::send(QByteArrayView datagram)
{
    if (m_descriptor < 0)
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_port);
    to.sin_addr.s_addr = htonl(m_address);
    ssize_t sent;
    do {
        sent = ::sendto(m_descriptor, datagram.data(), std::size_t(datagram.size()), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr *>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    return sent == datagram.size();
}
