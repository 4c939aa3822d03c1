#include "ServerHarness.h"
#include "RawStudent.h"

#include <QSysInfo>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

using servertest::settle;
using servertest::waitUntil;
using Kind = ServerHarness::Kind;

namespace {

int option(int handle, int level, int name)
{
    int value = -1;
    socklen_t length = sizeof value;
    ::getsockopt(handle, level, name, &value, &length);
    return value;
}

// Both students are in the kernel's queue before the console's loop runs. The first connect
// handler runs a nested loop (as a modal box would) and must still not see the second.
TEST(ServerAccept, StudentsConnectingAtOnceAreAcceptedInOrderEachAfterThePreviousEvent)
{
    ServerHarness harness;
    int countAfterNestedLoop = -1;
    harness.onConnect = [&](TServerClientWinSocket *) {
        if (harness.count(Kind::Connect) == 1) {
            settle(150);
            countAfterNestedLoop = harness.server().ConnectionCount();
        }
    };
    RawStudent first("127.0.0.2", harness.port());
    RawStudent second("127.0.0.3", harness.port());
    ASSERT_TRUE(first.connected() && second.connected());

    ASSERT_TRUE(waitUntil([&] { return harness.count(Kind::Connect) == 2; }));
    EXPECT_EQ(countAfterNestedLoop, 1);
    const auto &events = harness.events();
    ASSERT_EQ(harness.server().ConnectionCount(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(events[i].countAtEvent, i + 1);
        EXPECT_TRUE(events[i].openAtEvent);
        EXPECT_EQ(events[i].socket, harness.server().ConnectionAt(i));
    }
    EXPECT_EQ(harness.server().ConnectionAt(0)->PeerPort(), first.localPort());
    EXPECT_EQ(harness.server().ConnectionAt(1)->PeerPort(), second.localPort());
}

TEST(ServerAccept, EveryPropertyIsReadableInTheConnectHandler)
{
    ServerHarness harness;
    QString hostName, hostAddress, peerAddress;
    int hostPort = 0, peerPort = 0;
    harness.onConnect = [&](TServerClientWinSocket *socket) {
        hostName = socket->HostName();
        hostAddress = socket->HostAddress();
        hostPort = socket->HostPort();
        peerAddress = socket->PeerAddress();
        peerPort = socket->PeerPort();
    };
    RawStudent student("127.0.0.4", harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.count(Kind::Connect) == 1; }));

    EXPECT_EQ(hostName, QSysInfo::machineHostName());
    EXPECT_EQ(hostAddress, "127.0.0.1");
    EXPECT_EQ(hostPort, harness.port());
    EXPECT_EQ(peerAddress, "127.0.0.4");
    EXPECT_EQ(peerPort, student.localPort());
}

// So that a student whose computer vanished is noticed within about 25 s.
TEST(ServerAccept, EveryConnectionProbesItsPeerWithKeepAlive)
{
    ServerHarness harness;
    RawStudent student("127.0.0.2", harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 1; }));
    const int handle = harness.server().ConnectionAt(0)->SockHandle();

    EXPECT_EQ(option(handle, SOL_SOCKET, SO_KEEPALIVE), 1);
    EXPECT_EQ(option(handle, IPPROTO_TCP, TCP_KEEPIDLE), 10);
    EXPECT_EQ(option(handle, IPPROTO_TCP, TCP_KEEPINTVL), 5);
    EXPECT_EQ(option(handle, IPPROTO_TCP, TCP_KEEPCNT), 3);
}

TEST(ServerAccept, AFailingConnectHandlerIsReportedAndLaterStudentsAreStillAccepted)
{
    ServerHarness harness;
    harness.onConnect = [&](TServerClientWinSocket *) {
        if (harness.count(Kind::Connect) == 1)
            throw ESocketError(QStringLiteral("handler failed"));
    };
    RawStudent first("127.0.0.2", harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.reports().size() == 1; }));
    RawStudent second("127.0.0.3", harness.port());

    EXPECT_TRUE(waitUntil([&] { return harness.count(Kind::Connect) == 2; }));
    EXPECT_EQ(harness.reports(), QStringList{"handler failed"});
    EXPECT_EQ(harness.server().ConnectionCount(), 2);
}

} // namespace
