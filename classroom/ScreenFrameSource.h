#pragma once

#include <memory>

#include "classroom/FrameSource.h"
#include "protocol/JpegEncoder.h"

class ScreenCapture;

// Frames of the real X screen: a shared-memory capture encoded straight from its rows.
class ScreenFrameSource : public FrameSource
{
public:
    ScreenFrameSource();
    ~ScreenFrameSource() override;

    void prepare() override;
    std::span<const std::uint8_t> captureFrame(std::int32_t qualitySetting) override;
    std::optional<QPoint> pointerPosition() override;
    std::unique_ptr<PictureSource> pictureSource() override;

private:
    ScreenCapture &capture();

    // Made at the first use, so a console without a display starts all the same.
    std::unique_ptr<ScreenCapture> m_capture;
    JpegEncoder m_encoder;
};
