#include "net/ReverseLookup.h"

#include <QCoreApplication>
#include <QMutex>
#include <QPointer>
#include <QThreadPool>

#include "platform/Guard.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace reverse_lookup {
namespace {

// A name server that does not answer holds a thread for its whole time-out; a few threads let
// the other students' names through meanwhile.
constexpr int kLookupThreads = 8;

QMutex g_lock;

Lookup &installed()
{
    static Lookup lookup;
    return lookup;
}

// Never released: a lookup still waiting on the name server must not hold up the program's
// end, which a pool destroyed at exit would wait for.
QThreadPool &pool()
{
    static QThreadPool *const threads = [] {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(kLookupThreads);
        return created;
    }();
    return *threads;
}

// NI_NAMEREQD: an address without a name must give empty text, not its numeric form.
QByteArray systemLookup(quint32 address)
{
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

// The answer travels through the application object, which lives on the application's
// thread; the context is only looked at there.
void nameOfLater(quint32 address, const QObject *context,
                 std::function<void(const QByteArray &name)> done)
{
    const QPointer<QObject> receiver(const_cast<QObject *>(context));
    pool().start([address, receiver, done = std::move(done)] {
        const QByteArray name = nameOf(address);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [receiver, done, name] {
                if (receiver)
                    guard::run([&] { done(name); });
            },
            Qt::QueuedConnection);
    });
}

bool waitForPending(int timeoutMs)
{
    return pool().waitForDone(timeoutMs);
}

void install(Lookup lookup)
{
    QMutexLocker locker(&g_lock);
    installed() = std::move(lookup);
}

} // namespace reverse_lookup
