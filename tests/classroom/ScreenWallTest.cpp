#include "classroom/ScreenWall.h"
#include "classroom/CommandChannel.h"
#include "classroom/DatagramTileFeed.h"
#include "classroom/RosterModel.h"
#include "classroom/ScreenRequests.h"
#include "net/TServerWinSocket.h"
#include "protocol/Chunks.h"
#include "tools/student-sim/ScreenPicture.h"

#include <QColor>
#include <QImage>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {
const QString kOwnAddress = QStringLiteral("10.0.0.5");
const QString kStranger = QStringLiteral("10.0.0.99");
const QString kAddresses[] = {QStringLiteral("10.0.0.21"), QStringLiteral("10.0.0.22")};
constexpr quint64 kKeys[] = {1, 2};

QByteArray screenFile(QColor colour, int width = 960, int height = 600)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(colour);
    return ScreenPicture::jpeg(picture, 90);
}

QColor centre(const JpegDecoder::Image &image)
{
    const std::uint8_t *p =
        &image.rgb[std::size_t((image.height / 2 * image.width + image.width / 2) * 3)];
    return QColor(p[0], p[1], p[2]);
}
} // namespace

// Two students in the roster, the wall shown; datagrams go straight to its feed and decodes run
// on this thread, so each tick's pictures are out by the time it returns.
class ScreenWallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (int i = 0; i < 2; ++i)
            roster.appendRow(kKeys[i], "pc", {kAddresses[i].toLatin1(), "1000", "09:00", "no"});
        wall.addFeed(&feed);
        wall.setTileSize(240, 150);
        QObject::connect(&wall, &ScreenWall::pictureChanged,
                         [this](quint64 key, const JpegDecoder::Image &picture) {
                             shown.append({key, centre(picture), picture.width});
                         });
        wall.show();
    }
    void datagram(const QString &from, QByteArrayView bytes)
    {
        feed.datagramReceived(int(bytes.size()), from, bytes.data());
    }
    void sendFile(const QString &from, const QByteArray &file)
    {
        for (const QByteArray &piece : chunks::cut(file))
            datagram(from, piece);
    }

    struct Shown
    {
        quint64 key;
        QColor centre;
        int width;
    };
    RosterModel roster;
    TServerWinSocket server;
    CommandChannel channel{&server, &roster};
    ScreenRequests requests{channel};
    DatagramTileFeed feed{requests, [](const QString &from) { return from == kOwnAddress; }};
    int decodes = 0;
    ScreenWall wall{roster, [this](const std::function<void()> &decode) {
                        ++decodes;
                        decode();
                    }};
    QList<Shown> shown;
};

// Chunks of two students' screens arrive interleaved, among datagrams of hosts that are no
// student: each student's file comes out whole, as its own.
TEST_F(ScreenWallTest, EachSendersDatagramsAreRebuiltOnTheirOwn)
{
    QSignalSpy files(&feed, &TileFeed::fileArrived);
    const QByteArray red = screenFile(Qt::red);
    const QByteArray blue = screenFile(Qt::blue, 1280, 720);
    const QList<QByteArray> redPieces = chunks::cut(red);
    const QList<QByteArray> bluePieces = chunks::cut(blue);
    ASSERT_GT(redPieces.size(), 2);
    for (qsizetype i = 0; i < std::max(redPieces.size(), bluePieces.size()); ++i) {
        if (i < redPieces.size())
            datagram(kAddresses[0], redPieces[i]);
        sendFile(kStranger, screenFile(Qt::green, 64, 64));
        datagram(kOwnAddress, "00TEACHER");
        if (i < bluePieces.size())
            datagram(kAddresses[1], bluePieces[i]);
    }
    ASSERT_EQ(files.count(), 2);
    EXPECT_EQ(files[0][0].value<quint64>(), kKeys[0]);
    EXPECT_EQ(files[0][1].toByteArray(), red);
    EXPECT_EQ(files[1][0].value<quint64>(), kKeys[1]);
    EXPECT_EQ(files[1][1].toByteArray(), blue);
    EXPECT_EQ(feed.pendingBytes(), 0);

    wall.pictures().decodeWaiting();
    ASSERT_EQ(shown.size(), 2);
    for (const Shown &picture : shown) {
        EXPECT_EQ(picture.key == kKeys[0] ? picture.centre.red() : picture.centre.blue(), 254);
        EXPECT_LT(picture.width, 960);
    }
}

