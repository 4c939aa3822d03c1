#include "classroom/Demonstration.h"
#include "classroom/FrameSource.h"
#include "net/TUDPEndpoint.h"
#include "protocol/Datagrams.h"
#include "system/AppError.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/WaitUntil.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <gtest/gtest.h>
#include <vector>

namespace {
// Frames of chosen sizes; each byte tells which frame it belongs to.
class ScriptedFrames : public FrameSource
{
public:
    explicit ScriptedFrames(std::vector<int> sizes) : m_sizes(std::move(sizes)) {}

    std::span<const std::uint8_t> captureFrame(std::int32_t quality) override
    {
        qualities.push_back(quality);
        if (failNext) {
            failNext = false;
            throw AppError(QStringLiteral("no display"));
        }
        const int size = m_sizes.at(std::min(captures, int(m_sizes.size()) - 1));
        m_frame.assign(std::size_t(size), std::uint8_t('A' + captures % 26));
        ++captures;
        return m_frame;
    }

    int captures = 0;
    bool failNext = false;
    std::vector<std::int32_t> qualities;

private:
    std::vector<int> m_sizes;
    std::vector<std::uint8_t> m_frame;
};
} // namespace

class DemonstrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(receiver.bind(QHostAddress::LocalHost, 0));
        endpoint.setRemoteHost(QStringLiteral("127.0.0.1"));
        endpoint.setRemotePort(receiver.localPort());
    }
    // Runs ticks and returns the sizes of the datagrams they sent, in order.
    std::vector<int> tick(Demonstration &demo, int ticks)
    {
        for (int i = 0; i < ticks; ++i)
            demo.SendScreenChunk();
        std::vector<int> sizes;
        waitUntil(
            [&] {
                while (receiver.hasPendingDatagrams()) {
                    const QByteArray d = receiver.receiveDatagram().data();
                    sizes.push_back(int(d.size()));
                    payload += d;
                }
                return int(sizes.size()) >= ticks;
            },
            2000);
        return sizes;
    }

    QUdpSocket receiver;
    TUDPEndpoint endpoint;
    std::int32_t quality = 50;
    QByteArray payload;
};

TEST_F(DemonstrationTest, AFrameGoesOutOneChunkPerTickAndTheNextIsCapturedAfterIt)
{
    ScriptedFrames frames({5000, 300});
    Demonstration demo(&endpoint, &frames, quality);
    EXPECT_EQ(tick(demo, 3), (std::vector<int>{2048, 2048, 904}));
    EXPECT_EQ(frames.captures, 1);
    EXPECT_TRUE(demo.stream().isEmpty());
    EXPECT_EQ(payload, QByteArray(5000, 'A'));
    EXPECT_EQ(tick(demo, 1), (std::vector<int>{300}));
    EXPECT_EQ(frames.captures, 2);
}

// Late ticks are made up for within the frame being sent: never past its end, never with a
// capture of their own.
TEST_F(DemonstrationTest, CatchingUpEndsWithTheFrame)
{
    ScriptedFrames frames({5000, 300});
    Demonstration demo(&endpoint, &frames, quality);
    EXPECT_EQ(demo.catchUp(4), 0);
    EXPECT_EQ(tick(demo, 1), (std::vector<int>{2048}));
    EXPECT_EQ(demo.catchUp(4), 2);
    EXPECT_EQ(frames.captures, 1);
    EXPECT_TRUE(demo.stream().isEmpty());
}

TEST_F(DemonstrationTest, AnExactMultipleOf2048HasNoShortDatagram)
{
    ScriptedFrames frames({4096, 100});
    Demonstration demo(&endpoint, &frames, quality);
    EXPECT_EQ(tick(demo, 3), (std::vector<int>{2048, 2048, 100}));
    EXPECT_EQ(payload, QByteArray(4096, 'A') + QByteArray(100, 'B'));
}

TEST_F(DemonstrationTest, ASmallFrameIsCapturedAnewEveryTick)
{
    ScriptedFrames frames({700});
    Demonstration demo(&endpoint, &frames, quality);
    EXPECT_EQ(tick(demo, 3), (std::vector<int>{700, 700, 700}));
    EXPECT_EQ(frames.captures, 3);
}

TEST_F(DemonstrationTest, AnAbandonedFrameIsFollowedDirectlyByAFreshOne)
{
    ScriptedFrames frames({5000, 3000});
    Demonstration demo(&endpoint, &frames, quality);
    tick(demo, 1);
    demo.abandonFrame();
    EXPECT_EQ(demo.FrameBytesLeft(), 5000 - 2048);
    payload.clear();
    EXPECT_EQ(tick(demo, 2), (std::vector<int>{2048, 952}));
    EXPECT_EQ(payload, QByteArray(3000, 'B'));
}

TEST_F(DemonstrationTest, EveryCaptureUsesTheQualityInForceThen)
{
    ScriptedFrames frames({10});
    Demonstration demo(&endpoint, &frames, quality);
    tick(demo, 1);
    quality = 80;
    tick(demo, 1);
    EXPECT_EQ(frames.qualities, (std::vector<std::int32_t>{50, 80}));
}

TEST_F(DemonstrationTest, ACaptureFailureIsRaisedAndTheNextTickTriesAgain)
{
    ScriptedFrames frames({10});
    frames.failNext = true;
    Demonstration demo(&endpoint, &frames, quality);
    EXPECT_THROW(demo.SendScreenChunk(), AppError);
    EXPECT_TRUE(demo.stream().isEmpty());
    EXPECT_EQ(tick(demo, 1), (std::vector<int>{10}));
}

TEST_F(DemonstrationTest, AFailedChunkSendAbandonsTheFrameSilently)
{
    ScriptedFrames frames({5000, 10});
    endpoint.setRemoteHost(QStringLiteral(".255"));
    Demonstration demo(&endpoint, &frames, quality);
    EXPECT_NO_THROW(demo.SendScreenChunk());
    EXPECT_TRUE(demo.stream().isEmpty());
    endpoint.setRemoteHost(QStringLiteral("127.0.0.1"));
    EXPECT_EQ(tick(demo, 1), (std::vector<int>{10}));
}

TEST(Datagrams, CursorAndBeaconTexts)
{
    EXPECT_EQ(datagram::cursor(0, 512, 384), QByteArray("110/512/384/"));
    EXPECT_EQ(datagram::cursor(0, -5, 10), QByteArray("110/-5/10/"));
    EXPECT_EQ(datagram::cursor(0, -99999, -99999).size(), 18);
    EXPECT_EQ(datagram::beacon(QStringLiteral("LAB-TEACHER-015")).size(), 17);
    EXPECT_EQ(datagram::beacon(QString::fromUtf8("教师")), QByteArray("00\xbd\xcc\xca\xa6"));
}
