#include "classroom/ScreenChanges.h"

#include "protocol/StreamDatagram.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int kCell = StreamDatagram::kCell;
constexpr int kBytesPerPixel = 4;
} // namespace

void ScreenChanges::compare(const std::uint8_t *bgrx, int width, int height, int stride,
                            const std::vector<QRect> *changed)
{
    const bool resized = width != m_width || height != m_height;
    const int ownStride = width * kBytesPerPixel;
    if (resized) {
        m_width = width;
        m_height = height;
        m_columns = (width + kCell - 1) / kCell;
        m_rows = (height + kCell - 1) / kCell;
        m_pixels.resize(std::size_t(height) * std::size_t(ownStride));
        for (int y = 0; y < height; ++y)
            std::memcpy(m_pixels.data() + std::ptrdiff_t(y) * ownStride,
                        bgrx + std::ptrdiff_t(y) * stride, std::size_t(ownStride));
    }
    m_changed.assign(std::size_t(m_columns) * m_rows, resized ? 1 : 0);
    m_changedCount = resized ? m_columns * m_rows : 0;
    if (resized || (changed && changed->empty()))
        return;
    if (changed)
        skipUntouched(*changed);
    else
        m_settled.assign(m_changed.size(), 0);
    // Line by line, so that both pictures are read in the order they lie in memory; a cell
    // found changed is not compared again, and from its first different line on it is copied
    // while that line is at hand.
    for (int row = 0; row < m_rows; ++row) {
        char *flags = m_changed.data() + std::ptrdiff_t(row) * m_columns;
        char *settled = m_settled.data() + std::ptrdiff_t(row) * m_columns;
        // A band of cells nothing was drawn on is not walked line by line at all.
        if (std::all_of(settled, settled + m_columns, [](char done) { return done != 0; }))
            continue;
        for (int y = row * kCell; y < std::min((row + 1) * kCell, height); ++y) {
            const std::uint8_t *line = bgrx + std::ptrdiff_t(y) * stride;
            std::uint8_t *kept = m_pixels.data() + std::ptrdiff_t(y) * ownStride;
            for (int column = 0; column < m_columns; ++column) {
                if (settled[column] && !flags[column])
                    continue;
                const int left = column * kCell * kBytesPerPixel;
                const auto bytes = std::size_t(std::min(kCell, width - column * kCell)) *
                                   std::size_t(kBytesPerPixel);
                if (!flags[column]) {
                    if (std::memcmp(line + left, kept + left, bytes) == 0)
                        continue;
                    flags[column] = 1;
                    settled[column] = 1;
                    ++m_changedCount;
                }
                std::memcpy(kept + left, line + left, bytes);
            }
        }
    }
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
    const QRect screen(0, 0, m_width, m_height);
    for (const QRect &place : changed) {
        const QRect inside = place.intersected(screen);
        if (inside.isEmpty())
            continue;
        for (int row = inside.top() / kCell; row <= inside.bottom() / kCell; ++row)
            for (int column = inside.left() / kCell; column <= inside.right() / kCell; ++column)
                m_settled[std::size_t(row * m_columns + column)] = 0;
    }
}
