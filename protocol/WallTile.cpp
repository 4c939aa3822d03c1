#include "protocol/WallTile.h"

#include "protocol/ChannelMessage.h"

#include <algorithm>

namespace {
// Small pictures of desktops (text, icons) stay readable enough to see what a student does, at a
// few KiB each: a class's changing screens stay well within what a classroom's network carries.
constexpr int kQuality = 50;
constexpr int kBytesPerPixel = 4;
} // namespace

QSize WallTile::fit(QSize screen, QSize tile)
{
    if (screen.isEmpty() || tile.isEmpty())
        return {};
    const QSize box(std::min({tile.width(), kMaxWidth, screen.width()}),
                    std::min({tile.height(), kMaxHeight, screen.height()}));
    return screen.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QByteArray WallTile::make(const Screen &screen, QSize tile)
{
    const QSize size = fit(QSize(screen.width, screen.height), tile);
    if (size.isEmpty() || screen.bgrx == nullptr)
        return {};
    shrink(screen, size);
    if (size == m_lastSize && m_small == m_last)
        return {};
    const std::span<const std::uint8_t> file = m_encoder.encode(
        m_small.data(), size.width(), size.height(), size.width() * kBytesPerPixel, kQuality);
    if (qsizetype(file.size()) > ChannelMessage::kMaxTile)
        return {};
    m_last.swap(m_small);
    m_lastSize = size;
    return QByteArray(reinterpret_cast<const char *>(file.data()), qsizetype(file.size()));
}

void WallTile::forget()
{
    m_last.clear();
    m_lastSize = QSize();
}

// Each small pixel is the average of the screen's pixels it covers: every screen pixel is read
// once, and a change anywhere shows in the small picture.
void WallTile::shrink(const Screen &screen, QSize to)
{
    const int width = screen.width;
    const int height = screen.height;
    const int w = to.width();
    const int h = to.height();
    m_small.assign(std::size_t(w) * std::size_t(h) * kBytesPerPixel, 0);
    m_columns.resize(std::size_t(w) + 1);
    for (int x = 0; x <= w; ++x)
        m_columns[std::size_t(x)] = int(qint64(x) * width / w);
    m_sums.resize(std::size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
        const int top = int(qint64(y) * height / h);
        const int bottom = int(qint64(y + 1) * height / h);
        std::fill(m_sums.begin(), m_sums.end(), 0);
        for (int sy = top; sy < bottom; ++sy) {
            const std::uint8_t *line = screen.bgrx + std::size_t(sy) * std::size_t(screen.stride);
            std::uint32_t *sum = m_sums.data();
            for (int x = 0; x < w; ++x, sum += 3) {
                const std::uint8_t *pixel = line + std::size_t(m_columns[std::size_t(x)]) * 4;
                const std::uint8_t *end = line + std::size_t(m_columns[std::size_t(x) + 1]) * 4;
                for (; pixel < end; pixel += kBytesPerPixel) {
                    sum[0] += pixel[0];
                    sum[1] += pixel[1];
                    sum[2] += pixel[2];
                }
            }
        }
        std::uint8_t *out = m_small.data() + std::size_t(y) * std::size_t(w) * kBytesPerPixel;
        for (int x = 0; x < w; ++x, out += kBytesPerPixel) {
            const std::uint32_t count =
                std::uint32_t(bottom - top) *
                std::uint32_t(m_columns[std::size_t(x) + 1] - m_columns[std::size_t(x)]);
            for (int c = 0; c < 3; ++c)
                out[c] = std::uint8_t(m_sums[std::size_t(x) * 3 + std::size_t(c)] / count);
        }
    }
}
