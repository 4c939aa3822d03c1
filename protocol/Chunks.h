#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// How a JPEG file travels in datagrams, the demonstration's and the monitored screens' alike:
// pieces of kSize bytes, the last one shorter. The demonstration sends nothing after a file that
// fills its last chunk (the next file simply follows); a monitored student's cut() sends an empty
// datagram there.
namespace chunks {

inline constexpr qsizetype kSize = 2048;
// A receiver holds at most this much of one file: a sender that never ends its file, or never
// stops, costs no more memory than that.
inline constexpr qsizetype kMaxFrame = 16 * 1024 * 1024;

// Whether a datagram of so many bytes ends the file being rebuilt: any shorter than a chunk, an
// empty one and a failed read (a negative count) too.
constexpr bool endsFrame(qsizetype datagramSize)
{
    return datagramSize < kSize;
}

// A monitored file cut for sending: full chunks, then the remainder (1 to kSize - 1 bytes), or
// an empty datagram when the size is a multiple of kSize (an empty file too).
QList<QByteArray> cut(QByteArrayView file);

} // namespace chunks
