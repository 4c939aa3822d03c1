#include "classroom/ScreenChanges.h"

#include "protocol/StreamDatagram.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int kCell = StreamDatagram::kCell;
constexpr int kBand = StreamDatagram::kBand;
constexpr int kBytesPerPixel = 4;
constexpr std::uint8_t kAllBands = (1u << (kCell / kBand)) - 1;
// A scroll is looked for in places this big, and must leave this many rows in place.
constexpr int kScrollMinWidth = kCell;
constexpr int kScrollMinRows = 2 * kBand;
// Rows tried as the probe, and rows of the moved place checked before a move is believed.
constexpr int kProbes = 3;
constexpr int kProbeSearch = 64;
constexpr int kChecks = 16;
// Pixels of a row compared before the whole row, where most candidates differ: side by side
// in its middle, so that a glance at a row is one read of memory, not one per pixel.
constexpr int kGlance = 16;
// Rows a scroll is looked for within: a wheel's step between two pictures, not a page; a
// picture that changed everywhere (a film) costs a bounded search.
constexpr int kFarthestScroll = 384;

std::uint32_t pixel(const std::uint8_t *row, int x)
{
    std::uint32_t value;
    std::memcpy(&value, row + std::ptrdiff_t(x) * kBytesPerPixel, sizeof value);
    return value & 0xffffffu;
}

bool sameRow(const std::uint8_t *a, const std::uint8_t *b, int width)
{
    const int middle = std::max(0, width / 2 - kGlance / 2);
    if (std::memcmp(a + std::ptrdiff_t(middle) * kBytesPerPixel,
                    b + std::ptrdiff_t(middle) * kBytesPerPixel,
                    std::size_t(std::min(kGlance, width)) * kBytesPerPixel) != 0)
        return false;
    return std::memcmp(a, b, std::size_t(width) * kBytesPerPixel) == 0;
}

// A row of one colour matches every other such row: it tells nothing of a move.
bool plain(const std::uint8_t *row, int width)
{
    for (int x = 1; x < width; ++x)
        if (pixel(row, x) != pixel(row, 0))
            return false;
    return true;
}
} // namespace

void ScreenChanges::compare(const std::uint8_t *bgrx, int width, int height, int stride,
                            const std::vector<QRect> *changed, const QRect &moved, const QPoint &by)
{
    const bool resized = width != m_width || height != m_height;
    const int ownStride = width * kBytesPerPixel;
    if (resized) {
        m_width = width;
        m_height = height;
        m_columns = (width + kCell - 1) / kCell;
        m_rows = (height + kCell - 1) / kCell;
        m_pixels.resize(std::size_t(height) * std::size_t(ownStride));
        m_spans.resize(std::size_t(m_rows));
        for (int y = 0; y < height; ++y)
            std::memcpy(m_pixels.data() + std::ptrdiff_t(y) * ownStride,
                        bgrx + std::ptrdiff_t(y) * stride, std::size_t(ownStride));
    }
    m_changed.assign(std::size_t(m_columns) * m_rows, resized ? 1 : 0);
    m_bands.assign(m_changed.size(), resized ? kAllBands : 0);
    m_changedCount = resized ? m_columns * m_rows : 0;
    if (resized || (changed && changed->empty()))
        return;
    if (changed) {
        skipUntouched(*changed);
    } else {
        m_settled.assign(m_changed.size(), 0);
        for (int row = 0; row < m_rows; ++row)
            m_spans[std::size_t(row)] =
                QRect(0, row * kCell, width, kCell) & QRect(0, 0, width, height);
    }
    // Line by line, so that both pictures are read in the order they lie in memory, and only
    // within the places drawn on. A place moved is moved on the last picture line by line too,
    // just before the line is compared (while it is at hand), in the order that reads each line
    // before it is written.
    const QRect target = moved.translated(by);
    const bool bottomUp = by.y() > 0;
    for (int i = 0; i < m_rows; ++i) {
        const int row = bottomUp ? m_rows - 1 - i : i;
        const QRect &span = m_spans[std::size_t(row)];
        const bool spanHoldsTarget = target.left() >= span.left() && target.right() <= span.right();
        for (int j = 0; j < span.height(); ++j) {
            const int y = bottomUp ? span.bottom() - j : span.top() + j;
            const std::uint8_t *line = bgrx + std::ptrdiff_t(y) * stride;
            if (y >= target.top() && y <= target.bottom()) {
                const std::uint8_t *fresh = line + std::ptrdiff_t(target.left()) * kBytesPerPixel;
                std::uint8_t *to = m_pixels.data() + std::ptrdiff_t(y) * ownStride +
                                   std::ptrdiff_t(target.left()) * kBytesPerPixel;
                const std::uint8_t *from = m_pixels.data() +
                                           std::ptrdiff_t(y - by.y()) * ownStride +
                                           std::ptrdiff_t(moved.left()) * kBytesPerPixel;
                const auto bytes = std::size_t(target.width()) * kBytesPerPixel;
                // Most lines of a page scrolled are the old ones moved: one comparison of the
                // whole line with where it came from, and a copy of what is then at hand, reads
                // the old picture once and in long runs, not moved first and compared after.
                if (spanHoldsTarget && std::memcmp(fresh, from, bytes) == 0) {
                    std::memcpy(to, fresh, bytes);
                    if (span.left() < target.left())
                        compareLine(line, y, row, span.left(), target.left() - 1);
                    if (span.right() > target.right())
                        compareLine(line, y, row, target.right() + 1, span.right());
                    continue;
                }
                std::memmove(to, from, bytes);
            }
            compareLine(line, y, row, span.left(), span.right());
        }
    }
}

