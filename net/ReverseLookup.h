#pragma once

#include <QByteArray>
#include <functional>

// How a peer's IPv4 address becomes its computer name. Every call asks afresh; an address
// with no name gives empty text, never the address itself. Tests install their own answer.
namespace reverse_lookup {

// The address is in host byte order (127.0.0.2 is 0x7f000002).
using Lookup = std::function<QByteArray(quint32 address)>;

QByteArray nameOf(quint32 address);

// Replaces the system's lookup; an empty function restores it.
void install(Lookup lookup);

} // namespace reverse_lookup
