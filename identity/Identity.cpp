#include "identity/Identity.h"

#include "identity/ComputerName.h"
#include "identity/LocalAddress.h"

#include <algorithm>

namespace {
constexpr quint32 kLimitedBroadcast = 0xFFFFFFFF;
// A /31 or /32 leaves no room for a broadcast address of its own.
constexpr quint32 kWidestHostPartWithoutBroadcast = 1;

const InterfaceAddress *holder(quint32 address, const QList<InterfaceAddress> &interfaces)
{
    const auto holds = [address](const InterfaceAddress &entry) {
        return entry.address == address;
    };
    // An interface that is up wins over one that is down and happens to hold the same address.
    auto found =
        std::find_if(interfaces.cbegin(), interfaces.cend(),
                     [&](const InterfaceAddress &entry) { return holds(entry) && entry.up; });
    if (found == interfaces.cend())
        found = std::find_if(interfaces.cbegin(), interfaces.cend(), holds);
    return found == interfaces.cend() ? nullptr : &*found;
}

bool heldByUpInterface(const QString &localIP, const QList<InterfaceAddress> &interfaces)
{
    const auto address = netif::parseDotted(localIP);
    const InterfaceAddress *entry = address ? holder(*address, interfaces) : nullptr;
    return entry && entry->up;
}
} // namespace

Identity Identity::lookUp()
{
    const QList<InterfaceAddress> interfaces = netif::interfaces();
    Identity identity;
    identity.LocalComputerName = computername::computerName();
    identity.LocalIP = localaddress::localAddress(interfaces);
    identity.BroadcastHost = broadcastHostFor(identity.LocalIP, interfaces);
    identity.m_held = heldByUpInterface(identity.LocalIP, interfaces);
    return identity;
}

bool Identity::refresh()
{
    const QList<InterfaceAddress> interfaces = netif::interfaces();
    const QString before = LocalIP;
    const QString beforeBroadcast = BroadcastHost;
    // The resolver is asked only when the address is missing or gone, not at every beacon: a
    // slow name server must not hold the window every 5 seconds.
    const bool held = heldByUpInterface(LocalIP, interfaces);
    if (LocalIP.isEmpty() || (m_held && !held)) {
        LocalIP = localaddress::localAddress(interfaces);
        m_held = heldByUpInterface(LocalIP, interfaces);
    } else {
        m_held = held;
    }
    BroadcastHost = broadcastHostFor(LocalIP, interfaces);
    return LocalIP != before || BroadcastHost != beforeBroadcast;
}

QString broadcastHostFor(const QString &localIP, const QList<InterfaceAddress> &interfaces)
{
    const auto address = netif::parseDotted(localIP);
    const InterfaceAddress *entry = address ? holder(*address, interfaces) : nullptr;
    if (!entry || entry->pointToPoint || ~entry->netmask <= kWidestHostPartWithoutBroadcast)
        return netif::dotted(kLimitedBroadcast);
    return netif::dotted((entry->address & entry->netmask) | ~entry->netmask);
}
