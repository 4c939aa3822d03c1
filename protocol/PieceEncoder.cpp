#include "protocol/PieceEncoder.h"

#include "protocol/StreamDatagram.h"
#include "system/AppError.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>

namespace {

constexpr int kMcu = 16;
constexpr unsigned kMcusPerCell = StreamDatagram::kCell / kMcu;
constexpr int kBytesPerPixel = 4;
constexpr std::uint8_t kMarker = 0xff;
constexpr std::uint8_t kStartOfScan = 0xda;
constexpr std::uint8_t kEndOfImage = 0xd9;
constexpr std::uint8_t kFirstRestart = 0xd0;
constexpr std::uint8_t kLastRestart = 0xd7;
constexpr int kRestartCycle = 8;

using Span = std::pair<std::size_t, std::size_t>;

// Where the scan's data begins: after the start-of-scan segment of a file our encoder wrote.
std::size_t scanStart(std::span<const std::uint8_t> file)
{
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at] == kMarker) {
        const std::uint8_t marker = file[at + 1];
        const std::size_t length = (std::size_t(file[at + 2]) << 8) | file[at + 3];
        at += 2 + length;
        if (marker == kStartOfScan)
            return at;
    }
    throw AppError(QStringLiteral("The JPEG encoder wrote no scan"));
}

// The scan's cells, band after band: [begin, end) of each, without the markers between them.
void cellsOf(std::span<const std::uint8_t> file, std::vector<Span> &cells)
{
    cells.clear();
    std::size_t begin = scanStart(file);
    const std::uint8_t *data = file.data();
    for (std::size_t at = begin; at + 1 < file.size(); ++at) {
        const void *marker = std::memchr(data + at, kMarker, file.size() - 1 - at);
        if (!marker)
            break;
        at = std::size_t(static_cast<const std::uint8_t *>(marker) - data);
        const std::uint8_t next = data[at + 1];
        if (next >= kFirstRestart && next <= kLastRestart) {
            cells.emplace_back(begin, at);
            begin = at + 2;
            ++at;
        } else if (next == kEndOfImage) {
            cells.emplace_back(begin, at);
            return;
        } else {
            ++at; // a stuffed zero
        }
    }
    throw AppError(QStringLiteral("The JPEG encoder's scan has no end"));
}

} // namespace

void PieceEncoder::encode(const std::uint8_t *bgrx, int stride, int pictureWidth, int height,
                          int firstCell, int cells, int quality, std::vector<Piece> &out)
{
    const int left = firstCell * StreamDatagram::kCell;
    const int width = std::min(cells * StreamDatagram::kCell, pictureWidth - left);
    const int bands = (height + StreamDatagram::kBand - 1) / StreamDatagram::kBand;
    // Restart markers count blocks across the whole scan: only where every cell is whole in
    // them does each band's first cell start a new restart interval.
    if (bands > 1 && (width + kMcu - 1) / kMcu != cells * int(kMcusPerCell)) {
        for (int band = 0; band < bands; ++band)
            encodeBand(bgrx, stride, pictureWidth, height, band, firstCell, cells, quality, out);
        return;
    }
    const std::uint8_t *start = bgrx + std::ptrdiff_t(left) * kBytesPerPixel;
    const std::span<const std::uint8_t> file =
        m_encoder.encode(start, width, height, stride, quality, kMcusPerCell);
    cellsOf(file, m_spans);
    if (m_spans.size() != std::size_t(cells) * std::size_t(bands))
        throw AppError(QStringLiteral("The JPEG encoder's scan has %1 cells, not %2")
                           .arg(m_spans.size())
                           .arg(cells * bands));
    // (band, cell) of each cell too dense for a datagram at this quality.
    std::vector<std::pair<int, int>> tooDense;
    Piece piece;
    const auto flush = [&] {
        if (piece.cells > 0)
            out.push_back(std::exchange(piece, Piece()));
    };
    for (int band = 0; band < bands; ++band) {
        for (int i = 0; i < cells; ++i) {
            const auto [begin, end] =
                m_spans[std::size_t(band) * std::size_t(cells) + std::size_t(i)];
            const auto length = qsizetype(end - begin);
            if (length > StreamDatagram::kMaxPayload) {
                flush();
                tooDense.emplace_back(band, firstCell + i);
                continue;
            }
            if (piece.cells > 0 && piece.scan.size() + 2 + length > StreamDatagram::kMaxPayload)
                flush();
            if (piece.cells == 0) {
                piece.firstCell = firstCell + i;
                piece.band = band;
                piece.quality = quality;
                piece.scan.reserve(StreamDatagram::kMaxPayload);
            } else {
                piece.scan.append(char(kMarker));
                piece.scan.append(char(kFirstRestart + (piece.cells - 1) % kRestartCycle));
            }
            piece.scan.append(reinterpret_cast<const char *>(file.data()) + begin, length);
            ++piece.cells;
        }
        flush();
    }
    // A cell of noise at a high quality can outgrow a datagram; at quality 1 none can.
    for (const auto &[band, cell] : tooDense)
        encodeBand(bgrx, stride, pictureWidth, height, band, cell, 1, std::max(1, quality * 2 / 3),
                   out);
}

void PieceEncoder::encodeBand(const std::uint8_t *bgrx, int stride, int pictureWidth, int height,
                              int band, int firstCell, int cells, int quality,
                              std::vector<Piece> &out)
{
    const int top = band * StreamDatagram::kBand;
    const std::size_t from = out.size();
    encode(bgrx + std::ptrdiff_t(top) * stride, stride, pictureWidth,
           std::min(StreamDatagram::kBand, height - top), firstCell, cells, quality, out);
    for (std::size_t i = from; i < out.size(); ++i)
        out[i].band = band;
}
