#include "UdpEndpointSupport.h"

#include "net/TUDPEndpoint.h"
#include "net/UDPSockError.h"

#include <QTest>
#include <gtest/gtest.h>
#include <sys/resource.h>

using udptest::sendFrom;

namespace {
constexpr quint16 kPort = 42000;

TEST(UdpEndpointBind, PortIsTakenModulo65536ForBindingAndSending)
{
    TUDPEndpoint receiver;
    receiver.setLocalPort(-1);
    EXPECT_EQ(receiver.LocalPort(), -1);
    EXPECT_EQ(receiver.BoundPort(), 65535);
    UdpEndpointRecorder recorder(receiver);

    TUDPEndpoint sender;
    sender.setRemoteHost("127.0.0.1");
    sender.setRemotePort(-1);
    sender.SendDatagram("wrapped", 7);
    sender.setRemotePort(65536 + 65535);
    sender.SendDatagram("again", 5);

    ASSERT_TRUE(recorder.waitFor(2));
    EXPECT_EQ(recorder.arrivals()[0].bytes, "wrapped");
    EXPECT_EQ(recorder.arrivals()[1].bytes, "again");
}

TEST(UdpEndpointBind, PortZeroLetsTheSystemPick)
{
    TUDPEndpoint endpoint;
    endpoint.setLocalPort(0);
    ASSERT_GT(endpoint.BoundPort(), 0);
    UdpEndpointRecorder recorder(endpoint);

    sendFrom("127.0.0.1", static_cast<quint16>(endpoint.BoundPort()), "picked");
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_EQ(recorder.arrivals().front().bytes, "picked");
}

TEST(UdpEndpointBind, ConstructedEndpointIsUnboundButSends)
{
    TUDPEndpoint endpoint;
    EXPECT_EQ(endpoint.BoundPort(), -1);
    auto peer = udptest::bindPeer("127.0.0.1", kPort);
    ASSERT_TRUE(peer);

    endpoint.setRemoteHost("127.0.0.1");
    endpoint.setRemotePort(kPort);
    endpoint.SendDatagram("unbound", 7);
    EXPECT_EQ(udptest::drain(*peer), QList<QByteArray>{"unbound"});
}

TEST(UdpEndpointBind, AssigningTheSamePortRebuildsTheSocket)
{
    TUDPEndpoint endpoint;
    endpoint.setLocalPort(kPort);
    UdpEndpointRecorder recorder(endpoint);

    // Queued on the first socket but never dispatched: the rebind must throw it away.
    sendFrom("127.0.0.1", kPort, "old");
    endpoint.setLocalPort(kPort);
    EXPECT_EQ(endpoint.BoundPort(), kPort);
    sendFrom("127.0.0.1", kPort, "new");

    ASSERT_TRUE(recorder.waitFor(1));
    QTest::qWait(100);
    ASSERT_EQ(recorder.arrivals().size(), 1u);
    EXPECT_EQ(recorder.arrivals().front().bytes, "new");
}

TEST(UdpEndpointBind, MovingToAnotherPortStopsReceivingOnTheOldOne)
{
    TUDPEndpoint endpoint;
    endpoint.setLocalPort(kPort);
    UdpEndpointRecorder recorder(endpoint);
    endpoint.setLocalPort(kPort + 1);

    sendFrom("127.0.0.1", kPort, "old port");
    sendFrom("127.0.0.1", kPort + 1, "new port");
    ASSERT_TRUE(recorder.waitFor(1));
    QTest::qWait(100);
    ASSERT_EQ(recorder.arrivals().size(), 1u);
    EXPECT_EQ(recorder.arrivals().front().bytes, "new port");
    EXPECT_TRUE(udptest::bindPeer("0.0.0.0", kPort)) << "the old socket still holds the port";
}

TEST(UdpEndpointBind, SecondEndpointOnATakenPortFailsSilentlyAndReceivesNothing)
{
    TUDPEndpoint first;
    first.setLocalPort(kPort);
    UdpEndpointRecorder firstRecorder(first);
    TUDPEndpoint second;
    EXPECT_NO_THROW(second.setLocalPort(kPort));
    EXPECT_EQ(second.LocalPort(), kPort);
    EXPECT_EQ(second.BoundPort(), -1);
    UdpEndpointRecorder secondRecorder(second);

    sendFrom("127.0.0.1", kPort, "for the first");
    ASSERT_TRUE(firstRecorder.waitFor(1));

    // The unbound one still sends, from a port the system picked.
    second.setRemoteHost("127.0.0.1");
    second.setRemotePort(kPort);
    second.SendDatagram("from the second", 15);
    ASSERT_TRUE(firstRecorder.waitFor(2));
    EXPECT_EQ(firstRecorder.arrivals()[1].bytes, "from the second");
    EXPECT_NE(firstRecorder.arrivals()[1].port, kPort);
    QTest::qWait(50);
    EXPECT_TRUE(secondRecorder.arrivals().empty());
}

TEST(UdpEndpointBind, BroadcastReachesEveryEndpointOnThePortIncludingTheSender)
{
    // Loopback's /8 has a broadcast address even in a namespace where only lo is up.
    TUDPEndpoint console;
    console.setLocalPort(kPort);
    console.setRemoteHost("127.255.255.255");
    console.setRemotePort(kPort);
    UdpEndpointRecorder recorder(console);

    console.SendDatagram("beacon", 6);
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_EQ(recorder.arrivals().front().bytes, "beacon");
    EXPECT_EQ(recorder.arrivals().front().port, kPort);
}

TEST(UdpEndpointCreate, SocketThatCannotBeMadeRaisesTheErrorNumber)
{
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);

    QString fromConstruction;
    QString fromRebind;
    TUDPEndpoint *made = nullptr;
    try {
        made = new TUDPEndpoint;
    } catch (const UDPSockError &e) {
        fromConstruction = e.message();
    }
    setrlimit(RLIMIT_NOFILE, &saved);
    TUDPEndpoint endpoint;
    endpoint.setLocalPort(kPort);
    setrlimit(RLIMIT_NOFILE, &none);
    try {
        endpoint.setLocalPort(kPort + 1);
    } catch (const UDPSockError &e) {
        fromRebind = e.message();
    }
    setrlimit(RLIMIT_NOFILE, &saved);
    delete made;

    EXPECT_EQ(fromConstruction, "Unknown Error No. 24");
    EXPECT_EQ(fromRebind, "Unknown Error No. 24");
    EXPECT_EQ(endpoint.LocalPort(), kPort) << "a port whose socket was never made is not kept";
    EXPECT_EQ(endpoint.BoundPort(), -1);
}

} // namespace
