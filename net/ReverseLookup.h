#pragma once

#include <QByteArray>
#include <functional>

class QObject;

// How a peer's IPv4 address becomes its computer name. An address with no name gives empty
// text, never the address itself. Tests install their own answer.
namespace reverse_lookup {

// The address is in host byte order (127.0.0.2 is 0x7f000002). An installed lookup may be
// called from a worker thread.
using Lookup = std::function<QByteArray(quint32 address)>;

// Asks now, on the calling thread: it may wait as long as the name server does.
QByteArray nameOf(quint32 address);

// Asks on a worker thread and hands the answer to done on the application's thread, later,
// through its event loop; nothing is delivered once context is gone. Never waits.
void nameOfLater(quint32 address, const QObject *context,
                 std::function<void(const QByteArray &name)> done);

// Waits until no lookup is running or queued; false when the time ran out first.
bool waitForPending(int timeoutMs);

// Replaces the system's lookup; an empty function restores it.
void install(Lookup lookup);

} // namespace reverse_lookup
