#include "classroom/ScreenPictureSource.h"

#include "capture/SessionType.h"
#include "system/AppError.h"

#include <chrono>

namespace {
// Asked every 10 ms: an answer a few ticks old still counts.
constexpr std::chrono::milliseconds kPointerMaxAge{50};
} // namespace

PictureSource::Picture ScreenPictureSource::grab()
{
    const ScreenCapture::Frame &frame = capture().capture();
    return {frame.width, frame.height, frame.stride, frame.pixels};
}

std::optional<QPoint> ScreenPictureSource::pointer()
{
    return capture().pointer(kPointerMaxAge);
}

ScreenCapture &ScreenPictureSource::capture()
{
    if (!m_capture) {
        const QString refusal = SessionType::captureRefusal();
        if (!refusal.isEmpty())
            throw AppError(refusal);
        m_capture.emplace();
    }
    return *m_capture;
}
