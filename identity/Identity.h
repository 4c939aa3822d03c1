#pragma once

#include <QList>
#include <QString>

#include "identity/NetworkInterfaces.h"

// Who this console is on the network: its name, its address and where its broadcasts go.
struct Identity
{
    QString LocalComputerName;
    // Empty when no network was found.
    QString LocalIP;
    QString BroadcastHost;

    // Looks everything up afresh.
    static Identity lookUp();

    // Looks LocalIP up anew when there was none or an interface that held it no longer does
    // (a network that came up later, or a new lease, is taken); the broadcast host follows the
    // interface's current mask. True when LocalIP or BroadcastHost changed.
    bool refresh();

private:
    // Whether an interface that is up held LocalIP when last looked at. An address from the
    // resolver that no interface holds is kept without asking the resolver again.
    bool m_held = false;
};

// The broadcast address of the interface that holds localIP, its netmask honoured:
// 10.1.5.20/16 gives 10.1.255.255. A point-to-point or mask-less (/31, /32) interface, or an
// address no interface holds, gives the limited broadcast 255.255.255.255.
QString broadcastHostFor(const QString &localIP, const QList<InterfaceAddress> &interfaces);
