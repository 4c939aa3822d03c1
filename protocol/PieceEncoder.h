#pragma once

#include "protocol/JpegEncoder.h"

#include <QByteArray>
#include <cstdint>
#include <vector>

// Codes a run of cells of one band of a BGRX picture for the Velmora stream: encoded once, with
// a restart marker after every cell, then cut at those markers into pieces that fit a datagram
// each (markers counted again from 0 in every piece, so that each is a scan of its own).
class PieceEncoder
{
public:
    struct Piece
    {
        int firstCell = 0;
        int cells = 0;
        // The quality the scan was coded at: a cell too dense for one datagram is coded again,
        // at a lower one.
        int quality = 0;
        QByteArray scan;
    };

    // Cells [firstCell, firstCell + cells) of the band whose rows start at bgrx (height rows
    // of at most one band, stride bytes apart) in a picture pictureWidth pixels wide. Raises
    // AppError when the encoder fails.
    void encode(const std::uint8_t *bgrx, int stride, int pictureWidth, int height, int firstCell,
                int cells, int quality, std::vector<Piece> &out);

private:
    JpegEncoder m_encoder;
};
