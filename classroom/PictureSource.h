#pragma once

#include <QPoint>
#include <QRect>
#include <cstdint>
#include <optional>
#include <vector>

// Pictures of what the Velmora stream shows, taken on the stream's own thread.
class PictureSource
{
public:
    // BGRX rows, stride bytes apart; no pixels: nothing to show yet.
    struct Picture
    {
        int width = 0;
        int height = 0;
        int stride = 0;
        const std::uint8_t *bgrx = nullptr;
        // Where the source knows what changed since its last picture: the only places where
        // this one may differ from it.
        std::optional<std::vector<QRect>> changed;
        // Where the source does not say (a look at everything), what it was told of meanwhile.
        std::vector<QRect> told;
    };

    virtual ~PictureSource() = default;
    // The picture now, valid until the next call. Raises AppError, in words a teacher
    // understands, when none can be taken.
    virtual Picture grab() = 0;
    // The pointer in the picture's pixels, where this source knows it; asked after
    // mayHaveChanged(), whose look at the source it may go by.
    virtual std::optional<QPoint> pointer() { return std::nullopt; }
    // A descriptor that turns readable when something may have changed (drawing, the pointer's
    // motion); -1 where the source cannot tell, and pictures are looked for at the stream's pace.
    virtual int changeDescriptor() { return -1; }
    // Whether a picture or the pointer may show something new now, and so until the next
    // picture; takes what the descriptor holds, so that it is quiet again until the next change.
    virtual bool mayHaveChanged() { return true; }
    // After a picture without changed places: whether it differed from the last one beyond the
    // places told, which a source that looks everywhere now and then may go by.
    virtual void lookedEverywhere(bool untold) { static_cast<void>(untold); }
};
