#pragma once

#include <QPoint>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

class PictureSource;

// Where demonstration frames come from: one complete JPEG file of the screen per call.
class FrameSource
{
public:
    virtual ~FrameSource() = default;

    // Raises AppError, in words a teacher understands, when no frame can be made at all (no
    // display, a session whose screen cannot be read); called before a demonstration starts.
    virtual void prepare() {}

    // The bytes stay valid until the next call. Raises AppError when no frame can be made.
    virtual std::span<const std::uint8_t> captureFrame(std::int32_t qualitySetting) = 0;

    // The pointer in the frames' own pixels, relative to their top-left corner, as of this call
    // or the previous one when that was a moment ago; none when this source cannot tell (the
    // window then asks the GUI).
    virtual std::optional<QPoint> pointerPosition() { return std::nullopt; }

    // Pictures of the same screen for the Velmora stream, which takes them on its own thread
    // through a connection of their own; none: the stream has nothing to send from here.
    virtual std::unique_ptr<PictureSource> pictureSource();
};
