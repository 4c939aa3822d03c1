#pragma once

#include "protocol/StreamKey.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QSize>
#include <QString>
#include <QStringList>

// One message of the trusted channel between the console and our agents: a 4-byte big-endian
// length, then a CBOR map keyed by small integers. Every field a kind does not use is left at
// its default and is not written.
//
//   hello         agent → console, first: version, capabilities, host, user, mac, screen
//   welcome       console → agent, the answer to hello: version, streamPort
//   command       console → agent: id, text (the command's bytes exactly as on the command port)
//   answer        agent → console: id, refused (else failed), reason
//   demoKey       console → agent: key (a demonstration started; a "STOP" ends it)
//   sessionEvent  agent → console: session, user, reason (its display part ended and restarts)
//   wall          console → agent: on, tile (send small pictures of that size, or stop)
//   tile          agent → console: jpeg (its screen at the tile's size)
struct ChannelMessage
{
    enum class Kind : quint8 {
        Hello = 1,
        Welcome,
        Command,
        Answer,
        DemoKey,
        SessionEvent,
        Wall,
        Tile,
    };
    // Skipped: a well-formed message of a kind this side does not know (a newer peer's).
    enum class Parse { Incomplete, Complete, Skipped, TooLong, Invalid };

    static constexpr int kVersion = 1;
    static constexpr qsizetype kHeaderSize = 4;
    // What each side takes at most in one message. A console's command holds a text of up to
    // 256 KiB (and a little more for one the agent cuts); an agent's largest is a tile.
    static constexpr qsizetype kMaxFromConsole = 1024 * 1024;
    static constexpr qsizetype kMaxFromAgent = 256 * 1024;
    // Before its hello a connection is nobody's: it may not make the console hold more.
    static constexpr qsizetype kMaxHello = 4 * 1024;
    // A tile's JPEG file at most: the console takes no larger one, an agent sends none.
    static constexpr qsizetype kMaxTile = 128 * 1024;
    // Bounds of the hello's fields and of texts; a message past one is not ours.
    static constexpr qsizetype kMaxName = 255;
    static constexpr qsizetype kMaxCapabilities = 32;
    static constexpr qsizetype kMaxReason = 1024;
    static constexpr qsizetype kMacSize = 6;
    static constexpr int kMaxScreenSide = 16384;

    Kind kind = Kind::Hello;
    int version = kVersion;
    QStringList capabilities;
    QString host;
    QString user;
    // Six bytes, or empty when the agent cannot tell.
    QByteArray mac;
    QSize screen;
    quint16 streamPort = 0;
    quint32 id = 0;
    QByteArray text;
    bool refused = false;
    QString reason;
    StreamKey key;
    QString session;
    bool on = false;
    QSize tile;
    QByteArray jpeg;

    static ChannelMessage command(quint32 id, const QByteArray &text);
    static ChannelMessage answer(quint32 id, bool refused, const QString &reason);

    // The length and the map, ready for the wire.
    QByteArray encode() const;
    // Reads the message at the front of bytes, of at most bound bytes after its length. On
    // Complete and Skipped, consumed is the bytes it took; on TooLong and Invalid the stream
    // carries nothing of ours any more.
    static Parse parse(QByteArrayView bytes, qsizetype bound, ChannelMessage &out,
                       qsizetype &consumed);
};
