#pragma once

#include "protocol/StreamKey.h"

#include <QByteArray>
#include <QByteArrayView>

// One datagram of the Velmora stream, the demonstration for our own agents on StreamPort: a
// piece of the teacher's screen (or a part of one, when its file needs several datagrams) or
// the pointer, small enough never to be cut into IP fragments on an Ethernet LAN.
//
// Layout, numbers big-endian:
//   0 "VMS" and the version (1)     4 kind     5 flags     6 reserved (2)
//   8 key id (0: no key)           12 frame number         16 capture time, ms (wraps)
//  20 screen width, height         24 x, y, width, height of the piece (the pointer: x, y)
//  32 part, part count             34 payload length       36 payload ... then a 16-byte tag
// The tag is HMAC-SHA-256 (first 16 bytes) of everything before it, under the key named by id.
struct StreamDatagram
{
    enum class Kind : quint8 { Piece = 1, Pointer = 2 };
    enum class Parse { Ok, WrongSize, NotStream, UnknownKind, BadPlace, BadPart };

    static constexpr qsizetype kMaxSize = 1472;
    static constexpr qsizetype kHeaderSize = 36;
    static constexpr qsizetype kMaxPayload = kMaxSize - kHeaderSize - StreamKey::kTagSize;
    static constexpr int kMaxSide = 16384;

    Kind kind = Kind::Piece;
    quint8 flags = 0;
    quint32 keyId = 0;
    quint32 frame = 0;
    quint32 captureMs = 0;
    quint16 screenWidth = 0;
    quint16 screenHeight = 0;
    quint16 x = 0;
    quint16 y = 0;
    quint16 width = 0;
    quint16 height = 0;
    quint8 part = 0;
    quint8 parts = 1;
    // Points into the datagram parse() read, or at the bytes write() is to send.
    QByteArrayView payload;

    // Header, payload and the tag under key (whose id replaces keyId); empty when the payload
    // is over kMaxPayload.
    QByteArray write(const StreamKey &key) const;
    // Reads the header and checks every number it declares against the screen it declares:
    // nothing a datagram says may place a piece outside the screen or a part past its count.
    static Parse parse(QByteArrayView datagram, StreamDatagram &out);
    // Whether the datagram carries key's id and a tag that key made.
    static bool verifies(QByteArrayView datagram, const StreamKey &key);
};
