#pragma once

#include <cstdint>
#include <string>

struct xcb_connection_t;

// A client of one X display that draws on its root window and reads its pixels back, as a
// person in front of the screen would see them: the measurements' hand and eye.
class XProbe
{
public:
    // The display named, or DISPLAY's when empty.
    explicit XProbe(const std::string &display = {});
    ~XProbe();
    XProbe(const XProbe &) = delete;
    XProbe &operator=(const XProbe &) = delete;

    bool connected() const { return m_connection != nullptr; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    // BGRX rows put at x, y; returns once the server has drawn them.
    void put(const std::uint8_t *bgrx, int stride, int x, int y, int width, int height);
    // Fills a rectangle with 0xRRGGBB; returns once the server has drawn it.
    void fill(int x, int y, int width, int height, std::uint32_t rgb);
    // The pixel shown at x, y as 0xRRGGBB (a depth-24 screen), or 0xffffffff when unreadable.
    std::uint32_t pixel(int x, int y);

private:
    void sync();

    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_gc = 0;
    std::uint8_t m_depth = 0;
    int m_width = 0;
    int m_height = 0;
};
