#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

// A loopback port that stands in for a subnet nobody on this host listens to: a thread empties
// it every few milliseconds instead of waiting on it, so a sender pays for no receiver's wake-up.
class DrainingSink
{
public:
    DrainingSink();
    ~DrainingSink();
    DrainingSink(const DrainingSink &) = delete;
    DrainingSink &operator=(const DrainingSink &) = delete;

    std::uint16_t port() const { return m_port; }
    // Processor time of the draining thread so far.
    double cpuSeconds();

private:
    void drain();

    int m_socket;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
