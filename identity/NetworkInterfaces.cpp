#include "identity/NetworkInterfaces.h"

#include <QFile>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>

namespace netif {
namespace {

constexpr quint32 kLoopbackNet = 0x7F000000;
constexpr quint32 kLoopbackMask = 0xFF000000;
// Columns of /proc/net/route.
constexpr int kIfaceColumn = 0;
constexpr int kDestinationColumn = 1;
constexpr int kFlagsColumn = 3;
constexpr int kMetricColumn = 6;
constexpr int kMaskColumn = 7;

quint32 hostOrder(const sockaddr *address)
{
    if (!address || address->sa_family != AF_INET)
        return 0;
    return ntohl(reinterpret_cast<const sockaddr_in *>(address)->sin_addr.s_addr);
}

std::optional<quint32> hexField(const QList<QByteArray> &fields, int column)
{
    bool ok = false;
    const quint32 value = fields.value(column).toUInt(&ok, 16);
    return ok ? std::optional<quint32>(value) : std::nullopt;
}

} // namespace

QList<InterfaceAddress> interfaces()
{
    QList<InterfaceAddress> result;
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return result;
    for (const ifaddrs *item = list; item; item = item->ifa_next) {
        if (!item->ifa_addr || item->ifa_addr->sa_family != AF_INET)
            continue;
        InterfaceAddress entry;
        entry.name = QByteArray(item->ifa_name);
        entry.address = hostOrder(item->ifa_addr);
        entry.netmask = hostOrder(item->ifa_netmask);
        entry.up = (item->ifa_flags & IFF_UP) != 0;
        entry.loopback = (item->ifa_flags & IFF_LOOPBACK) != 0;
        entry.pointToPoint = (item->ifa_flags & IFF_POINTOPOINT) != 0;
        result.append(entry);
    }
    freeifaddrs(list);
    return result;
}

QByteArray defaultRouteInterface(const QByteArray &routeTable)
{
    QByteArray best;
    quint32 bestMetric = 0;
    const QList<QByteArray> lines = routeTable.split('\n');
    // The first line names the columns.
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        const auto destination = hexField(fields, kDestinationColumn);
        const auto flags = hexField(fields, kFlagsColumn);
        const auto mask = hexField(fields, kMaskColumn);
        const QByteArray metricText = fields.value(kMetricColumn);
        bool metricOk = false;
        const quint32 metric = metricText.toUInt(&metricOk);
        if (!destination || !flags || !mask || !metricOk || *destination != 0 || *mask != 0)
            continue;
        if (!(*flags & RTF_UP) || (*flags & RTF_REJECT))
            continue;
        if (best.isEmpty() || metric < bestMetric) {
            best = fields.value(kIfaceColumn);
            bestMetric = metric;
        }
    }
    return best;
}

QByteArray defaultRouteInterface()
{
    QFile table(QStringLiteral("/proc/net/route"));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    return defaultRouteInterface(table.readAll());
}

bool isLoopback(quint32 address)
{
    return (address & kLoopbackMask) == kLoopbackNet;
}

QString dotted(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

// Hand-written rather than inet_pton: the own-address test parses every monitored datagram's
// sender, and this needs no conversion of the text first.
std::optional<quint32> parseDotted(QStringView text)
{
    quint32 result = 0;
    int octets = 0;
    qsizetype at = 0;
    while (octets < 4) {
        quint32 octet = 0;
        int digits = 0;
        while (at < text.size() && text[at] >= u'0' && text[at] <= u'9' && digits < 4) {
            octet = octet * 10 + quint32(text[at].unicode() - u'0');
            ++at;
            ++digits;
        }
        if (digits == 0 || digits > 3 || octet > 255)
            return std::nullopt;
        result = (result << 8) | octet;
        ++octets;
        if (octets < 4) {
            if (at >= text.size() || text[at] != u'.')
                return std::nullopt;
            ++at;
        }
    }
    if (at != text.size())
        return std::nullopt;
    return result;
}

} // namespace netif
