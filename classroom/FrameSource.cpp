#include "classroom/FrameSource.h"

#include "classroom/PictureSource.h"

std::unique_ptr<PictureSource> FrameSource::pictureSource()
{
    return nullptr;
}