// A band of a cell found changed is not compared again: from its first different line on it is
// copied while that line is at hand.
void ScreenChanges::compareLine(const std::uint8_t *line, int y, int row, int left, int right)
{
    char *flags = m_changed.data() + std::ptrdiff_t(row) * m_columns;
    const char *settled = m_settled.data() + std::ptrdiff_t(row) * m_columns;
    std::uint8_t *bands = m_bands.data() + std::ptrdiff_t(row) * m_columns;
    std::uint8_t *kept = m_pixels.data() + std::ptrdiff_t(y) * m_width * kBytesPerPixel;
    // A line like the last one's, the usual case, needs nothing: one comparison of it whole
    // is far cheaper than one per cell.
    if (std::memcmp(line + std::ptrdiff_t(left) * kBytesPerPixel,
                    kept + std::ptrdiff_t(left) * kBytesPerPixel,
                    std::size_t(right + 1 - left) * kBytesPerPixel) == 0)
        return;
    const auto band = std::uint8_t(1u << ((y - row * kCell) / kBand));
    for (int column = left / kCell; column <= right / kCell; ++column) {
        if (settled[column] && !flags[column])
            continue;
        const int from = std::max(left, column * kCell) * kBytesPerPixel;
        const auto bytes =
            std::size_t(std::min(right + 1, (column + 1) * kCell) * kBytesPerPixel - from);
        if (!(bands[column] & band)) {
            if (std::memcmp(line + from, kept + from, bytes) == 0)
                continue;
            bands[column] |= band;
            if (!flags[column]) {
                flags[column] = 1;
                ++m_changedCount;
            }
        }
        std::memcpy(kept + from, line + from, bytes);
    }
}

