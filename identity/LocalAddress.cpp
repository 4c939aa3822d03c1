#include "identity/LocalAddress.h"

#include <QVarLengthArray>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

namespace localaddress {
namespace {

constexpr int kInitialResolverBuffer = 1024;
constexpr int kMaxResolverBuffer = 1 << 20;

QByteArray hostName()
{
    char buffer[HOST_NAME_MAX + 1] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0)
        return {};
    return QByteArray(buffer);
}

// gethostbyname keeps the order of the hosts file or the name server's answer, where getaddrinfo
// would re-sort it; "the last address" is meant in the resolver's own order.
QStringList resolve(const QByteArray &name)
{
    QStringList addresses;
    if (name.isEmpty())
        return addresses;
    QVarLengthArray<char, kInitialResolverBuffer> buffer(kInitialResolverBuffer);
    hostent entry{};
    hostent *result = nullptr;
    int error = 0;
    int status = 0;
    while ((status = gethostbyname2_r(name.constData(), AF_INET, &entry, buffer.data(),
                                      size_t(buffer.size()), &result, &error)) == ERANGE &&
           buffer.size() < kMaxResolverBuffer)
        buffer.resize(buffer.size() * 2);
    if (status != 0 || !result || result->h_addrtype != AF_INET)
        return addresses;
    for (char **item = result->h_addr_list; *item; ++item) {
        in_addr address{};
        memcpy(&address, *item, sizeof address);
        addresses.append(netif::dotted(ntohl(address.s_addr)));
    }
    return addresses;
}

bool isLoopbackText(const QString &address)
{
    const auto number = netif::parseDotted(address);
    return number && netif::isLoopback(*number);
}

bool usable(const InterfaceAddress &entry)
{
    return entry.up && !entry.loopback && entry.address != 0 && !netif::isLoopback(entry.address);
}

} // namespace

QString chooseAddress(const QStringList &resolved, const QList<InterfaceAddress> &interfaces,
                      const QByteArray &defaultRouteInterface)
{
    if (!resolved.isEmpty() && !std::all_of(resolved.cbegin(), resolved.cend(), isLoopbackText))
        return resolved.last();
    const auto carriesDefault = [&](const InterfaceAddress &entry) {
        return usable(entry) && !defaultRouteInterface.isEmpty() &&
               entry.name == defaultRouteInterface;
    };
    auto chosen = std::find_if(interfaces.cbegin(), interfaces.cend(), carriesDefault);
    if (chosen == interfaces.cend())
        chosen = std::find_if(interfaces.cbegin(), interfaces.cend(), usable);
    return chosen == interfaces.cend() ? QString() : netif::dotted(chosen->address);
}

QString localAddress(const QList<InterfaceAddress> &interfaces)
{
    return chooseAddress(resolve(hostName()), interfaces, netif::defaultRouteInterface());
}

QString localAddress()
{
    return localAddress(netif::interfaces());
}

} // namespace localaddress
