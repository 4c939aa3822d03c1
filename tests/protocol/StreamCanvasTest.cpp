#include "protocol/StreamCanvas.h"
#include "protocol/PieceEncoder.h"

#include <QtEndian>
#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;

// A picture of four colours, BGRX, or noise where the codec must work hardest.
std::vector<std::uint8_t> picture(bool noise)
{
    std::vector<std::uint8_t> pixels(std::size_t(kWidth) * kHeight * 4);
    std::mt19937 random(7);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t *p = pixels.data() + (std::size_t(y) * kWidth + x) * 4;
            p[0] = noise ? std::uint8_t(random()) : (x < kWidth / 2 ? 0xff : 0);
            p[1] = noise ? std::uint8_t(random()) : (y < kHeight / 2 ? 0xff : 0);
            p[2] = noise ? std::uint8_t(random()) : 0x80;
        }
    return pixels;
}

// The datagrams of every band of a picture, at one frame.
std::vector<QByteArray> pieces(const std::vector<std::uint8_t> &pixels, quint32 frame,
                               int quality = 80, const StreamKey &key = StreamKey())
{
    PieceEncoder encoder;
    std::vector<QByteArray> datagrams;
    for (int y = 0; y < kHeight; y += StreamDatagram::kBand) {
        std::vector<PieceEncoder::Piece> out;
        const int height = std::min(StreamDatagram::kBand, kHeight - y);
        encoder.encode(pixels.data() + std::size_t(y) * kWidth * 4, kWidth * 4, kWidth, height, 0,
                       (kWidth + 63) / 64, quality, out);
        for (const PieceEncoder::Piece &piece : out) {
            StreamDatagram d;
            d.frame = frame;
            d.quality = quint8(piece.quality);
            d.screenWidth = kWidth;
            d.screenHeight = kHeight;
            d.x = quint16(piece.firstCell * 64);
            d.y = quint16(y);
            d.width = quint16(std::min(piece.cells * 64, kWidth - d.x));
            d.height = quint16(height);
            d.payload = piece.scan;
            datagrams.push_back(d.write(key));
        }
    }
    return datagrams;
}

// The mean difference per channel between the canvas and a BGRX picture.
double difference(const StreamCanvas &canvas, const std::vector<std::uint8_t> &pixels)
{
    double sum = 0;
    for (int i = 0; i < kWidth * kHeight; ++i) {
        const std::uint32_t shown = canvas.pixels()[i];
        for (int c = 0; c < 3; ++c)
            sum += std::abs(int((shown >> (8 * c)) & 0xff) - int(pixels[std::size_t(i) * 4 + c]));
    }
    return sum / (kWidth * kHeight * 3);
}

} // namespace

TEST(StreamCanvas, PiecesRebuildThePictureAndADenseCellIsCodedAgainToFitADatagram)
{
    for (const bool noise : {false, true}) {
        const std::vector<std::uint8_t> pixels = picture(noise);
        StreamCanvas canvas(kWidth * kHeight);
        const int quality = noise ? 100 : 80;
        const std::vector<QByteArray> datagrams = pieces(pixels, 1, quality);
        int lowered = 0;
        for (const QByteArray &datagram : datagrams) {
            ASSERT_LE(datagram.size(), StreamDatagram::kMaxSize);
            StreamDatagram d;
            ASSERT_EQ(StreamDatagram::parse(datagram, d), StreamDatagram::Parse::Ok);
            lowered += d.quality < quality;
            EXPECT_FALSE(canvas.apply(datagram, 0).area.isEmpty());
        }
        EXPECT_TRUE(canvas.sharp());
        // Noise at quality 100 is coded again at a lower quality, cell by cell.
        EXPECT_EQ(lowered > 0, noise);
        EXPECT_LT(difference(canvas, pixels), noise ? 60 : 3) << noise;
    }
}

