#include "tests/platform/XTestScreen.h"

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
    // On the test server's TrueColor visual a pixel value is 0xRRGGBB.
    const std::uint32_t foreground = rgb;
    xcb_change_gc(m_connection, m_gc, XCB_GC_FOREGROUND, &foreground);
    const xcb_rectangle_t rectangle{static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                                    static_cast<std::uint16_t>(width),
                                    static_cast<std::uint16_t>(height)};
    xcb_poly_fill_rectangle(m_connection, m_root, m_gc, 1, &rectangle);
    // A round trip: everything this client asked for is drawn before another client reads pixels.
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}
