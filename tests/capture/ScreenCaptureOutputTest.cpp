#include "capture/ScreenCapture.h"
#include "tests/support/PrivateXServer.h"
#include "tests/support/XTestScreen.h"

#include <QStandardPaths>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

constexpr std::uint32_t red = 0xff0000;
constexpr std::uint32_t green = 0x00ff00;
constexpr std::uint32_t white = 0xffffff;

std::uint32_t pixelAt(const ScreenCapture::Frame &frame, int x, int y)
{
    const std::uint8_t *p = frame.pixels + static_cast<std::ptrdiff_t>(y) * frame.stride + x * 4;
    return (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
}

// An extended desktop of 1920x1080 whose primary monitor is the 640x480 at (1280, 100). Xvfb has
// a single RandR output, so the monitors are RandR 1.5 ones made by `xrandr --setmonitor`; a
// leading "*" in the name marks the primary (xrandr's --primary applies to outputs only).
class ScreenOutputTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!server.failure().isEmpty())
            GTEST_SKIP() << server.failure().toStdString();
        if (QStandardPaths::findExecutable(QStringLiteral("xrandr")).isEmpty())
            GTEST_SKIP() << "xrandr is not installed (x11-xserver-utils)";
        ASSERT_TRUE(screen.connected());
        screen.fill(0, 0, screen.width(), screen.height(), red);
        screen.fill(1280, 100, 640, 480, green);
        screen.fill(1280, 100, 1, 1, white);
    }
    bool addMonitor(const char *name, const char *geometry)
    {
        return server.run(QStringLiteral("xrandr"),
                          {QStringLiteral("--setmonitor"), QLatin1String(name),
                           QLatin1String(geometry), QStringLiteral("none")});
    }

    PrivateXServer server{QStringLiteral("1920x1080x24")};
    XTestScreen screen;
};

TEST_F(ScreenOutputTest, PrimaryMonitorGivesTheFrameAndThePointersOrigin)
{
    ASSERT_TRUE(addMonitor("left", "1280/340x1024/270+0+0"));
    ASSERT_TRUE(addMonitor("*projector", "640/170x480/130+1280+100"));
    ScreenCapture capture;
    const ScreenCapture::Frame &frame = capture.capture();
    ASSERT_EQ(frame.width, 640);
    ASSERT_EQ(frame.height, 480);
    EXPECT_EQ(pixelAt(frame, 0, 0), white);
    EXPECT_EQ(pixelAt(frame, 1, 0), green);
    EXPECT_EQ(pixelAt(frame, 639, 479), green);

    screen.movePointer(1280 + 512, 100 + 384);
    EXPECT_EQ(capture.pointer(), QPoint(512, 384));
    screen.movePointer(1275, 110);
    EXPECT_EQ(capture.pointer(), QPoint(-5, 10));
}

TEST_F(ScreenOutputTest, WithoutAPrimaryTheFirstConnectedOutputIsTaken)
{
    ASSERT_TRUE(addMonitor("projector", "640/170x480/130+1280+100"));
    ScreenCapture capture;
    const ScreenCapture::Frame &frame = capture.capture();
    EXPECT_EQ(frame.width, 1920);
    EXPECT_EQ(frame.height, 1080);
    EXPECT_EQ(pixelAt(frame, 0, 0), red);
    screen.movePointer(700, 300);
    EXPECT_EQ(capture.pointer(), QPoint(700, 300));
}

// Monitors made or removed during a demonstration take effect from the next frame.
TEST_F(ScreenOutputTest, ANewLayoutAppliesFromTheNextFrame)
{
    ScreenCapture capture;
    EXPECT_EQ(capture.capture().width, 1920);
    EXPECT_EQ(capture.capture().width, 1920);
    ASSERT_TRUE(addMonitor("*projector", "640/170x480/130+1280+100"));
    EXPECT_EQ(capture.capture().width, 640);
    EXPECT_EQ(pixelAt(capture.capture(), 0, 0), white);
    ASSERT_TRUE(server.run(QStringLiteral("xrandr"),
                           {QStringLiteral("--delmonitor"), QStringLiteral("projector")}));
    EXPECT_EQ(capture.capture().width, 1920);
}

// The pointer is asked for before any frame: it is still relative to the primary monitor.
TEST_F(ScreenOutputTest, PointerBeforeTheFirstFrameIsRelativeToThePrimary)
{
    ASSERT_TRUE(addMonitor("*projector", "640/170x480/130+1280+100"));
    ScreenCapture capture;
    screen.movePointer(1300, 150);
    EXPECT_EQ(capture.pointer(), QPoint(20, 50));
}

// Asked at every tick, the pointer is at most one question behind; a question left long ago (the
// last tick of an earlier demonstration) is not answered with where the pointer was then.
TEST_F(ScreenOutputTest, PointerAskedEveryTickFollowsAndNeverServesAnOldAnswer)
{
    using namespace std::chrono_literals;
    ScreenCapture capture;
    screen.movePointer(300, 200);
    EXPECT_EQ(capture.pointer(50ms), QPoint(300, 200));
    screen.movePointer(310, 220);
    capture.pointer(1h);
    EXPECT_EQ(capture.pointer(1h), QPoint(310, 220));

    screen.movePointer(400, 250);
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(capture.pointer(50ms), QPoint(400, 250));
}

} // namespace
