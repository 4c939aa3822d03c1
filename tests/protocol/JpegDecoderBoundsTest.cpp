#include "protocol/JpegDecoder.h"
#include "protocol/JpegEncoder.h"

#include <QFile>
#include <gtest/gtest.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes hostile(const char *name)
{
    QFile file(QStringLiteral(VELMORA_HOSTILE_FRAMES "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    return {data.begin(), data.end()};
}

Bytes flatFrame(int width, int height)
{
    std::vector<std::uint8_t> bgrx(std::size_t(width) * height * 4, 0x60);
    for (std::size_t i = 0; i < bgrx.size(); i += 4)
        bgrx[i + 2] = std::uint8_t(i / 4 % width);
    JpegEncoder encoder;
    const auto file = encoder.encode(bgrx.data(), width, height, width * 4, 50);
    return {file.begin(), file.end()};
}

// Offsets of the segments with this marker, in file order.
std::vector<std::size_t> segments(const Bytes &file, std::uint8_t marker)
{
    std::vector<std::size_t> found;
    for (std::size_t i = 2; i + 4 <= file.size() && file[i] == 0xff;) {
        if (file[i + 1] == marker)
            found.push_back(i);
        if (file[i + 1] == 0xda)
            break;
        i += 2 + (std::size_t(file[i + 2]) << 8 | file[i + 3]);
    }
    return found;
}

void declareSize(Bytes &file, int width, int height)
{
    for (std::size_t i = 2; i + 9 < file.size(); ++i) {
        if (file[i] == 0xff && (file[i + 1] == 0xc0 || file[i + 1] == 0xca)) {
            file[i + 5] = std::uint8_t(height >> 8);
            file[i + 6] = std::uint8_t(height);
            file[i + 7] = std::uint8_t(width >> 8);
            file[i + 8] = std::uint8_t(width);
            return;
        }
    }
    ADD_FAILURE() << "no SOF segment";
}

// A comment segment after the start-of-image marker: bytes that make a header look honest.
void padWithComment(Bytes &file, std::size_t bytes)
{
    Bytes comment{0xff, 0xfe, std::uint8_t((bytes + 2) >> 8), std::uint8_t(bytes + 2)};
    comment.resize(bytes + 4, 'x');
    file.insert(file.begin() + 2, comment.begin(), comment.end());
}

// The file cut after its first `scans` scans, closed with an end-of-image marker.
Bytes firstScans(const Bytes &file, int scans)
{
    int seen = 0;
    for (std::size_t i = 2; i + 1 < file.size(); ++i) {
        if (file[i] == 0xff && file[i + 1] == 0xda && ++seen == scans + 1) {
            Bytes cut(file.begin(), file.begin() + std::ptrdiff_t(i));
            cut.insert(cut.end(), {0xff, 0xd9});
            return cut;
        }
    }
    return file;
}

TEST(JpegDecoderBoundsTest, MeasuredAttacksAreRefusedAtTheirHeaderAndHoldNoMemory)
{
    JpegDecoder decoder;
    const Bytes good = flatFrame(64, 48);
    ASSERT_TRUE(decoder.decode(good.data(), good.size()));
    for (const char *name :
         {"arithmetic-progressive-8000x8000-48-scans.jpg",
          "arithmetic-progressive-8000x8000-480-scans.jpg", "baseline-8000x8000-1536-bytes.jpg"}) {
        const Bytes file = hostile(name);
        ASSERT_FALSE(file.empty()) << name;
        EXPECT_FALSE(JpegDecoder::plausibleDensity(8000, 8000, file.size())) << name;
        EXPECT_FALSE(decoder.decode(file.data(), file.size())) << name;
        EXPECT_EQ(decoder.image().width, 64) << name;
        EXPECT_LE(decoder.heldBytes(), 2u * 64 * 48 * 3) << name;
    }
}

TEST(JpegDecoderBoundsTest, ScansAreCountedAgainstThePictureSize)
{
    EXPECT_EQ(JpegDecoder::allowedScans(32, 32), 32);
    EXPECT_EQ(JpegDecoder::allowedScans(1920, 1080), 19);
    EXPECT_EQ(JpegDecoder::allowedScans(4000, 4000), 2);
    EXPECT_EQ(JpegDecoder::allowedScans(8000, 8000), 1);

    // The 48-scan attack at a size whose header alone looks honest: its scans give it away.
    Bytes attack = hostile("arithmetic-progressive-8000x8000-48-scans.jpg");
    ASSERT_FALSE(attack.empty());
    declareSize(attack, 1000, 1000);
    padWithComment(attack, 4000);
    ASSERT_TRUE(JpegDecoder::plausibleDensity(1000, 1000, attack.size()));
    JpegDecoder decoder;
    EXPECT_FALSE(decoder.decode(attack.data(), attack.size()));
    const Bytes allowed = firstScans(attack, 32);
    EXPECT_TRUE(decoder.decode(allowed.data(), allowed.size()));
    EXPECT_EQ(decoder.image().width, 1000);
    const Bytes oneTooMany = firstScans(attack, 33);
    EXPECT_FALSE(decoder.decode(oneTooMany.data(), oneTooMany.size()));
}

TEST(JpegDecoderBoundsTest, StudentFrameKeepsItsSizeAndLargerOnesShrinkToTheTarget)
{
    JpegDecoder decoder;
    const Bytes fullHd = flatFrame(1920, 1080);
    ASSERT_TRUE(decoder.decode(fullHd.data(), fullHd.size()));
    EXPECT_EQ(decoder.image().width, 1920);
    EXPECT_EQ(decoder.image().height, 1080);

    const Bytes uhd = flatFrame(3840, 2160);
    ASSERT_TRUE(decoder.decode(uhd.data(), uhd.size()));
    EXPECT_EQ(decoder.image().width, 1920);
    EXPECT_EQ(decoder.image().height, 1080);
    EXPECT_EQ(decoder.image().sourceWidth, 3840);
    EXPECT_EQ(decoder.image().sourceHeight, 2160);
    EXPECT_NEAR(decoder.image().rgb[(100 * 1920 + 50) * 3], 100, 8) << "red of x=100 at 1/2";

    decoder.setTargetSize(620, 496);
    ASSERT_TRUE(decoder.decode(uhd.data(), uhd.size()));
    EXPECT_EQ(decoder.image().width, 960);
    EXPECT_EQ(decoder.image().height, 540);
    EXPECT_EQ(JpegDecoder::scaleDenominator(16384, 8, 1920, 1080), 1);
    EXPECT_EQ(JpegDecoder::scaleDenominator(1921, 1081, 960, 540), 2);
}

TEST(JpegDecoderBoundsTest, BigBuffersAreGivenBackAfterASmallerFrame)
{
    JpegDecoder decoder;
    const Bytes big = flatFrame(1920, 1080);
    const Bytes small = flatFrame(320, 200);
    ASSERT_TRUE(decoder.decode(big.data(), big.size()));
    ASSERT_TRUE(decoder.decode(big.data(), big.size()));
    EXPECT_GE(decoder.heldBytes(), 2u * 1920 * 1080 * 3);
    ASSERT_TRUE(decoder.decode(small.data(), small.size()));
    EXPECT_EQ(decoder.heldBytes(), 320u * 200 * 3);
}

// A file without quantisation tables must not borrow those of the frame before it.
TEST(JpegDecoderBoundsTest, EachFileIsDecodedWithItsOwnTablesOnly)
{
    const Bytes full = flatFrame(160, 120);
    const std::vector<std::size_t> tables = segments(full, 0xdb);
    ASSERT_FALSE(tables.empty());
    Bytes abbreviated = full;
    for (auto it = tables.rbegin(); it != tables.rend(); ++it) {
        const std::size_t length = std::size_t(full[*it + 2]) << 8 | full[*it + 3];
        abbreviated.erase(abbreviated.begin() + std::ptrdiff_t(*it),
                          abbreviated.begin() + std::ptrdiff_t(*it + 2 + length));
    }
    JpegDecoder decoder;
    ASSERT_TRUE(decoder.decode(full.data(), full.size()));
    EXPECT_FALSE(decoder.decode(abbreviated.data(), abbreviated.size()));
    EXPECT_EQ(decoder.image().width, 160);
}

} // namespace
