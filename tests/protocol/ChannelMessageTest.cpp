#include "protocol/ChannelMessage.h"
#include "protocol/KeyFingerprint.h"

#include <QCborArray>
#include <QCborMap>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {
using Parse = ChannelMessage::Parse;

Parse parse(const QByteArray &bytes, ChannelMessage &out, qsizetype bound = 1024)
{
    qsizetype consumed = 0;
    return ChannelMessage::parse(bytes, bound, out, consumed);
}

QByteArray framed(const QCborMap &map, const QByteArray &after = {})
{
    const QByteArray body = map.toCborValue().toCbor() + after;
    QByteArray frame(4, Qt::Uninitialized);
    qToBigEndian(quint32(body.size()), frame.data());
    return frame + body;
}
} // namespace

// What one side encodes the other reads back whole, and nothing that is not one of ours passes:
// a field of the wrong type or size, bytes after the map, a length over the bound. A kind from a
// newer peer is skipped, not fatal.
TEST(ChannelMessage, ReadsBackWhatWasWrittenAndRefusesWhatIsNot)
{
    ChannelMessage hello;
    hello.host = QStringLiteral("pc-07");
    hello.user = QString::fromUtf8("张三");
    hello.mac = QByteArray::fromHex("0a1b2c3d4e5f");
    hello.screen = QSize(1920, 1080);
    ChannelMessage key;
    key.kind = ChannelMessage::Kind::DemoKey;
    key.key = StreamKey::generate();
    QByteArray stream = hello.encode() + key.encode() +
                        ChannelMessage::command(7, QByteArray("2\xc4\xe3\xba\xc3", 5)).encode();
    ChannelMessage read;
    qsizetype consumed = 0;
    ASSERT_EQ(ChannelMessage::parse(stream.left(10), 1024, read, consumed), Parse::Incomplete);
    ASSERT_EQ(ChannelMessage::parse(stream, 1024, read, consumed), Parse::Complete);
    EXPECT_EQ(read.user, hello.user);
    EXPECT_EQ(read.mac, hello.mac);
    EXPECT_EQ(read.screen, hello.screen);
    stream.remove(0, consumed);
    ASSERT_EQ(ChannelMessage::parse(stream, 1024, read, consumed), Parse::Complete);
    EXPECT_EQ(read.key, key.key);
    stream.remove(0, consumed);
    ASSERT_EQ(ChannelMessage::parse(stream, 1024, read, consumed), Parse::Complete);
    EXPECT_EQ(read.id, 7u);
    EXPECT_EQ(read.text, QByteArray("2\xc4\xe3\xba\xc3", 5));

    EXPECT_EQ(parse(hello.encode(), read, 8), Parse::TooLong);
    QCborMap newer;
    newer[0] = 200;
    EXPECT_EQ(parse(framed(newer), read), Parse::Skipped);
    QCborMap junk;
    junk[0] = int(ChannelMessage::Kind::Hello);
    EXPECT_EQ(parse(framed(junk, "\x01"), read), Parse::Invalid);
    for (const auto &[field, value] : {std::pair<int, QCborValue>{4, 42},
                                       {5, QByteArray(5, 'm')},
                                       {6, 99999},
                                       {2, QCborArray{1}}}) {
        QCborMap bad = junk;
        bad[field] = value;
        EXPECT_EQ(parse(framed(bad), read), Parse::Invalid) << field;
    }
    QCborMap noKey;
    noKey[0] = int(ChannelMessage::Kind::DemoKey);
    EXPECT_EQ(parse(framed(noKey), read), Parse::Invalid);

    const QString fingerprint = QString(64, QLatin1Char('a'));
    EXPECT_EQ(keyfingerprint::normalized(QString(QByteArray(32, char(0xAA)).toHex(':').toUpper())),
              fingerprint);
    EXPECT_EQ(keyfingerprint::normalized(fingerprint + QLatin1Char('a')), QString());
    EXPECT_EQ(keyfingerprint::normalized(QString(64, QLatin1Char('g'))), QString());
}
