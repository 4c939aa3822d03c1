#include "classroom/StreamSketch.h"

#include "protocol/StreamDatagram.h"

#include <algorithm>
#include <array>

namespace {
constexpr int kCell = StreamDatagram::kCell;
constexpr int kBand = StreamDatagram::kBand;
constexpr int kBytesPerPixel = 4;
// The sketch's bytes a second: with the versions, the round and the pointer, an unchanged
// screen stays under 20 KB a second.
constexpr qint64 kSketchBytes = 8000;
constexpr int kSketchQuality = 50;
constexpr int kMinScale = 1;
constexpr int kCellBytes = kCell * kBytesPerPixel;

// One line of a cell added to its sums: a count known when built, and sums no pixel shares, make
// this a few wide additions.
void addCellLine(std::uint16_t *__restrict sums, const std::uint8_t *__restrict line)
{
    for (int i = 0; i < kCellBytes; ++i)
        sums[i] = std::uint16_t(sums[i] + line[i]);
}
} // namespace

const std::vector<PieceEncoder::Piece> &
StreamSketch::pieces(const ScreenChanges &screen, const std::function<bool(int)> &changed)
{
    const int side = 1 << m_scale;
    const int width = (screen.width() + side - 1) >> m_scale;
    const int height = (screen.height() + side - 1) >> m_scale;
    const bool whole = m_scale != m_sketchedScale;
    // A sketch one scale coarser than the last is made from it, and only the cells that changed
    // since are shrunk again from the screen: all of it is read again only at a new size or a
    // finer scale.
    const bool coarsened = m_sketchedScale >= 0 && m_scale == m_sketchedScale + 1;
    if (coarsened)
        coarsen(screen, width, height);
    else
        m_pixels.resize(std::size_t(width) * height * kBytesPerPixel);
    const bool everyCell = whole && !coarsened;
    const int columns = screen.cellColumns();
    const int bands = (height + kBand - 1) / kBand;
    m_bands.resize(std::size_t(bands));
    m_stale.assign(std::size_t(bands), whole ? 1 : 0);
    for (int row = 0; row < screen.cellRows(); ++row) {
        for (int column = 0; column < columns;) {
            if (!everyCell && !changed(row * columns + column)) {
                ++column;
                continue;
            }
            int count = 1;
            while (column + count < columns &&
                   (everyCell || changed(row * columns + column + count)))
                ++count;
            shrinkCells(screen, column, count, row, width, height);
            const int top = (row * kCell) >> m_scale;
            const int bottom = std::min(((row + 1) * kCell) >> m_scale, height) - 1;
            std::fill(m_stale.begin() + top / kBand, m_stale.begin() + bottom / kBand + 1, 1);
            column += count;
        }
    }
    m_sketchedScale = m_scale;
    // Only the bands of the sketch that changed are coded again, a run of them in one go.
    for (int first = 0; first < bands;) {
        if (!m_stale[std::size_t(first)]) {
            ++first;
            continue;
        }
        int last = first;
        while (last + 1 < bands && m_stale[std::size_t(last + 1)])
            ++last;
        std::vector<PieceEncoder::Piece> coded;
        m_encoder.encode(m_pixels.data() + std::size_t(first) * kBand * width * kBytesPerPixel,
                         width * kBytesPerPixel, width,
                         std::min((last + 1) * kBand, height) - first * kBand, 0,
                         (width + kCell - 1) / kCell, kSketchQuality, coded);
        for (int band = first; band <= last; ++band)
            m_bands[std::size_t(band)].clear();
        for (PieceEncoder::Piece &piece : coded) {
            piece.band += first;
            m_bands[std::size_t(piece.band)].push_back(std::move(piece));
        }
        first = last + 1;
    }
    m_pieces.clear();
    for (const std::vector<PieceEncoder::Piece> &band : m_bands)
        m_pieces.insert(m_pieces.end(), band.begin(), band.end());
    return m_pieces;
}

void StreamSketch::sent(qint64 bytes)
{
    if (bytes > kSketchBytes)
        m_scale = std::min(m_scale + 1, int(StreamDatagram::kMaxScale));
    else if (bytes < kSketchBytes / 4)
        m_scale = std::max(m_scale - 1, kMinScale);
}

