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

// One attacking host's thread, running until stopped.
class Attacker
{
public:
    Attacker() = default;
    // Stops the thread.
    virtual ~Attacker();
    Attacker(const Attacker &) = delete;
    Attacker &operator=(const Attacker &) = delete;
    void stop();

protected:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Connects and resets at once, from one new source address after another, at a steady rate.
class ResetStorm : public Attacker
{
public:
    ResetStorm(quint16 port, int perSecond, int block);
    qint64 sent() const { return m_sent; }

private:
    std::atomic<qint64> m_sent{0};
};

// Holds perSource connections from each of sources addresses, connecting again a second after
// the console closes one; with talk, each sends a byte a second (a slow request that never
// ends).
class Holders : public Attacker
{
public:
    Holders(quint16 port, int sources, int perSource, int block, bool talk);
    int held() const { return m_held; }

private:
    std::atomic<int> m_held{0};
};

} // namespace attackers
