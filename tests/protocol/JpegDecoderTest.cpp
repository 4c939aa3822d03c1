#include "protocol/JpegDecoder.h"
#include "protocol/JpegEncoder.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <vector>

namespace {

std::vector<std::uint8_t> gradientBgrx(int width, int height)
{
    std::vector<std::uint8_t> bytes(std::size_t(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t *p = bytes.data() + (std::size_t(y) * width + x) * 4;
            p[0] = static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1));
            p[1] = 128;
            p[2] = static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1));
        }
    }
    return bytes;
}

std::vector<std::uint8_t> encodedGradient(int width, int height, int quality = 75)
{
    JpegEncoder encoder;
    const std::vector<std::uint8_t> pixels = gradientBgrx(width, height);
    const auto file = encoder.encode(pixels.data(), width, height, width * 4, quality);
    return {file.begin(), file.end()};
}

// Overwrites the size in the file's SOF0 segment, as a hostile sender could.
void declareSize(std::vector<std::uint8_t> &file, int width, int height)
{
    for (std::size_t i = 2; i + 9 < file.size(); ++i) {
        if (file[i] == 0xff && file[i + 1] == 0xc0) {
            file[i + 5] = std::uint8_t(height >> 8);
            file[i + 6] = std::uint8_t(height);
            file[i + 7] = std::uint8_t(width >> 8);
            file[i + 8] = std::uint8_t(width);
            return;
        }
    }
    FAIL() << "no SOF0 segment";
}

// A progressive greyscale file of side x side with exactly the given number of scans (2 to 694),
// written with the library directly: one DC scan, then AC bands sent in up to 11 successive
// approximations each.
std::vector<std::uint8_t> progressiveWithScans(int scans, int side = 32)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = JDIMENSION(side);
    cinfo.image_height = JDIMENSION(side);
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    std::vector<jpeg_scan_info> script;
    script.push_back({1, {0}, 0, 0, 0, 0});
    const int bands = std::min(63, scans - 1);
    int refinements = scans - 1 - bands;
    for (int band = 0; band < bands; ++band) {
        const int first = 1 + band * 63 / bands;
        const int last = (band + 1) * 63 / bands;
        const int depth = std::min(refinements, 10);
        refinements -= depth;
        script.push_back({1, {0}, first, last, 0, depth});
        for (int bit = depth; bit > 0; --bit)
            script.push_back({1, {0}, first, last, bit, bit - 1});
    }
    cinfo.scan_info = script.data();
    cinfo.num_scans = static_cast<int>(script.size());
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(std::size_t(side), 0);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x)
            row[x] = static_cast<std::uint8_t>((x * 7 + y * 5) & 0xff);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> file(out, out + outSize);
    std::free(out);
    return file;
}

TEST(JpegDecoderTest, EncodedFrameComesBackAtItsSizeAndColours)
{
    const std::vector<std::uint8_t> file = encodedGradient(320, 200, 90);
    JpegDecoder decoder;
    ASSERT_TRUE(decoder.decode(file.data(), file.size()));
    const JpegDecoder::Image &image = decoder.image();
    ASSERT_EQ(image.width, 320);
    ASSERT_EQ(image.height, 200);
    ASSERT_EQ(image.rgb.size(), 320u * 200u * 3u);
    const std::vector<std::uint8_t> original = gradientBgrx(320, 200);
    long totalError = 0;
    for (std::size_t i = 0; i < std::size_t(320) * 200; ++i) {
        totalError += std::abs(int(image.rgb[i * 3]) - original[i * 4 + 2]);
        totalError += std::abs(int(image.rgb[i * 3 + 1]) - original[i * 4 + 1]);
        totalError += std::abs(int(image.rgb[i * 3 + 2]) - original[i * 4]);
    }
    EXPECT_LT(double(totalError) / (320 * 200 * 3), 2.0);
}

TEST(JpegDecoderTest, GreyscaleFileDecodesToRgb)
{
    const std::vector<std::uint8_t> file = progressiveWithScans(10);
    JpegDecoder decoder;
    ASSERT_TRUE(decoder.decode(file.data(), file.size()));
    const JpegDecoder::Image &image = decoder.image();
    ASSERT_EQ(image.rgb.size(), 32u * 32u * 3u);
    EXPECT_EQ(image.rgb[100 * 3], image.rgb[100 * 3 + 1]);
    EXPECT_EQ(image.rgb[100 * 3], image.rgb[100 * 3 + 2]);
}

