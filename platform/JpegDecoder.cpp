#include "platform/JpegDecoder.h"

#include "platform/JpegErrorManager.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>
#include <new>
#include <utility>

namespace {

// Limits against hostile frames: a few bytes of header must not buy gigabytes or endless scans.
constexpr std::uint64_t maxSide = 16384;
constexpr std::uint64_t maxPixels = 64ull * 1000 * 1000;
constexpr int maxScans = 500;
constexpr int rgbComponents = 3;
constexpr JDIMENSION rowsPerCall = 16;

// Progressive files are consumed scan by scan in start_decompress; this is where they are counted.
void countScans(j_common_ptr cinfo)
{
    auto *dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > maxScans)
        ERREXIT(cinfo, JERR_NOTIMPL);
}

} // namespace

// The library's structures stay out of the header, so its users need no jpeglib.h.
struct JpegDecoder::State
{
    jpeg_decompress_struct cinfo{};
    JpegErrorManager errors{};
    jpeg_progress_mgr progress{};
    bool created = false;
};

JpegDecoder::JpegDecoder() : m_state(std::make_unique<State>())
{
    jpeg_decompress_struct &cinfo = m_state->cinfo;
    cinfo.err = m_state->errors.install();
    m_state->progress.progress_monitor = countScans;
    if (setjmp(m_state->errors.jump))
        return;
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &m_state->progress;
    m_state->created = true;
}

JpegDecoder::~JpegDecoder()
{
    if (m_state->created)
        jpeg_destroy_decompress(&m_state->cinfo);
}

bool JpegDecoder::acceptableSize(std::uint64_t width, std::uint64_t height)
{
    return width <= maxSide && height <= maxSide && width * height <= maxPixels;
}

bool JpegDecoder::decode(const std::uint8_t *data, std::size_t size)
{
    if (!m_state->created || !data || size == 0)
        return false;
    if (!decodeInto(data, size, m_scratch))
        return false;
    std::swap(m_image, m_scratch);
    return true;
}

bool JpegDecoder::decode(const QByteArray &data)
{
    return decode(reinterpret_cast<const std::uint8_t *>(data.constData()),
                  static_cast<std::size_t>(data.size()));
}

bool JpegDecoder::decodeInto(const std::uint8_t *data, std::size_t size, Image &target)
{
    jpeg_decompress_struct &cinfo = m_state->cinfo;
    if (setjmp(m_state->errors.jump)) {
        jpeg_abort_decompress(&cinfo);
        return false;
    }
    // The memory source ends truncated data with a made-up end-of-image marker and a warning.
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    if (!acceptableSize(cinfo.image_width, cinfo.image_height)) {
        jpeg_abort_decompress(&cinfo);
        return false;
    }
    cinfo.scale_num = 1;
    cinfo.scale_denom = 1;
    cinfo.do_block_smoothing = TRUE;
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.buffered_image = FALSE;
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const std::size_t rowBytes = static_cast<std::size_t>(cinfo.output_width) * rgbComponents;
    // Buffers keep their capacity from frame to frame; bad_alloc must not cross the library's
    // frames.
    try {
        target.rgb.resize(rowBytes * cinfo.output_height);
    } catch (const std::bad_alloc &) {
        jpeg_abort_decompress(&cinfo);
        return false;
    }
    JSAMPROW rows[rowsPerCall];
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION count = std::min(rowsPerCall, cinfo.output_height - cinfo.output_scanline);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = target.rgb.data() + (cinfo.output_scanline + i) * rowBytes;
        jpeg_read_scanlines(&cinfo, rows, count);
    }
    // Whatever follows the image (a second frame glued on) is not read: abort instead of finish.
    jpeg_abort_decompress(&cinfo);
    target.width = static_cast<int>(cinfo.output_width);
    target.height = static_cast<int>(cinfo.output_height);
    return true;
}
