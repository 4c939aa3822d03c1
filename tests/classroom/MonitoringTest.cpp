#include "classroom/Monitoring.h"
#include "classroom/CommandChannel.h"
#include "classroom/RosterModel.h"
#include "classroom/ScreenRequests.h"
#include "net/TServerWinSocket.h"
#include "protocol/JpegEncoder.h"

#include <QColor>
#include <QImage>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {
const QString kOwnAddress = QStringLiteral("10.0.0.5");
const QString kStudent = QStringLiteral("10.0.0.21");
const QString kOther = QStringLiteral("10.0.0.22");
constexpr quint64 kStudentKey = 7;
constexpr quint64 kOtherKey = 8;

// One student screen of a single colour as a JPEG file.
QByteArray screenFile(QColor colour, int width = 320, int height = 200)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(colour);
    JpegEncoder encoder;
    const auto file =
        encoder.encode(picture.constBits(), width, height, int(picture.bytesPerLine()), 90);
    return QByteArray(reinterpret_cast<const char *>(file.data()), qsizetype(file.size()));
}

QColor centre(const JpegDecoder::Image &image)
{
    const std::uint8_t *p =
        &image.rgb[std::size_t((image.height / 2 * image.width + image.width / 2) * 3)];
    return QColor(p[0], p[1], p[2]);
}
} // namespace

class MonitoringTest : public ::testing::Test
{
protected:
    // Two students in the roster; the first is watched.
    void SetUp() override
    {
        roster.appendRow(kStudentKey, "alpha", {kStudent.toLatin1(), "1000", "09:00:00", "no"});
        roster.appendRow(kOtherKey, "alpha", {kOther.toLatin1(), "1001", "09:00:00", "no"});
        monitoring.monitorStudent(kStudentKey);
    }
    // Sends a file the way a student does: 2048-byte pieces, then the shorter rest.
    void sendFile(const QByteArray &file, const QString &from = kStudent, bool endEmpty = true)
    {
        qsizetype at = 0;
        for (; file.size() - at >= Monitoring::kChunkSize; at += Monitoring::kChunkSize)
            monitoring.datagramReceived(Monitoring::kChunkSize, from, file.constData() + at);
        if (at < file.size() || endEmpty)
            monitoring.datagramReceived(int(file.size() - at), from, file.constData() + at);
    }

    RosterModel roster;
    TServerWinSocket server;
    CommandChannel channel{&server, &roster};
    ScreenRequests requests{channel};
    // Decoded on this thread, so each frame is shown by the time it has been received.
    Monitoring monitoring{requests, [](const QString &from) { return from == kOwnAddress; },
                          [](const std::function<void()> &decode) { decode(); }};
    QSignalSpy shown{&monitoring, &Monitoring::pictureChanged};
};

TEST_F(MonitoringTest, AFrameEndsWithItsShortDatagramAndIsShown)
{
    sendFile(screenFile(Qt::red, 640, 480));
    ASSERT_EQ(shown.count(), 1);
    EXPECT_EQ(monitoring.picture().width, 640);
    EXPECT_GT(centre(monitoring.picture()).red(), 200);
    EXPECT_EQ(monitoring.streamSize(), 0);
}

TEST_F(MonitoringTest, TheConsolesOwnDatagramsAreIgnored)
{
    const QByteArray beacon("00TEACHER");
    monitoring.datagramReceived(int(beacon.size()), kOwnAddress, beacon.constData());
    sendFile(screenFile(Qt::blue));
    EXPECT_EQ(shown.count(), 1);
}

TEST_F(MonitoringTest, AFrameOfWholeChunksWaitsForTheNextShortDatagram)
{
    QByteArray green = screenFile(Qt::green);
    green.append(QByteArray(Monitoring::kChunkSize - green.size() % Monitoring::kChunkSize, '\0'));
    ASSERT_EQ(green.size() % Monitoring::kChunkSize, 0);
    sendFile(green, kStudent, false);
    EXPECT_EQ(shown.count(), 0);
    // The next frame joins it; decoding stops at the first end of image, so green shows.
    sendFile(screenFile(Qt::red));
    ASSERT_EQ(shown.count(), 1);
    EXPECT_GT(centre(monitoring.picture()).green(), 200);
    // An empty datagram ends such a frame at once.
    sendFile(green, kStudent, true);
    EXPECT_EQ(shown.count(), 2);
}

