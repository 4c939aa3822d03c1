#pragma once

#include <QString>
#include <QtGlobal>

class QUdpSocket;

// The few socket options Qt does not offer: shared UDP ports, abortive close, a small
// receive buffer.
class SocketOptions
{
public:
    // Binds 0.0.0.0:port with SO_REUSEADDR and SO_REUSEPORT, so several simulated students
    // (in this process or others) all receive the console's broadcasts. Empty text on success.
    static QString bindShared(QUdpSocket &socket, quint16 port);
    // SO_LINGER 0: the next close sends a reset instead of a FIN.
    static bool setAbortiveClose(qintptr descriptor);
    static bool setReceiveBuffer(qintptr descriptor, int bytes);
    // TCP keep-alive with these timings, so a peer that vanished is noticed within about
    // idle + interval * count seconds.
    static bool setKeepAlive(qintptr descriptor, int idleSeconds, int intervalSeconds, int count);
};
