#include "bench/XProbe.h"

#include <algorithm>
#include <cstdlib>
#include <vector>
#include <xcb/xcb.h>

namespace {
// Rows per put_image request: small enough for servers without BIG-REQUESTS.
constexpr int kRowsPerRequest = 16;
} // namespace

XProbe::XProbe(const std::string &display)
{
    xcb_connection_t *connection =
        xcb_connect(display.empty() ? nullptr : display.c_str(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    m_connection = connection;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    m_root = screen->root;
    m_depth = screen->root_depth;
    m_width = screen->width_in_pixels;
    m_height = screen->height_in_pixels;
    m_gc = xcb_generate_id(connection);
    xcb_create_gc(connection, m_gc, m_root, 0, nullptr);
}

XProbe::~XProbe()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

void XProbe::put(const std::uint8_t *bgrx, int stride, int x, int y, int width, int height)
{
    std::vector<std::uint8_t> strip;
    for (int top = 0; top < height; top += kRowsPerRequest) {
        const int rows = std::min(kRowsPerRequest, height - top);
        strip.resize(std::size_t(width) * rows * 4);
        for (int r = 0; r < rows; ++r)
            std::copy_n(bgrx + std::ptrdiff_t(top + r) * stride, width * 4,
                        strip.data() + std::size_t(r) * width * 4);
        xcb_put_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, m_gc, std::uint16_t(width),
                      std::uint16_t(rows), std::int16_t(x), std::int16_t(y + top), 0, m_depth,
                      std::uint32_t(strip.size()), strip.data());
    }
    sync();
}

void XProbe::fill(int x, int y, int width, int height, std::uint32_t rgb)
{
    const std::uint32_t colour[] = {rgb};
    xcb_change_gc(m_connection, m_gc, XCB_GC_FOREGROUND, colour);
    const xcb_rectangle_t rect{std::int16_t(x), std::int16_t(y), std::uint16_t(width),
                               std::uint16_t(height)};
    xcb_poly_fill_rectangle(m_connection, m_root, m_gc, 1, &rect);
    sync();
}

std::uint32_t XProbe::pixel(int x, int y)
{
    xcb_get_image_reply_t *reply =
        xcb_get_image_reply(m_connection,
                            xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root,
                                          std::int16_t(x), std::int16_t(y), 1, 1, ~0u),
                            nullptr);
    if (!reply)
        return 0xffffffff;
    std::uint32_t value = 0xffffffff;
    if (xcb_get_image_data_length(reply) >= 4) {
        const std::uint8_t *p = xcb_get_image_data(reply);
        value = (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
    }
    std::free(reply);
    return value;
}

void XProbe::sync()
{
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}
