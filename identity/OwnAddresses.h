#pragma once

#include <QStringView>
#include <chrono>
#include <vector>

// The IPv4 addresses this host's interfaces hold (loopback aside), for telling the console's
// own datagrams from others at the rate they arrive: a copy is kept and read again from the
// kernel once it is older than its maximum age, never per datagram and never via the resolver.
class OwnAddresses
{
public:
    static constexpr std::chrono::milliseconds kDefaultMaxAge{2000};

    explicit OwnAddresses(std::chrono::milliseconds maxAge = kDefaultMaxAge);

    // A sender's dotted-decimal address; text that is no address is never the console's own.
    bool contains(QStringView dotted);
    // Host byte order.
    bool contains(quint32 address);

private:
    void readIfStale();

    std::chrono::milliseconds m_maxAge;
    std::chrono::steady_clock::time_point m_readAt;
    bool m_read = false;
    std::vector<quint32> m_addresses;
};
