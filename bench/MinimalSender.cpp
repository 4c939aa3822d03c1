#include "bench/MinimalSender.h"

#include "bench/Loopback.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/socket.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {
constexpr long tickNs = 10'000'000;
constexpr long nsPerSecond = 1'000'000'000;
constexpr std::size_t chunkSize = 2048;
// Far more frames than a run of a few seconds makes, so marking one never allocates.
constexpr std::size_t kMarksReserved = 1024;
} // namespace

MinimalSender::MinimalSender(std::uint16_t port, int quality)
    : m_quality(quality), m_x(xcb_connect(nullptr, nullptr)), m_udp(socket(AF_INET, SOCK_DGRAM, 0))
{
    if (!xcb_connection_has_error(m_x))
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->root;
    m_to = loopback::ipv4(INADDR_LOOPBACK, port);
    m_captures.reserve(kMarksReserved);
}

MinimalSender::~MinimalSender()
{
    if (m_udp >= 0)
        close(m_udp);
    xcb_disconnect(m_x);
}

bool MinimalSender::ready() const
{
    return m_capture.ready() && !xcb_connection_has_error(m_x) && m_udp >= 0;
}

MinimalSender::Counts MinimalSender::run(int milliseconds)
{
    Counts counts;
    m_captures.clear();
    if (!ready())
        return counts;
    const auto *address = reinterpret_cast<const sockaddr *>(&m_to);
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    const long ticks = static_cast<long>(milliseconds) * 1'000'000 / tickNs;
    for (; counts.ticks < ticks; ++counts.ticks) {
        next.tv_nsec += tickNs;
        if (next.tv_nsec >= nsPerSecond) {
            next.tv_nsec -= nsPerSecond;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        xcb_query_pointer_reply_t *pointer =
            xcb_query_pointer_reply(m_x, xcb_query_pointer(m_x, m_root), nullptr);
        char cursor[20];
        const int length =
            std::snprintf(cursor, sizeof cursor, "110/%d/%d/", pointer ? pointer->root_x : 0,
                          pointer ? pointer->root_y : 0);
        std::free(pointer);
        sendto(m_udp, cursor, std::size_t(length), 0, address, sizeof m_to);
        if (m_sent == m_frameSize) {
            if (m_captures.size() < m_captures.capacity())
                m_captures.push_back({cpu_clock::wallSeconds(), cpu_clock::callingThreadSeconds()});
            m_frameSize = m_jpeg.encode(m_capture.capture(), m_capture.width(), m_capture.height(),
                                        m_quality);
            m_sent = 0;
            ++counts.frames;
        }
        const std::size_t n = std::min(chunkSize, m_frameSize - m_sent);
        sendto(m_udp, m_jpeg.encoded() + m_sent, n, 0, address, sizeof m_to);
        m_sent += n;
    }
    return counts;
}
