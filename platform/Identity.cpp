#include "platform/Identity.h"

#include "platform/ComputerName.h"
#include "platform/LocalAddress.h"

Identity Identity::lookUp()
{
    return Identity{computername::computerName(), localaddress::localAddress()};
}

QString broadcastHostFor(const QString &localIP)
{
    const qsizetype dot = localIP.lastIndexOf(QLatin1Char('.'));
    return (dot < 0 ? localIP : localIP.left(dot)) + QStringLiteral(".255");
}
