#include "RawStudent.h"
#include "ServerHarness.h"

#include <cerrno>
#include <gtest/gtest.h>

using servertest::settle;
using servertest::waitUntil;
using Kind = ServerHarness::Kind;

namespace {

constexpr int kSmallReceiveBuffer = 4096;
constexpr int kQueueLimit = 8 * 1024 * 1024;

// Numbered records, so that a lost, doubled or swapped piece shows in the comparison.
QByteArray record(int number, int size)
{
    QByteArray text = QByteArray::number(number).rightJustified(8, '0') + ':';
    return text.leftJustified(size, char('a' + number % 26));
}

TServerClientWinSocket *acceptOne(ServerHarness &harness)
{
    if (!waitUntil([&] { return harness.server().ConnectionCount() == 1; }))
        return nullptr;
    return harness.server().ConnectionAt(0);
}

TEST(ServerWrite, EmptyTextSendsNothingAndReturnsZero)
{
    ServerHarness harness;
    RawStudent student("127.0.0.2", harness.port());
    TServerClientWinSocket *connection = acceptOne(harness);
    ASSERT_TRUE(connection);

    EXPECT_EQ(connection->WriteText(QByteArray()), 0);
    EXPECT_EQ(connection->WriteText("IMAGE"), 5);
    QByteArray received;
    EXPECT_TRUE(waitUntil([&] { return (received += student.readAvailable()).size() >= 5; }));
    settle(50);
    EXPECT_EQ(received + student.readAvailable(), "IMAGE");
}

TEST(ServerWrite, BytesQueuedForASlowStudentArriveCompleteAndInOrder)
{
    ServerHarness harness;
    RawStudent student("127.0.0.2", harness.port(), kSmallReceiveBuffer);
    TServerClientWinSocket *connection = acceptOne(harness);
    ASSERT_TRUE(connection);

    QByteArray expected;
    int accepted = 0;
    int writesAfterQueueing = 0;
    for (int number = 0; number < 100000 && writesAfterQueueing < 20; ++number) {
        const QByteArray text = record(number, 1000);
        accepted += connection->WriteText(text);
        expected += text;
        if (connection->QueuedBytes() > 0)
            ++writesAfterQueueing;
    }
    ASSERT_EQ(writesAfterQueueing, 20) << "the kernel never refused a byte";

    // Room frees up in the kernel before the console hears it is writable: new text must
    // still wait behind the queue.
    QByteArray received = student.readAvailable();
    for (int number = 0; number < 20; ++number) {
        const QByteArray text = record(200000 + number, 1000);
        accepted += connection->WriteText(text);
        expected += text;
    }
    EXPECT_EQ(accepted, expected.size());

    EXPECT_TRUE(waitUntil([&] {
        received += student.readAvailable();
        return received.size() >= expected.size();
    }));
    EXPECT_TRUE(received == expected);
    EXPECT_EQ(connection->QueuedBytes(), 0);
    EXPECT_EQ(harness.events().size(), 1);
}

// The student is not reading: its queue may grow to 8 MiB and no further.
TEST(ServerWrite, AStudentThatNeverReadsIsDroppedOnceItsQueueWouldPass8MiB)
{
    ServerHarness harness;
    harness.closeOnError();
    RawStudent student("127.0.0.2", harness.port(), kSmallReceiveBuffer);
    TServerClientWinSocket *connection = acceptOne(harness);
    ASSERT_TRUE(connection);

    const QByteArray text(64 * 1024, 'q');
    int result = 0;
    int largestQueue = 0;
    for (int i = 0; i < 100000 && (result = connection->WriteText(text)) == text.size(); ++i)
        largestQueue = connection->QueuedBytes();

    EXPECT_EQ(result, -1);
    EXPECT_GT(largestQueue, kQueueLimit - text.size());
    EXPECT_LE(largestQueue, kQueueLimit);
    // The failure comes once the sending is over; meanwhile nothing more is taken.
    EXPECT_EQ(connection->WriteText(text), -1);
    EXPECT_EQ(harness.events().size(), 1);
    ASSERT_TRUE(waitUntil([&] { return !connection->IsOpen(); }));
    EXPECT_EQ(connection->WriteText(text), 0);
    const auto &events = harness.events();
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[1].kind, Kind::Error);
    EXPECT_EQ(events[1].error, TErrorEvent::eeSend);
    EXPECT_EQ(events[1].code, ENOBUFS);
    EXPECT_EQ(events[2].kind, Kind::Disconnect);
    EXPECT_TRUE(harness.reports().isEmpty());
}

