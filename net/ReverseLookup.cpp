#include "net/ReverseLookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace reverse_lookup {
namespace {

Lookup &installed()
{
    static Lookup lookup;
    return lookup;
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
    if (installed())
        return installed()(address);
    return systemLookup(address);
}

void install(Lookup lookup)
{
    installed() = std::move(lookup);
}

} // namespace reverse_lookup
