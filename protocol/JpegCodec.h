#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>

// The simulated student's own JPEG encode and decode, kept apart from the console's code so
// that a fault in one cannot hide itself in the other.
class JpegCodec
{
public:
    // A baseline JFIF file (4:2:0) of the picture; empty on failure.
    static QByteArray encode(const QImage &picture, int quality);

    // The picture, or a null image when the data is not a complete, sound JPEG file: fatal
    // errors, corrupt-data warnings (a truncated or spliced file), a side over 16384 pixels,
    // more than 64 megapixels or more than 500 scans. scaleDenominator 1, 2, 4 or 8 decodes
    // at that fraction of the size, which still checks every byte of the entropy-coded data.
    static QImage decode(QByteArrayView data, int scaleDenominator = 1);
};