TEST(ServerWrite, AQueueOverflowNobodyCancelsFailsNamingSendAndStillCloses)
{
    ServerHarness harness;
    RawStudent student("127.0.0.2", harness.port(), kSmallReceiveBuffer);
    TServerClientWinSocket *connection = acceptOne(harness);
    ASSERT_TRUE(connection);

    const QByteArray text(4096, 'q');
    for (int i = 0; i < 100000 && connection->WriteText(text) > 0; ++i) {
    }
    ASSERT_TRUE(waitUntil([&] { return !connection->IsOpen(); }));
    EXPECT_EQ(harness.reports(),
              QStringList{"Windows socket error: No buffer space available (105), on API 'send'"});
    EXPECT_EQ(harness.count(Kind::Disconnect), 1);
}

// Without MSG_NOSIGNAL the write would end the whole process with SIGPIPE.
TEST(ServerWrite, WritingToAResetStudentClosesThroughTheErrorHandler)
{
    ServerHarness harness;
    harness.closeOnError();
    RawStudent student("127.0.0.2", harness.port());
    TServerClientWinSocket *connection = acceptOne(harness);
    ASSERT_TRUE(connection);

    student.reset();
    EXPECT_EQ(connection->WriteText("STOP"), -1);
    EXPECT_TRUE(connection->IsOpen());
    ASSERT_TRUE(waitUntil([&] { return !connection->IsOpen(); }));
    EXPECT_EQ(connection->WriteText("STOP"), 0);
    const auto &events = harness.events();
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[1].error, TErrorEvent::eeSend);
    EXPECT_TRUE(events[1].code == ECONNRESET || events[1].code == EPIPE) << events[1].code;
    EXPECT_EQ(events[2].kind, Kind::Disconnect);
}

// A long message goes out in one write; a student that reads it slowly still gets all of it.
TEST(ServerWrite, AOneMebibyteMessageReachesASlowReaderWhole)
{
    ServerHarness harness;
    harness.closeOnError();
    RawStudent student("127.0.0.2", harness.port(), kSmallReceiveBuffer);
    TServerClientWinSocket *connection = acceptOne(harness);
    ASSERT_TRUE(connection);

    // The kernel's buffers are full first, so the message has to wait in the queue.
    QByteArray expected;
    for (int number = 0; number < 100000 && connection->QueuedBytes() == 0; ++number) {
        expected += record(number, 1000);
        connection->WriteText(expected.right(1000));
    }
    ASSERT_GT(connection->QueuedBytes(), 0);
    QByteArray message("2");
    for (int number = 0; message.size() < 1024 * 1024; ++number)
        message += record(number, 100);
    ASSERT_EQ(connection->WriteText(message), message.size());
    expected += message;

    QByteArray received;
    EXPECT_TRUE(waitUntil(
        [&] {
            settle(1);
            received += student.readAvailable();
            return received.size() >= expected.size();
        },
        60000));
    EXPECT_TRUE(received == expected);
    EXPECT_TRUE(connection->IsOpen());
    EXPECT_EQ(harness.count(Kind::Error), 0);
}

// Queued bytes nobody takes for the whole drain time end the connection, even far below
// the size bound.
TEST(ServerWrite, AStudentThatStopsReadingForTooLongIsDropped)
{
    ServerHarness harness;
    harness.closeOnError();
    RawStudent student("127.0.0.2", harness.port(), kSmallReceiveBuffer);
    TServerClientWinSocket *connection = acceptOne(harness);
    ASSERT_TRUE(connection);
    connection->setDrainTimeout(300);

    const QByteArray text(4096, 's');
    for (int i = 0; i < 1000 && connection->QueuedBytes() == 0; ++i)
        connection->WriteText(text);
    ASSERT_GT(connection->QueuedBytes(), 0);
    ASSERT_LT(connection->QueuedBytes(), kQueueLimit);

    ASSERT_TRUE(waitUntil([&] { return harness.count(Kind::Disconnect) == 1; }));
    const auto &events = harness.events();
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[1].error, TErrorEvent::eeSend);
    EXPECT_EQ(events[1].code, ETIMEDOUT);
    EXPECT_TRUE(harness.reports().isEmpty());
}

} // namespace
