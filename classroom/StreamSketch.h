#pragma once

#include "classroom/ScreenChanges.h"
#include "protocol/PieceEncoder.h"

#include <QtGlobal>
#include <cstdint>
#include <functional>
#include <vector>

// The whole screen shrunk by 2^scale for the Velmora stream's rolling refresh (each pixel the
// mean of the ones it stands for), coded in bands like the picture itself. Only the cells that
// changed since the last sketch are shrunk again (a cell is a whole number of the sketch's
// pixels at every scale), and only the bands they lie in are coded again; its scale follows the
// bytes it took, so that it stays within a few kilobytes a second. A coarser sketch is made
// from the last one (each pixel then the mean of means: a level off at most).
class StreamSketch
{
public:
    // The sketch's pieces of the screen now, at scale(); changed tells which cells changed
    // since the last sketch. Raises AppError when the encoder fails.
    const std::vector<PieceEncoder::Piece> &pieces(const ScreenChanges &screen,
                                                   const std::function<bool(int)> &changed);
    int scale() const { return m_scale; }
    // The last sketch's BGRX pixels, the screen's width shrunk and rounded up a row.
    const std::vector<std::uint8_t> &pixels() const { return m_pixels; }
    // What the pieces took: the next sketch's scale follows it.
    void sent(qint64 bytes);
    // The screen changed its size: the next sketch is made whole.
    void reset() { m_sketchedScale = -1; }

private:
    void coarsen(const ScreenChanges &screen, int width, int height);
    // Cells [first, first + count) of a row of cells.
    void shrinkCells(const ScreenChanges &screen, int first, int count, int row, int width,
                     int height);

    int m_scale = 2;
    // The scale of the sketch last made; -1: none of this screen's size.
    int m_sketchedScale = -1;
    std::vector<std::uint8_t> m_pixels;
    // Per byte of a run of cells' line, its sum down a sketch pixel's rows.
    std::vector<std::uint16_t> m_sums;
    PieceEncoder m_encoder;
    // The pieces of each band of the sketch, and whether it is to be coded again.
    std::vector<std::vector<PieceEncoder::Piece>> m_bands;
    std::vector<char> m_stale;
    std::vector<PieceEncoder::Piece> m_pieces;
};
