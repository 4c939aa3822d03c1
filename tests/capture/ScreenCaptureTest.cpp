#include "capture/ScreenCapture.h"
#include "protocol/JpegDecoder.h"
#include "protocol/JpegEncoder.h"
#include "system/AppError.h"
#include "tests/support/XTestScreen.h"

#include <QByteArray>
#include <QtGlobal>
#include <array>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t red = 0xff0000;
constexpr std::uint32_t green = 0x00ff00;
constexpr std::uint32_t blue = 0x0000ff;
constexpr std::uint32_t white = 0xffffff;
constexpr std::uint32_t odd = 0x123456;

// The colour of one captured pixel as 0xRRGGBB, read from its BGRX bytes.
std::uint32_t pixelAt(const ScreenCapture::Frame &frame, int x, int y)
{
    const std::uint8_t *p = frame.pixels + static_cast<std::ptrdiff_t>(y) * frame.stride + x * 4;
    return (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
}

// Quadrants of four colours, with single odd pixels at the corners to catch offsets and flips.
void paintKnownPicture(XTestScreen &screen)
{
    const int w = screen.width();
    const int h = screen.height();
    screen.fill(0, 0, w / 2, h / 2, red);
    screen.fill(w / 2, 0, w - w / 2, h / 2, green);
    screen.fill(0, h / 2, w / 2, h - h / 2, blue);
    screen.fill(w / 2, h / 2, w - w / 2, h - h / 2, white);
    screen.fill(0, 0, 1, 1, odd);
    screen.fill(w - 1, h - 1, 1, 1, odd);
}

// Restores an environment variable at the end of a test, whatever the test did to it.
class DisplayGuard
{
public:
    DisplayGuard() : m_saved(qgetenv("DISPLAY")) {}
    ~DisplayGuard() { qputenv("DISPLAY", m_saved); }

private:
    QByteArray m_saved;
};

class ScreenCaptureTest : public ::testing::TestWithParam<ScreenCapture::Transport>
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "no X display (run under tests/isolate.sh --xvfb)";
        ASSERT_TRUE(m_screen.connected()) << "cannot connect to the X display";
    }

    XTestScreen m_screen;
};

TEST_P(ScreenCaptureTest, KnownPictureKeepsItsColoursPlacesAndSize)
{
    paintKnownPicture(m_screen);
    ScreenCapture capture(GetParam());
    const ScreenCapture::Frame &frame = capture.capture();

    EXPECT_EQ(capture.usesSharedMemory(), GetParam() == ScreenCapture::Transport::Auto);
    ASSERT_EQ(frame.width, m_screen.width());
    ASSERT_EQ(frame.height, m_screen.height());
    ASSERT_GE(frame.stride, frame.width * 4);
    const int w = frame.width;
    const int h = frame.height;
    EXPECT_EQ(pixelAt(frame, 0, 0), odd);
    EXPECT_EQ(pixelAt(frame, 1, 0), red);
    EXPECT_EQ(pixelAt(frame, w / 2 - 1, h / 2 - 1), red);
    EXPECT_EQ(pixelAt(frame, w / 2, 0), green);
    EXPECT_EQ(pixelAt(frame, w - 1, h / 2 - 1), green);
    EXPECT_EQ(pixelAt(frame, 0, h / 2), blue);
    EXPECT_EQ(pixelAt(frame, w / 2, h / 2), white);
    EXPECT_EQ(pixelAt(frame, w - 2, h - 1), white);
    EXPECT_EQ(pixelAt(frame, w - 1, h - 1), odd);
}

TEST_P(ScreenCaptureTest, EachCaptureSeesTheScreenAsItIsNow)
{
    ScreenCapture capture(GetParam());
    m_screen.fill(0, 0, m_screen.width(), m_screen.height(), red);
    const std::uint8_t *first = capture.capture().pixels;
    EXPECT_EQ(pixelAt(capture.capture(), 10, 10), red);

    m_screen.fill(0, 0, m_screen.width(), m_screen.height(), blue);
    const ScreenCapture::Frame &second = capture.capture();
    EXPECT_EQ(pixelAt(second, 10, 10), blue);
    EXPECT_EQ(pixelAt(second, second.width - 1, second.height - 1), blue);
    if (GetParam() == ScreenCapture::Transport::Auto) {
        EXPECT_EQ(second.pixels, first)
            << "the shared segment should serve every frame of one size";
    }
}

