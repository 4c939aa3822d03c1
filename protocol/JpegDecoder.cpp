#include "protocol/JpegDecoder.h"

#include "protocol/JpegErrorManager.h"

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
// The densest honest coding is a flat screen sent progressively with optimised tables: one bit
// per block of its DC scan, about 340 pixels a byte (plain baseline files stay under 200). 512
// leaves room for that and a truncated frame, and refuses headers that promise far more.
constexpr std::uint64_t maxPixelsPerByte = 512;
// Progressive scripts of real encoders have 10 scans (colour) or 6 (grey); every scan is one more
// pass over the whole picture.
constexpr int maxScans = 32;
// Work of one frame: declared pixels times scans. A 1920x1080 file may have 19 scans, twice what
// real progressive files use; a scan of the densest coding costs about 0.6 ms a megapixel here,
// so no frame costs much over 25 ms.
constexpr std::uint64_t maxPixelScans = 40ull * 1000 * 1000;
// The library's own big arrays (a progressive file's coefficients) stay below this.
constexpr long maxLibraryMemory = 48L * 1024 * 1024;
constexpr int rgbComponents = 3;
constexpr JDIMENSION rowsPerCall = 16;
constexpr int maxDenominator = 8;

// Progress is reported while scans are read, so a file is given up at the scan that crosses its
// allowance, before that scan is decoded.
struct Progress
{
    jpeg_progress_mgr pub{};
    int allowedScans = 0;
};

void countScans(j_common_ptr cinfo)
{
    auto *dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    const auto *progress = reinterpret_cast<const Progress *>(cinfo->progress);
    if (dinfo->input_scan_number > progress->allowedScans)
        ERREXIT(cinfo, JERR_NOTIMPL);
}

// One file's decoder; created and destroyed per frame, so no table of an earlier frame fills a
// gap in a later one and the library's pools are handed back every time.
struct Session
{
    jpeg_decompress_struct cinfo{};
    JpegErrorManager errors{};
    Progress progress{};
    bool created = false;
    ~Session()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
};

} // namespace

bool JpegDecoder::acceptableSize(std::uint64_t width, std::uint64_t height)
{
    return width <= maxSide && height <= maxSide && width * height <= maxPixels;
}

bool JpegDecoder::plausibleDensity(std::uint64_t width, std::uint64_t height, std::size_t bytes)
{
    return width * height <= maxPixelsPerByte * bytes;
}

int JpegDecoder::scaleDenominator(int width, int height, int targetWidth, int targetHeight)
{
    const auto covers = [](int side, int target, int denominator) {
        return (side + denominator - 1) / denominator >= std::min(side, target);
    };
    for (int denominator = maxDenominator; denominator > 1; denominator /= 2) {
        if (covers(width, targetWidth, denominator) && covers(height, targetHeight, denominator))
            return denominator;
    }
    return 1;
}

int JpegDecoder::allowedScans(std::uint64_t width, std::uint64_t height)
{
    const std::uint64_t pixels = std::max<std::uint64_t>(1, width * height);
    return static_cast<int>(std::clamp<std::uint64_t>(maxPixelScans / pixels, 1, maxScans));
}

void JpegDecoder::setTargetSize(int width, int height)
{
    const bool given = width > 0 && height > 0;
    m_targetWidth = given ? width : kDefaultTargetWidth;
    m_targetHeight = given ? height : kDefaultTargetHeight;
}

bool JpegDecoder::decode(const std::uint8_t *data, std::size_t size)
{
    if (!data || size == 0)
        return false;
    if (!decodeInto(data, size, m_scratch))
        return false;
    std::swap(m_image, m_scratch);
    // The previous picture's rows are kept for the next frame only while they are of its size.
    if (m_scratch.rgb.capacity() > m_image.rgb.size())
        std::vector<std::uint8_t>().swap(m_scratch.rgb);
    return true;
}

JpegDecoder::Image JpegDecoder::takeImage()
{
    return std::exchange(m_image, Image());
}

std::size_t JpegDecoder::heldBytes() const
{
    return m_image.rgb.capacity() + m_scratch.rgb.capacity();
}

bool JpegDecoder::decode(const QByteArray &data)
{
    return decode(reinterpret_cast<const std::uint8_t *>(data.constData()),
                  static_cast<std::size_t>(data.size()));
}

bool JpegDecoder::decodeInto(const std::uint8_t *data, std::size_t size, Image &target)
{
    Session session;
    jpeg_decompress_struct &cinfo = session.cinfo;
    cinfo.err = session.errors.install();
    if (setjmp(session.errors.jump))
        return false;
    jpeg_create_decompress(&cinfo);
    session.created = true;
    cinfo.mem->max_memory_to_use = maxLibraryMemory;
    session.progress.pub.progress_monitor = countScans;
    session.progress.allowedScans = maxScans;
    cinfo.progress = &session.progress.pub;
    // The memory source ends truncated data with a made-up end-of-image marker and a warning.
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    if (!acceptableSize(cinfo.image_width, cinfo.image_height) ||
        !plausibleDensity(cinfo.image_width, cinfo.image_height, size))
        return false;
    session.progress.allowedScans = allowedScans(cinfo.image_width, cinfo.image_height);
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned>(scaleDenominator(static_cast<int>(cinfo.image_width),
                                                               static_cast<int>(cinfo.image_height),
                                                               m_targetWidth, m_targetHeight));
    cinfo.do_block_smoothing = TRUE;
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.buffered_image = FALSE;
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const std::size_t rowBytes = static_cast<std::size_t>(cinfo.output_width) * rgbComponents;
    const std::size_t bytes = rowBytes * cinfo.output_height;
    // bad_alloc must not cross the library's frames.
    try {
        if (target.rgb.capacity() > 2 * bytes)
            std::vector<std::uint8_t>().swap(target.rgb);
        target.rgb.resize(bytes);
    } catch (const std::bad_alloc &) {
        return false;
    }
    JSAMPROW rows[rowsPerCall];
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION count = std::min(rowsPerCall, cinfo.output_height - cinfo.output_scanline);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = target.rgb.data() + (cinfo.output_scanline + i) * rowBytes;
        jpeg_read_scanlines(&cinfo, rows, count);
    }
    // Whatever follows the image (a second frame glued on) is not read: the session ends here.
    m_damaged = cinfo.err->num_warnings != 0;
    target.width = static_cast<int>(cinfo.output_width);
    target.height = static_cast<int>(cinfo.output_height);
    target.sourceWidth = static_cast<int>(cinfo.image_width);
    target.sourceHeight = static_cast<int>(cinfo.image_height);
    return true;
}
