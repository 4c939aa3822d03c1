#include "RawStudent.h"
#include "ServerHarness.h"

#include <QPointer>
#include <QTcpSocket>
#include <cerrno>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>
#include <vector>

using servertest::settle;
using servertest::waitUntil;
using Kind = ServerHarness::Kind;

namespace {

TEST(ServerClose, PeerCloseRaisesDisconnectWhileTheConnectionIsStillOpenAndListed)
{
    ServerHarness harness;
    QTcpSocket student;
    ASSERT_TRUE(student.bind(QHostAddress("127.0.0.5")));
    student.connectToHost(QHostAddress::LocalHost, quint16(harness.port()));
    ASSERT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 1; }));
    QPointer<TServerClientWinSocket> connection = harness.server().ConnectionAt(0);
    const int studentPort = student.localPort();
    QString peerAddress;
    int peerPort = 0;
    harness.onDisconnect = [&](TServerClientWinSocket *socket) {
        peerAddress = socket->PeerAddress();
        peerPort = socket->PeerPort();
    };

    student.disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return harness.count(Kind::Disconnect) == 1; }));
    const auto &event = harness.events().last();
    EXPECT_TRUE(event.openAtEvent);
    EXPECT_EQ(event.countAtEvent, 1);
    EXPECT_EQ(peerAddress, "127.0.0.5");
    EXPECT_EQ(peerPort, studentPort);
    EXPECT_TRUE(waitUntil([&] { return connection.isNull(); }));
    EXPECT_EQ(harness.server().ConnectionCount(), 0);
    EXPECT_TRUE(harness.reports().isEmpty());
}

// The enumeration rule of the callers depends on positions not shifting during one visit.
TEST(ServerClose, ClosingEveryConnectionInOneVisitKeepsThemCountedUntilReleased)
{
    ServerHarness harness;
    std::vector<std::unique_ptr<RawStudent>> students;
    for (const char *address : {"127.0.0.2", "127.0.0.3", "127.0.0.4"})
        students.push_back(std::make_unique<RawStudent>(address, harness.port()));
    ASSERT_TRUE(waitUntil([&] { return harness.count(Kind::Connect) == 3; }));

    TServerWinSocket &server = harness.server();
    const int count = server.ConnectionCount();
    for (int i = 0; i < count; ++i)
        if (server.ConnectionAt(i)->IsOpen())
            server.ConnectionAt(i)->CloseConnection();

    EXPECT_EQ(harness.count(Kind::Disconnect), 3);
    for (const auto &event : harness.events()) {
        if (event.kind == Kind::Disconnect) {
            EXPECT_TRUE(event.openAtEvent);
            EXPECT_EQ(event.countAtEvent, 3);
        }
    }
    ASSERT_EQ(server.ConnectionCount(), 3);
    for (int i = 0; i < count; ++i) {
        TServerClientWinSocket *closed = server.ConnectionAt(i);
        EXPECT_FALSE(closed->IsOpen());
        EXPECT_EQ(closed->WriteText("STOP"), 0);
        EXPECT_EQ(closed->PeerAddress(), "");
        EXPECT_EQ(closed->PeerPort(), 0);
        EXPECT_EQ(closed->PeerName(), "");
        EXPECT_EQ(closed->HostPort(), -1);
    }
    EXPECT_EQ(harness.events().size(), 6);

    EXPECT_TRUE(waitUntil([&] { return server.ConnectionCount() == 0; }));
    for (const auto &student : students)
        EXPECT_TRUE(student->sawEndOfStream());
}

TEST(ServerClose, ClosingAgainFromTheDisconnectHandlerRaisesNoSecondEvent)
{
    ServerHarness harness;
    harness.onDisconnect = [](TServerClientWinSocket *socket) { socket->CloseConnection(); };
    RawStudent student("127.0.0.2", harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 1; }));

    harness.server().ConnectionAt(0)->CloseConnection();
    EXPECT_FALSE(harness.server().ConnectionAt(0)->IsOpen());
    EXPECT_EQ(harness.count(Kind::Disconnect), 1);
}

