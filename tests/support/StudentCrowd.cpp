#include "tests/support/StudentCrowd.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

sockaddr_in ipv4(uint32_t address, int port)
{
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(uint16_t(port));
    result.sin_addr.s_addr = htonl(address);
    return result;
}

uint32_t sourceOf(int index, bool sameSource)
{
    constexpr uint32_t kLoopback = 0x7F000000;
    return sameSource ? kLoopback | 9
                      : kLoopback | uint32_t(((index / 250) + 1) << 8) | uint32_t(2 + index % 250);
}

} // namespace

StudentCrowd::StudentCrowd(int count, int port, bool sameSource)
{
    const sockaddr_in console = ipv4(0x7F000001, port);
    for (int i = 0; i < count; ++i) {
        const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const sockaddr_in local = ipv4(sourceOf(i, sameSource), 0);
        ::bind(handle, reinterpret_cast<const sockaddr *>(&local), sizeof local);
        ::connect(handle, reinterpret_cast<const sockaddr *>(&console), sizeof console);
        m_handles.push_back(handle);
    }
}

StudentCrowd::~StudentCrowd()
{
    for (const int handle : m_handles) {
        if (handle >= 0)
            ::close(handle);
    }
}

void StudentCrowd::closeFirst(int count)
{
    for (int i = 0; i < count && i < int(m_handles.size()); ++i) {
        if (m_handles[i] >= 0)
            ::close(m_handles[i]);
        m_handles[i] = -1;
    }
}

int StudentCrowd::closedByConsole() const
{
    int closed = 0;
    for (const int handle : m_handles) {
        char byte;
        if (handle < 0)
            continue;
        const ssize_t count = ::recv(handle, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (count == 0 || (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
            ++closed;
    }
    return closed;
}

ChildCrowd::ChildCrowd(int count, int port)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return;
    m_child = ::fork();
    if (m_child == 0) {
        ::close(pipeEnds[1]);
        StudentCrowd crowd(count, port);
        int command = 0;
        while (::read(pipeEnds[0], &command, sizeof command) == sizeof command)
            crowd.closeFirst(command);
        ::_exit(0);
    }
    ::close(pipeEnds[0]);
    m_commands = pipeEnds[1];
}

ChildCrowd::~ChildCrowd()
{
    if (m_commands >= 0)
        ::close(m_commands);
    if (m_child > 0)
        ::waitpid(m_child, nullptr, 0);
}

void ChildCrowd::closeFirst(int count)
{
    [[maybe_unused]] const ssize_t written = ::write(m_commands, &count, sizeof count);
}
