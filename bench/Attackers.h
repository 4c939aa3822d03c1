#pragma once

#include <QtGlobal>
#include <atomic>
#include <thread>
#include <vector>

// Hostile hosts of the LAN played on loopback, each on a thread of its own until stopped. Every
// source address is a 127.x.y.z address of its own (all of 127.0.0.0/8 is local).
namespace attackers {

// The address of the n-th host (from 0) of a block: 127.<block>.<n / 250>.<n % 250 + 1>.
quint32 host(int block, int n);

// Connects and resets at once, from one new source address after another, at a steady rate.
class ResetStorm
{
public:
    ResetStorm(quint16 port, int perSecond, int block);
    ~ResetStorm();
    ResetStorm(const ResetStorm &) = delete;
    ResetStorm &operator=(const ResetStorm &) = delete;
    void stop();
    qint64 sent() const { return m_sent; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_sent{0};
    std::thread m_thread;
};

// Holds perSource connections from each of sources addresses, connecting again a second after
// the console closes one; with talk, each sends a byte a second (a slow request that never
// ends).
class Holders
{
public:
    Holders(quint16 port, int sources, int perSource, int block, bool talk);
    ~Holders();
    Holders(const Holders &) = delete;
    Holders &operator=(const Holders &) = delete;
    void stop();
    int held() const { return m_held; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_held{0};
    std::thread m_thread;
};

} // namespace attackers
