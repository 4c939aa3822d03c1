#include "identity/OwnAddresses.h"

#include "identity/NetworkInterfaces.h"

#include <algorithm>

OwnAddresses::OwnAddresses(std::chrono::milliseconds maxAge) : m_maxAge(maxAge) {}

bool OwnAddresses::contains(QStringView dotted)
{
    const auto address = netif::parseDotted(dotted);
    return address && contains(*address);
}

bool OwnAddresses::contains(quint32 address)
{
    readIfStale();
    return std::find(m_addresses.cbegin(), m_addresses.cend(), address) != m_addresses.cend();
}

// Loopback addresses are left out: the console's broadcasts never come back from them.
void OwnAddresses::readIfStale()
{
    const auto now = std::chrono::steady_clock::now();
    if (m_read && now - m_readAt < m_maxAge)
        return;
    m_addresses.clear();
    for (const InterfaceAddress &entry : netif::interfaces()) {
        if (!entry.loopback && !netif::isLoopback(entry.address))
            m_addresses.push_back(entry.address);
    }
    m_readAt = now;
    m_read = true;
}
