#include "capture/PixelFormat.h"
#include "capture/ScreenCapture.h"
#include "protocol/JpegDecoder.h"
#include "protocol/JpegEncoder.h"
#include "system/AppError.h"
#include "tests/support/PrivateXServer.h"
#include "tests/support/XTestScreen.h"

#include <array>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t red = 0xff0000;
constexpr std::uint32_t green = 0x00ff00;
constexpr std::uint32_t blue = 0x0000ff;
constexpr std::uint32_t white = 0xffffff;

std::uint32_t pixelAt(const ScreenCapture::Frame &frame, int x, int y)
{
    const std::uint8_t *p = frame.pixels + static_cast<std::ptrdiff_t>(y) * frame.stride + x * 4;
    return (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
}

bool near(std::uint32_t got, std::uint32_t want, int tolerance)
{
    for (int shift : {0, 8, 16}) {
        if (std::abs(int((got >> shift) & 0xff) - int((want >> shift) & 0xff)) > tolerance)
            return false;
    }
    return true;
}

struct Depth
{
    const char *screen;
    bool zeroCopy;
};

class ScreenDepthTest : public ::testing::TestWithParam<Depth>
{
};

// Each depth's frame keeps its colours through capture, encoding and decoding.
TEST_P(ScreenDepthTest, FrameKeepsColoursPlacesAndSize)
{
    PrivateXServer server(QString::fromLatin1(GetParam().screen));
    if (!server.failure().isEmpty())
        GTEST_SKIP() << server.failure().toStdString();
    XTestScreen screen;
    ASSERT_TRUE(screen.connected());
    const int w = screen.width();
    const int h = screen.height();
    screen.fill(0, 0, w / 2, h, red);
    screen.fill(w / 2, 0, w - w / 2, h / 2, green);
    screen.fill(w / 2, h / 2, w - w / 2, h - h / 2, blue);
    screen.fill(0, 0, 1, 1, white);
    for (auto transport : {ScreenCapture::Transport::Auto, ScreenCapture::Transport::Plain}) {
        ScreenCapture capture(transport);
        ASSERT_NO_THROW(capture.prepare());
        const ScreenCapture::Frame &frame = capture.capture();
        EXPECT_EQ(capture.zeroCopy(), GetParam().zeroCopy);
        ASSERT_EQ(frame.width, w);
        ASSERT_EQ(frame.height, h);
        EXPECT_EQ(pixelAt(frame, 0, 0), white);
        EXPECT_EQ(pixelAt(frame, 1, 0), red);
        EXPECT_EQ(pixelAt(frame, w - 1, 0), green);
        EXPECT_EQ(pixelAt(frame, w - 1, h - 1), blue);

        JpegEncoder encoder;
        JpegDecoder decoder;
        const auto file = encoder.encode(frame.pixels, w, h, frame.stride, 90);
        ASSERT_TRUE(decoder.decode(file.data(), file.size()));
        const auto rgbAt = [&](int x, int y) {
            const std::uint8_t *p = decoder.image().rgb.data() + (std::size_t(y) * w + x) * 3;
            return std::uint32_t(p[0]) << 16 | std::uint32_t(p[1]) << 8 | p[2];
        };
        EXPECT_TRUE(near(rgbAt(40, 40), red, 12));
        EXPECT_TRUE(near(rgbAt(w - 40, 40), green, 12));
        EXPECT_TRUE(near(rgbAt(w - 40, h - 40), blue, 12));
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, ScreenDepthTest,
                         ::testing::Values(Depth{"320x200x16", false}, Depth{"320x200x24", true},
                                           Depth{"320x200x30", false}),
                         [](const auto &info) {
                             return "Depth" + std::string(info.param.screen).substr(8);
                         });

TEST(ScreenDepthRefusalTest, PaletteScreenIsRefusedAtPrepareInPlainWords)
{
    PrivateXServer server(QStringLiteral("320x200x8"));
    if (!server.failure().isEmpty())
        GTEST_SKIP() << server.failure().toStdString();
    ScreenCapture capture;
    try {
        capture.prepare();
        ADD_FAILURE() << "an 8-bit palette screen was accepted";
    } catch (const AppError &error) {
        EXPECT_TRUE(error.message().contains(QString::fromUtf8("真彩色")))
            << error.message().toStdString();
        EXPECT_TRUE(error.message().contains(QStringLiteral("8"))) << error.message().toStdString();
    }
    EXPECT_THROW(capture.capture(), AppError);
}

// Layouts no test server offers: three bytes a pixel, most significant byte first, RGBX order.
TEST(PixelFormatTest, MasksAndByteOrderPlaceEveryChannel)
{
    const std::array<std::uint8_t, 4> want{0x30, 0x60, 0x90, 0}; // blue, green, red, pad
    struct Case
    {
        PixelFormat format;
        std::array<std::uint8_t, 4> pixel;
    };
    const Case cases[] = {
        {PixelFormat(24, 24, 32, true, 0xff0000, 0xff00, 0xff, false), {0x30, 0x60, 0x90, 0}},
        {PixelFormat(24, 24, 32, true, 0xff0000, 0xff00, 0xff, true), {0x90, 0x60, 0x30, 0}},
        {PixelFormat(24, 32, 32, true, 0xff, 0xff00, 0xff0000, false), {0x90, 0x60, 0x30, 0}},
        {PixelFormat(24, 32, 32, true, 0xff0000, 0xff00, 0xff, true), {0, 0x90, 0x60, 0x30}},
        {PixelFormat(30, 32, 32, true, 0x3ff00000, 0xffc00, 0x3ff, false),
         {0xc0, 0x00, 0x06, 0x24}},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(c.format.refusal().isEmpty());
        std::array<std::uint8_t, 8> out{};
        c.format.toBgrx(c.pixel.data(), 4, 1, 1, out.data());
        EXPECT_EQ(out[0], want[0]);
        EXPECT_EQ(out[1], want[1]);
        EXPECT_EQ(out[2], want[2]);
    }
    const PixelFormat rgb565msb(16, 16, 32, true, 0xf800, 0x07e0, 0x001f, true);
    const std::array<std::uint8_t, 2> whiteish{0xff, 0xff};
    std::array<std::uint8_t, 4> out{};
    rgb565msb.toBgrx(whiteish.data(), 2, 1, 1, out.data());
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 255);
    EXPECT_EQ(out[2], 255);
    EXPECT_FALSE(PixelFormat(8, 8, 32, false, 0, 0, 0, false).refusal().isEmpty());
    EXPECT_FALSE(PixelFormat(24, 32, 32, true, 0xf0f000, 0xff00, 0xff, false).refusal().isEmpty());
}

} // namespace
