#pragma once

#include <QByteArray>
#include <QtGlobal>

// The kernel's IPv4 neighbour table: which hardware address answered for an address on a link
// of this host. A host behind a router has no entry of its own (the router's stands there).
namespace neighbours {

// The 6-byte hardware address of address (host order) in a table laid out as /proc/net/arp;
// empty when the table holds no complete entry for it.
QByteArray macOf(quint32 address, const QByteArray &table);
// This host's table now; empty when it cannot be read.
QByteArray table();

} // namespace neighbours
