// The decoder of student frames alone: whatever a student sends as one JPEG file.
#include "fuzz/SlowestInput.h"
#include "protocol/JpegDecoder.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    SlowestInput watch;
    static JpegDecoder decoder;
    if (decoder.decode(data, size)) {
        const JpegDecoder::Image &image = decoder.image();
        if (!JpegDecoder::acceptableSize(std::uint64_t(image.width), std::uint64_t(image.height)) ||
            image.rgb.size() != std::size_t(image.width) * std::size_t(image.height) * 3)
            std::abort();
    }
    return 0;
}
