#include "classroom/StreamPlanner.h"
#include "protocol/StreamCanvas.h"

#include <deque>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// A desktop of sorts: a gradient, a white window with lines of dark words, and a square that
// may stand anywhere.
class Desktop
{
public:
    Desktop() : m_pixels(std::size_t(kWidth) * kHeight * 4)
    {
        std::mt19937 random(3);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                set(x, y, 0x204080 + (y / 4) * 0x10000 + x / 8);
        fill(60, 40, 480, 360, 0xffffff);
        for (int y = 60; y < 380; y += 14)
            for (int x = 70; x < 500; x += 20 + int(random() % 30))
                fill(x, y, 12 + int(random() % 16), 8, 0x202020);
    }
    void fill(int x, int y, int w, int h, std::uint32_t rgb)
    {
        for (int row = y; row < y + h; ++row)
            for (int column = x; column < x + w; ++column)
                set(column, row, rgb);
    }
    // Rows [top, top + h) of a page of words, w pixels wide, drawn at (x, y).
    void page(int x, int y, int w, int h, int top)
    {
        for (int row = 0; row < h; ++row) {
            std::mt19937 words(unsigned((top + row) / 14));
            const bool ink = (top + row) % 14 < 8;
            for (int column = 0; column < w;) {
                const int word = 12 + int(words() % 30);
                fill(x + column, y + row, std::min(word, w - column), 1, ink ? 0x202020 : 0xffffff);
                fill(x + column + word, y + row, std::max(0, std::min(8, w - column - word)), 1,
                     0xffffff);
                column += word + 8;
            }
        }
    }
    const std::uint8_t *pixels() const { return m_pixels.data(); }
    // The mean difference per channel between what a viewer shows and this picture.
    double differenceFrom(const StreamCanvas &canvas) const
    {
        double sum = 0;
        for (int i = 0; i < kWidth * kHeight; ++i)
            for (int c = 0; c < 3; ++c)
                sum += std::abs(int((canvas.pixels()[i] >> (8 * c)) & 0xff) -
                                int(m_pixels[std::size_t(i) * 4 + c]));
        return sum / (kWidth * kHeight * 3);
    }

private:
    void set(int x, int y, std::uint32_t rgb)
    {
        std::uint8_t *p = m_pixels.data() + (std::size_t(y) * kWidth + x) * 4;
        p[0] = rgb & 0xff;
        p[1] = (rgb >> 8) & 0xff;
        p[2] = (rgb >> 16) & 0xff;
    }

    std::vector<std::uint8_t> m_pixels;
};

// The planner driven frame by frame, 30 pictures a second of simulated time, its datagrams
// handed to viewers that may lose some.
class StreamRun
{
public:
    StreamRun() : planner(0) { planner.setQuality(60); }

    void run(const Desktop &desktop, qint64 untilMs, const std::function<void(qint64)> &each = {})
    {
        for (; nowMs < untilMs; nowMs += StreamPlanner::kFrameMs) {
            if (each)
                each(nowMs);
            planner.picture(desktop.pixels(), kWidth, kHeight, kWidth * 4, nowMs,
                            drawn ? &*drawn : nullptr);
            planner.pointer(QPoint(100, 100), nowMs);
            planner.tick(nowMs);
            while (!planner.outbox().isEmpty()) {
                const QByteArray datagram = planner.outbox().pop();
                sent += datagram.size();
                for (Viewer &viewer : viewers)
                    if (!viewer.loss || viewer.loss(datagram) == false)
                        viewer.canvas.apply(datagram, nowMs);
            }
        }
    }

    struct Viewer
    {
        StreamCanvas canvas{kWidth * kHeight};
        // True: this datagram is lost on its way to this viewer.
        std::function<bool(const QByteArray &)> loss;
    };

    StreamPlanner planner;
    std::deque<Viewer> viewers;
    // Where the screen was drawn on, where that is told.
    std::optional<std::vector<QRect>> drawn;
    qint64 nowMs = 0;
    qint64 sent = 0;
};

} // namespace

TEST(StreamRefresh, AViewerThatJoinsLateHasEveryPartWithinASecondAndSharpSoonAfter)
{
    Desktop desktop;
    StreamRun stream;
    stream.viewers.emplace_back();
    stream.run(desktop, 3000);
    ASSERT_TRUE(stream.viewers[0].canvas.sharp());
    EXPECT_LT(desktop.differenceFrom(stream.viewers[0].canvas), 4);

    stream.viewers.emplace_back();
    StreamCanvas &late = stream.viewers.back().canvas;
    stream.run(desktop, 4000);
    EXPECT_TRUE(late.complete()) << "the refresh left parts of the screen out";
    EXPECT_LT(desktop.differenceFrom(late), 25) << "the sketch is not the screen";
    qint64 sharpAt = 0;
    stream.run(desktop, 40000, [&](qint64 now) {
        if (sharpAt == 0 && late.sharp())
            sharpAt = now;
    });
    EXPECT_GT(sharpAt, 0) << "the round never made the late viewer's picture sharp";
    EXPECT_LT(desktop.differenceFrom(late), 4);
    // A viewer that had everything was never shown the sketch over its sharp picture.
    EXPECT_LT(desktop.differenceFrom(stream.viewers[0].canvas), 4);
}

