#pragma once

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

private:
    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_gc = 0;
    int m_width = 0;
    int m_height = 0;
};
