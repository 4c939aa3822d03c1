#pragma once

#include "protocol/JpegEncoder.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// Codes a run of cells of the bands of a BGRX picture for the Velmora stream: encoded once, with
// a restart marker after every cell of every band, then cut at those markers into pieces that
// fit a datagram each (markers counted again from 0 in every piece, so that each is a scan of
// its own). One encoder set-up serves all the bands where the cells allow it.
class PieceEncoder
{
public:
    struct Piece
    {
        // The band of the rows coded, counted from their first.
        int band = 0;
        int firstCell = 0;
        int cells = 0;
        // The quality the scan was coded at: a cell too dense for one datagram is coded again,
        // at a lower one.
        int quality = 0;
        QByteArray scan;
    };

    // Cells [firstCell, firstCell + cells) of the bands whose rows start at bgrx (height rows,
    // stride bytes apart) in a picture pictureWidth pixels wide, band by band. Raises AppError
    // when the encoder fails.
    void encode(const std::uint8_t *bgrx, int stride, int pictureWidth, int height, int firstCell,
                int cells, int quality, std::vector<Piece> &out);

private:
    // The same, for the one band of those rows.
    void encodeBand(const std::uint8_t *bgrx, int stride, int pictureWidth, int height, int band,
                    int firstCell, int cells, int quality, std::vector<Piece> &out);

    JpegEncoder m_encoder;
    std::vector<std::pair<std::size_t, std::size_t>> m_spans;
};
