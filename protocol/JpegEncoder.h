#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// Encodes BGRX screen rows as baseline JFIF files (4:2:0) into one buffer reused between frames.
class JpegEncoder
{
public:
    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder &) = delete;
    JpegEncoder &operator=(const JpegEncoder &) = delete;

    // The quality the library gets for a stored setting: its low 8 bits, kept within 1..100.
    static int qualityFromSetting(std::int32_t setting);

    // Encodes one picture; the bytes stay valid until the next call. Raises AppError on failure.
    // restartInterval > 0 puts a restart marker after every so many MCUs, so that the scan can
    // be cut at them into pieces that decode on their own.
    std::span<const std::uint8_t> encode(const std::uint8_t *bgrx, int width, int height,
                                         int stride, std::int32_t qualitySetting,
                                         unsigned restartInterval = 0);

private:
    struct State;

    std::unique_ptr<State> m_state;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_size = 0;
};
