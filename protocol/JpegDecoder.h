#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <vector>

// Decodes JPEG files into 24-bit RGB rows no larger than they are shown at, refusing data that
// would cost too much: the console's monitored frames, the agent's demonstration and the
// simulator's count of sound frames, all with the one set of limits below.
class JpegDecoder
{
public:
    // The last picture decoded: rows of width * 3 bytes (red, green, blue), top row first.
    struct Image
    {
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> rgb;
        // The file's own size, before any shrinking: the space its sender's coordinates are in.
        int sourceWidth = 0;
        int sourceHeight = 0;
    };

    // Frames are shrunk (by 1/2, 1/4 or 1/8) only while they still cover this size.
    static constexpr int kDefaultTargetWidth = 1920;
    static constexpr int kDefaultTargetHeight = 1080;

    // Whether a header declaring this size may be decoded at all.
    static bool acceptableSize(std::uint64_t width, std::uint64_t height);
    // Whether so many pixels can honestly come from so few bytes.
    static bool plausibleDensity(std::uint64_t width, std::uint64_t height, std::size_t bytes);
    // The denominator (1, 2, 4 or 8) that gives the smallest picture still covering the target.
    static int scaleDenominator(int width, int height, int targetWidth, int targetHeight);
    // How many scans a picture of this size may have before it is given up.
    static int allowedScans(std::uint64_t width, std::uint64_t height);

    // The size the picture is shown at (e.g. twice the window); 0 or less: the default.
    void setTargetSize(int width, int height);

    // Decodes one file with a fresh decoder state; on false (undecodable or refused) image()
    // keeps the previous picture.
    bool decode(const std::uint8_t *data, std::size_t size);
    bool decode(const QByteArray &data);

    const Image &image() const { return m_image; }
    // Whether the last decode that succeeded met damaged data on its way (a truncated or spliced
    // file still gives a picture, grey where its data is missing).
    bool lastWasDamaged() const { return m_damaged; }
    // Hands the last picture over; this decoder keeps none until its next frame.
    Image takeImage();
    // Bytes of pixel buffers kept between frames.
    std::size_t heldBytes() const;

private:
    bool decodeInto(const std::uint8_t *data, std::size_t size, Image &target);

    int m_targetWidth = kDefaultTargetWidth;
    int m_targetHeight = kDefaultTargetHeight;
    Image m_image;
    Image m_scratch;
    bool m_damaged = false;
};
