#include "bench/DesktopPicture.h"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <xcb/xcb.h>

namespace {

// Rows per put_image request: small enough for servers without BIG-REQUESTS.
constexpr int rowsPerRequest = 16;
constexpr int lineHeight = 16;

} // namespace

DesktopPicture::DesktopPicture(int width, int height)
    : m_width(width), m_height(height), m_pixels(static_cast<std::size_t>(width) * height * 4)
{
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t *p = m_pixels.data() + (static_cast<std::size_t>(y) * width + x) * 4;
            p[0] = static_cast<std::uint8_t>(120 + 100 * y / height);
            p[1] = static_cast<std::uint8_t>(60 + 60 * x / width);
            p[2] = static_cast<std::uint8_t>(30 + 40 * (x + y) / (width + height));
            p[3] = 0;
        }
    }
    for (int i = 0; i < 8; ++i)
        fill(24, 24 + i * 96, 48, 48, 0x3070c0 + i * 0x101010);
    window(width / 10, height / 12, width / 2, height * 2 / 3, 1);
    window(width * 2 / 5, height / 4, width / 2, height * 3 / 5, 2);
    fill(0, height - 40, width, 40, 0x202830);
}

void DesktopPicture::fill(int x, int y, int w, int h, std::uint32_t rgb)
{
    for (int row = std::max(0, y); row < std::min(m_height, y + h); ++row) {
        for (int col = std::max(0, x); col < std::min(m_width, x + w); ++col) {
            std::uint8_t *p = m_pixels.data() + (static_cast<std::size_t>(row) * m_width + col) * 4;
            p[0] = rgb & 0xff;
            p[1] = (rgb >> 8) & 0xff;
            p[2] = (rgb >> 16) & 0xff;
        }
    }
}

// A window: title bar, white client area, and paragraphs of word-sized dark blocks.
void DesktopPicture::window(int x, int y, int w, int h, std::uint32_t variant)
{
    std::mt19937 random(variant);
    fill(x - 1, y - 1, w + 2, h + 2, 0x404040);
    fill(x, y, w, 28, 0x2050a0);
    fill(x + 8, y + 8, w / 3, 12, 0xffffff);
    fill(x, y + 28, w, h - 28, 0xffffff);
    for (int line = y + 44; line + lineHeight < y + h - 8; line += lineHeight) {
        if (random() % 7 == 0)
            continue;
        int at = x + 12;
        const int end = x + w - 12 - static_cast<int>(random() % (w / 3));
        while (at < end) {
            const int word = 12 + static_cast<int>(random() % 60);
            fill(at, line + 3, std::min(word, end - at), 9,
                 random() % 11 == 0 ? 0x1040c0 : 0x202020);
            at += word + 6;
        }
    }
}

bool DesktopPicture::paintOnRootWindow() const
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_gcontext_t gc = xcb_generate_id(connection);
    xcb_create_gc(connection, gc, screen->root, 0, nullptr);
    const int width = std::min<int>(m_width, screen->width_in_pixels);
    const int height = std::min<int>(m_height, screen->height_in_pixels);
    for (int y = 0; y < height; y += rowsPerRequest) {
        const int rows = std::min(rowsPerRequest, height - y);
        // Rows are sent one request per strip at the picture's own stride, cut to the screen.
        std::vector<std::uint8_t> strip(static_cast<std::size_t>(width) * rows * 4);
        for (int r = 0; r < rows; ++r)
            std::copy_n(m_pixels.data() + (static_cast<std::size_t>(y + r) * m_width) * 4,
                        width * 4, strip.data() + static_cast<std::size_t>(r) * width * 4);
        xcb_put_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, gc, width, rows, 0, y, 0,
                      screen->root_depth, static_cast<std::uint32_t>(strip.size()), strip.data());
    }
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    xcb_disconnect(connection);
    return true;
}
