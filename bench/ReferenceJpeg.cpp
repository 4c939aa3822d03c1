#include "bench/ReferenceJpeg.h"

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

struct ReferenceJpeg::State
{
    jpeg_compress_struct compress{};
    jpeg_decompress_struct decompress{};
    jpeg_error_mgr errors{};
};

ReferenceJpeg::ReferenceJpeg() : m_state(std::make_unique<State>())
{
    m_state->compress.err = jpeg_std_error(&m_state->errors);
    jpeg_create_compress(&m_state->compress);
    m_state->decompress.err = &m_state->errors;
    jpeg_create_decompress(&m_state->decompress);
}

ReferenceJpeg::~ReferenceJpeg()
{
    jpeg_destroy_compress(&m_state->compress);
    jpeg_destroy_decompress(&m_state->decompress);
    std::free(m_buffer);
}

std::size_t ReferenceJpeg::encode(const std::uint8_t *bgrx, int width, int height, int quality)
{
    jpeg_compress_struct &cinfo = m_state->compress;
    // A buffer as large as the raw picture: the library never has to grow it in this benchmark.
    if (!m_buffer) {
        m_capacity = static_cast<unsigned long>(width) * height * 4;
        m_buffer = static_cast<unsigned char *>(std::malloc(m_capacity));
    }
    unsigned char *out = m_buffer;
    unsigned long size = m_capacity;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(bgrx + static_cast<std::size_t>(cinfo.next_scanline) * width * 4);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    if (out != m_buffer) {
        std::free(m_buffer);
        m_buffer = out;
        m_capacity = size;
    }
    return size;
}

int ReferenceJpeg::decode(const std::uint8_t *data, std::size_t size)
{
    jpeg_decompress_struct &cinfo = m_state->decompress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const std::size_t rowBytes = static_cast<std::size_t>(cinfo.output_width) * 3;
    m_rgb.resize(rowBytes * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = m_rgb.data() + cinfo.output_scanline * rowBytes;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    const int rows = static_cast<int>(cinfo.output_scanline);
    jpeg_finish_decompress(&cinfo);
    return rows;
}
