#pragma once

#include <QByteArray>
#include <functional>

class QObject;

// How a peer's IPv4 address becomes its computer name. An address with no name gives empty
// text, never the address itself. The system's lookup waits a few seconds at most for a name
// server that does not answer. Tests install their own answer.
namespace reverse_lookup {

// The address is in host byte order (127.0.0.2 is 0x7f000002). An installed lookup may be
// called from a worker thread.
using Lookup = std::function<QByteArray(quint32 address)>;

// Asks now, on the calling thread: it may wait as long as the name server does.
QByteArray nameOf(quint32 address);

// Hands the name to done on the application's thread: at once when it is known, else later
// through its event loop, from a worker thread's lookup (NameLookups). Nothing is delivered
// once context is gone or the returned ticket was cancelled. Never waits.
quint64 nameOfLater(quint32 address, const QObject *context,
                    std::function<void(const QByteArray &name)> done);
// The connection that asked has left: its answer is not wanted any more.
void cancel(quint64 ticket);

// Waits until no lookup is running or queued; false when the time ran out first.
bool waitForPending(int timeoutMs);

// Replaces the system's lookup, and forgets the names kept; an empty function restores it.
void install(Lookup lookup);

} // namespace reverse_lookup
