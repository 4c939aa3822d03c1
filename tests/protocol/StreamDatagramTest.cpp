#include "protocol/StreamDatagram.h"

#include <gtest/gtest.h>

namespace {

StreamDatagram piece(QByteArrayView payload)
{
    StreamDatagram d;
    d.frame = 7;
    d.captureMs = 123456;
    d.screenWidth = 1920;
    d.screenHeight = 1080;
    d.x = 1856;
    d.y = 1016;
    d.width = 64;
    d.height = 64;
    d.part = 1;
    d.parts = 2;
    d.payload = payload;
    return d;
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
    EXPECT_EQ(read.part, 1);
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
}

TEST(StreamDatagram, NothingADatagramDeclaresReachesPastItsScreenOrItsBytes)
{
    const QByteArray payload("tile");
    const auto parsed = [](const StreamDatagram &d, qsizetype cut = 0) {
        StreamDatagram read;
        return StreamDatagram::parse(d.write(StreamKey()).chopped(cut), read);
    };
    StreamDatagram d = piece(payload);
    d.x = 1857;
    EXPECT_EQ(parsed(d), StreamDatagram::Parse::BadPlace);
    d = piece(payload);
    d.screenWidth = 0;
    EXPECT_EQ(parsed(d), StreamDatagram::Parse::BadPlace);
    d = piece(payload);
    d.part = 2;
    EXPECT_EQ(parsed(d), StreamDatagram::Parse::BadPart);
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
