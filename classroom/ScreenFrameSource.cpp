#include "classroom/ScreenFrameSource.h"

#include "capture/ScreenCapture.h"
#include "capture/SessionType.h"
#include "classroom/ScreenPictureSource.h"
#include "system/AppError.h"

#include <chrono>

namespace {
constexpr std::chrono::milliseconds kPointerMaxAge{50};
} // namespace

ScreenFrameSource::ScreenFrameSource() = default;

ScreenFrameSource::~ScreenFrameSource() = default;

void ScreenFrameSource::prepare()
{
    capture().prepare();
}

std::span<const std::uint8_t> ScreenFrameSource::captureFrame(std::int32_t qualitySetting)
{
    const ScreenCapture::Frame &frame = capture().capture();
    return m_encoder.encode(frame.pixels, frame.width, frame.height, frame.stride, qualitySetting);
}

// The demonstration asks at every tick; an answer up to a few late ticks old still counts.
std::optional<QPoint> ScreenFrameSource::pointerPosition()
{
    return capture().pointer(kPointerMaxAge);
}

std::unique_ptr<PictureSource> ScreenFrameSource::pictureSource()
{
    return std::make_unique<ScreenPictureSource>();
}

// A Wayland session would hand out X clients' windows or black frames: nothing is captured there.
ScreenCapture &ScreenFrameSource::capture()
{
    if (!m_capture) {
        const QString refusal = SessionType::captureRefusal();
        if (!refusal.isEmpty())
            throw AppError(refusal);
        m_capture = std::make_unique<ScreenCapture>();
    }
    return *m_capture;
}