// Whatever a student sends, its tile gets one picture a tick, the newest; a file it sent
// before is not decoded or shown again, unless the tiles changed size.
TEST_F(ScreenWallTest, EachStudentIsDecodedAtMostOnceATick)
{
    for (const QColor colour : {Qt::red, Qt::green, Qt::yellow, Qt::blue})
        sendFile(kAddresses[0], screenFile(colour));
    sendFile(kAddresses[1], screenFile(Qt::white));
    EXPECT_TRUE(shown.isEmpty());
    wall.pictures().decodeWaiting();
    ASSERT_EQ(decodes, 2);
    ASSERT_EQ(shown.size(), 2);
    const Shown &first = shown[0].key == kKeys[0] ? shown[0] : shown[1];
    EXPECT_GT(first.centre.blue(), 200);
    EXPECT_LT(first.centre.red(), 50);

    wall.pictures().decodeWaiting();
    EXPECT_EQ(decodes, 2);
    sendFile(kAddresses[0], screenFile(Qt::blue));
    wall.pictures().decodeWaiting();
    EXPECT_EQ(shown.size(), 2);

    wall.setTileSize(480, 300);
    sendFile(kAddresses[0], screenFile(Qt::blue));
    wall.pictures().decodeWaiting();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown.back().width, 480);
}

// A student that sends junk, a frame without end, reads that fail, or a header promising a
// huge picture costs bounded memory, shows nothing and leaves the other tile alone; nothing is
// taken from it once the wall is left.
TEST_F(ScreenWallTest, AHostileSenderSpoilsNothingButItsOwnFrames)
{
    const QByteArray chunk(chunks::kSize, '\xd8');
    QByteArray endless = QByteArray("\xff\xd8", 2) + chunk.left(chunks::kSize - 2);
    for (qsizetype sent = 0; sent <= chunks::kMaxFrame + chunks::kSize; sent += chunk.size()) {
        datagram(kAddresses[0], sent == 0 ? endless : chunk);
        EXPECT_LE(feed.pendingBytes(), chunks::kMaxFrame);
    }
    feed.datagramReceived(-1, kAddresses[0], nullptr);
    EXPECT_EQ(feed.pendingBytes(), 0);

    QByteArray huge = screenFile(Qt::red, 64, 64);
    // The frame header's height and width, as 65000 x 65000.
    const qsizetype frameHeader = huge.indexOf("\xff\xc0");
    huge.replace(frameHeader + 5, 4, QByteArray("\xfd\xe8\xfd\xe8", 4));
    QByteArray truncated = screenFile(Qt::red);
    truncated.truncate(truncated.size() / 2);
    for (const QByteArray &file : {QByteArray("\xff\xd8junk", 6), huge, truncated}) {
        sendFile(kAddresses[0], file);
        sendFile(kAddresses[1], screenFile(Qt::blue, 320 + int(file.size() % 7) * 16));
        wall.pictures().decodeWaiting();
    }
    ASSERT_EQ(shown.size(), 3);
    for (const Shown &picture : shown)
        EXPECT_EQ(picture.key, kKeys[1]);

    wall.hide();
    sendFile(kAddresses[0], screenFile(Qt::red));
    datagram(kAddresses[1], chunk);
    EXPECT_EQ(feed.pendingBytes(), 0);
    EXPECT_EQ(wall.pictures().waitingBytes(), 0);
}