TEST(JpegDecoderTest, TruncatedFrameDecodesAtFullSizeWithItsTopIntact)
{
    std::vector<std::uint8_t> file = encodedGradient(320, 200, 90);
    file.resize(file.size() * 6 / 10);
    JpegDecoder decoder;
    ASSERT_TRUE(decoder.decode(file.data(), file.size()));
    const JpegDecoder::Image &image = decoder.image();
    EXPECT_EQ(image.width, 320);
    EXPECT_EQ(image.height, 200);
    EXPECT_NEAR(image.rgb[(10 * 320 + 300) * 3], 300 * 255 / 319, 6) << "red of the top right";
}

// Two frames glued together (a lost short datagram) show the first one.
TEST(JpegDecoderTest, DecodingStopsAtTheFirstEndOfImage)
{
    std::vector<std::uint8_t> file = encodedGradient(64, 48);
    const std::vector<std::uint8_t> second = encodedGradient(128, 96);
    file.insert(file.end(), second.begin(), second.end());
    JpegDecoder decoder;
    ASSERT_TRUE(decoder.decode(file.data(), file.size()));
    EXPECT_EQ(decoder.image().width, 64);
    EXPECT_EQ(decoder.image().height, 48);
}

TEST(JpegDecoderTest, UndecodableDataFailsAndKeepsThePreviousPicture)
{
    JpegDecoder decoder;
    const std::vector<std::uint8_t> good = encodedGradient(40, 30);
    ASSERT_TRUE(decoder.decode(good.data(), good.size()));
    const std::vector<std::uint8_t> before = decoder.image().rgb;

    const std::vector<std::uint8_t> garbage(5000, 0x5a);
    const std::vector<std::uint8_t> soiOnly{0xff, 0xd8};
    std::vector<std::uint8_t> headerOnly(good.begin(), good.begin() + 20);
    EXPECT_FALSE(decoder.decode(garbage.data(), garbage.size()));
    EXPECT_FALSE(decoder.decode(good.data(), 0));
    EXPECT_FALSE(decoder.decode(nullptr, 0));
    EXPECT_FALSE(decoder.decode(QByteArray()));
    EXPECT_FALSE(decoder.decode(soiOnly.data(), soiOnly.size()));
    EXPECT_FALSE(decoder.decode(headerOnly.data(), headerOnly.size()));
    EXPECT_EQ(decoder.image().width, 40);
    EXPECT_EQ(decoder.image().height, 30);
    EXPECT_EQ(decoder.image().rgb, before);

    EXPECT_TRUE(decoder.decode(
        QByteArray(reinterpret_cast<const char *>(good.data()), qsizetype(good.size()))));
}

TEST(JpegDecoderTest, SizeLimitsAllowSixteenThousandSidesAndSixtyFourMegapixels)
{
    EXPECT_TRUE(JpegDecoder::acceptableSize(16384, 10));
    EXPECT_TRUE(JpegDecoder::acceptableSize(10, 16384));
    EXPECT_TRUE(JpegDecoder::acceptableSize(8000, 8000));
    EXPECT_TRUE(JpegDecoder::acceptableSize(16000, 4000));
    EXPECT_FALSE(JpegDecoder::acceptableSize(16385, 10));
    EXPECT_FALSE(JpegDecoder::acceptableSize(10, 16385));
    EXPECT_FALSE(JpegDecoder::acceptableSize(20000, 10));
    EXPECT_FALSE(JpegDecoder::acceptableSize(8001, 8000));
    EXPECT_FALSE(JpegDecoder::acceptableSize(16384, 16384));
}

TEST(JpegDecoderTest, HeaderDeclaringTooLargeAPictureIsRefused)
{
    JpegDecoder decoder;
    std::vector<std::uint8_t> file = encodedGradient(40, 30);
    declareSize(file, 20000, 10);
    EXPECT_FALSE(decoder.decode(file.data(), file.size()));
    declareSize(file, 8001, 8000);
    EXPECT_FALSE(decoder.decode(file.data(), file.size()));
    declareSize(file, 40, 30);
    EXPECT_TRUE(decoder.decode(file.data(), file.size()));

    const std::vector<std::uint8_t> widest = encodedGradient(16384, 8, 20);
    EXPECT_TRUE(decoder.decode(widest.data(), widest.size()));
    EXPECT_EQ(decoder.image().width, 16384);
    const std::vector<std::uint8_t> tooWide = encodedGradient(16385, 8, 20);
    EXPECT_FALSE(decoder.decode(tooWide.data(), tooWide.size()));
    EXPECT_EQ(decoder.image().width, 16384);
}

} // namespace
