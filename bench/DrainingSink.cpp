#include "bench/DrainingSink.h"

#include "bench/CpuClock.h"
#include "bench/Loopback.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int kChunk = 2048;
// A drain's worth of chunks and cursors fits many times over.
constexpr int kReceiveBuffer = 4 << 20;
constexpr auto kDrainEvery = std::chrono::milliseconds(20);
} // namespace

DrainingSink::DrainingSink() : m_socket(socket(AF_INET, SOCK_DGRAM, 0))
{
    sockaddr_in address = loopback::ipv4(INADDR_LOOPBACK, 0);
    setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
    bind(m_socket, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { drain(); });
}

DrainingSink::~DrainingSink()
{
    m_stop = true;
    m_thread.join();
    close(m_socket);
}

double DrainingSink::cpuSeconds()
{
    return cpu_clock::threadSeconds(m_thread.native_handle());
}

void DrainingSink::drain()
{
    char buffer[kChunk + 1];
    while (!m_stop) {
        std::this_thread::sleep_for(kDrainEvery);
        while (recv(m_socket, buffer, sizeof buffer, MSG_DONTWAIT) >= 0) {
        }
    }
}
