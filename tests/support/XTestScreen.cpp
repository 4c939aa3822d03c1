#include "tests/support/XTestScreen.h"

#include <bit>
#include <cstdlib>
#include <xcb/xcb.h>

XTestScreen::XTestScreen()
{
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    m_connection = connection;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    m_root = screen->root;
    m_width = screen->width_in_pixels;
    m_height = screen->height_in_pixels;
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem > 0;
         xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
             xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == screen->root_visual)
                m_masks = {visuals.data->red_mask, visuals.data->green_mask,
                           visuals.data->blue_mask};
        }
    }
    m_gc = xcb_generate_id(connection);
    xcb_create_gc(connection, m_gc, m_root, 0, nullptr);
}

XTestScreen::~XTestScreen()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

void XTestScreen::fill(int x, int y, int width, int height, std::uint32_t rgb)
{
    const std::uint32_t foreground = pixelOf(rgb);
    xcb_change_gc(m_connection, m_gc, XCB_GC_FOREGROUND, &foreground);
    const xcb_rectangle_t rectangle{static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                                    static_cast<std::uint16_t>(width),
                                    static_cast<std::uint16_t>(height)};
    xcb_poly_fill_rectangle(m_connection, m_root, m_gc, 1, &rectangle);
    // A round trip: everything this client asked for is drawn before another client reads pixels.
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

// The visual's masks say where each channel goes; its top bits come from the 8-bit value.
std::uint32_t XTestScreen::pixelOf(std::uint32_t rgb) const
{
    std::uint32_t pixel = 0;
    for (int channel = 0; channel < 3; ++channel) {
        const std::uint32_t mask = m_masks[channel];
        if (mask == 0)
            continue;
        const int bits = std::popcount(mask);
        const std::uint32_t value = (rgb >> (16 - 8 * channel)) & 0xff;
        const std::uint32_t scaled = bits >= 8 ? value << (bits - 8) : value >> (8 - bits);
        pixel |= scaled << std::countr_zero(mask);
    }
    return pixel;
}

void XTestScreen::movePointer(int x, int y)
{
    xcb_warp_pointer(m_connection, XCB_NONE, m_root, 0, 0, 0, 0, static_cast<std::int16_t>(x),
                     static_cast<std::int16_t>(y));
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}
