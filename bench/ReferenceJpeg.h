#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The yardstick for our JPEG layers: libjpeg-turbo used the plain way, with its default errors.
class ReferenceJpeg
{
public:
    ReferenceJpeg();
    ~ReferenceJpeg();
    ReferenceJpeg(const ReferenceJpeg &) = delete;
    ReferenceJpeg &operator=(const ReferenceJpeg &) = delete;

    // Baseline 4:2:0 from BGRX rows at this quality; returns the file's size.
    std::size_t encode(const std::uint8_t *bgrx, int width, int height, int quality);
    const std::uint8_t *encoded() const { return m_buffer; }

    // Decodes to RGB rows; returns the number of rows decoded.
    int decode(const std::uint8_t *data, std::size_t size);

private:
    struct State;

    std::unique_ptr<State> m_state;
    unsigned char *m_buffer = nullptr;
    unsigned long m_capacity = 0;
    std::vector<std::uint8_t> m_rgb;
};
