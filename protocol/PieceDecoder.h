#pragma once

#include "protocol/JpegDecoder.h"
#include "protocol/JpegEncoder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <array>

// Decodes the scan of one piece of the Velmora stream: the file's headers (the standard tables
// at the piece's quality, its size, a restart marker after every cell) are made here, so only
// the size the datagram declared, already checked against the screen, is ever decoded.
class PieceDecoder
{
public:
    // The piece's picture, width x height, into image(); false when its scan does not decode.
    bool decode(QByteArrayView scan, int width, int height, int quality);
    const JpegDecoder::Image &image() const { return m_decoder.image(); }

private:
    struct Header
    {
        QByteArray bytes;
        // Where the frame header's height and width are, to be set for each piece.
        qsizetype sizeAt = 0;
    };
    const Header &header(int quality);

    std::array<Header, 101> m_headers;
    JpegEncoder m_encoder;
    JpegDecoder m_decoder;
    QByteArray m_file;
};
