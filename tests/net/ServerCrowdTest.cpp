#include "ServerHarness.h"
#include "tests/support/LoweredDescriptorLimit.h"
#include "tests/support/StudentCrowd.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using servertest::settle;
using servertest::waitUntil;
using Kind = ServerHarness::Kind;

namespace {

// The length of a listening socket's accept queue, as the kernel shows it in /proc/net/tcp.
int acceptQueue(int port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray wanted = QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 4 && fields[1].endsWith(':' + wanted) && fields[3] == "0A")
            return fields[4].split(':').value(1).toInt(nullptr, 16);
    }
    return -1;
}

TEST(ServerCrowd, TheListenQueueIsTheSystemMaximum)
{
    QFile somaxconn(QStringLiteral("/proc/sys/net/core/somaxconn"));
    ASSERT_TRUE(somaxconn.open(QIODevice::ReadOnly));
    EXPECT_EQ(TServerWinSocket::listenQueue(),
              std::max(somaxconn.readAll().trimmed().toInt(), SOMAXCONN));
}

// With a queue of five most of a room that connects in one instant was never listed.
TEST(ServerCrowd, ARoomConnectingInOneInstantIsAllListed)
{
    ServerHarness harness;
    StudentCrowd room(250, harness.port());
    EXPECT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 250; }, 10000));
    EXPECT_EQ(harness.server().ConnectionCount(), 250);
    EXPECT_EQ(room.closedByConsole(), 0);
}

// While a connect handler shows a box (a nested loop), students go on being taken from the
// system's queue; their events follow in order once the box is closed.
TEST(ServerCrowd, StudentsAreAcceptedWhileAConnectHandlerWaits)
{
    ServerHarness harness;
    int queuedDuringBox = -1;
    int listedDuringBox = -1;
    std::unique_ptr<StudentCrowd> others;
    harness.onConnect = [&](TServerClientWinSocket *) {
        if (harness.count(Kind::Connect) != 1)
            return;
        others = std::make_unique<StudentCrowd>(20, harness.port());
        settle(300);
        queuedDuringBox = acceptQueue(harness.port());
        listedDuringBox = harness.server().ConnectionCount();
    };
    StudentCrowd first(1, harness.port());

    ASSERT_TRUE(waitUntil([&] { return harness.count(Kind::Connect) == 21; }));
    EXPECT_EQ(queuedDuringBox, 0);
    EXPECT_EQ(listedDuringBox, 1);
    const auto &events = harness.events();
    for (int i = 0; i < 21; ++i) {
        EXPECT_EQ(events[i].countAtEvent, i + 1);
        EXPECT_EQ(events[i].socket, harness.server().ConnectionAt(i));
    }
    // The n-th student of the crowd connects from 127.0.1.(n + 2).
    for (int i = 1; i < 21; ++i)
        EXPECT_EQ(harness.server().ConnectionAt(i)->PeerAddress(),
                  QStringLiteral("127.0.1.%1").arg(i + 1));
}

TEST(ServerCrowd, OneHostCannotTakeMoreThanItsShare)
{
    ServerHarness harness;
    QStringList notices;
    QObject::connect(&harness.server(), &TServerWinSocket::acceptNotice,
                     [&](const QString &text) { notices.append(text); });
    StudentCrowd flood(ConnectionBudget::kCommandServer.perSource + 8, harness.port(), true);
    ASSERT_TRUE(waitUntil([&] { return flood.closedByConsole() == 8; }));
    StudentCrowd room(3, harness.port());

    EXPECT_TRUE(waitUntil([&] {
        return harness.count(Kind::Connect) == ConnectionBudget::kCommandServer.perSource + 3;
    }));
    settle(100);
    EXPECT_EQ(harness.server().ConnectionCount(), ConnectionBudget::kCommandServer.perSource + 3);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains(QStringLiteral("127.0.0.9")));
    EXPECT_TRUE(harness.reports().isEmpty());
}

// More students than descriptors allow: the rest wait in the system's queue, without an error
// box, and are listed as soon as others leave. Nobody is lost.
TEST(ServerCrowd, AFullBudgetPausesAcceptingAndLeavingResumesIt)
{
    ServerHarness harness;
    harness.closeOnError();
    QStringList notices;
    QObject::connect(&harness.server(), &TServerWinSocket::acceptNotice,
                     [&](const QString &text) { notices.append(text); });
    constexpr int capacity = 20;
    ASSERT_LT(LoweredDescriptorLimit::openNow() + capacity + 4,
              ConnectionBudget::kHeadroom + capacity);
    LoweredDescriptorLimit limit(rlim_t(ConnectionBudget::kHeadroom + capacity));
    ASSERT_EQ(ConnectionBudget().capacity(), capacity);
    ChildCrowd crowd(capacity + 5, harness.port());
    ASSERT_TRUE(crowd.started());

    ASSERT_TRUE(waitUntil([&] { return harness.count(Kind::Connect) == capacity; }));
    settle(300);
    EXPECT_EQ(harness.count(Kind::Connect), capacity);
    EXPECT_TRUE(harness.server().AcceptPaused());
    EXPECT_EQ(notices.size(), 1);

    crowd.closeFirst(5);
    EXPECT_TRUE(waitUntil([&] { return harness.count(Kind::Connect) == capacity + 5; }));
    EXPECT_EQ(harness.server().ConnectionCount(), capacity);
    EXPECT_EQ(notices.size(), 2);
    EXPECT_TRUE(harness.reports().isEmpty());
}

// Descriptors taken by something else: accept fails; it is said once, never in a box, and
// accepting resumes by itself once descriptors are free again.
TEST(ServerCrowd, RunningOutOfDescriptorsPausesWithoutABoxAndResumes)
{
    ServerHarness harness;
    QStringList notices;
    QObject::connect(&harness.server(), &TServerWinSocket::acceptNotice,
                     [&](const QString &text) { notices.append(text); });
    ChildCrowd crowd(10, harness.port());
    ASSERT_TRUE(crowd.started());
    LoweredDescriptorLimit limit(
        rlim_t(LoweredDescriptorLimit::openNow() + ConnectionBudget::kHeadroom + 20));
    std::vector<int> hogs;
    for (int handle; (handle = ::dup(0)) >= 0;)
        hogs.push_back(handle);
    settle(2500);
    EXPECT_EQ(harness.server().ConnectionCount(), 0);
    EXPECT_TRUE(harness.server().AcceptPaused());
    EXPECT_EQ(notices.size(), 1);

    for (const int handle : hogs)
        ::close(handle);
    EXPECT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 10; }));
    EXPECT_EQ(notices.size(), 2);
    EXPECT_TRUE(harness.reports().isEmpty());
}

} // namespace
