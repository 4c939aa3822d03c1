#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Decodes JPEG files from students into 24-bit RGB rows, refusing data that would cost too much.
class JpegDecoder
{
public:
    // The last picture decoded: rows of width * 3 bytes (red, green, blue), top row first.
    struct Image
    {
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> rgb;
    };

    JpegDecoder();
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder &) = delete;
    JpegDecoder &operator=(const JpegDecoder &) = delete;

    // Whether a header declaring this size may be decoded at all.
    static bool acceptableSize(std::uint64_t width, std::uint64_t height);

    // Decodes one file; on false (undecodable or refused) image() keeps the previous picture.
    bool decode(const std::uint8_t *data, std::size_t size);
    bool decode(const QByteArray &data);

    const Image &image() const { return m_image; }

private:
    struct State;

    bool decodeInto(const std::uint8_t *data, std::size_t size, Image &target);

    std::unique_ptr<State> m_state;
    Image m_image;
    Image m_scratch;
};
