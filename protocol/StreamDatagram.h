#pragma once

#include "protocol/StreamKey.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QPoint>
#include <QRect>

// One datagram of the Velmora stream, the demonstration for our own agents on StreamPort: a
// piece of the teacher's screen, the versions of its cells, a move of a place, or the pointer,
// small enough never to be cut into IP fragments on an Ethernet LAN. An agent of an earlier
// version of the stream takes none of its datagrams, and keeps to the older stream.
//
// The screen is cut into cells of kCell x kCell pixels and rows of kBand pixels. A piece is one
// row's run of whole cells (the last one cut by the screen's edge), coded at 1 / 2^scale of its
// size as the scan of a baseline JPEG file (4:2:0, the standard tables at its quality, a restart
// marker after every cell): the receiver makes the file's headers itself, so nothing the piece
// carries can make it decode more than its declared place. Scale 0 is the picture itself; the
// rolling refresh sends a sketch of the whole screen at a larger scale. Versions tell, for each
// cell of a rectangle, the frame in which it last changed. A move (a page scrolled) tells the
// viewer to move a rectangle of what it shows, so that only what it uncovers is coded: its
// payload is the offset (two signed numbers) and, for each cell of the rectangle that holds the
// place moved and the place it lands on, the age of the cell's last change before this frame in
// frames (at most kOldest), and above it one bit for each of the cell's bands that pieces of
// this frame will redraw.
//
// Layout, numbers big-endian:
//   0 "VMS" and the version (3)     4 kind     5 flags     6 quality     7 scale
//   8 key id (0: no key)           12 frame number         16 capture time, ms (wraps)
//  20 screen width, height         24 x, y, width, height of the piece (the pointer: x, y)
//  32 reserved (2)                 34 payload length       36 payload ... then a 16-byte tag
// The tag is HMAC-SHA-256 (first 16 bytes) of everything before it, under the key named by id.
struct StreamDatagram
{
    enum class Kind : quint8 { Piece = 1, Pointer = 2, Versions = 3, Move = 4 };
    enum class Parse { Ok, WrongSize, NotStream, UnknownKind, BadPlace, BadCoding };
    // The demonstration shows in a window the student can move, not over the whole screen.
    static constexpr quint8 kWindowed = 1;

    static constexpr qsizetype kMaxSize = 1472;
    static constexpr qsizetype kHeaderSize = 36;
    static constexpr qsizetype kMaxPayload = kMaxSize - kHeaderSize - StreamKey::kTagSize;
    static constexpr int kMaxSide = 16384;
    static constexpr int kCell = 64;
    static constexpr int kBand = 16;
    static constexpr int kMaxScale = 4;
    // A move's cells: the age in the low bits, then a bit for each band pieces redraw.
    static constexpr int kBandsShift = 12;
    static constexpr quint16 kOldest = (1 << kBandsShift) - 1;
    static constexpr qsizetype kMoveOffsetSize = 4;

    Kind kind = Kind::Piece;
    quint8 flags = 0;
    quint8 quality = 0;
    quint8 scale = 0;
    quint32 keyId = 0;
    quint32 frame = 0;
    quint32 captureMs = 0;
    quint16 screenWidth = 0;
    quint16 screenHeight = 0;
    quint16 x = 0;
    quint16 y = 0;
    quint16 width = 0;
    quint16 height = 0;
    // Points into the datagram parse() read, or at the bytes write() is to send.
    QByteArrayView payload;

    // The size of a piece's picture, its place divided by 2^scale and rounded up.
    int codedWidth() const { return (width + (1 << scale) - 1) >> scale; }
    int codedHeight() const { return (height + (1 << scale) - 1) >> scale; }
    // Cells across and down a rectangle of Versions.
    int cellColumns() const { return (width + kCell - 1) / kCell; }
    int cellRows() const { return (height + kCell - 1) / kCell; }
    // A move's place, offset, and the cells (in cells, not pixels) its payload tells of.
    QRect place() const { return QRect(x, y, width, height); }
    QPoint moveBy() const;
    static QRect moveCells(const QRect &place, const QPoint &by);
    // The bytes of a move's payload: the offset and two for every cell.
    static qsizetype moveSize(const QRect &place, const QPoint &by);

    // Header, payload and the tag under key (whose id replaces keyId); empty when the payload
    // is over kMaxPayload.
    QByteArray write(const StreamKey &key) const;
    // Reads the header and checks every number it declares against the screen it declares:
    // nothing a datagram says may place anything outside the screen, off the grid of cells, or
    // promise more versions than its bytes hold.
    static Parse parse(QByteArrayView datagram, StreamDatagram &out);
    // Whether the datagram carries key's id and a tag that key made.
    static bool verifies(QByteArrayView datagram, const StreamKey &key);
    // Whether a viewer shows it: with the demonstration's key, only what that key tagged; with
    // none, what comes from the console's address, unless the viewer takes signed datagrams only.
    static bool admits(QByteArrayView datagram, const StreamKey &key, bool signedOnly,
                       bool fromConsole);
};
