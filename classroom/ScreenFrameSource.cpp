#include "classroom/ScreenFrameSource.h"

#include "platform/ScreenCapture.h"

ScreenFrameSource::ScreenFrameSource() = default;

ScreenFrameSource::~ScreenFrameSource() = default;

std::span<const std::uint8_t> ScreenFrameSource::captureFrame(std::int32_t qualitySetting)
{
    if (!m_capture)
        m_capture = std::make_unique<ScreenCapture>();
    const ScreenCapture::Frame &frame = m_capture->capture();
    return m_encoder.encode(frame.pixels, frame.width, frame.height, frame.stride, qualitySetting);
}
