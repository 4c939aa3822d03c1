#include "bench/Attackers.h"

#include "bench/Loopback.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace attackers {
namespace {
using Clock = std::chrono::steady_clock;
constexpr auto kHolderRound = std::chrono::milliseconds(100);
constexpr auto kReconnectAfter = std::chrono::seconds(1);
constexpr auto kTalkEvery = std::chrono::seconds(1);
constexpr int kHostsPerOctet = 250;

int connectFrom(quint32 source, quint16 port, bool blocking)
{
    const int handle = ::socket(AF_INET, SOCK_STREAM | (blocking ? 0 : SOCK_NONBLOCK), 0);
    if (handle < 0)
        return -1;
    // Bounds a connect that the console's full queue leaves waiting.
    const timeval limit{0, 200 * 1000};
    ::setsockopt(handle, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    const sockaddr_in local = loopback::ipv4(source, 0);
    const sockaddr_in console = loopback::ipv4(0x7F000001, port);
    if (::bind(handle, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0 ||
        (::connect(handle, reinterpret_cast<const sockaddr *>(&console), sizeof console) != 0 &&
         errno != EINPROGRESS)) {
        ::close(handle);
        return -1;
    }
    return handle;
}

void closeWithReset(int handle)
{
    const linger abortive{1, 0};
    ::setsockopt(handle, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    ::close(handle);
}
} // namespace

quint32 host(int block, int n)
{
    return (127u << 24) | (quint32(block) << 16) | (quint32(n / kHostsPerOctet) << 8) |
           quint32(n % kHostsPerOctet + 1);
}

ResetStorm::ResetStorm(quint16 port, int perSecond, int block)
{
    m_thread = std::thread([this, port, perSecond, block] {
        const auto start = Clock::now();
        for (qint64 n = 0; !m_stop; ++n) {
            std::this_thread::sleep_until(start +
                                          std::chrono::microseconds(n * 1000000 / perSecond));
            const int handle = connectFrom(host(block, int(n % 60000)), port, true);
            if (handle >= 0)
                closeWithReset(handle);
            ++m_sent;
        }
    });
}

Holders::Holders(quint16 port, int sources, int perSource, int block, bool talk)
{
    m_thread = std::thread([this, port, sources, perSource, block, talk] {
        struct Slot
        {
            quint32 source;
            int handle = -1;
            Clock::time_point retry{};
        };
        std::vector<Slot> slots;
        for (int s = 0; s < sources; ++s)
            for (int c = 0; c < perSource; ++c)
                slots.push_back({host(block, s)});
        auto lastTalk = Clock::now();
        std::vector<pollfd> polled(slots.size());
        while (!m_stop) {
            const auto now = Clock::now();
            int held = 0;
            for (std::size_t i = 0; i < slots.size(); ++i) {
                Slot &slot = slots[i];
                if (slot.handle < 0 && now >= slot.retry)
                    slot.handle = connectFrom(slot.source, port, false);
                polled[i] = {slot.handle, POLLIN | POLLRDHUP, 0};
                held += slot.handle >= 0;
            }
            m_held = held;
            ::poll(polled.data(), polled.size(), 0);
            const bool talkNow = talk && now - lastTalk >= kTalkEvery;
            for (std::size_t i = 0; i < slots.size(); ++i) {
                Slot &slot = slots[i];
                if (slot.handle < 0)
                    continue;
                if (polled[i].revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) {
                    ::close(slot.handle);
                    slot.handle = -1;
                    slot.retry = now + kReconnectAfter;
                } else if (talkNow) {
                    ::send(slot.handle, "x", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
                }
            }
            if (talkNow)
                lastTalk = now;
            std::this_thread::sleep_for(kHolderRound);
        }
        for (const Slot &slot : slots)
            if (slot.handle >= 0)
                ::close(slot.handle);
    });
}

Attacker::~Attacker()
{
    stop();
}

void Attacker::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace attackers
