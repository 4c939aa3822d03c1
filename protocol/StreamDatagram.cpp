#include "protocol/StreamDatagram.h"

#include <QtEndian>

namespace {

constexpr char kMagic[] = {'V', 'M', 'S', 3};
constexpr qsizetype kMinSize = StreamDatagram::kHeaderSize + StreamKey::kTagSize;
constexpr int kMaxQuality = 100;

template <typename T> void put(char *at, T value)
{
    qToBigEndian(value, at);
}

template <typename T> T get(const char *at)
{
    return qFromBigEndian<T>(at);
}

// A run along one side: starts on the grid and is whole steps long, or ends at the screen's edge.
bool onGrid(int start, int length, int screen, int step)
{
    return length > 0 && start % step == 0 && start + length <= screen &&
           (length % step == 0 || start + length == screen);
}

StreamDatagram::Parse checkPiece(const StreamDatagram &d)
{
    if (d.quality == 0 || d.quality > kMaxQuality || d.scale > StreamDatagram::kMaxScale ||
        d.payload.isEmpty())
        return StreamDatagram::Parse::BadCoding;
    const int band = StreamDatagram::kBand << d.scale;
    if (!onGrid(d.x, d.width, d.screenWidth, StreamDatagram::kCell << d.scale) || d.y % band != 0 ||
        d.y >= d.screenHeight || d.height != std::min(band, d.screenHeight - d.y))
        return StreamDatagram::Parse::BadPlace;
    return StreamDatagram::Parse::Ok;
}

StreamDatagram::Parse checkVersions(const StreamDatagram &d)
{
    if (!onGrid(d.x, d.width, d.screenWidth, StreamDatagram::kCell) ||
        !onGrid(d.y, d.height, d.screenHeight, StreamDatagram::kCell))
        return StreamDatagram::Parse::BadPlace;
    if (d.payload.size() != qsizetype(sizeof(quint32)) * d.cellColumns() * d.cellRows())
        return StreamDatagram::Parse::BadCoding;
    return StreamDatagram::Parse::Ok;
}

// The place moved and the place it lands on both lie on the screen, and every cell they touch
// has its two bytes.
StreamDatagram::Parse checkMove(const StreamDatagram &d)
{
    if (d.payload.size() < StreamDatagram::kMoveOffsetSize)
        return StreamDatagram::Parse::BadCoding;
    const QRect screen(0, 0, d.screenWidth, d.screenHeight);
    const QPoint by = d.moveBy();
    if (d.width == 0 || d.height == 0 || by.isNull() || !screen.contains(d.place()) ||
        !screen.contains(d.place().translated(by)))
        return StreamDatagram::Parse::BadPlace;
    if (d.payload.size() != StreamDatagram::moveSize(d.place(), by))
        return StreamDatagram::Parse::BadCoding;
    return StreamDatagram::Parse::Ok;
}

} // namespace

QPoint StreamDatagram::moveBy() const
{
    if (payload.size() < kMoveOffsetSize)
        return {};
    return QPoint(get<qint16>(payload.data()), get<qint16>(payload.data() + 2));
}

QRect StreamDatagram::moveCells(const QRect &place, const QPoint &by)
{
    const QRect both = place | place.translated(by);
    return QRect(QPoint(both.left() / kCell, both.top() / kCell),
                 QPoint(both.right() / kCell, both.bottom() / kCell));
}

qsizetype StreamDatagram::moveSize(const QRect &place, const QPoint &by)
{
    const QRect cells = moveCells(place, by);
    return kMoveOffsetSize + qsizetype(sizeof(quint16)) * cells.width() * cells.height();
}

QByteArray StreamDatagram::write(const StreamKey &key) const
{
    if (payload.size() > kMaxPayload)
        return {};
    QByteArray datagram(kHeaderSize + payload.size() + StreamKey::kTagSize, '\0');
    char *p = datagram.data();
    std::copy(std::begin(kMagic), std::end(kMagic), p);
    p[4] = char(kind);
    p[5] = char(flags);
    p[6] = char(quality);
    p[7] = char(scale);
    put<quint32>(p + 8, key.id());
    put<quint32>(p + 12, frame);
    put<quint32>(p + 16, captureMs);
    put<quint16>(p + 20, screenWidth);
    put<quint16>(p + 22, screenHeight);
    put<quint16>(p + 24, x);
    put<quint16>(p + 26, y);
    put<quint16>(p + 28, width);
    put<quint16>(p + 30, height);
    put<quint16>(p + 34, quint16(payload.size()));
    std::copy(payload.begin(), payload.end(), p + kHeaderSize);
    const qsizetype signedSize = kHeaderSize + payload.size();
    const auto tag = key.tag(QByteArrayView(p, signedSize));
    std::copy(tag.begin(), tag.end(), p + signedSize);
    return datagram;
}

StreamDatagram::Parse StreamDatagram::parse(QByteArrayView datagram, StreamDatagram &out)
{
    if (datagram.size() < kMinSize || datagram.size() > kMaxSize)
        return Parse::WrongSize;
    const char *p = datagram.data();
    if (!std::equal(std::begin(kMagic), std::end(kMagic), p))
        return Parse::NotStream;
    const quint16 length = get<quint16>(p + 34);
    if (kHeaderSize + length + StreamKey::kTagSize != datagram.size())
        return Parse::WrongSize;
    StreamDatagram d;
    d.kind = Kind(quint8(p[4]));
    d.flags = quint8(p[5]);
    d.quality = quint8(p[6]);
    d.scale = quint8(p[7]);
    d.keyId = get<quint32>(p + 8);
    d.frame = get<quint32>(p + 12);
    d.captureMs = get<quint32>(p + 16);
    d.screenWidth = get<quint16>(p + 20);
    d.screenHeight = get<quint16>(p + 22);
    d.x = get<quint16>(p + 24);
    d.y = get<quint16>(p + 26);
    d.width = get<quint16>(p + 28);
    d.height = get<quint16>(p + 30);
    d.payload = datagram.sliced(kHeaderSize, length);
    if (d.screenWidth == 0 || d.screenHeight == 0 || d.screenWidth > kMaxSide ||
        d.screenHeight > kMaxSide)
        return Parse::BadPlace;
    Parse result = Parse::Ok;
    switch (d.kind) {
    case Kind::Piece:
        result = checkPiece(d);
        break;
    case Kind::Versions:
        result = checkVersions(d);
        break;
    case Kind::Move:
        result = checkMove(d);
        break;
    case Kind::Pointer:
        if (d.x >= d.screenWidth || d.y >= d.screenHeight)
            result = Parse::BadPlace;
        break;
    default:
        return Parse::UnknownKind;
    }
    if (result == Parse::Ok)
        out = d;
    return result;
}

bool StreamDatagram::verifies(QByteArrayView datagram, const StreamKey &key)
{
    if (!key.isValid() || datagram.size() < kMinSize ||
        get<quint32>(datagram.data() + 8) != key.id())
        return false;
    const qsizetype signedSize = datagram.size() - StreamKey::kTagSize;
    return key.verifies(datagram.first(signedSize), datagram.sliced(signedSize));
}

// A viewer without the key (no channel, or a console that does not tag) cannot check a tag, so
// the console's address is all it has to go by.
bool StreamDatagram::admits(QByteArrayView datagram, const StreamKey &key, bool signedOnly,
                            bool fromConsole)
{
    if (key.isValid())
        return verifies(datagram, key);
    return !signedOnly && fromConsole;
}
