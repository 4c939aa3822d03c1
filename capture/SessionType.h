#pragma once

#include <QString>

// What kind of graphical session the console runs in, as its environment tells.
class SessionType
{
public:
    // Empty when the screen can be captured in this session; else the refusal in plain words.
    static QString captureRefusal();

private:
    // A Wayland session: X clients there see only other X clients, never the whole screen.
    static bool isWayland();
};
