#include "UdpEndpointSupport.h"

#include <QNetworkDatagram>
#include <QTest>

namespace {
constexpr char kSentinel = 0x5A;
} // namespace

UdpEndpointRecorder::UdpEndpointRecorder(TUDPEndpoint &endpoint)
{
    QObject::connect(
        &endpoint, &TUDPEndpoint::dataReceived,
        [this, &endpoint](int numberBytes, const QString &fromIP, const char *bytes, int port) {
            QByteArray buffer(TUDPEndpoint::kBufferSize, kSentinel);
            Arrival arrival;
            arrival.numberBytes = numberBytes;
            endpoint.ReadDatagram(buffer.data(), arrival.copiedLength);
            arrival.bufferUntouched = buffer == QByteArray(TUDPEndpoint::kBufferSize, kSentinel);
            arrival.bytes = buffer.left(qMax(arrival.copiedLength, 0));
            // The signal hands over the same bytes ReadDatagram copies.
            arrival.signalBytesMatch = numberBytes > 0
                                           ? QByteArray(bytes, numberBytes) == arrival.bytes
                                           : bytes == nullptr;
            arrival.fromIP = fromIP;
            arrival.port = port;
            m_arrivals.push_back(arrival);
        });
}

bool UdpEndpointRecorder::waitFor(size_t count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return m_arrivals.size() >= count; }, timeoutMs);
}

namespace udptest {

std::unique_ptr<QUdpSocket> bindPeer(const QString &address, quint16 port)
{
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(QHostAddress(address), port, QAbstractSocket::DontShareAddress))
        return nullptr;
    return socket;
}

void sendFrom(const QString &source, quint16 toPort, const QByteArray &bytes)
{
    auto socket = bindPeer(source);
    if (socket)
        socket->writeDatagram(bytes, QHostAddress::LocalHost, toPort);
}

QList<QByteArray> drain(QUdpSocket &peer, int settleMs)
{
    QTest::qWait(settleMs);
    QList<QByteArray> received;
    while (peer.hasPendingDatagrams())
        received.append(peer.receiveDatagram().data());
    return received;
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

} // namespace udptest