// Each pixel of the coarser sketch is the mean of the (up to) four of the last one it covers,
// each weighed by the screen pixels it stands for, so that the edges stay right.
void StreamSketch::coarsen(const ScreenChanges &screen, int width, int height)
{
    const int fine = m_scale - 1;
    const int fineSide = 1 << fine;
    const int fineWidth = (screen.width() + fineSide - 1) >> fine;
    const int fineHeight = (screen.height() + fineSide - 1) >> fine;
    std::vector<std::uint8_t> coarser(std::size_t(width) * height * kBytesPerPixel);
    std::uint8_t *out = coarser.data();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, out += kBytesPerPixel) {
            std::array<unsigned, 3> sum{};
            unsigned count = 0;
            for (int fy = 2 * y; fy < std::min(2 * y + 2, fineHeight); ++fy) {
                const int rows = std::min(fineSide, screen.height() - (fy << fine));
                for (int fx = 2 * x; fx < std::min(2 * x + 2, fineWidth); ++fx) {
                    const auto weight =
                        unsigned(rows * std::min(fineSide, screen.width() - (fx << fine)));
                    const std::uint8_t *p =
                        m_pixels.data() + (std::size_t(fy) * fineWidth + fx) * kBytesPerPixel;
                    for (std::size_t c = 0; c < sum.size(); ++c)
                        sum[c] += p[c] * weight;
                    count += weight;
                }
            }
            for (std::size_t c = 0; c < sum.size(); ++c)
                out[c] = std::uint8_t(sum[c] / count);
        }
    }
    m_pixels.swap(coarser);
}

// Down the cells' rows first, summing each byte of a row into its column's sum (the same
// additions for every row: the compiler makes them a few wide ones where a whole cell's count of
// bytes is known when built), then across each sketch pixel's columns once per sketch row. A run
// of cells is read line by line across all of them, in the order its pixels lie in memory: cell
// after cell, each line would start a page of its own and wait for it.
void StreamSketch::shrinkCells(const ScreenChanges &screen, int first, int count, int row,
                               int width, int height)
{
    const int scale = m_scale;
    const int side = 1 << scale;
    const int left = first * kCell;
    const int right = std::min(left + count * kCell, screen.width());
    const int firstX = left >> scale;
    const int lastX = std::min((left + count * kCell) >> scale, width);
    // The last cell of the run may be cut short by the screen's right edge.
    const int wholeCells = (right - left) / kCell;
    const int restBytes = (right - left - wholeCells * kCell) * kBytesPerPixel;
    static_assert((255 << StreamDatagram::kMaxScale) <= 0xffff, "a column's sum fits 16 bits");
    m_sums.resize(std::size_t(right - left) * kBytesPerPixel);
    for (int y = (row * kCell) >> scale; y < std::min(((row + 1) * kCell) >> scale, height); ++y) {
        const int top = y << scale;
        const int bottom = std::min(top + side, screen.height());
        std::fill(m_sums.begin(), m_sums.end(), 0);
        for (int sy = top; sy < bottom; ++sy) {
            const std::uint8_t *p = screen.pixels() + std::ptrdiff_t(sy) * screen.stride() +
                                    std::ptrdiff_t(left) * kBytesPerPixel;
            std::uint16_t *sums = m_sums.data();
            for (int cell = 0; cell < wholeCells; ++cell, p += kCellBytes, sums += kCellBytes)
                addCellLine(sums, p);
            for (int i = 0; i < restBytes; ++i)
                sums[i] = std::uint16_t(sums[i] + p[i]);
        }
        std::uint8_t *out = m_pixels.data() + (std::size_t(y) * width + firstX) * kBytesPerPixel;
        for (int x = firstX; x < lastX; ++x, out += kBytesPerPixel) {
            const int across = std::min(side, screen.width() - (x << scale));
            const std::uint16_t *sum =
                m_sums.data() + std::size_t((x << scale) - left) * kBytesPerPixel;
            unsigned blue = 0;
            unsigned green = 0;
            unsigned red = 0;
            for (int i = 0; i < across; ++i, sum += kBytesPerPixel) {
                blue += sum[0];
                green += sum[1];
                red += sum[2];
            }
            // A whole sketch pixel stands for a power of two of the screen's: a shift, where a
            // division would cost more than all the additions before it.
            if (bottom - top == side && across == side) {
                out[0] = std::uint8_t(blue >> (2 * scale));
                out[1] = std::uint8_t(green >> (2 * scale));
                out[2] = std::uint8_t(red >> (2 * scale));
                continue;
            }
            const auto count = unsigned((bottom - top) * across);
            out[0] = std::uint8_t(blue / count);
            out[1] = std::uint8_t(green / count);
            out[2] = std::uint8_t(red / count);
        }
    }
}
