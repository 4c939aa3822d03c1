#pragma once

#include <cstdint>

struct xcb_connection_t;

// The rectangle of the root window that the teacher calls "the screen": the primary output.
class PrimaryOutput
{
public:
    struct Rect
    {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    // The primary monitor (RandR 1.5) or primary output's CRTC; else the first connected output
    // with a CRTC; else the first monitor; the whole root when RandR is absent or names none.
    // Always within the root's rectangle.
    static Rect find(xcb_connection_t *connection, std::uint32_t root, const Rect &rootRect);

    // Asks the server to send this connection an event whenever the root's size, the outputs,
    // CRTCs or monitors change, so that find() is needed only then.
    static void watchChanges(xcb_connection_t *connection, std::uint32_t root);
};
