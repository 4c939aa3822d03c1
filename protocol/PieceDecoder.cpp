#include "protocol/PieceDecoder.h"

#include "protocol/StreamDatagram.h"

#include <QtEndian>

namespace {

constexpr int kMcu = 16;
constexpr unsigned kMcusPerCell = StreamDatagram::kCell / kMcu;
constexpr quint8 kMarker = 0xff;
constexpr quint8 kStartOfFrame = 0xc0;
constexpr quint8 kStartOfScan = 0xda;
const QByteArray kEndOfImage("\xff\xd9", 2);
// In a frame header: marker (2), length (2), precision (1), then height and width.
constexpr qsizetype kSizeOffset = 5;

} // namespace

// The encoder writes the headers the sender's encoder writes, for a picture of any size: the
// frame header's size is all that differs from piece to piece.
const PieceDecoder::Header &PieceDecoder::header(int quality)
{
    Header &header = m_headers[std::size_t(quality)];
    if (!header.bytes.isEmpty())
        return header;
    const std::array<std::uint8_t, kMcu * kMcu * 4> black{};
    const auto file = m_encoder.encode(black.data(), kMcu, kMcu, kMcu * 4, quality, kMcusPerCell);
    const QByteArray bytes(reinterpret_cast<const char *>(file.data()), qsizetype(file.size()));
    qsizetype at = 2;
    while (at + 4 <= bytes.size() && quint8(bytes[at]) == kMarker) {
        const quint8 marker = quint8(bytes[at + 1]);
        if (marker == kStartOfFrame)
            header.sizeAt = at + kSizeOffset;
        at += 2 + qFromBigEndian<quint16>(bytes.constData() + at + 2);
        if (marker == kStartOfScan)
            break;
    }
    header.bytes = bytes.first(at);
    return header;
}

bool PieceDecoder::decode(QByteArrayView scan, int width, int height, int quality)
{
    if (quality < 1 || quality > 100 || width < 1 || height < 1 ||
        width > StreamDatagram::kMaxSide || height > StreamDatagram::kMaxSide)
        return false;
    const Header &made = header(quality);
    m_file.resize(0);
    m_file.append(made.bytes);
    qToBigEndian(quint16(height), m_file.data() + made.sizeAt);
    qToBigEndian(quint16(width), m_file.data() + made.sizeAt + 2);
    m_file.append(scan.data(), scan.size());
    m_file.append(kEndOfImage);
    return m_decoder.decode(m_file) && m_decoder.image().width == width &&
           m_decoder.image().height == height;
}
