#include "protocol/JpegEncoder.h"
#include "protocol/JpegDecoder.h"
#include "system/AppError.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace {

// A BGRX picture with one row stride wider than its width, as screens sometimes have.
struct Picture
{
    int width;
    int height;
    int stride;
    std::vector<std::uint8_t> bytes;
};

Picture stripes(int width, int height)
{
    Picture picture{width, height, width * 4 + 16, {}};
    picture.bytes.assign(static_cast<std::size_t>(picture.stride) * height, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t *p = picture.bytes.data() + y * picture.stride + x * 4;
            const int band = x * 3 / width;
            p[0] = band == 2 ? 255 : 0; // blue
            p[1] = band == 1 ? 255 : 0; // green
            p[2] = band == 0 ? 255 : 0; // red
        }
    }
    return picture;
}

Picture noise(int width, int height)
{
    Picture picture{width, height, width * 4,
                    std::vector<std::uint8_t>(std::size_t(width) * height * 4)};
    std::mt19937 random(7);
    for (auto &byte : picture.bytes)
        byte = static_cast<std::uint8_t>(random());
    return picture;
}

// Marker segments of a JPEG file up to its first scan, read independently of the library.
struct Segment
{
    std::uint8_t marker;
    std::vector<std::uint8_t> body;
};

std::vector<Segment> headerSegments(std::span<const std::uint8_t> file)
{
    std::vector<Segment> segments;
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xff) {
        const std::uint8_t marker = file[at + 1];
        const std::size_t length = std::size_t(file[at + 2]) << 8 | file[at + 3];
        segments.push_back({marker, {file.begin() + at + 4, file.begin() + at + 2 + length}});
        if (marker == 0xda)
            break;
        at += 2 + length;
    }
    return segments;
}

const Segment *find(const std::vector<Segment> &segments, std::uint8_t marker)
{
    for (const Segment &segment : segments) {
        if (segment.marker == marker)
            return &segment;
    }
    return nullptr;
}

TEST(JpegEncoderTest, QualitySettingTakesTheLowByteWithinOneToHundred)
{
    const struct
    {
        std::int32_t setting;
        int quality;
    } table[] = {{50, 50},  {300, 44},  {0, 1},     {-5, 100},     {100, 100},
                 {1, 1},    {101, 100}, {255, 100}, {256, 1},      {257, 1},
                 {355, 99}, {-256, 1},  {-200, 56}, {INT32_MIN, 1}};
    for (const auto &row : table)
        EXPECT_EQ(JpegEncoder::qualityFromSetting(row.setting), row.quality)
            << "setting " << row.setting;
}

TEST(JpegEncoderTest, FileIsBaselineJfifWithLumaSampledTwoByTwo)
{
    JpegEncoder encoder;
    const Picture picture = stripes(101, 37);
    const auto file =
        encoder.encode(picture.bytes.data(), picture.width, picture.height, picture.stride, 50);
    ASSERT_GT(file.size(), 4u);
    EXPECT_EQ(file[0], 0xff);
    EXPECT_EQ(file[1], 0xd8);
    EXPECT_EQ(file[file.size() - 2], 0xff);
    EXPECT_EQ(file[file.size() - 1], 0xd9);

    const std::vector<Segment> segments = headerSegments(file);
    ASSERT_FALSE(segments.empty());
    EXPECT_EQ(segments.front().marker, 0xe0) << "APP0 must directly follow the start of image";
    EXPECT_EQ(std::string(segments.front().body.begin(), segments.front().body.begin() + 5),
              std::string("JFIF\0", 5));
    EXPECT_EQ(find(segments, 0xc2), nullptr) << "progressive";
    EXPECT_EQ(find(segments, 0xc1), nullptr) << "extended sequential";
    const Segment *sof = find(segments, 0xc0);
    ASSERT_NE(sof, nullptr);
    ASSERT_EQ(sof->body.size(), 6u + 3 * 3);
    EXPECT_EQ(sof->body[0], 8) << "sample precision";
    EXPECT_EQ(sof->body[1] << 8 | sof->body[2], 37);
    EXPECT_EQ(sof->body[3] << 8 | sof->body[4], 101);
    EXPECT_EQ(sof->body[5], 3);
    EXPECT_EQ(sof->body[6 + 1], 0x22);
    EXPECT_EQ(sof->body[9 + 1], 0x11);
    EXPECT_EQ(sof->body[12 + 1], 0x11);
}