TEST_F(MonitoringTest, BadFramesKeepThePictureAndStartAfresh)
{
    sendFile(screenFile(Qt::blue));
    ASSERT_EQ(shown.count(), 1);
    const QByteArray junk(3000, 'x');
    sendFile(junk);
    monitoring.datagramReceived(Monitoring::kChunkSize, kStudent, junk.constData());
    monitoring.datagramReceived(-1, kStudent, nullptr);
    EXPECT_EQ(shown.count(), 1);
    EXPECT_EQ(monitoring.streamSize(), 0);
    EXPECT_GT(centre(monitoring.picture()).blue(), 200);
}

TEST_F(MonitoringTest, AFrameThatNeverEndsIsBounded)
{
    const QByteArray chunk(Monitoring::kChunkSize, 'z');
    for (qsizetype total = 0; total <= Monitoring::kStreamLimit; total += chunk.size())
        monitoring.datagramReceived(int(chunk.size()), kStudent, chunk.constData());
    EXPECT_LE(monitoring.streamSize(), Monitoring::kStreamLimit);
    EXPECT_GT(monitoring.streamSize(), 0);
}

// Another host's datagrams (a student told to stop, a beacon, anyone on the LAN) neither end
// nor replace the watched student's frame.
TEST_F(MonitoringTest, OnlyTheWatchedStudentsDatagramsAreTaken)
{
    // Large enough to need more than one datagram.
    const QByteArray blue = screenFile(Qt::blue, 960, 600);
    ASSERT_GT(blue.size(), Monitoring::kChunkSize);
    const QByteArray red = screenFile(Qt::red);
    monitoring.datagramReceived(Monitoring::kChunkSize, kStudent, blue.constData());
    const QByteArray beacon("00OTHERCONSOLE");
    monitoring.datagramReceived(int(beacon.size()), kOther, beacon.constData());
    sendFile(red, kOther);
    EXPECT_EQ(shown.count(), 0);
    EXPECT_EQ(monitoring.streamSize(), Monitoring::kChunkSize);
    sendFile(blue.mid(Monitoring::kChunkSize));
    ASSERT_EQ(shown.count(), 1);
    EXPECT_GT(centre(monitoring.picture()).blue(), 200);
}

TEST_F(MonitoringTest, NothingIsTakenWhileNobodyIsWatched)
{
    monitoring.stopWatching();
    sendFile(screenFile(Qt::red));
    EXPECT_EQ(shown.count(), 0);
    EXPECT_EQ(monitoring.streamSize(), 0);

    // The watched student's row goes: it is nobody's screen any more.
    monitoring.monitorStudent(kStudentKey);
    roster.removeRowAt(0);
    EXPECT_EQ(monitoring.MonitorIndex(), -1);
    sendFile(screenFile(Qt::red));
    EXPECT_EQ(shown.count(), 0);
}

// The student is followed by its connection: a sort or an earlier row's departure moves its
// row, and the rotation counts on from wherever it stands.
TEST_F(MonitoringTest, TheWatchedStudentIsFollowedThroughSortsAndDepartures)
{
    roster.appendRow(9, "zulu", {"10.0.0.23", "0999", "09:00:00", "no"});
    monitoring.monitorStudent(kOtherKey);
    EXPECT_EQ(monitoring.MonitorIndex(), 1);
    EXPECT_EQ(monitoring.nextRow(), 2);
    roster.sortByColumn(RosterModel::PortColumn);
    EXPECT_EQ(monitoring.MonitorIndex(), 2);
    EXPECT_EQ(monitoring.nextRow(), 0);
    roster.removeRowAt(0);
    EXPECT_EQ(monitoring.MonitorIndex(), 1);
    roster.removeRowAt(1);
    EXPECT_EQ(monitoring.MonitorIndex(), -1);
    EXPECT_EQ(monitoring.nextRow(), 0);
}