TEST_P(ScreenCaptureTest, RowsAskedForAreTakenAgainAndTheOthersKeptOrAllTakenWithoutSharedMemory)
{
    ScreenCapture capture(GetParam());
    const int w = m_screen.width();
    const int h = m_screen.height();
    m_screen.fill(0, 0, w, h, red);
    capture.capture();

    m_screen.fill(0, 0, w, h, blue);
    const ScreenCapture::Frame &frame = capture.capture({{h - 10, h + 50}, {10, 20}, {-5, 2}});
    ASSERT_EQ(frame.height, h);
    for (const int y : {0, 1, 10, 19, h - 10, h - 1})
        EXPECT_EQ(pixelAt(frame, w - 1, y), blue) << "row " << y;
    const std::uint32_t untold = pixelAt(frame, 0, 30);
    EXPECT_EQ(pixelAt(frame, w - 1, h - 11), untold);
    EXPECT_EQ(untold, GetParam() == ScreenCapture::Transport::Auto ? red : blue)
        << "rows not asked for keep the last capture only where shared memory serves it";
}

INSTANTIATE_TEST_SUITE_P(Transports, ScreenCaptureTest,
                         ::testing::Values(ScreenCapture::Transport::Auto,
                                           ScreenCapture::Transport::Plain),
                         [](const auto &info) {
                             return info.param == ScreenCapture::Transport::Auto ? "SharedMemory"
                                                                                 : "Plain";
                         });

TEST(ScreenCaptureDisplayTest, MissingDisplayIsReportedAndTheNextCallTriesAgain)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display (run under tests/isolate.sh --xvfb)";
    XTestScreen screen;
    ASSERT_TRUE(screen.connected()) << "cannot connect to the X display";
    DisplayGuard guard;
    const QByteArray realDisplay = qgetenv("DISPLAY");
    ScreenCapture capture;

    qunsetenv("DISPLAY");
    try {
        capture.capture();
        ADD_FAILURE() << "capture without DISPLAY succeeded";
    } catch (const AppError &error) {
        EXPECT_TRUE(error.message().contains("DISPLAY")) << error.message().toStdString();
    }

    qputenv("DISPLAY", ":4917");
    try {
        capture.capture();
        ADD_FAILURE() << "capture on a display that does not exist succeeded";
    } catch (const AppError &error) {
        EXPECT_TRUE(error.message().contains(":4917")) << error.message().toStdString();
    }

    qputenv("DISPLAY", realDisplay);
    screen.fill(0, 0, screen.width(), screen.height(), green);
    const ScreenCapture::Frame &frame = capture.capture();
    EXPECT_EQ(frame.width, screen.width());
    EXPECT_EQ(pixelAt(frame, 5, 5), green);
}

// The whole path of one demonstration frame: the file shows the screen's size and colours.
TEST(ScreenCaptureDisplayTest, CapturedScreenEncodesWithColoursInPlace)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display (run under tests/isolate.sh --xvfb)";
    XTestScreen screen;
    ASSERT_TRUE(screen.connected()) << "cannot connect to the X display";
    paintKnownPicture(screen);
    ScreenCapture capture;
    JpegEncoder encoder;
    JpegDecoder decoder;
    const ScreenCapture::Frame &frame = capture.capture();
    const auto file = encoder.encode(frame.pixels, frame.width, frame.height, frame.stride, 50);
    ASSERT_TRUE(decoder.decode(file.data(), file.size()));

    const JpegDecoder::Image &image = decoder.image();
    ASSERT_EQ(image.width, screen.width());
    ASSERT_EQ(image.height, screen.height());
    const auto rgbAt = [&](int x, int y) {
        const std::uint8_t *p =
            image.rgb.data() + (static_cast<std::size_t>(y) * image.width + x) * 3;
        return std::array<int, 3>{p[0], p[1], p[2]};
    };
    const auto near = [](std::array<int, 3> got, std::array<int, 3> want) {
        for (int i = 0; i < 3; ++i) {
            if (std::abs(got[i] - want[i]) > 12)
                return false;
        }
        return true;
    };
    EXPECT_TRUE(near(rgbAt(100, 100), {255, 0, 0}));
    EXPECT_TRUE(near(rgbAt(screen.width() - 100, 100), {0, 255, 0}));
    EXPECT_TRUE(near(rgbAt(100, screen.height() - 100), {0, 0, 255}));
    EXPECT_TRUE(near(rgbAt(screen.width() - 100, screen.height() - 100), {255, 255, 255}));
}

} // namespace

// A pointer asked after with a capture is answered by the time the capture is, once: where a
// program warped it (no motion tells of that).
TEST(ScreenCaptureDisplayTest, APointerAskedWithACaptureIsAnsweredByIt)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display (run under tests/isolate.sh --xvfb)";
    XTestScreen screen;
    ASSERT_TRUE(screen.connected()) << "cannot connect to the X display";
    ScreenCapture capture;
    capture.capture();
    screen.movePointer(123, 45);
    capture.askPointer();
    capture.capture({{0, 1}});
    EXPECT_EQ(capture.pointerAnswer(), QPoint(123 - capture.area().x, 45 - capture.area().y));
    EXPECT_FALSE(capture.pointerAnswer()) << "an answer is taken once";
}