// An edge of the new picture (a row unlike the one above it, as where a line of text starts)
// that changed is looked for among the old rows, nearest first: rows alike above and below, as
// in a plain area, would match at many distances. A match is believed when most rows of the
// place match at the same distance.
int ScreenChanges::findScroll(const std::uint8_t *bgrx, int stride, const QRect &place) const
{
    const QRect inside = place & QRect(0, 0, m_width, m_height);
    if (inside.width() < kScrollMinWidth || inside.height() < 2 * kScrollMinRows)
        return 0;
    const int ownStride = m_width * kBytesPerPixel;
    const auto fresh = [&](int y) {
        return bgrx + std::ptrdiff_t(y) * stride + std::ptrdiff_t(inside.left()) * kBytesPerPixel;
    };
    const auto kept = [&](int y) {
        return m_pixels.data() + std::ptrdiff_t(y) * ownStride +
               std::ptrdiff_t(inside.left()) * kBytesPerPixel;
    };
    const int width = inside.width();
    const auto believed = [&](int shift) {
        const int top = inside.top() + std::max(0, -shift);
        const int rows = inside.height() - std::abs(shift);
        int matching = 0;
        for (int i = 0; i < kChecks; ++i) {
            const int y = top + i * (rows - 1) / (kChecks - 1);
            matching += sameRow(fresh(y), kept(y + shift), width);
        }
        return matching * 4 >= kChecks * 3;
    };
    const auto edge = [&](int y) {
        return !sameRow(fresh(y), fresh(y - 1), width) && !sameRow(fresh(y), kept(y), width) &&
               !plain(fresh(y), width);
    };
    const int farthest = std::min(inside.height() - kScrollMinRows, kFarthestScroll);
    for (int probe = 1; probe <= kProbes; ++probe) {
        int y = inside.top() + probe * inside.height() / (kProbes + 1);
        const int last = std::min(y + kProbeSearch, int(inside.bottom()));
        while (y < last && !edge(y))
            ++y;
        if (y == last)
            continue;
        for (int distance = 1; distance <= farthest; ++distance) {
            for (const int shift : {distance, -distance}) {
                if (y - 1 + shift >= inside.top() && y + shift <= inside.bottom() &&
                    sameRow(fresh(y), kept(y + shift), width) &&
                    sameRow(fresh(y - 1), kept(y - 1 + shift), width) && believed(shift))
                    return shift;
            }
        }
    }
    return 0;
}

// Only the largest place drawn is looked at: a page scrolled is drawn whole, in one place. The
// viewers must be told of the cells the move touches in one datagram.
ScreenChanges::Move ScreenChanges::findMove(const std::uint8_t *bgrx, int stride,
                                            const std::vector<QRect> &drawn) const
{
    const auto largest =
        std::max_element(drawn.cbegin(), drawn.cend(), [](const QRect &a, const QRect &b) {
            return qint64(a.width()) * a.height() < qint64(b.width()) * b.height();
        });
    if (largest == drawn.cend())
        return {};
    // The server cuts a place in bands where others lie beside it: its bands are joined again.
    QRect whole = *largest;
    for (bool grown = true; grown;) {
        grown = false;
        for (const QRect &band : drawn) {
            if (band.left() == whole.left() && band.right() == whole.right() &&
                (band.top() == whole.bottom() + 1 || band.bottom() + 1 == whole.top())) {
                whole |= band;
                grown = true;
            }
        }
    }
    const int shift = findScroll(bgrx, stride, whole);
    if (shift == 0)
        return {};
    const QRect inside = whole & QRect(0, 0, m_width, m_height);
    const QRect place = (inside & inside.translated(0, -shift)).translated(0, shift);
    const QPoint by(0, -shift);
    if (StreamDatagram::moveSize(place, by) > StreamDatagram::kMaxPayload)
        return {};
    return {place, by};
}

bool ScreenChanges::changedOutside(const std::vector<QRect> &places) const
{
    for (int i = 0; i < int(m_changed.size()); ++i) {
        if (!m_changed[std::size_t(i)])
            continue;
        const QRect cell((i % m_columns) * kCell, (i / m_columns) * kCell, kCell, kCell);
        if (std::none_of(places.cbegin(), places.cend(),
                         [&](const QRect &place) { return place.intersects(cell); }))
            return true;
    }
    return false;
}

void ScreenChanges::skipUntouched(const std::vector<QRect> &changed)
{
    m_settled.assign(m_changed.size(), 1);
    std::fill(m_spans.begin(), m_spans.end(), QRect());
    const QRect screen(0, 0, m_width, m_height);
    for (const QRect &place : changed) {
        const QRect inside = place.intersected(screen);
        if (inside.isEmpty())
            continue;
        for (int row = inside.top() / kCell; row <= inside.bottom() / kCell; ++row) {
            m_spans[std::size_t(row)] |= inside & QRect(0, row * kCell, m_width, kCell);
            for (int column = inside.left() / kCell; column <= inside.right() / kCell; ++column)
                m_settled[std::size_t(row * m_columns + column)] = 0;
        }
    }
}
