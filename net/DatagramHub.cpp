#include "net/DatagramHub.h"

#include "net/SocketOptions.h"

#include <QHash>

namespace {

// Single-threaded like the rest of the program: the registry needs no lock.
QHash<quint16, std::weak_ptr<DatagramHub>> &registry()
{
    static QHash<quint16, std::weak_ptr<DatagramHub>> hubs;
    return hubs;
}

} // namespace

std::shared_ptr<DatagramHub> DatagramHub::acquire(quint16 port, QString *error)
{
    if (std::shared_ptr<DatagramHub> existing = registry().value(port).lock()) {
        return existing;
    }
    auto *hub = new DatagramHub;
    const QString failure = SocketOptions::bindShared(hub->m_socket, port);
    if (!failure.isEmpty()) {
        delete hub;
        if (error) {
            *error = failure;
        }
        return nullptr;
    }
    connect(&hub->m_socket, &QUdpSocket::readyRead, hub, &DatagramHub::readPending);
    // The port is given back at once; the object itself may be inside one of its own signals.
    std::shared_ptr<DatagramHub> shared(hub, [](DatagramHub *released) {
        released->m_socket.close();
        released->deleteLater();
    });
    registry().insert(port, shared);
    return shared;
}

void DatagramHub::setReceiveBuffer(int bytes)
{
    SocketOptions::setReceiveBuffer(m_socket.socketDescriptor(), bytes);
}

void DatagramHub::readPending()
{
    // A receiver may release the hub, closing the socket, from inside the signal.
    while (m_socket.state() == QAbstractSocket::BoundState && m_socket.hasPendingDatagrams()) {
        const qint64 size = m_socket.pendingDatagramSize();
        QByteArray data(qMax<qint64>(size, 0), Qt::Uninitialized);
        QHostAddress sender;
        const qint64 read = m_socket.readDatagram(data.data(), data.size(), &sender);
        if (read < 0) {
            break;
        }
        data.truncate(read);
        emit datagramReceived(data, sender);
    }
}
