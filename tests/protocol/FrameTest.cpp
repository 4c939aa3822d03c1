#include "protocol/Chunks.h"
#include "protocol/FrameAssembler.h"
#include "protocol/JpegDecoder.h"

#include <QBuffer>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

constexpr qsizetype kChunk = chunks::kSize;

// A light grey bar on the left of a darker picture with some detail, like a desktop.
QImage barsPicture(QSize size)
{
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(QColor(0x20, 0x40, 0x80));
    QPainter painter(&picture);
    painter.fillRect(0, 0, size.width() / 4, size.height(), QColor(0xc0, 0xc0, 0xc0));
    painter.setPen(Qt::white);
    painter.drawText(picture.rect(), Qt::AlignCenter, QStringLiteral("frame"));
    return picture;
}

// Made by Qt's own writer, so that these tests do not rest on the encoder the students use.
QByteArray jpegOf(const QImage &picture, int quality)
{
    QByteArray file;
    QBuffer buffer(&file);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(picture.save(&buffer, "JPG", quality));
    return file;
}

QByteArray smallJpeg()
{
    return jpegOf(barsPicture(QSize(80, 60)), 50);
}

// A decodable file of exactly `size` bytes: bytes after the end-of-image marker are never read.
QByteArray paddedJpeg(qsizetype size)
{
    QByteArray file = smallJpeg();
    EXPECT_LT(file.size(), size);
    file.append(size - file.size(), '\0');
    return file;
}

// Noise compresses badly: a small picture that still takes many chunks.
QByteArray noisyJpeg()
{
    QImage picture(200, 200, QImage::Format_RGB32);
    quint32 state = 12345;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            picture.setPixel(x, y, state >> 8);
        }
    }
    return jpegOf(picture, 90);
}

QList<qsizetype> sizesOf(const QList<QByteArray> &pieces)
{
    QList<qsizetype> sizes;
    for (const QByteArray &piece : pieces) {
        sizes.append(piece.size());
    }
    return sizes;
}

} // namespace

TEST(ScreenChunks, FullPiecesThenAShortOrEmptyLastOne)
{
    EXPECT_EQ(sizesOf(chunks::cut(QByteArray(5000, 'x'))), (QList<qsizetype>{2048, 2048, 904}));
    EXPECT_EQ(sizesOf(chunks::cut(QByteArray(4096, 'x'))), (QList<qsizetype>{2048, 2048, 0}));
    EXPECT_EQ(sizesOf(chunks::cut(QByteArray(100, 'x'))), (QList<qsizetype>{100}));
    EXPECT_EQ(sizesOf(chunks::cut(QByteArray())), (QList<qsizetype>{0}));

    QByteArray file(5000, '\0');
    for (qsizetype i = 0; i < file.size(); ++i) {
        file[i] = static_cast<char>(i * 7);
    }
    EXPECT_EQ(chunks::cut(file).join(), file);
}

TEST(FrameAssembler, RebuildsAndDecodesFramesCutByTheChunkRule)
{
    FrameAssembler frames;
    const QByteArray first = smallJpeg();
    const QByteArray exact = paddedJpeg(3 * kChunk);
    for (const QByteArray &file : {first, exact}) {
        std::optional<QByteArray> rebuilt;
        for (const QByteArray &piece : chunks::cut(file)) {
            EXPECT_FALSE(rebuilt) << "a frame ended before its last piece";
            rebuilt = frames.add(piece);
        }
        ASSERT_TRUE(rebuilt);
        EXPECT_EQ(*rebuilt, file);
    }
    EXPECT_EQ(frames.completed(), 2);
    EXPECT_EQ(frames.decoded(), 2);
    EXPECT_EQ(frames.pendingSize(), 0);
}

// Without the empty datagram a frame of k x 2048 bytes runs into the next one; the joined
// buffer still decodes (as the first picture), so two frames count as one.
TEST(FrameAssembler, ExactMultipleWithoutEmptyDatagramJoinsTwoFrames)
{
    FrameAssembler frames;
    const QByteArray exact = paddedJpeg(2 * kChunk);
    const QByteArray next = smallJpeg();
    EXPECT_FALSE(frames.add(exact.first(kChunk)));
    EXPECT_FALSE(frames.add(exact.sliced(kChunk)));
    std::optional<QByteArray> joined;
    for (const QByteArray &piece : chunks::cut(next)) {
        joined = frames.add(piece);
    }
    ASSERT_TRUE(joined);
    EXPECT_EQ(*joined, exact + next);
    EXPECT_EQ(frames.completed(), 1);
    EXPECT_EQ(frames.decoded(), 1);
}

