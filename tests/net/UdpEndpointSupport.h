#pragma once

#include "net/TUDPEndpoint.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QUdpSocket>
#include <memory>
#include <vector>

// Writes down every datagram an endpoint reports, with what ReadDatagram hands over at that moment.
class UdpEndpointRecorder
{
public:
    struct Arrival
    {
        int numberBytes = 0;
        QByteArray bytes;
        int copiedLength = 0;
        bool bufferUntouched = true;
        bool signalBytesMatch = false;
        QString fromIP;
        int port = 0;
    };

    explicit UdpEndpointRecorder(TUDPEndpoint &endpoint);

    const std::vector<Arrival> &arrivals() const { return m_arrivals; }
    // Pumps the event loop until `count` datagrams were reported or the time is up.
    bool waitFor(size_t count, int timeoutMs = 3000) const;

private:
    std::vector<Arrival> m_arrivals;
};

namespace udptest {

// A plain Qt socket bound exclusively to address:port (0 lets the system pick).
std::unique_ptr<QUdpSocket> bindPeer(const QString &address, quint16 port = 0);

// Sends from a throw-away socket bound to `source` on a system-picked port.
void sendFrom(const QString &source, quint16 toPort, const QByteArray &bytes);

// What has reached the peer after letting the event loop run for settleMs.
QList<QByteArray> drain(QUdpSocket &peer, int settleMs = 150);

// A payload of `size` bytes that differs at every position, so a shift or cut shows.
QByteArray pattern(int size);

} // namespace udptest
