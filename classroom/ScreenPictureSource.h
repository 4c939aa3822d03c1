#pragma once

#include "capture/ScreenCapture.h"
#include "classroom/PictureSource.h"

// The real X screen for the Velmora stream: a capture of its own, on its own connection, so the
// stream's thread never shares one with the window's.
class ScreenPictureSource : public PictureSource
{
public:
    Picture grab() override;
    std::optional<QPoint> pointer() override;

private:
    ScreenCapture &capture();

    std::optional<ScreenCapture> m_capture;
};
