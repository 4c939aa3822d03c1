#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

// One IPv4 address of a network interface; numbers in host byte order.
struct InterfaceAddress
{
    QByteArray name;
    quint32 address = 0;
    // 0 when the interface reports no mask.
    quint32 netmask = 0;
    bool up = false;
    bool loopback = false;
    bool pointToPoint = false;
};

// This host's IPv4 interface addresses and default route, as the kernel reports them now.
namespace netif {

// Every IPv4 address of every interface, in the system's own order.
QList<InterfaceAddress> interfaces();

// The interface of the usable default route with the lowest metric in a table laid out as
// /proc/net/route; empty when the table has none.
QByteArray defaultRouteInterface(const QByteArray &routeTable);
// The same for this host's current table.
QByteArray defaultRouteInterface();

bool isLoopback(quint32 address);
QString dotted(quint32 address);
// Four decimal octets and nothing else; anything other is no address.
std::optional<quint32> parseDotted(QStringView text);

} // namespace netif
