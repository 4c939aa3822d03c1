#include "classroom/StreamSender.h"
#include "classroom/PictureSource.h"
#include "classroom/StreamPlanner.h"
#include "protocol/StreamDatagram.h"
#include "tests/support/WaitUntil.h"

#include <QElapsedTimer>
#include <QUdpSocket>
#include <QVariant>
#include <gtest/gtest.h>
#include <random>
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
        return {kWidth, kHeight, (kWidth + kShifts) * 4, m_noise.data() + m_shift * 4, {}};
    }

private:
    std::vector<std::uint8_t> m_noise;
    int m_shift = 0;
};

} // namespace

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