// The library scales the standard tables: 16 at quality 50, 18 at 44 (so 300 really became 44).
TEST(JpegEncoderTest, QualityReachesTheQuantisationTables)
{
    JpegEncoder encoder;
    const Picture picture = stripes(16, 16);
    const struct
    {
        std::int32_t setting;
        int firstLumaEntry;
    } table[] = {{50, 16}, {300, 18}, {100, 1}, {0, 255}};
    for (const auto &row : table) {
        const auto file = encoder.encode(picture.bytes.data(), 16, 16, picture.stride, row.setting);
        const std::vector<Segment> segments = headerSegments(file);
        const Segment *dqt = find(segments, 0xdb);
        ASSERT_NE(dqt, nullptr);
        EXPECT_EQ(dqt->body[0], 0) << "8-bit table 0";
        EXPECT_EQ(dqt->body[1], row.firstLumaEntry) << "setting " << row.setting;
    }
}

TEST(JpegEncoderTest, BlueGreenRedBytesComeOutAsRedGreenBlue)
{
    JpegEncoder encoder;
    JpegDecoder decoder;
    const Picture picture = stripes(96, 16);
    const auto file =
        encoder.encode(picture.bytes.data(), picture.width, picture.height, picture.stride, 90);
    ASSERT_TRUE(decoder.decode(file.data(), file.size()));
    const std::uint8_t *row = decoder.image().rgb.data() + 8 * 96 * 3;
    const auto expectNear = [](const std::uint8_t *rgb, int r, int g, int b) {
        EXPECT_NEAR(rgb[0], r, 10);
        EXPECT_NEAR(rgb[1], g, 10);
        EXPECT_NEAR(rgb[2], b, 10);
    };
    expectNear(row + 8 * 3, 255, 0, 0);
    expectNear(row + 48 * 3, 0, 255, 0);
    expectNear(row + 88 * 3, 0, 0, 255);
}

// A frame larger than the buffer's first size makes it grow; later frames reuse the same memory.
TEST(JpegEncoderTest, LargeFrameGrowsTheBufferAndSmallFramesReuseIt)
{
    JpegEncoder encoder;
    JpegDecoder decoder;
    const Picture big = noise(1024, 768);
    const auto large = encoder.encode(big.bytes.data(), big.width, big.height, big.stride, 100);
    ASSERT_GT(large.size(), 1024u * 1024u) << "noise should not fit the first buffer";
    ASSERT_TRUE(decoder.decode(large.data(), large.size()));
    EXPECT_EQ(decoder.image().width, 1024);

    const Picture small = stripes(64, 64);
    const auto first = encoder.encode(small.bytes.data(), 64, 64, small.stride, 50);
    const std::vector<std::uint8_t> firstCopy(first.begin(), first.end());
    const auto second = encoder.encode(small.bytes.data(), 64, 64, small.stride, 50);
    EXPECT_EQ(second.data(), large.data());
    EXPECT_EQ(std::vector<std::uint8_t>(second.begin(), second.end()), firstCopy);
}

TEST(JpegEncoderTest, LibraryErrorRaisesAndTheEncoderStaysUsable)
{
    JpegEncoder encoder;
    const Picture picture = stripes(32, 32);
    EXPECT_THROW(encoder.encode(picture.bytes.data(), 0, 32, picture.stride, 50), AppError);
    EXPECT_THROW(encoder.encode(picture.bytes.data(), 70000, 32, picture.stride, 50), AppError);
    const auto file = encoder.encode(picture.bytes.data(), 32, 32, picture.stride, 50);
    JpegDecoder decoder;
    EXPECT_TRUE(decoder.decode(file.data(), file.size()));
}

} // namespace
