#pragma once

#include <cstdint>

struct xcb_connection_t;

// The yardstick for our capture: the root window through one MIT-SHM segment, nothing more.
class ReferenceShmCapture
{
public:
    ReferenceShmCapture();
    ~ReferenceShmCapture();
    ReferenceShmCapture(const ReferenceShmCapture &) = delete;
    ReferenceShmCapture &operator=(const ReferenceShmCapture &) = delete;

    bool ready() const { return m_address != nullptr; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    // BGRX rows of width * 4 bytes, or null when the request failed.
    const std::uint8_t *capture();
    // A rectangle of the root alone, rows of width * 4 bytes.
    const std::uint8_t *capture(int x, int y, int width, int height);

private:
    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_segment = 0;
    void *m_address = nullptr;
    int m_width = 0;
    int m_height = 0;
};
