#include "capture/ScreenDamage.h"
#include "tests/support/XTestScreen.h"

#include <QtGlobal>
#include <gtest/gtest.h>
#include <thread>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace {

bool covers(const std::vector<PrimaryOutput::Rect> &rects, int x, int y)
{
    for (const PrimaryOutput::Rect &r : rects)
        if (x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height)
            return true;
    return false;
}

// A mapped top-level window of another client, filled with its background on every expose.
void paintWindow(xcb_connection_t *c, int x, int y, int size)
{
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const std::uint32_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {screen->white_pixel, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, std::int16_t(x),
                      std::int16_t(y), std::uint16_t(size), std::uint16_t(size), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, window);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

} // namespace

// What another client draws, on the root or in a window of its own, is told once, in place.
TEST(ScreenDamageTest, DrawingAnywhereIsToldOnceWhereItHappened)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display (run under tests/isolate.sh --xvfb)";
    XTestScreen screen;
    ASSERT_TRUE(screen.connected());
    const std::unique_ptr<ScreenDamage> damage = ScreenDamage::watch();
    ASSERT_TRUE(damage) << "the test server has the damage and fixes extensions";
    damage->fetch();
    const auto quiet = damage->fetch();
    ASSERT_TRUE(quiet);
    EXPECT_TRUE(quiet->empty());

    screen.fill(100, 60, 20, 10, 0xff0000);
    xcb_connection_t *other = xcb_connect(nullptr, nullptr);
    paintWindow(other, 300, 200, 40);
    std::vector<PrimaryOutput::Rect> drawn;
    // The window's painting reaches the server after the fill: told by the next notices.
    for (int tries = 0; !covers(drawn, 320, 220) && tries < 1000; ++tries) {
        const auto more = damage->fetch();
        ASSERT_TRUE(more);
        drawn.insert(drawn.end(), more->begin(), more->end());
    }
    xcb_disconnect(other);
    EXPECT_TRUE(covers(drawn, 110, 65));
    EXPECT_TRUE(covers(drawn, 320, 220));
    EXPECT_FALSE(covers(drawn, 10, 10));
}

// A pointer at rest is not reported as moving, so that nobody asks after it; a device's motion
// is, wherever the pointer is.
TEST(ScreenDamageTest, OnlyAPointersMotionIsTold)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display (run under tests/isolate.sh --xvfb)";
    const std::unique_ptr<ScreenDamage> damage = ScreenDamage::watch();
    ASSERT_TRUE(damage);
    damage->pending();
    damage->pointerMoved();
    damage->pending();
    EXPECT_FALSE(damage->pointerMoved());

    xcb_connection_t *device = xcb_connect(nullptr, nullptr);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(device)).data;
    xcb_test_fake_input(device, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, screen->root, 230, 170, 0);
    free(xcb_get_input_focus_reply(device, xcb_get_input_focus(device), nullptr));
    bool moved = false;
    for (int tries = 0; !moved && tries < 200; ++tries) {
        damage->pending();
        moved = damage->pointerMoved();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    xcb_disconnect(device);
    EXPECT_TRUE(moved);
}
