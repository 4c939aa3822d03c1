#include "bench/ConsoleParts.h"

#include "classroom/ClassroomSession.h"
#include "net/TServerSocket.h"
#include "net/TUDPEndpoint.h"

namespace console_parts {

ClassroomSession &session(const QObject &console)
{
    return *console.findChild<ClassroomSession *>();
}

RosterModel &roster(const QObject &console)
{
    return session(console).rosterModel();
}

TUDPEndpoint &endpoint(const QObject &console, const char *name)
{
    return *console.findChild<TUDPEndpoint *>(QString::fromLatin1(name));
}

quint16 commandPort(const QObject &console)
{
    return quint16(console.findChild<TServerSocket *>()->Socket()->ListenPort());
}

quint16 mousePort(const QObject &console)
{
    return quint16(endpoint(console, "MouseUDP").BoundPort());
}

} // namespace console_parts
