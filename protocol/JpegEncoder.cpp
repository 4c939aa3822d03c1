#include "protocol/JpegEncoder.h"

#include "protocol/JpegErrorManager.h"
#include "system/AppError.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>
#include <new>

namespace {

constexpr std::size_t initialBufferSize = 512 * 1024;
constexpr int minQuality = 1;
constexpr int maxQuality = 100;
constexpr int bgrxComponents = 4;
constexpr JDIMENSION rowsPerCall = 16;

} // namespace

// The library's structures stay out of the header, so its users need no jpeglib.h.
struct JpegEncoder::State
{
    jpeg_compress_struct cinfo{};
    JpegErrorManager errors{};
    jpeg_destination_mgr destination{};
};

namespace {

JpegEncoder *ownerOf(j_compress_ptr cinfo)
{
    return static_cast<JpegEncoder *>(cinfo->client_data);
}

} // namespace

JpegEncoder::JpegEncoder() : m_state(std::make_unique<State>()), m_buffer(initialBufferSize)
{
    jpeg_compress_struct &cinfo = m_state->cinfo;
    cinfo.err = m_state->errors.install();
    if (setjmp(m_state->errors.jump))
        throw AppError(
            QStringLiteral("Cannot start the JPEG encoder: %1").arg(m_state->errors.message));
    jpeg_create_compress(&cinfo);
    cinfo.client_data = this;

    // Output goes straight into m_buffer, which only grows: a steady screen needs no new memory.
    m_state->destination.init_destination = [](j_compress_ptr c) {
        JpegEncoder *self = ownerOf(c);
        c->dest->next_output_byte = self->m_buffer.data();
        c->dest->free_in_buffer = self->m_buffer.size();
    };
    m_state->destination.empty_output_buffer = [](j_compress_ptr c) -> boolean {
        JpegEncoder *self = ownerOf(c);
        const std::size_t used = self->m_buffer.size();
        // No C++ exception may cross the library's C frames; it gets its own error instead.
        try {
            self->m_buffer.resize(used * 2);
        } catch (const std::bad_alloc &) {
            ERREXIT(c, JERR_OUT_OF_MEMORY);
        }
        c->dest->next_output_byte = self->m_buffer.data() + used;
        c->dest->free_in_buffer = self->m_buffer.size() - used;
        return TRUE;
    };
    m_state->destination.term_destination = [](j_compress_ptr c) {
        JpegEncoder *self = ownerOf(c);
        self->m_size = self->m_buffer.size() - c->dest->free_in_buffer;
    };
    cinfo.dest = &m_state->destination;
}

JpegEncoder::~JpegEncoder()
{
    jpeg_destroy_compress(&m_state->cinfo);
}

int JpegEncoder::qualityFromSetting(std::int32_t setting)
{
    const int lowByte = static_cast<int>(static_cast<std::uint32_t>(setting) & 0xffu);
    return std::clamp(lowByte, minQuality, maxQuality);
}

std::span<const std::uint8_t> JpegEncoder::encode(const std::uint8_t *bgrx, int width, int height,
                                                  int stride, std::int32_t qualitySetting,
                                                  unsigned restartInterval)
{
    jpeg_compress_struct &cinfo = m_state->cinfo;
    m_size = 0;
    if (setjmp(m_state->errors.jump)) {
        jpeg_abort_compress(&cinfo);
        throw AppError(
            QStringLiteral("Cannot encode the screen as JPEG: %1").arg(m_state->errors.message));
    }
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = bgrxComponents;
    cinfo.in_color_space = JCS_EXT_BGRX;
    // The defaults give what receivers expect: YCbCr, JFIF, 2x2/1x1/1x1, standard Huffman,
    // sequential.
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, qualityFromSetting(qualitySetting), TRUE);
    cinfo.restart_interval = restartInterval;
    jpeg_start_compress(&cinfo, TRUE);
    JSAMPROW rows[rowsPerCall];
    while (cinfo.next_scanline < cinfo.image_height) {
        const JDIMENSION count =
            std::min<JDIMENSION>(rowsPerCall, cinfo.image_height - cinfo.next_scanline);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = const_cast<JSAMPROW>(
                bgrx + static_cast<std::ptrdiff_t>(cinfo.next_scanline + i) * stride);
        jpeg_write_scanlines(&cinfo, rows, count);
    }
    jpeg_finish_compress(&cinfo);
    return {m_buffer.data(), m_size};
}
