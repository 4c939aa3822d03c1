#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "identity/NetworkInterfaces.h"

// This machine's IPv4 address in dotted-decimal form.
namespace localaddress {

// The host name resolved for IPv4 and this host's interfaces as they are now; see
// chooseAddress. Empty when no usable address is found.
QString localAddress();
// The same with the interfaces already read.
QString localAddress(const QList<InterfaceAddress> &interfaces);

// The resolver's last address for the host name, unless it gave none or only 127.0.0.0/8 ones
// (Debian's "127.0.1.1 name" line). Then the address of the interface that carries the default
// route, else that of the first up interface that is not loopback; none: empty text.
QString chooseAddress(const QStringList &resolved, const QList<InterfaceAddress> &interfaces,
                      const QByteArray &defaultRouteInterface);

} // namespace localaddress
