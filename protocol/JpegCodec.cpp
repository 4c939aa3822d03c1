#include "protocol/JpegCodec.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace {

constexpr int kRgbComponents = 3;
constexpr JDIMENSION kMaxSide = 16384;
constexpr unsigned long long kMaxPixels = 64ULL * 1024 * 1024;
constexpr int kMaxScans = 500;
// No real JPEG file holds more pixels per byte than this (a flat screen at low quality stays far
// below): a short file declaring a huge picture would only make libjpeg allocate for nothing.
constexpr unsigned long long kMaxPixelsPerByte = 512;
// What libjpeg may hold for one file, its multi-scan buffers included.
constexpr long kMaxLibraryMemory = 48L * 1024 * 1024;

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

// The library's default handler ends the process; we jump back to the caller instead.
[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(cinfo->err)->jump, 1);
}

// Warnings (level -1) are counted, as the library's own handler does, for decode() to judge;
// nothing is printed.
void silentMessage(j_common_ptr cinfo, int level)
{
    if (level < 0) {
        ++cinfo->err->num_warnings;
    }
}

// A hostile progressive file can ask for thousands of scans; stop it early.
void limitScans(j_common_ptr cinfo)
{
    auto *dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > kMaxScans) {
        errorExit(cinfo);
    }
}

void installErrors(jpeg_common_struct *common, ErrorManager &errors)
{
    common->err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = errorExit;
    errors.pub.emit_message = silentMessage;
}

// setjmp may not share a frame with objects that have destructors, so the library work lives
// in these two plain functions and the QByteArray/QImage handling stays outside.
bool compress(const QImage &rgb, int quality, unsigned char **out, unsigned long *outSize)
{
    jpeg_compress_struct cinfo{};
    ErrorManager errors{};
    installErrors(reinterpret_cast<jpeg_common_struct *>(&cinfo), errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, outSize);
    cinfo.image_width = static_cast<JDIMENSION>(rgb.width());
    cinfo.image_height = static_cast<JDIMENSION>(rgb.height());
    cinfo.input_components = kRgbComponents;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

bool decompress(QByteArrayView data, int scaleDenominator, QImage &picture)
{
    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
    jpeg_progress_mgr progress{};
    installErrors(reinterpret_cast<jpeg_common_struct *>(&cinfo), errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    progress.progress_monitor = limitScans;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(data.data()),
                 static_cast<unsigned long>(data.size()));
    cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
    jpeg_read_header(&cinfo, TRUE);
    const unsigned long long pixels =
        static_cast<unsigned long long>(cinfo.image_width) * cinfo.image_height;
    if (cinfo.image_width > kMaxSide || cinfo.image_height > kMaxSide || pixels > kMaxPixels ||
        pixels > kMaxPixelsPerByte * static_cast<unsigned long long>(data.size())) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_RGB;
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned int>(scaleDenominator);
    jpeg_start_decompress(&cinfo);
    picture = QImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                     QImage::Format_RGB888);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = picture.scanLine(static_cast<int>(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    const bool clean = cinfo.err->num_warnings == 0;
    jpeg_destroy_decompress(&cinfo);
    return clean;
}

} // namespace

QByteArray JpegCodec::encode(const QImage &picture, int quality)
{
    if (picture.isNull()) {
        return {};
    }
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    const bool ok = compress(rgb, quality, &buffer, &size);
    QByteArray file;
    if (ok) {
        file = QByteArray(reinterpret_cast<const char *>(buffer), static_cast<qsizetype>(size));
    }
    std::free(buffer);
    return file;
}

QImage JpegCodec::decode(QByteArrayView data, int scaleDenominator)
{
    if (data.isEmpty()) {
        return {};
    }
    QImage picture;
    if (!decompress(data, scaleDenominator, picture)) {
        return {};
    }
    return picture;
}
