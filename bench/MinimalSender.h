#pragma once

#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <vector>

#include "bench/CpuClock.h"

#include "bench/ReferenceJpeg.h"
#include "bench/ReferenceShmCapture.h"

struct xcb_connection_t;

// The yardstick for the console's demonstration: what its ticks must do and nothing more. Every
// 10 ms it asks X for the pointer, sends a cursor datagram and the next chunk of the frame, and
// captures and encodes a new frame (plain MIT-SHM, plain libjpeg-turbo) when one has been sent.
class MinimalSender
{
public:
    struct Counts
    {
        long ticks = 0;
        long frames = 0;
    };

    MinimalSender(std::uint16_t port, int quality);
    ~MinimalSender();
    MinimalSender(const MinimalSender &) = delete;
    MinimalSender &operator=(const MinimalSender &) = delete;

    bool ready() const;
    // Sends to 127.0.0.1:port for the given time on the calling thread; frames go on across
    // calls.
    Counts run(int milliseconds);
    // When each capture of the last run began, with this sender's processor time then.
    const std::vector<cpu_clock::Mark> &captures() const { return m_captures; }

private:
    int m_quality;
    ReferenceShmCapture m_capture;
    ReferenceJpeg m_jpeg;
    xcb_connection_t *m_x = nullptr;
    std::uint32_t m_root = 0;
    int m_udp = -1;
    sockaddr_in m_to{};
    std::size_t m_frameSize = 0;
    std::size_t m_sent = 0;
    std::vector<cpu_clock::Mark> m_captures;
};
