#pragma once

#include <QtGlobal>
#include <netinet/in.h>

// What the benchmarks that play whole rooms on the loopback network share.
namespace loopback {

// An IPv4 socket address from a host-order address (0x7F000001 is 127.0.0.1) and port.
sockaddr_in ipv4(quint32 address, quint16 port);

// This process's resident memory in MiB (the console and any simulated students in it).
double residentMiB();

} // namespace loopback
