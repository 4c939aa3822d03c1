#include "classroom/StreamSketch.h"

#include <cstdlib>
#include <gtest/gtest.h>

// A sketch made coarser from the last one is, within a level, the one shrunk from the screen at
// that scale, its edges too (neither side is a whole number of cells or of its pixels); the
// narrow last cell is shrunk like any other.
TEST(StreamSketchTest, ACoarserSketchMadeFromTheLastIsTheScreensOwn)
{
    constexpr int width = 203;
    constexpr int height = 150;
    std::vector<std::uint8_t> picture(std::size_t(width) * height * 4);
    for (int i = 0; i < width * height; ++i)
        for (int c = 0; c < 3; ++c)
            picture[std::size_t(i) * 4 + c] = std::uint8_t(
                i % width >= 192 ? 0x30 << c : (i % width) * (c + 1) + (i / width) * 7);
    ScreenChanges screen;
    screen.compare(picture.data(), width, height, width * 4);
    const auto unchanged = [](int) { return false; };
    StreamSketch coarsened;
    coarsened.pieces(screen, unchanged);
    coarsened.sent(1'000'000);
    coarsened.pieces(screen, unchanged);
    StreamSketch direct;
    direct.sent(1'000'000);
    direct.pieces(screen, unchanged);
    ASSERT_EQ(coarsened.scale(), direct.scale());
    ASSERT_EQ(coarsened.pixels().size(), direct.pixels().size());
    const int sketchWidth = (width + 7) / 8;
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(direct.pixels()[std::size_t(sketchWidth - 1) * 4 + c], 0x30 << c);
    for (std::size_t i = 0; i < direct.pixels().size(); i += 4)
        for (std::size_t c = 0; c < 3; ++c)
            ASSERT_LE(std::abs(coarsened.pixels()[i + c] - direct.pixels()[i + c]), 1) << i / 4;
}
