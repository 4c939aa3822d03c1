#include "classroom/StreamSender.h"
#include "classroom/PictureSource.h"
#include "classroom/StreamPlanner.h"
#include "protocol/StreamDatagram.h"
#include "tests/support/WaitUntil.h"

#include <QElapsedTimer>
#include <QUdpSocket>
#include <QVariant>
#include <atomic>
#include <gtest/gtest.h>
#include <random>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kShifts = 64;

// A 1920 x 1080 picture that changes everywhere at every grab, the hardest to code: a window
// onto noise, moved a pixel further each time.
class ChangingPictures : public PictureSource
{
public:
    ChangingPictures() : m_noise(std::size_t(kWidth + kShifts) * kHeight * 4)
    {
        std::mt19937 random(5);
        for (std::uint8_t &byte : m_noise)
            byte = std::uint8_t(random());
    }
    Picture grab() override
    {
        m_shift = (m_shift + 1) % kShifts;
        return {kWidth, kHeight, (kWidth + kShifts) * 4, m_noise.data() + m_shift * 4, {}, {}};
    }

private:
    std::vector<std::uint8_t> m_noise;
    int m_shift = 0;
};

// A small still picture whose source tells of each change through an event descriptor, as the
// X server's notices do.
class ToldPictures : public PictureSource
{
public:
    ~ToldPictures() override { close(m_notices); }
    void tell() { eventfd_write(m_notices, 1); }
    Picture grab() override
    {
        m_told = false;
        ++grabs;
        return {kCell, kCell, kCell * 4, m_pixels.data(), std::vector<QRect>{}, {}};
    }
    std::optional<QPoint> pointer() override
    {
        busyWhileTold += m_told;
        ++asks;
        return QPoint(1, 1);
    }
    int changeDescriptor() override { return m_notices; }
    bool mayHaveChanged() override
    {
        busyWhileTold += m_told;
        eventfd_t count = 0;
        const bool notice = eventfd_read(m_notices, &count) == 0;
        // Told again at once where asked to, as the pointer's motion right after drawing.
        if (notice && !m_told && echo.exchange(false))
            tell();
        m_told = notice || m_told;
        return m_told;
    }

    std::atomic<bool> echo{false};
    // Looks at the source and asks after the pointer between a change told and its picture.
    std::atomic<int> busyWhileTold{0};
    std::atomic<int> grabs{0};
    std::atomic<int> asks{0};

private:
    static constexpr int kCell = 64;
    std::vector<std::uint8_t> m_pixels = std::vector<std::uint8_t>(kCell * kCell * 4);
    int m_notices = eventfd(0, EFD_NONBLOCK);
    bool m_told = false;
};

} // namespace

// A source that tells of changes is looked at only when it does: a quiet screen costs no
// picture at all, and a change told is pictured.
TEST(StreamWake, AQuietSourceIsPicturedOnlyWhenItTellsOfAChange)
{
    QUdpSocket receiver;
    ASSERT_TRUE(receiver.bind(QHostAddress::LocalHost, 0));
    auto pictures = std::make_unique<ToldPictures>();
    ToldPictures &told = *pictures;
    told.tell();
    StreamSender sender;
    StreamSender::Start start;
    start.host = QStringLiteral("127.0.0.1");
    start.port = receiver.localPort();
    start.pictures = std::move(pictures);
    sender.start(std::move(start));
    EXPECT_TRUE(waitUntil([&] { return told.grabs == 1; }, 2000));
    settle(400);
    EXPECT_EQ(told.grabs, 1);
    // Told just after a look at the pointer at rest, and again at once while the picture
    // settles: the picture takes it all, with no look or pointer question of its own before.
    const int asks = told.asks;
    EXPECT_TRUE(waitUntil([&] { return told.asks > asks; }, 2000));
    told.busyWhileTold = 0;
    told.echo = true;
    told.tell();
    EXPECT_TRUE(waitUntil([&] { return told.grabs == 2; }, 2000));
    EXPECT_EQ(told.busyWhileTold, 0);
    sender.stop();
}

// Whatever the screen does, the stream never puts more than its budget on the wire in any
// second; the quality gives way, and the refresh still goes out every second.
TEST(StreamBudget, AScreenChangingEverywhereStaysWithinFourMegabytesASecond)
{
    QUdpSocket receiver;
    ASSERT_TRUE(receiver.bind(QHostAddress::LocalHost, 0));
    receiver.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(16 << 20));
    StreamSender sender;
    StreamSender::Start start;
    start.host = QStringLiteral("127.0.0.1");
    start.port = receiver.localPort();
    start.quality = 80;
    start.pictures = std::make_unique<ChangingPictures>();
    sender.start(std::move(start));

    // Bytes on the wire (headers counted) per datagram, by the time it arrived.
    std::vector<std::pair<qint64, qint64>> arrivals;
    int versions = 0;
    QElapsedTimer clock;
    clock.start();
    waitUntil(
        [&] {
            while (receiver.hasPendingDatagrams()) {
                QByteArray datagram(receiver.pendingDatagramSize(), '\0');
                receiver.readDatagram(datagram.data(), datagram.size());
                arrivals.emplace_back(clock.elapsed(),
                                      datagram.size() + StreamPlanner::kWireOverhead);
                StreamDatagram d;
                if (StreamDatagram::parse(datagram, d) == StreamDatagram::Parse::Ok &&
                    d.kind == StreamDatagram::Kind::Versions)
                    ++versions;
            }
            return clock.elapsed() > 3000;
        },
        5000);
    const StreamSender::Counts counts = sender.counts();
    sender.stop();

    ASSERT_FALSE(arrivals.empty());
    qint64 busiest = 0;
    for (std::size_t first = 0, last = 0; first < arrivals.size(); ++first) {
        qint64 bytes = 0;
        for (last = first;
             last < arrivals.size() && arrivals[last].first < arrivals[first].first + 1000; ++last)
            bytes += arrivals[last].second;
        busiest = std::max(busiest, bytes);
    }
    EXPECT_LE(busiest, 4'000'000);
    EXPECT_GT(busiest, StreamPlanner::kBudget / 2) << "the stream did not use its budget";
    EXPECT_LT(counts.quality, 80) << "the quality did not give way";
    EXPECT_GE(versions, 2) << "the refresh was starved";
    EXPECT_EQ(counts.dropped, 0);
}