TEST(StreamCanvas, HostileDatagramsAreIgnoredAtABoundedCost)
{
    const std::vector<std::uint8_t> pixels = picture(false);
    StreamCanvas canvas(kWidth * kHeight);
    const std::vector<QByteArray> genuine = pieces(pixels, 100);
    for (const QByteArray &datagram : genuine)
        canvas.apply(datagram, 1000);
    ASSERT_TRUE(canvas.sharp());
    const auto unchanged = [&](const QByteArray &datagram, qint64 nowMs = 1000) {
        const StreamCanvas::Change change = canvas.apply(datagram, nowMs);
        return change.area.isEmpty() && !change.resized && !change.pointer &&
               canvas.width() == kWidth && difference(canvas, pixels) < 3;
    };
    // Short, oversized, repeated, and an older frame of the same place.
    EXPECT_TRUE(unchanged(genuine.front().first(40)));
    EXPECT_TRUE(unchanged(genuine.front() + QByteArray(StreamDatagram::kMaxSize, 'x')));
    EXPECT_TRUE(unchanged(genuine.front()));
    EXPECT_TRUE(unchanged(pieces(picture(true), 99).front()));
    // From too far in the past or the future of this stream.
    EXPECT_TRUE(unchanged(pieces(picture(true), 5).front()));
    EXPECT_TRUE(unchanged(pieces(picture(true), 100000).front()));

    StreamDatagram d;
    ASSERT_EQ(StreamDatagram::parse(genuine.front(), d), StreamDatagram::Parse::Ok);
    const QByteArray scan = d.payload.toByteArray();
    // A screen too big to hold, a place off the screen.
    d.frame = 101;
    d.screenWidth = 16384;
    d.screenHeight = 16384;
    EXPECT_TRUE(unchanged(d.write(StreamKey())));
    d.screenWidth = kWidth;
    d.screenHeight = kHeight;
    d.x = kWidth;
    EXPECT_TRUE(unchanged(d.write(StreamKey())));
    // Versions newer than the frame that tells of them change nothing.
    StreamDatagram versions = d;
    const QByteArray future(4 * 5 * 4, '\x7f');
    versions.kind = StreamDatagram::Kind::Versions;
    versions.x = 0;
    versions.width = kWidth;
    versions.height = 4 * 64;
    versions.payload = future;
    EXPECT_TRUE(unchanged(versions.write(StreamKey())));
    EXPECT_TRUE(canvas.sharp());
    // A move of the whole screen from the frame its pieces came in, or from the past, moves
    // nothing a piece of that frame drew.
    StreamDatagram move = versions;
    QByteArray offset(4 + 2 * 5 * 4, '\0');
    offset[1] = 64;
    move.kind = StreamDatagram::Kind::Move;
    move.width = kWidth - 64;
    move.height = kHeight;
    move.payload = offset;
    for (const quint32 frame : {100u, 5u}) {
        move.frame = frame;
        EXPECT_TRUE(unchanged(move.write(StreamKey())));
    }
    EXPECT_TRUE(canvas.sharp());

    // Junk where the scan should be is decoded at the piece's declared size and no more; the
    // size of the screen changes at most once a second, however often datagrams claim it.
    d.x = 0;
    const QByteArray junk(StreamDatagram::kMaxPayload, '\xff');
    d.payload = junk;
    canvas.apply(d.write(StreamKey()), 1000);
    EXPECT_EQ(canvas.width(), kWidth);
    d.payload = scan;
    d.screenWidth = kWidth / 2;
    d.width = 64;
    d.frame = 102;
    EXPECT_TRUE(canvas.apply(d.write(StreamKey()), 2000).resized);
    d.screenWidth = kWidth;
    d.frame = 103;
    EXPECT_FALSE(canvas.apply(d.write(StreamKey()), 2500).resized);
    EXPECT_EQ(canvas.width(), kWidth / 2);
}

TEST(StreamCanvas, BandsCodedInOneGoGiveTheSamePiecesAsBandByBand)
{
    const std::vector<std::uint8_t> pixels = picture(true);
    // 320 pixels: whole cells; 300: a last cell the blocks do not fill.
    for (const int width : {kWidth, 300}) {
        PieceEncoder encoder;
        std::vector<PieceEncoder::Piece> together;
        encoder.encode(pixels.data(), kWidth * 4, width, kHeight, 1, 4, 95, together);
        std::vector<PieceEncoder::Piece> apart;
        for (int band = 0; band * StreamDatagram::kBand < kHeight; ++band) {
            const std::size_t from = apart.size();
            const int y = band * StreamDatagram::kBand;
            encoder.encode(pixels.data() + std::size_t(y) * kWidth * 4, kWidth * 4, width,
                           std::min(StreamDatagram::kBand, kHeight - y), 1, 4, 95, apart);
            for (std::size_t i = from; i < apart.size(); ++i)
                apart[i].band = band;
        }
        // Cells too dense for a datagram are coded again after the others.
        for (auto *pieces : {&together, &apart})
            std::stable_sort(pieces->begin(), pieces->end(), [](const auto &a, const auto &b) {
                return std::pair(a.band, a.firstCell) < std::pair(b.band, b.firstCell);
            });
        ASSERT_EQ(together.size(), apart.size()) << width;
        for (std::size_t i = 0; i < apart.size(); ++i) {
            EXPECT_EQ(together[i].band, apart[i].band);
            EXPECT_EQ(together[i].firstCell, apart[i].firstCell);
            EXPECT_EQ(together[i].cells, apart[i].cells);
            EXPECT_EQ(together[i].quality, apart[i].quality);
            EXPECT_EQ(together[i].scan, apart[i].scan) << width << " piece " << i;
        }
    }
}

