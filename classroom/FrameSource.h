#pragma once

#include <cstdint>
#include <span>

// Where demonstration frames come from: one complete JPEG file of the screen per call.
class FrameSource
{
public:
    virtual ~FrameSource() = default;

    // The bytes stay valid until the next call. Raises AppError when no frame can be made.
    virtual std::span<const std::uint8_t> captureFrame(std::int32_t qualitySetting) = 0;
};
