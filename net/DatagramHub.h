#pragma once

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>
#include <memory>

// One listening UDP socket per port, shared by every simulated student of this process that
// listens there: each datagram reaches all of them (a kernel-shared port would hand a unicast
// datagram to only one socket).
class DatagramHub : public QObject
{
    Q_OBJECT

public:
    // The hub of this port, bound on first use; null (and *error set) when it cannot be bound.
    static std::shared_ptr<DatagramHub> acquire(quint16 port, QString *error);
    // Room for a burst of datagrams while the receiver is busy drawing (the system may grant
    // less to a user).
    void setReceiveBuffer(int bytes);

signals:
    // Whole datagrams, whatever their size, so that receivers can judge an oversized one.
    void datagramReceived(const QByteArray &data, const QHostAddress &sender);

private:
    DatagramHub() = default;
    void readPending();

    QUdpSocket m_socket;
};
