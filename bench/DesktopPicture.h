#pragma once

#include <cstdint>
#include <vector>

// A desktop-like BGRX picture (gradient wallpaper, windows, lines of text-like blocks), so that
// benchmark frames compress to realistic JPEG sizes.
class DesktopPicture
{
public:
    DesktopPicture(int width, int height);

    int width() const { return m_width; }
    int height() const { return m_height; }
    int stride() const { return m_width * 4; }
    const std::uint8_t *pixels() const { return m_pixels.data(); }

    // Puts the picture on the root window of the X display; false when there is no display.
    bool paintOnRootWindow() const;

private:
    void fill(int x, int y, int w, int h, std::uint32_t rgb);
    void window(int x, int y, int w, int h, std::uint32_t variant);

    int m_width;
    int m_height;
    std::vector<std::uint8_t> m_pixels;
};
