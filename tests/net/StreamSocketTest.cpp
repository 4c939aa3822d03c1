#include "net/StreamSocket.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <gtest/gtest.h>
#include <vector>

// A datagram the kernel refuses in the middle of a batch is the only one lost: those before
// and after it still go, in order, and are counted.
TEST(StreamSocketTest, ARefusedDatagramCostsOnlyItself)
{
    QUdpSocket viewer;
    ASSERT_TRUE(viewer.bind(QHostAddress::LocalHost, 0));
    StreamSocket socket;
    ASSERT_TRUE(socket.open(QStringLiteral("127.0.0.1"), viewer.localPort()).isEmpty());
    // Larger than any UDP datagram may be.
    const std::vector<QByteArray> batch{"first", "second", QByteArray(70000, 'x'), "third"};
    const StreamSocket::Sent sent = socket.send(batch);
    EXPECT_EQ(sent.datagrams, 3);
    EXPECT_EQ(sent.bytes, 16);
    QStringList arrived;
    while (arrived.size() < 3 && viewer.waitForReadyRead(2000))
        while (viewer.hasPendingDatagrams())
            arrived << QString::fromLatin1(viewer.receiveDatagram().data());
    EXPECT_EQ(arrived, QStringList({"first", "second", "third"}));
}
