#include "protocol/StreamDatagram.h"

#include <QtEndian>

namespace {

constexpr char kMagic[] = {'V', 'M', 'S', 1};
constexpr qsizetype kMinSize = StreamDatagram::kHeaderSize + StreamKey::kTagSize;

template <typename T> void put(char *at, T value)
{
    qToBigEndian(value, at);
}

template <typename T> T get(const char *at)
{
    return qFromBigEndian<T>(at);
}

} // namespace

QByteArray StreamDatagram::write(const StreamKey &key) const
{
    if (payload.size() > kMaxPayload)
        return {};
    QByteArray datagram(kHeaderSize + payload.size() + StreamKey::kTagSize, '\0');
    char *p = datagram.data();
    std::copy(std::begin(kMagic), std::end(kMagic), p);
    p[4] = char(kind);
    p[5] = char(flags);
    put<quint32>(p + 8, key.id());
    put<quint32>(p + 12, frame);
    put<quint32>(p + 16, captureMs);
    put<quint16>(p + 20, screenWidth);
    put<quint16>(p + 22, screenHeight);
    put<quint16>(p + 24, x);
    put<quint16>(p + 26, y);
    put<quint16>(p + 28, width);
    put<quint16>(p + 30, height);
    p[32] = char(part);
    p[33] = char(parts);
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
    if (d.kind != Kind::Piece && d.kind != Kind::Pointer)
        return Parse::UnknownKind;
    d.flags = quint8(p[5]);
    d.keyId = get<quint32>(p + 8);
    d.frame = get<quint32>(p + 12);
    d.captureMs = get<quint32>(p + 16);
    d.screenWidth = get<quint16>(p + 20);
    d.screenHeight = get<quint16>(p + 22);
    d.x = get<quint16>(p + 24);
    d.y = get<quint16>(p + 26);
    d.width = get<quint16>(p + 28);
    d.height = get<quint16>(p + 30);
    d.part = quint8(p[32]);
    d.parts = quint8(p[33]);
    d.payload = datagram.sliced(kHeaderSize, length);
    if (d.screenWidth == 0 || d.screenHeight == 0 || d.screenWidth > kMaxSide ||
        d.screenHeight > kMaxSide)
        return Parse::BadPlace;
    if (d.kind == Kind::Pointer) {
        if (d.x >= d.screenWidth || d.y >= d.screenHeight)
            return Parse::BadPlace;
    } else {
        if (d.width == 0 || d.height == 0 || d.x + d.width > d.screenWidth ||
            d.y + d.height > d.screenHeight)
            return Parse::BadPlace;
        if (d.parts == 0 || d.part >= d.parts)
            return Parse::BadPart;
    }
    out = d;
    return Parse::Ok;
}

bool StreamDatagram::verifies(QByteArrayView datagram, const StreamKey &key)
{
    if (!key.isValid() || datagram.size() < kMinSize ||
        get<quint32>(datagram.data() + 8) != key.id())
        return false;
    const qsizetype signedSize = datagram.size() - StreamKey::kTagSize;
    return key.verifies(datagram.first(signedSize), datagram.sliced(signedSize));
}
