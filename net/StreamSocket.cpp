#include "net/StreamSocket.h"

#include <QHostAddress>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// A full second of the stream at its fastest may wait in the kernel.
constexpr int kSendBuffer = 4 * 1024 * 1024;
// Datagrams handed to the kernel in one call: a frame's worth at most.
constexpr std::size_t kBatch = 64;
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

StreamSocket::Sent StreamSocket::send(std::span<const QByteArray> datagrams)
{
    Sent sent;
    if (m_descriptor < 0)
        return sent;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_port);
    to.sin_addr.s_addr = htonl(m_address);
    std::array<iovec, kBatch> pieces{};
    std::array<mmsghdr, kBatch> messages{};
    std::size_t next = 0;
    while (next < datagrams.size()) {
        const std::size_t count = std::min(kBatch, datagrams.size() - next);
        for (std::size_t i = 0; i < count; ++i) {
            const QByteArray &datagram = datagrams[next + i];
            pieces[i] = {const_cast<char *>(datagram.constData()), std::size_t(datagram.size())};
            messages[i] = {};
            messages[i].msg_hdr.msg_name = &to;
            messages[i].msg_hdr.msg_namelen = sizeof to;
            messages[i].msg_hdr.msg_iov = &pieces[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        const int went = ::sendmmsg(m_descriptor, messages.data(), unsigned(count), MSG_NOSIGNAL);
        if (went < 0 && errno == EINTR)
            continue;
        // The kernel stops at the first datagram it refuses; that one is dropped, the rest tried.
        if (went <= 0) {
            ++next;
            continue;
        }
        for (int i = 0; i < went; ++i)
            sent.bytes += datagrams[next + std::size_t(i)].size();
        sent.datagrams += went;
        next += std::size_t(went);
    }
    return sent;
}
