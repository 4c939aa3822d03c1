#pragma once

#include <QString>
#include <cstdint>
#include <vector>

struct xcb_connection_t;

// How the X screen stores a pixel, and the conversion of its rows to 32-bit BGRX for the encoder.
class PixelFormat
{
public:
    // Reads the root window's visual and pixmap format; depth 0 when the screen was not found.
    static PixelFormat ofRoot(xcb_connection_t *connection, std::uint32_t root);

    PixelFormat() = default;
    PixelFormat(int depth, int bitsPerPixel, int scanlinePad, bool trueColor, std::uint32_t redMask,
                std::uint32_t greenMask, std::uint32_t blueMask, bool msbFirst);

    // Empty when rows can be converted; else, in plain words, why this screen cannot be captured.
    QString refusal() const;
    // Rows already hold blue, green, red, padding bytes: they go to the encoder untouched.
    bool isBgrx() const;
    // Bytes of one row of width pixels as the server sends it.
    int stride(int width) const;

    // Converts rows of this format into dst (width * 4 bytes per row, no padding).
    void toBgrx(const std::uint8_t *src, int srcStride, int width, int height,
                std::uint8_t *dst) const;

private:
    // One colour channel: where it lies in the pixel and how its value widens to 8 bits.
    struct Channel
    {
        int shift = 0;
        int bits = 0;
        std::vector<std::uint8_t> widen;
    };
    static Channel channelOf(std::uint32_t mask);
    template <int Bytes, bool Msb>
    void convertRows(const std::uint8_t *src, int srcStride, int width, int height,
                     std::uint8_t *dst) const;

    int m_depth = 0;
    int m_bitsPerPixel = 0;
    int m_scanlinePad = 32;
    bool m_trueColor = false;
    std::uint32_t m_masks[3] = {0, 0, 0};
    bool m_msbFirst = false;
    Channel m_red;
    Channel m_green;
    Channel m_blue;
};
