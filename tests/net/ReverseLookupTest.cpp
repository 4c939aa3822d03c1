#include "RawStudent.h"
#include "ServerHarness.h"

#include "net/ReverseLookup.h"

#include <QHash>
#include <QMutex>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using servertest::waitUntil;

namespace {

// Puts the system's lookup back whatever the test's outcome.
struct InstalledLookup
{
    explicit InstalledLookup(reverse_lookup::Lookup lookup) { reverse_lookup::install(lookup); }
    ~InstalledLookup() { reverse_lookup::install({}); }
};

TEST(ReverseLookup, PeerNameIsAskedAfreshAtEveryReadAndIsEmptyWithoutAName)
{
    int asked = 0;
    InstalledLookup names([&](quint32 address) {
        ++asked;
        return address == 0x7f000002 ? QByteArray("alpha") : QByteArray();
    });
    ServerHarness harness;
    RawStudent named("127.0.0.2", harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 1; }));
    RawStudent unnamed("127.0.0.3", harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 2; }));

    EXPECT_EQ(harness.server().ConnectionAt(0)->PeerName(), "alpha");
    EXPECT_EQ(harness.server().ConnectionAt(1)->PeerName(), "");
    EXPECT_EQ(harness.server().ConnectionAt(0)->PeerName(), "alpha");
    EXPECT_EQ(asked, 3);
}

TEST(ReverseLookup, TheSystemLookupNeverAnswersWithTheNumericAddress)
{
    reverse_lookup::install({});
    EXPECT_NE(reverse_lookup::nameOf(0x7f00004d), "127.0.0.77");
}

// A name server that answers nothing for a crowd of held connections (each question waits
// 300 ms here): each address is asked once however many connections it has, the questions of
// connections that left are never asked, and a newcomer's name comes ahead of the crowd's.
TEST(ReverseLookup, ASilentNameServerKeepsNoNewcomerWaitingBehindACrowd)
{
    QMutex lock;
    QHash<quint32, int> asked;
    InstalledLookup names([&](quint32 address) -> QByteArray {
        {
            QMutexLocker locker(&lock);
            ++asked[address];
        }
        if (address == 0x7f000002)
            return "student";
        QThread::msleep(300);
        return {};
    });
    int crowdAnswered = 0;
    int crowdAnsweredBeforeStudent = -1;
    QByteArray studentName;
    std::vector<std::unique_ptr<QObject>> held;
    const auto ask = [&](quint32 address, bool student = false) {
        held.push_back(std::make_unique<QObject>());
        reverse_lookup::nameOfLater(address, held.back().get(),
                                    [&, student](const QByteArray &name) {
                                        if (!student) {
                                            ++crowdAnswered;
                                            return;
                                        }
                                        studentName = name;
                                        crowdAnsweredBeforeStudent = crowdAnswered;
                                    });
    };
    for (quint32 i = 1; i <= 100; ++i)
        ask(0x7f000400 + i);
    ask(0x7f000401);
    ask(0x7f000401);
    const std::size_t staying = held.size();
    for (quint32 i = 1; i <= 100; ++i)
        ask(0x7f000500 + i);
    held.resize(staying);
    ask(0x7f000002, true);

    ASSERT_TRUE(waitUntil([&] { return !studentName.isEmpty(); }));
    EXPECT_EQ(studentName, "student");
    EXPECT_LT(crowdAnsweredBeforeStudent, 50);
    ASSERT_TRUE(reverse_lookup::waitForPending(20000));
    EXPECT_EQ(crowdAnswered, 102);
    QMutexLocker locker(&lock);
    EXPECT_EQ(asked.value(0x7f000401), 1);
    for (quint32 i = 1; i <= 100; ++i)
        EXPECT_EQ(asked.value(0x7f000500 + i), 0) << i;

    // Known now: a second connection of the student is named at once, without asking again.
    QByteArray again;
    reverse_lookup::nameOfLater(0x7f000002, held.front().get(),
                                [&](const QByteArray &name) { again = name; });
    EXPECT_EQ(again, "student");
    EXPECT_EQ(asked.value(0x7f000002), 1);
}

} // namespace
