#include "RawStudent.h"
#include "ServerHarness.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

using servertest::settle;
using servertest::waitUntil;
using Kind = ServerHarness::Kind;

namespace {

using Crowd = std::vector<std::unique_ptr<RawStudent>>;

// Students of 127.0.<block>.1 and up.
void connectMore(Crowd &crowd, int block, int count, int port)
{
    for (int i = 1; i <= count; ++i) {
        const QByteArray from = QStringLiteral("127.0.%1.%2").arg(block).arg(i).toLatin1();
        crowd.push_back(std::make_unique<RawStudent>(from.constData(), port));
    }
}

// A storm of connect-and-reset while a connect handler holds a box open (a nested loop): the
// connections reset after they were accepted and those reset before are all closed at once,
// with no event, no report and their room given back; the next student is listed.
TEST(ServerStorm, ResetsWhileABoxIsOpenEndQuietlyAndGiveTheirRoomBack)
{
    ServerHarness harness;
    harness.closeOnError();
    int heldDuringBox = -1;
    harness.onConnect = [&](TServerClientWinSocket *) {
        if (harness.count(Kind::Connect) != 1)
            return;
        Crowd storm;
        connectMore(storm, 2, 150, harness.port());
        settle(100);
        for (auto &student : storm)
            student->reset();
        storm.clear();
        connectMore(storm, 3, 150, harness.port());
        for (auto &student : storm)
            student->reset();
        waitUntil([&] { return harness.server().budget().total() == 1; });
        heldDuringBox = harness.server().budget().total();
    };
    RawStudent first("127.0.0.2", harness.port());
    ASSERT_TRUE(waitUntil([&] { return heldDuringBox >= 0; }, 10000));
    EXPECT_EQ(heldDuringBox, 1);

    RawStudent newcomer("127.0.0.3", harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.count(Kind::Connect) == 2; }));
    settle(100);
    EXPECT_EQ(harness.count(Kind::Connect), 2);
    EXPECT_EQ(harness.server().ConnectionAt(1)->PeerPort(), newcomer.localPort());
    EXPECT_TRUE(harness.reports().isEmpty()) << harness.reports().join('|').toStdString();
}

// Bounds of two per source and six in all: a source gets no more than its share; a full server
// makes room for a newcomer from the source holding the most, then from a connection that
// talks (no student does), but never takes a quiet student's only connection: the next
// newcomer waits until someone leaves.
TEST(ServerStorm, AFullServerMakesRoomForNewcomersButNeverAtAQuietStudentsCost)
{
    ServerHarness harness({2, 6});
    harness.closeOnError();
    Crowd held;
    connectMore(held, 4, 1, harness.port());
    connectMore(held, 4, 1, harness.port());
    connectMore(held, 4, 1, harness.port());
    ASSERT_TRUE(waitUntil([&] { return held[2]->sawEndOfStream(); }));
    connectMore(held, 5, 4, harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 6; }));
    ASSERT_GT(held[3]->sendSome("hello", 5), 0);
    settle(100);

    Crowd newcomers;
    connectMore(newcomers, 6, 3, harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.count(Kind::Connect) == 8; }));
    settle(300);
    EXPECT_EQ(harness.count(Kind::Connect), 8);
    EXPECT_TRUE(held[1]->sawEndOfStream());
    EXPECT_TRUE(held[3]->sawEndOfStream());
    for (int quiet : {0, 4, 5, 6})
        EXPECT_FALSE(held[quiet]->sawEndOfStream()) << quiet;

    held[4].reset();
    EXPECT_TRUE(waitUntil([&] { return harness.count(Kind::Connect) == 9; }));
    EXPECT_EQ(harness.server().budget().total(), 6);
    EXPECT_TRUE(harness.reports().isEmpty()) << harness.reports().join('|').toStdString();
}

} // namespace
