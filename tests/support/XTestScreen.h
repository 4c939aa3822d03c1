#pragma once

#include <array>
#include <cstdint>

struct xcb_connection_t;

// A second client of the test's X server that paints known colours straight onto the root window.
class XTestScreen
{
public:
    XTestScreen();
    ~XTestScreen();
    XTestScreen(const XTestScreen &) = delete;
    XTestScreen &operator=(const XTestScreen &) = delete;

    bool connected() const { return m_connection != nullptr; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    // Fills a rectangle with 0xRRGGBB; returns once the server has drawn it.
    void fill(int x, int y, int width, int height, std::uint32_t rgb);
    // Moves the pointer to a place on the root window; returns once the server has moved it.
    void movePointer(int x, int y);
    // The pixel value of a colour in the root visual.
    std::uint32_t pixelOf(std::uint32_t rgb) const;

private:
    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_gc = 0;
    int m_width = 0;
    int m_height = 0;
    std::array<std::uint32_t, 3> m_masks{0xff0000, 0x00ff00, 0x0000ff};
};
