#include "RawStudent.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kReadChunk = 64 * 1024;

sockaddr_in ipv4(const char *address, int port)
{
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(quint16(port));
    ::inet_pton(AF_INET, address, &result.sin_addr);
    return result;
}

} // namespace

RawStudent::RawStudent(const char *fromAddress, int port, int receiveBuffer)
    : m_handle(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    if (receiveBuffer > 0)
        ::setsockopt(m_handle, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const sockaddr_in local = ipv4(fromAddress, 0);
    const sockaddr_in console = ipv4("127.0.0.1", port);
    m_connected =
        ::bind(m_handle, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0
        && ::connect(m_handle, reinterpret_cast<const sockaddr *>(&console), sizeof console) == 0;
    ::fcntl(m_handle, F_SETFL, ::fcntl(m_handle, F_GETFL) | O_NONBLOCK);
}

RawStudent::~RawStudent()
{
    if (m_handle >= 0)
        ::close(m_handle);
}

int RawStudent::localPort() const
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(m_handle, reinterpret_cast<sockaddr *>(&local), &length);
    return ntohs(local.sin_port);
}

QByteArray RawStudent::readAvailable()
{
    QByteArray result;
    result.swap(m_unread);
    char chunk[kReadChunk];
    for (;;) {
        const ssize_t count = ::recv(m_handle, chunk, sizeof chunk, 0);
        if (count <= 0)
            return result;
        result.append(chunk, count);
    }
}

bool RawStudent::sawEndOfStream()
{
    char chunk[kReadChunk];
    for (;;) {
        const ssize_t count = ::recv(m_handle, chunk, sizeof chunk, 0);
        if (count == 0)
            return true;
        if (count < 0)
            return false;
        m_unread.append(chunk, count);
    }
}

qint64 RawStudent::sendSome(const char *data, qint64 size)
{
    const ssize_t count = ::send(m_handle, data, size_t(size), MSG_NOSIGNAL);
    if (count < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
    return count;
}

void RawStudent::reset()
{
    const linger abortive{1, 0};
    ::setsockopt(m_handle, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    ::close(m_handle);
    m_handle = -1;
}
