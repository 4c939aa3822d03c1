#include "protocol/StreamDatagram.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

// The screen's last cell of its last band: 1920 x 1080 ends with a band of 8 rows.
StreamDatagram piece(QByteArrayView payload)
{
    StreamDatagram d;
    d.frame = 7;
    d.captureMs = 123456;
    d.quality = 50;
    d.screenWidth = 1920;
    d.screenHeight = 1080;
    d.x = 1856;
    d.y = 1072;
    d.width = 64;
    d.height = 8;
    d.payload = payload;
    return d;
}

// A datagram of another kind on the same screen, at a place.
StreamDatagram placed(StreamDatagram::Kind kind, QByteArrayView payload, const QRect &place)
{
    StreamDatagram d = piece(payload);
    d.kind = kind;
    d.x = quint16(place.x());
    d.y = quint16(place.y());
    d.width = quint16(place.width());
    d.height = quint16(place.height());
    return d;
}

StreamDatagram::Parse parsed(const StreamDatagram &d, qsizetype cut = 0)
{
    StreamDatagram read;
    return StreamDatagram::parse(d.write(StreamKey()).chopped(cut), read);
}

} // namespace

TEST(StreamDatagram, OnlyTheKeyThatTaggedADatagramVerifiesItAndNoByteCanChange)
{
    const StreamKey key = StreamKey::generate();
    const QByteArray payload(StreamDatagram::kMaxPayload, 'j');
    const QByteArray bytes = piece(payload).write(key);
    ASSERT_EQ(bytes.size(), StreamDatagram::kMaxSize);
    StreamDatagram read;
    ASSERT_EQ(StreamDatagram::parse(bytes, read), StreamDatagram::Parse::Ok);
    EXPECT_EQ(read.keyId, key.id());
    EXPECT_EQ(read.x, 1856);
    EXPECT_EQ(read.quality, 50);
    EXPECT_EQ(read.payload, payload);
    EXPECT_TRUE(StreamDatagram::verifies(bytes, key));

    // Another demonstration's key, a datagram without a key, and any changed byte.
    EXPECT_FALSE(StreamDatagram::verifies(bytes, StreamKey::generate()));
    EXPECT_FALSE(StreamDatagram::verifies(piece(payload).write(StreamKey()), key));
    EXPECT_FALSE(StreamDatagram::verifies(piece(payload).write(StreamKey()), StreamKey()));
    for (const qsizetype at : {qsizetype(5), qsizetype(13), qsizetype(40), bytes.size() - 1}) {
        QByteArray forged = bytes;
        forged[at] = char(forged[at] ^ 1);
        EXPECT_FALSE(StreamDatagram::verifies(forged, key)) << at;
    }
    EXPECT_TRUE(piece(QByteArray(StreamDatagram::kMaxPayload + 1, 'j')).write(key).isEmpty());

    // A viewer with the key shows only what it tagged, from wherever it comes; without a key,
    // what comes from the console, unless it takes signed datagrams only.
    const QByteArray untagged = piece(payload).write(StreamKey());
    EXPECT_TRUE(StreamDatagram::admits(bytes, key, true, false));
    EXPECT_FALSE(StreamDatagram::admits(untagged, key, false, true));
    EXPECT_TRUE(StreamDatagram::admits(untagged, StreamKey(), false, true));
    EXPECT_TRUE(StreamDatagram::admits(bytes, StreamKey(), false, true));
    EXPECT_FALSE(StreamDatagram::admits(untagged, StreamKey(), false, false));
    EXPECT_FALSE(StreamDatagram::admits(bytes, StreamKey(), true, true));
}

TEST(StreamDatagram, NothingADatagramDeclaresReachesPastItsScreenItsGridOrItsBytes)
{
    const QByteArray payload("tile");
    EXPECT_EQ(parsed(piece(payload)), StreamDatagram::Parse::Ok);
    // Off the grid, past the screen, a band of the wrong height, a screen of nothing.
    for (const auto &change : std::initializer_list<std::function<void(StreamDatagram &)>>{
             [](StreamDatagram &d) { d.x = 1857; }, [](StreamDatagram &d) { d.x = 1920; },
             [](StreamDatagram &d) { d.width = 65; }, [](StreamDatagram &d) { d.y = 1064; },
             [](StreamDatagram &d) { d.height = 16; }, [](StreamDatagram &d) { d.width = 0; },
             [](StreamDatagram &d) { d.screenWidth = 0; },
             [](StreamDatagram &d) { d.scale = 1; }}) {
        StreamDatagram d = piece(payload);
        change(d);
        EXPECT_EQ(parsed(d), StreamDatagram::Parse::BadPlace);
    }
    StreamDatagram d = piece(payload);
    d.quality = 101;
    EXPECT_EQ(parsed(d), StreamDatagram::Parse::BadCoding);
    d = piece(payload);
    d.scale = StreamDatagram::kMaxScale + 1;
    EXPECT_EQ(parsed(d), StreamDatagram::Parse::BadCoding);
    EXPECT_EQ(parsed(piece({})), StreamDatagram::Parse::BadCoding);

    // Versions: exactly four bytes for every cell of a rectangle on the grid.
    const QByteArray values(4 * 30 * 2, '\0');
    d = placed(StreamDatagram::Kind::Versions, values, QRect(0, 1024, 1920, 56));
    EXPECT_EQ(parsed(d), StreamDatagram::Parse::BadCoding);
    d.y = 960;
    d.height = 120;
    EXPECT_EQ(parsed(d), StreamDatagram::Parse::Ok);
    d.height = 64;
    EXPECT_EQ(parsed(d), StreamDatagram::Parse::BadCoding);

    // Moves: both places on the screen, an offset, two bytes for every cell the places touch.
    QByteArray offset(4 + 2 * 2 * 2, '\0');
    offset[2] = '\xff';
    offset[3] = '\xf0';
    d = placed(StreamDatagram::Kind::Move, offset, QRect(1800, 1000, 100, 80));
    EXPECT_EQ(parsed(d), StreamDatagram::Parse::Ok);
    EXPECT_EQ(d.moveBy(), QPoint(0, -16));
    d.y = 10;
    EXPECT_EQ(parsed(d), StreamDatagram::Parse::BadPlace);
    d.y = 1000;
    d.width = 130;
    EXPECT_EQ(parsed(d), StreamDatagram::Parse::BadPlace);
    d.width = 100;
    d.payload = QByteArrayView(offset).first(8);
    EXPECT_EQ(parsed(d), StreamDatagram::Parse::BadCoding);

    d = piece(payload);
    d.kind = StreamDatagram::Kind::Pointer;
    d.x = 1919;
    d.y = 1079;
    EXPECT_EQ(parsed(d), StreamDatagram::Parse::Ok);
    d.y = 1080;
    EXPECT_EQ(parsed(d), StreamDatagram::Parse::BadPlace);
    EXPECT_EQ(parsed(piece(payload), 1), StreamDatagram::Parse::WrongSize);

    StreamDatagram read;
    QByteArray bytes = piece(payload).write(StreamKey());
    bytes[4] = 9;
    EXPECT_EQ(StreamDatagram::parse(bytes, read), StreamDatagram::Parse::UnknownKind);
    bytes[0] = 'X';
    EXPECT_EQ(StreamDatagram::parse(bytes, read), StreamDatagram::Parse::NotStream);
    EXPECT_EQ(StreamDatagram::parse(QByteArray(StreamDatagram::kMaxSize + 1, 'V'), read),
              StreamDatagram::Parse::WrongSize);
}
