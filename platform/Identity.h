#pragma once

#include <QString>

// Who this console is on the network: its name, its address and where its broadcasts go.
struct Identity
{
    QString LocalComputerName;
    QString LocalIP;

    // Looks both up afresh.
    static Identity lookUp();
};

// LocalIP with its last octet replaced by 255, whatever the mask: "10.1.2.3" gives
// "10.1.2.255"; a text without a dot keeps all of it, so "" gives ".255".
QString broadcastHostFor(const QString &localIP);
