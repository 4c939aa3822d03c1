#pragma once

#include "protocol/JpegEncoder.h"

#include <QByteArray>
#include <QSize>
#include <cstdint>
#include <vector>

// A student's screen as the screen wall's small picture: shrunk to fit the tile the console asked
// for (an average of the pixels each covers, never enlarged, never past a bound), and a JPEG file
// of it only when it differs from the last one made, so an unchanged screen costs nothing.
class WallTile
{
public:
    // A screen in 32-bit BGRX rows.
    struct Screen
    {
        const std::uint8_t *bgrx = nullptr;
        int width = 0;
        int height = 0;
        int stride = 0;
    };

    // However large the tiles, a picture stays small: a few students on a large window cost
    // little more on the wire than a full class.
    static constexpr int kMaxWidth = 400;
    static constexpr int kMaxHeight = 250;

    // The picture's size for a screen and a tile: the screen's shape, within both and the bound;
    // empty when either is.
    static QSize fit(QSize screen, QSize tile);

    // The screen's picture for the tile as a JPEG file; empty when it is the one made last, when
    // nothing fits, or when the file would be over ChannelMessage::kMaxTile.
    QByteArray make(const Screen &screen, QSize tile);
    // The next picture is made even where it did not change.
    void forget();

private:
    void shrink(const Screen &screen, QSize to);

    std::vector<std::uint8_t> m_small;
    std::vector<std::uint8_t> m_last;
    QSize m_lastSize;
    std::vector<int> m_columns;
    std::vector<std::uint32_t> m_sums;
    JpegEncoder m_encoder;
};
