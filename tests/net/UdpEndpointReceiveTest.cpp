#include "UdpEndpointSupport.h"

#include "net/TUDPEndpoint.h"
#include "system/Guard.h"

#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>
#include <stdexcept>

using udptest::pattern;
using udptest::sendFrom;

namespace {
constexpr quint16 kPort = 41000;

// Each test gets one endpoint bound to kPort with its arrivals written down.
class UdpEndpointReceive : public ::testing::Test
{
protected:
    void SetUp() override { endpoint.setLocalPort(kPort); }

    TUDPEndpoint endpoint;
    UdpEndpointRecorder recorder{endpoint};
};

TEST_F(UdpEndpointReceive, FullSizeDatagramArrivesWhole)
{
    const QByteArray payload = pattern(TUDPEndpoint::kBufferSize);
    sendFrom("127.0.0.1", kPort, payload);

    ASSERT_TRUE(recorder.waitFor(1));
    const auto &arrival = recorder.arrivals().front();
    EXPECT_EQ(arrival.numberBytes, 2048);
    EXPECT_EQ(arrival.copiedLength, 2048);
    EXPECT_EQ(arrival.bytes, payload);
    EXPECT_TRUE(arrival.signalBytesMatch);
}

TEST_F(UdpEndpointReceive, OversizedDatagramIsOneFailedReadAndTheStreamGoesOn)
{
    sendFrom("127.0.0.1", kPort, pattern(TUDPEndpoint::kBufferSize + 1));
    sendFrom("127.0.0.1", kPort, "after");

    ASSERT_TRUE(recorder.waitFor(2));
    QTest::qWait(50);
    const auto &arrivals = recorder.arrivals();
    ASSERT_EQ(arrivals.size(), 2u);
    EXPECT_EQ(arrivals[0].numberBytes, -1);
    EXPECT_EQ(arrivals[0].copiedLength, -1);
    EXPECT_TRUE(arrivals[0].bufferUntouched);
    EXPECT_TRUE(arrivals[0].signalBytesMatch);
    EXPECT_EQ(arrivals[0].fromIP, "127.0.0.1");
    EXPECT_EQ(arrivals[1].numberBytes, 5);
    EXPECT_EQ(arrivals[1].bytes, "after");
}

TEST_F(UdpEndpointReceive, EmptyDatagramIsReportedWithLengthZero)
{
    sendFrom("127.0.0.1", kPort, QByteArray());

    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_EQ(recorder.arrivals().front().numberBytes, 0);
    EXPECT_TRUE(recorder.arrivals().front().bufferUntouched);
}

TEST_F(UdpEndpointReceive, ReportsTheSendersAddressAndPort)
{
    auto sender = udptest::bindPeer("127.0.0.3");
    ASSERT_TRUE(sender);
    sender->writeDatagram("one", QHostAddress::LocalHost, kPort);
    sendFrom("127.0.0.4", kPort, "two");
    sender->writeDatagram("three", QHostAddress::LocalHost, kPort);

    ASSERT_TRUE(recorder.waitFor(3));
    const auto &arrivals = recorder.arrivals();
    EXPECT_EQ(arrivals[0].fromIP, "127.0.0.3");
    EXPECT_EQ(arrivals[0].port, sender->localPort());
    EXPECT_EQ(arrivals[1].fromIP, "127.0.0.4");
    EXPECT_EQ(arrivals[2].fromIP, "127.0.0.3");
    EXPECT_EQ(arrivals[2].bytes, "three");
}

TEST_F(UdpEndpointReceive, BurstsArriveInOrderEachDatagramReadableInItsEvent)
{
    constexpr int kBursts = 20;
    constexpr int kPerBurst = 100;
    auto sender = udptest::bindPeer("127.0.0.1");
    ASSERT_TRUE(sender);
    for (int burst = 0; burst < kBursts; ++burst) {
        for (int i = 0; i < kPerBurst; ++i)
            sender->writeDatagram(QByteArray::number(burst * kPerBurst + i),
                                  QHostAddress::LocalHost, kPort);
        ASSERT_TRUE(recorder.waitFor(static_cast<size_t>((burst + 1) * kPerBurst)));
    }

    for (int i = 0; i < kBursts * kPerBurst; ++i)
        ASSERT_EQ(recorder.arrivals()[i].bytes, QByteArray::number(i)) << "datagram " << i;
}

TEST(UdpEndpointDrain, WithoutHandlerArrivalsAreReadAndDiscarded)
{
    TUDPEndpoint endpoint;
    endpoint.setLocalPort(kPort);
    auto sender = udptest::bindPeer("127.0.0.1");
    ASSERT_TRUE(sender);
    // More than a default receive queue holds, fed in rounds the endpoint must empty in between.
    for (int round = 0; round < 10; ++round) {
        for (int i = 0; i < 200; ++i)
            sender->writeDatagram(pattern(1024), QHostAddress::LocalHost, kPort);
        QTest::qWait(20);
    }
    QTest::qWait(100);

    UdpEndpointRecorder recorder(endpoint);
    sender->writeDatagram("marker", QHostAddress::LocalHost, kPort);
    ASSERT_TRUE(recorder.waitFor(1));
    QTest::qWait(50);
    ASSERT_EQ(recorder.arrivals().size(), 1u);
    EXPECT_EQ(recorder.arrivals().front().bytes, "marker");
}

TEST(UdpEndpointHandlerFailure, GoesThroughTheGuardAndReceivingContinues)
{
    QStringList reported;
    guard::setReporter([&](const QString &message) { reported.append(message); });
    TUDPEndpoint endpoint;
    endpoint.setLocalPort(kPort);
    QList<QByteArray> handled;
    QObject::connect(&endpoint, &TUDPEndpoint::dataReceived,
                     [&](int numberBytes, const QString &, const char *bytes) {
                         handled.append(QByteArray(bytes, numberBytes));
                         if (handled.size() == 1)
                             throw std::runtime_error("handler broke");
                     });

    sendFrom("127.0.0.1", kPort, "first");
    sendFrom("127.0.0.1", kPort, "second");
    const bool both = QTest::qWaitFor([&] { return handled.size() == 2; }, 3000);
    guard::setReporter({});

    ASSERT_TRUE(both);
    EXPECT_EQ(handled, (QList<QByteArray>{"first", "second"}));
    EXPECT_EQ(reported, QStringList{"handler broke"});
}

TEST(UdpEndpointHandlerEnds, CloseInsideTheHandlerStopsFurtherEvents)
{
    TUDPEndpoint endpoint;
    endpoint.setLocalPort(kPort);
    int events = 0;
    QObject::connect(&endpoint, &TUDPEndpoint::dataReceived, [&] {
        ++events;
        endpoint.Close();
    });
    for (int i = 0; i < 5; ++i)
        sendFrom("127.0.0.1", kPort, "x");

    QTest::qWait(200);
    EXPECT_EQ(events, 1);
    EXPECT_EQ(endpoint.BoundPort(), -1);
}

TEST(UdpEndpointHandlerEnds, DestroyingTheEndpointInsideTheHandlerIsSafe)
{
    QPointer<TUDPEndpoint> endpoint = new TUDPEndpoint;
    endpoint->setLocalPort(kPort);
    int events = 0;
    QObject::connect(endpoint, &TUDPEndpoint::dataReceived, [&events, &endpoint] {
        ++events;
        delete endpoint.data();
    });
    for (int i = 0; i < 5; ++i)
        sendFrom("127.0.0.1", kPort, "x");

    QTest::qWait(200);
    EXPECT_TRUE(endpoint.isNull());
    EXPECT_EQ(events, 1);
    // The port is free again: the socket went with the endpoint.
    EXPECT_TRUE(udptest::bindPeer("0.0.0.0", kPort));
}

} // namespace
