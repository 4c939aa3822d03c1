#pragma once

#include "protocol/JpegEncoder.h"

#include <QByteArray>
#include <memory>

class ScreenCapture;

// The student's primary screen as one JPEG file, captured and encoded as the console does.
class ScreenGrabber
{
public:
    explicit ScreenGrabber(int quality);
    ~ScreenGrabber();
    ScreenGrabber(const ScreenGrabber &) = delete;
    ScreenGrabber &operator=(const ScreenGrabber &) = delete;

    // One file; empty when the screen cannot be captured (logged once per failure run).
    QByteArray grab();

private:
    int m_quality;
    // Made at the first grab and dropped after a failure, so the next one reconnects.
    std::unique_ptr<ScreenCapture> m_capture;
    JpegEncoder m_encoder;
    bool m_failing = false;
};