TEST(ServerClose, AResetStudentIsClosedThroughTheErrorHandler)
{
    ServerHarness harness;
    harness.closeOnError();
    RawStudent student("127.0.0.2", harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 1; }));

    student.reset();
    ASSERT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 0; }));
    const auto &events = harness.events();
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[1].kind, Kind::Error);
    EXPECT_EQ(events[1].error, TErrorEvent::eeReceive);
    EXPECT_EQ(events[1].code, ECONNRESET);
    EXPECT_EQ(events[2].kind, Kind::Disconnect);
    EXPECT_TRUE(events[2].openAtEvent);
    EXPECT_TRUE(harness.reports().isEmpty());
}

TEST(ServerClose, AResetNobodyCancelsIsReportedAndTheConnectionStillEnds)
{
    ServerHarness harness;
    RawStudent student("127.0.0.2", harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 1; }));

    student.reset();
    EXPECT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 0; }));
    EXPECT_EQ(harness.reports(), QStringList{"Asynchronous socket error 104"});
    EXPECT_EQ(harness.count(Kind::Disconnect), 1);
}

// A reset peer's address is still known (accept gave it); a disconnect handler that fails
// for a reason of its own still leaves the connection closed.
TEST(ServerClose, ADisconnectHandlerFailingOnAResetPeerStillClosesTheConnection)
{
    ServerHarness harness;
    harness.closeOnError();
    QString address;
    harness.onDisconnect = [&](TServerClientWinSocket *socket) {
        address = socket->PeerAddress();
        throw ESocketError(QStringLiteral("handler failed"));
    };
    RawStudent student("127.0.0.2", harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 1; }));

    student.reset();
    EXPECT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 0; }));
    EXPECT_EQ(address, QStringLiteral("127.0.0.2"));
    EXPECT_EQ(harness.reports(), QStringList{"handler failed"});
}

TEST(ServerClose, DestroyingTheServerClosesEveryConnectionWithoutEvents)
{
    ServerHarness harness;
    RawStudent first("127.0.0.2", harness.port());
    RawStudent second("127.0.0.3", harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 2; }));
    harness.server().ConnectionAt(0)->CloseConnection();
    const auto eventsBefore = harness.events().size();

    harness.destroyServer();
    settle(50);
    EXPECT_EQ(harness.events().size(), eventsBefore);
    EXPECT_TRUE(first.sawEndOfStream());
    EXPECT_TRUE(second.sawEndOfStream());
    EXPECT_TRUE(harness.reports().isEmpty());
}

} // namespace

namespace {
// A student that was still sending when the console closed must read the last command and then
// an orderly end of stream, not a reset that could cost it that command.
TEST(ServerClose, AStudentSendingAtCloseReadsTheLastTextThenEndOfStream)
{
    ServerHarness harness;
    RawStudent student("127.0.0.6", harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.count(Kind::Connect) == 1; }));
    TServerClientWinSocket *connection = harness.server().ConnectionAt(0);
    const QByteArray junk(16 * 1024, 'j');
    // No event is handled between the junk and the close: it is still unread at the close.
    ASSERT_GT(student.sendSome(junk.constData(), junk.size()), 0);
    ASSERT_EQ(connection->WriteText("STOP"), 4);
    connection->CloseConnection();

    // The first thing after the data decides: 0 is an orderly end, an error is a reset.
    QByteArray received;
    ssize_t outcome = 1;
    int error = 0;
    ASSERT_TRUE(waitUntil([&] {
        char chunk[256];
        const ssize_t count = ::recv(student.handle(), chunk, sizeof chunk, MSG_DONTWAIT);
        if (count > 0) {
            received.append(chunk, count);
            return false;
        }
        error = errno;
        if (count < 0 && (error == EAGAIN || error == EWOULDBLOCK))
            return false;
        outcome = count;
        return true;
    }));
    EXPECT_EQ(received, "STOP");
    const bool ended = outcome == 0;
    EXPECT_TRUE(ended) << "the student saw a reset, errno " << error;
}
} // namespace
