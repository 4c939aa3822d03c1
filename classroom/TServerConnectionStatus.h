#pragma once

#include <QByteArray>
#include <QString>

// The roster record: what the console knows of one connection when it was last looked at.
struct TServerConnectionStatus
{
    qint32 Id = -1;
    QString UserName;
    QString HostName;
    QString HostAddress;
    qint32 HostPort = 0;
    QByteArray PeerName;
    QString PeerAddress;
    qint32 PeerPort = 0;
    bool Flag = false;
    int SockHandle = -1;
    quintptr NotifyWindow = 0;
};
