#include "net/ReverseLookup.h"

#include <QMutex>

#include "net/NameLookups.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>
#include <sys/socket.h>

namespace reverse_lookup {
namespace {

// A name server that does not answer is given up after 1 s, then 2 s (the system's default
// waits 5 s, then 10 s, for each question).
constexpr int kNameServerWaitS = 1;
constexpr int kNameServerTries = 2;

QMutex g_lock;

Lookup &installed()
{
    static Lookup lookup;
    return lookup;
}

// The resolver's state belongs to the calling thread. Once shortened it is kept as it is: read
// again, the system's waits would come back for a lookup in two (so NameLookups ends its idle
// threads soon, and a new thread reads a changed resolv.conf).
void boundNameServerWait()
{
    static thread_local const bool bounded = [] {
        if (res_init() != 0)
            return false;
        _res.retrans = kNameServerWaitS;
        _res.retry = kNameServerTries;
        return true;
    }();
    Q_UNUSED(bounded);
}

// NI_NAMEREQD: an address without a name must give empty text, not its numeric form.
QByteArray systemLookup(quint32 address)
{
    boundNameServerWait();
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(address);
    char name[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<const sockaddr *>(&peer), sizeof peer, name, sizeof name,
                    nullptr, 0, NI_NAMEREQD) != 0)
        return {};
    return QByteArray(name);
}

} // namespace

QByteArray nameOf(quint32 address)
{
    Lookup lookup;
    {
        QMutexLocker locker(&g_lock);
        lookup = installed();
    }
    return lookup ? lookup(address) : systemLookup(address);
}

quint64 nameOfLater(quint32 address, const QObject *context,
                    std::function<void(const QByteArray &name)> done)
{
    return NameLookups::instance().request(address, context, std::move(done));
}

void cancel(quint64 ticket)
{
    NameLookups::instance().cancel(ticket);
}

bool waitForPending(int timeoutMs)
{
    return NameLookups::instance().waitForIdle(timeoutMs);
}

void install(Lookup lookup)
{
    {
        QMutexLocker locker(&g_lock);
        installed() = std::move(lookup);
    }
    NameLookups::instance().forgetNames();
}

} // namespace reverse_lookup
