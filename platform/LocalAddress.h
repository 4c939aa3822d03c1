#pragma once

#include <QString>
#include <QStringList>

// This machine's IPv4 address in dotted-decimal form, looked up anew at every call.
namespace localaddress {

// The host name resolved for IPv4; see chooseAddress for which address wins. Empty when the
// name does not resolve.
QString localAddress();

// The choice among the resolver's list and the up, non-loopback interfaces' IPv4 addresses (both
// in their own order): the resolver's last address; but when every one of them is in 127.0.0.0/8
// the last interface address, if there is one. An empty resolver list gives empty text.
QString chooseAddress(const QStringList &resolved, const QStringList &interfaces);

} // namespace localaddress