TEST(FrameAssembler, DamagedFramesCountAsFailedAndTheNextFrameIsClean)
{
    FrameAssembler frames;
    const QByteArray file = noisyJpeg();

    // A lost middle datagram.
    const QList<QByteArray> cut = chunks::cut(file);
    ASSERT_GT(cut.size(), 4);
    for (qsizetype i = 0; i < cut.size(); ++i) {
        if (i != cut.size() / 2) {
            frames.add(cut[i]);
        }
    }
    EXPECT_EQ(frames.completed(), 1);
    EXPECT_EQ(frames.decoded(), 0);

    // An oversized datagram is no chunk: it adds nothing and ends the frame.
    frames.add(cut[0]);
    const std::optional<QByteArray> ended = frames.add(QByteArray(kChunk + 1, 'x'));
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->size(), kChunk);

    EXPECT_TRUE(frames.add("not a picture"));
    EXPECT_TRUE(frames.add(QByteArray()));
    EXPECT_EQ(frames.completed(), 4);
    EXPECT_EQ(frames.failed(), 4);

    for (const QByteArray &piece : chunks::cut(file)) {
        frames.add(piece);
    }
    EXPECT_EQ(frames.decoded(), 1);
}

TEST(FrameAssembler, NeverHoldsMoreThanSixteenMebibytes)
{
    FrameAssembler frames;
    const QByteArray chunk(kChunk, 'x');
    const qsizetype limit = 16 * 1024 * 1024;
    for (qsizetype i = 0; i <= limit / kChunk; ++i) {
        frames.add(chunk);
        ASSERT_LE(frames.pendingSize(), limit);
    }
    EXPECT_EQ(frames.completed(), 1);
    EXPECT_EQ(frames.decoded(), 0);
}

// Only a whole, sound file counts as decoded; the decoder still shows what a cut one holds.
TEST(FrameAssembler, CountsOnlyWholeSoundFilesAsDecoded)
{
    const QByteArray file = jpegOf(barsPicture(QSize(320, 200)), 50);
    EXPECT_TRUE(FrameAssembler::decodes(file));

    // The frame header (SOF0) claims 20000 x 20000 pixels.
    const qsizetype sof = file.indexOf(QByteArray("\xff\xc0", 2));
    ASSERT_GT(sof, 0);
    QByteArray hostile = file;
    const char side[2] = {static_cast<char>(20000 >> 8), static_cast<char>(20000 & 0xff)};
    hostile.replace(sof + 5, 2, side, 2);
    hostile.replace(sof + 7, 2, side, 2);
    EXPECT_FALSE(FrameAssembler::decodes(hostile));
    EXPECT_FALSE(FrameAssembler::decodes(QByteArray()));

    const QByteArray half = file.first(file.size() / 2);
    EXPECT_FALSE(FrameAssembler::decodes(half));
    JpegDecoder decoder;
    ASSERT_TRUE(decoder.decode(half));
    EXPECT_TRUE(decoder.lastWasDamaged());
    ASSERT_TRUE(decoder.decode(file));
    EXPECT_FALSE(decoder.lastWasDamaged());
}

// A viewer that starts listening mid-frame must not show the tail glued to nothing: it waits
// for a chunk that starts a JPEG file, also when the frame before ends on a full chunk.
TEST(FrameAssembler, ViewerJoiningMidFrameWaitsForTheNextFrameStart)
{
    FrameAssembler frames(FrameAssembler::Mode::Viewing);
    const QList<QByteArray> noisy = chunks::cut(noisyJpeg());
    ASSERT_GT(noisy.size(), 3);
    for (const QByteArray &piece : noisy.sliced(2)) {
        EXPECT_FALSE(frames.add(piece));
    }
    EXPECT_EQ(frames.completed(), 0);

    const QByteArray exact = paddedJpeg(2 * kChunk);
    const QByteArray next = smallJpeg();
    frames.add(noisy[1]);
    EXPECT_EQ(frames.pendingSize(), 0);
    EXPECT_FALSE(frames.add(exact.first(kChunk)));
    EXPECT_FALSE(frames.add(exact.sliced(kChunk)));
    const std::optional<QByteArray> joined = frames.add(next);
    ASSERT_TRUE(joined);
    EXPECT_EQ(*joined, exact + next);
    EXPECT_EQ(frames.completed(), 1);
    EXPECT_EQ(frames.decoded(), 0) << "viewing frames are not test-decoded";
}