TEST(StreamRefresh, AViewerThatLosesAQuarterOfTheDatagramsStillGetsTheWholePicture)
{
    Desktop desktop;
    StreamRun stream;
    std::mt19937 random(11);
    stream.viewers.emplace_back().loss = [&](const QByteArray &) { return random() % 4 == 0; };
    // A square crosses the window for a second, then the screen stands still.
    stream.run(desktop, 1000, [&](qint64 now) {
        const int x = 80 + int(now / 3);
        desktop.fill(x, 200, 40, 40, 0xc03030);
    });
    // Each refresh may be lost too: a few of them complete the picture.
    stream.run(desktop, 4000);
    EXPECT_TRUE(stream.viewers[0].canvas.complete());
    EXPECT_LT(desktop.differenceFrom(stream.viewers[0].canvas), 25);
    stream.run(desktop, 40000);
    EXPECT_TRUE(stream.viewers[0].canvas.sharp());
    EXPECT_LT(desktop.differenceFrom(stream.viewers[0].canvas), 4);
}

// A look at everything tells whether it found drawing beyond the places the server told of.
TEST(StreamPlannerLook, FindsWhatTheServerDidNotTell)
{
    std::vector<std::uint8_t> screen(std::size_t(640) * 480 * 4, 0x40);
    StreamPlanner planner(0);
    planner.picture(screen.data(), 640, 480, 640 * 4, 0);
    EXPECT_TRUE(planner.screen().changedOutside({}));
    screen[(std::size_t(100) * 640 + 100) * 4] = 0xff;
    planner.picture(screen.data(), 640, 480, 640 * 4, 33);
    EXPECT_FALSE(planner.screen().changedOutside({QRect(99, 99, 3, 3)}));
    EXPECT_TRUE(planner.screen().changedOutside({QRect(300, 300, 10, 10)}));
}

// A page scrolled down its window and back, a clock ticking beside it: the viewers move what
// they show and only the rows uncovered are coded; one that lost a move is not taken in by the
// moves after it, and ends sharp; the clock beside the page, on the same lines, is not lost.
TEST(StreamScroll, AScrolledPageIsMovedNotCodedAgain)
{
    const QRect window(60, 40, 480, 360);
    const QRect clock(580, 200, 30, 12);
    const auto scrolled = [&](bool told) {
        Desktop desktop;
        StreamRun stream;
        desktop.page(window.x(), window.y(), window.width(), window.height(), 0);
        stream.viewers.emplace_back();
        int moves = 0;
        stream.viewers.emplace_back().loss = [&](const QByteArray &datagram) {
            StreamDatagram d;
            return StreamDatagram::parse(datagram, d) == StreamDatagram::Parse::Ok &&
                   d.kind == StreamDatagram::Kind::Move && ++moves == 1;
        };
        stream.run(desktop, 3000);
        const qint64 before = stream.sent;
        stream.drawn = std::vector<QRect>{window, clock};
        if (!told)
            stream.drawn.reset();
        stream.run(desktop, 5000, [&](qint64 now) {
            const int step = int(now - 3000) / 33;
            desktop.page(window.x(), window.y(), window.width(), window.height(),
                         std::min(step, 60 - step) * 8);
            desktop.fill(clock.x(), clock.y(), clock.width(), clock.height(),
                         0x102030u * std::uint32_t(step % 7));
        });
        const qint64 bytes = stream.sent - before;
        if (told) {
            EXPECT_GT(moves, 50);
            EXPECT_TRUE(stream.viewers[0].canvas.sharp());
            EXPECT_LT(desktop.differenceFrom(stream.viewers[0].canvas), 4);
            const int hand = clock.center().y() * kWidth + clock.center().x();
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(int(stream.viewers[0].canvas.pixels()[hand] >> (8 * c) & 0xff),
                            desktop.pixels()[std::size_t(hand) * 4 + std::size_t(c)], 12);
            EXPECT_FALSE(stream.viewers[1].canvas.sharp()) << "a lost move went unnoticed";
            stream.drawn.reset();
            stream.run(desktop, 9000);
            EXPECT_TRUE(stream.viewers[1].canvas.sharp());
            EXPECT_LT(desktop.differenceFrom(stream.viewers[1].canvas), 4);
        }
        return bytes;
    };
    EXPECT_LT(scrolled(true) * 4, scrolled(false));
}