namespace {

constexpr int kSide = 64;

// The datagrams of a kSide x kSide picture's rows [top, kSide) at a frame, shrunk by 2^scale.
std::vector<QByteArray> square(const std::vector<std::uint8_t> &pixels, quint32 frame, int top = 0,
                               int scale = 0)
{
    const int side = kSide >> scale;
    std::vector<std::uint8_t> shrunk(std::size_t(side) * side * 4);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side * 4; ++x)
            shrunk[std::size_t(y) * side * 4 + x] =
                pixels[(std::size_t(y << scale) * kSide + (x / 4 << scale)) * 4 + x % 4];
    std::vector<PieceEncoder::Piece> out;
    PieceEncoder().encode(shrunk.data(), side * 4, side, side, 0, 1, 90, out);
    std::vector<QByteArray> datagrams;
    for (const PieceEncoder::Piece &piece : out) {
        StreamDatagram d;
        d.frame = frame;
        d.quality = quint8(piece.quality);
        d.scale = quint8(scale);
        d.screenWidth = d.screenHeight = d.width = kSide;
        d.y = quint16((piece.band * StreamDatagram::kBand) << scale);
        d.height = quint16(std::min(StreamDatagram::kBand << scale, kSide - d.y));
        d.payload = piece.scan;
        if (d.y >= top)
            datagrams.push_back(d.write(StreamKey()));
    }
    return datagrams;
}

} // namespace

// Rows 16 to 63 scrolled up by 16 at frame 11, the rows uncovered sent as pieces of band 3. A
// move is made once, whatever comes again; and it never vouches for what a sketch drew.
TEST(StreamCanvas, AMoveIsMadeOnceAndNeverVouchesForASketch)
{
    std::vector<std::uint8_t> before;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            before.insert(before.end(), {std::uint8_t(y * 4), std::uint8_t(x * 4), 128, 0});
    std::vector<std::uint8_t> after(before.begin() + 16 * kSide * 4, before.end());
    for (int y = 48; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            after.insert(after.end(), {std::uint8_t(x * 4), 200, std::uint8_t(y * 4), 0});
    QByteArray told(4 + 2, '\0');
    told[3] = '\xf0';
    told[2] = '\xff';
    told[4] = '\x80';
    told[5] = 1;
    StreamDatagram d;
    d.kind = StreamDatagram::Kind::Move;
    d.frame = 11;
    d.screenWidth = d.screenHeight = d.width = kSide;
    d.y = 16;
    d.height = 48;
    d.payload = told;
    const QByteArray move = d.write(StreamKey());
    const auto shows = [](const StreamCanvas &canvas, const std::vector<std::uint8_t> &pixels) {
        for (int i = 0; i < kSide * kSide; ++i)
            for (int c = 0; c < 3; ++c)
                if (std::abs(int((canvas.pixels()[i] >> (8 * c)) & 0xff) -
                             int(pixels[std::size_t(i) * 4 + c])) > 24)
                    return false;
        return true;
    };

    for (const bool sketchFirst : {false, true}) {
        StreamCanvas canvas(kSide * kSide);
        for (const QByteArray &datagram : square(before, 10))
            canvas.apply(datagram, 1000);
        if (sketchFirst) {
            QByteArray versions(4, '\0');
            versions[3] = 11;
            StreamDatagram v = d;
            v.kind = StreamDatagram::Kind::Versions;
            v.y = 0;
            v.height = kSide;
            v.payload = versions;
            canvas.apply(v.write(StreamKey()), 1000);
            for (const QByteArray &datagram : square(after, 11, 0, 1))
                canvas.apply(datagram, 1000);
        }
        for (const QByteArray &datagram : {move, square(after, 11, 48).front(), move})
            canvas.apply(datagram, 1000);
        if (sketchFirst) {
            EXPECT_FALSE(canvas.sharp()) << "a move vouched for a sketch";
        } else {
            EXPECT_TRUE(canvas.sharp());
            EXPECT_TRUE(shows(canvas, after)) << "a move was made twice";
        }
    }
}
