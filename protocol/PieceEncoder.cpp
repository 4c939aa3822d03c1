#include "protocol/PieceEncoder.h"

#include "protocol/StreamDatagram.h"
#include "system/AppError.h"

#include <algorithm>

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

// Where the scan's data begins: after the start-of-scan segment of a file our encoder wrote.
qsizetype scanStart(const QByteArray &file)
{
    qsizetype at = 2;
    while (at + 4 <= file.size() && quint8(file[at]) == kMarker) {
        const quint8 marker = quint8(file[at + 1]);
        const qsizetype length = (qsizetype(quint8(file[at + 2])) << 8) | quint8(file[at + 3]);
        at += 2 + length;
        if (marker == kStartOfScan)
            return at;
    }
    throw AppError(QStringLiteral("The JPEG encoder wrote no scan"));
}

// The scan's cells: [begin, end) of each, without the markers between them.
std::vector<std::pair<qsizetype, qsizetype>> cellsOf(const QByteArray &file)
{
    std::vector<std::pair<qsizetype, qsizetype>> cells;
    qsizetype begin = scanStart(file);
    for (qsizetype at = begin; at + 1 < file.size(); ++at) {
        if (quint8(file[at]) != kMarker)
            continue;
        const quint8 next = quint8(file[at + 1]);
        if (next >= kFirstRestart && next <= kLastRestart) {
            cells.emplace_back(begin, at);
            begin = at + 2;
            ++at;
        } else if (next == kEndOfImage) {
            cells.emplace_back(begin, at);
            return cells;
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
    const std::uint8_t *start = bgrx + std::ptrdiff_t(left) * kBytesPerPixel;
    const auto coded = m_encoder.encode(start, width, height, stride, quality, kMcusPerCell);
    // Copied out: coding a dense cell again below reuses the encoder's buffer.
    const QByteArray file(reinterpret_cast<const char *>(coded.data()), qsizetype(coded.size()));
    const auto spans = cellsOf(file);
    if (qsizetype(spans.size()) != cells)
        throw AppError(QStringLiteral("The JPEG encoder's scan has %1 cells, not %2")
                           .arg(spans.size())
                           .arg(cells));
    std::vector<int> tooDense;
    Piece piece;
    const auto flush = [&] {
        if (piece.cells > 0)
            out.push_back(std::exchange(piece, Piece()));
    };
    for (int i = 0; i < cells; ++i) {
        const auto [begin, end] = spans[std::size_t(i)];
        const qsizetype length = end - begin;
        if (length > StreamDatagram::kMaxPayload) {
            flush();
            tooDense.push_back(firstCell + i);
            continue;
        }
        if (piece.cells > 0 && piece.scan.size() + 2 + length > StreamDatagram::kMaxPayload)
            flush();
        if (piece.cells == 0) {
            piece.firstCell = firstCell + i;
            piece.quality = quality;
        } else {
            piece.scan.append(char(kMarker));
            piece.scan.append(char(kFirstRestart + (piece.cells - 1) % kRestartCycle));
        }
        piece.scan.append(file.constData() + begin, length);
        ++piece.cells;
    }
    flush();
    // A cell of noise at a high quality can outgrow a datagram; at quality 1 none can.
    for (const int cell : tooDense)
        encode(bgrx, stride, pictureWidth, height, cell, 1, std::max(1, quality * 2 / 3), out);
}
