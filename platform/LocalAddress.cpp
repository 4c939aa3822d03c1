#include "platform/LocalAddress.h"

#include <QByteArray>
#include <QVarLengthArray>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

namespace localaddress {
namespace {

constexpr int kInitialResolverBuffer = 1024;
constexpr int kMaxResolverBuffer = 1 << 20;

QString dotted(const in_addr &address)
{
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &address, text, sizeof text))
        return {};
    return QString::fromLatin1(text);
}

bool isLoopback(const QString &address)
{
    return address.startsWith(QLatin1String("127."));
}

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
                                      size_t(buffer.size()), &result, &error))
               == ERANGE
           && buffer.size() < kMaxResolverBuffer)
        buffer.resize(buffer.size() * 2);
    if (status != 0 || !result || result->h_addrtype != AF_INET)
        return addresses;
    for (char **item = result->h_addr_list; *item; ++item) {
        in_addr address{};
        memcpy(&address, *item, sizeof address);
        addresses.append(dotted(address));
    }
    return addresses;
}

QStringList interfaceAddresses()
{
    QStringList addresses;
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return addresses;
    for (const ifaddrs *item = list; item; item = item->ifa_next) {
        if (!item->ifa_addr || item->ifa_addr->sa_family != AF_INET)
            continue;
        if (!(item->ifa_flags & IFF_UP) || (item->ifa_flags & IFF_LOOPBACK))
            continue;
        addresses.append(dotted(reinterpret_cast<const sockaddr_in *>(item->ifa_addr)->sin_addr));
    }
    freeifaddrs(list);
    return addresses;
}

} // namespace

QString chooseAddress(const QStringList &resolved, const QStringList &interfaces)
{
    if (resolved.isEmpty())
        return {};
    const bool allLoopback = std::all_of(resolved.cbegin(), resolved.cend(), isLoopback);
    if (allLoopback && !interfaces.isEmpty())
        return interfaces.last();
    return resolved.last();
}

QString localAddress()
{
    const QStringList resolved = resolve(hostName());
    if (resolved.isEmpty())
        return {};
    return chooseAddress(resolved, interfaceAddresses());
}

} // namespace localaddress
