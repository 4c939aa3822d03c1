#include "protocol/ChannelMessage.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QtEndian>
#include <algorithm>
#include <limits>
#include <utility>

namespace {

enum Field : int {
    KindField,
    VersionField,
    CapabilitiesField,
    HostField,
    UserField,
    MacField,
    WidthField,
    HeightField,
    StreamPortField,
    IdField,
    TextField,
    RefusedField,
    ReasonField,
    KeyIdField,
    KeyField,
    SessionField,
    OnField,
    JpegField,
};

using Kind = ChannelMessage::Kind;

bool knownKind(qint64 kind)
{
    return kind >= qint64(Kind::Hello) && kind <= qint64(Kind::Tile);
}

// Each reader takes a field only when it has the type and bounds the kind needs; an absent field
// keeps its default, a present one that does not fit makes the message invalid.
class Reader
{
public:
    explicit Reader(const QCborMap &map) : m_map(map) {}
    bool valid() const { return m_valid; }

    QString text(Field field, qsizetype bound)
    {
        const QCborValue value = m_map.value(field);
        if (value.isUndefined())
            return {};
        QString result = value.toString();
        check(value.isString() && result.size() <= bound);
        return result;
    }
    QByteArray bytes(Field field, qsizetype bound)
    {
        const QCborValue value = m_map.value(field);
        if (value.isUndefined())
            return {};
        QByteArray result = value.toByteArray();
        check(value.isByteArray() && result.size() <= bound);
        return result;
    }
    qint64 number(Field field, qint64 low, qint64 high)
    {
        const QCborValue value = m_map.value(field);
        if (value.isUndefined())
            return low;
        check(value.isInteger() && value.toInteger() >= low && value.toInteger() <= high);
        return value.toInteger(low);
    }
    bool flag(Field field)
    {
        const QCborValue value = m_map.value(field);
        if (value.isUndefined())
            return false;
        check(value.isBool());
        return value.toBool();
    }
    QStringList names(Field field)
    {
        const QCborValue value = m_map.value(field);
        QStringList list;
        if (value.isUndefined())
            return list;
        const QCborArray items = value.toArray();
        check(value.isArray() && items.size() <= ChannelMessage::kMaxCapabilities);
        for (const QCborValue item : items) {
            QString name = item.toString();
            check(item.isString() && name.size() <= ChannelMessage::kMaxName);
            list.append(std::move(name));
        }
        return list;
    }
    QSize size(Field width, Field height)
    {
        const int side = ChannelMessage::kMaxScreenSide;
        return QSize(int(number(width, 0, side)), int(number(height, 0, side)));
    }
    void check(bool condition) { m_valid = m_valid && condition; }

private:
    const QCborMap &m_map;
    bool m_valid = true;
};

// An unknown size (Qt's is -1 by -1) goes as 0 by 0.
void putSize(QCborMap &map, QSize size)
{
    map[WidthField] = std::max(size.width(), 0);
    map[HeightField] = std::max(size.height(), 0);
}

} // namespace

ChannelMessage ChannelMessage::command(quint32 id, const QByteArray &text)
{
    ChannelMessage message;
    message.kind = Kind::Command;
    message.id = id;
    message.text = text;
    return message;
}

ChannelMessage ChannelMessage::answer(quint32 id, bool refused, const QString &reason)
{
    ChannelMessage message;
    message.kind = Kind::Answer;
    message.id = id;
    message.refused = refused;
    message.reason = reason.left(kMaxReason);
    return message;
}

QByteArray ChannelMessage::encode() const
{
    QCborMap map;
    map[KindField] = int(kind);
    switch (kind) {
    case Kind::Hello:
        map[VersionField] = version;
        map[CapabilitiesField] = QCborArray::fromStringList(capabilities);
        map[HostField] = host;
        map[UserField] = user;
        map[MacField] = mac;
        putSize(map, screen);
        break;
    case Kind::Welcome:
        map[VersionField] = version;
        map[StreamPortField] = streamPort;
        break;
    case Kind::Command:
        map[IdField] = qint64(id);
        map[TextField] = text;
        break;
    case Kind::Answer:
        map[IdField] = qint64(id);
        map[RefusedField] = refused;
        map[ReasonField] = reason;
        break;
    case Kind::DemoKey:
        map[KeyIdField] = qint64(key.id());
        map[KeyField] = key.bytes();
        break;
    case Kind::SessionEvent:
        map[SessionField] = session;
        map[UserField] = user;
        map[ReasonField] = reason;
        break;
    case Kind::Wall:
        map[OnField] = on;
        putSize(map, tile);
        break;
    case Kind::Tile:
        map[JpegField] = jpeg;
        break;
    }
    const QByteArray body = map.toCborValue().toCbor();
    QByteArray frame(kHeaderSize, Qt::Uninitialized);
    qToBigEndian(quint32(body.size()), frame.data());
    return frame + body;
}

ChannelMessage::Parse ChannelMessage::parse(QByteArrayView bytes, qsizetype bound,
                                            ChannelMessage &out, qsizetype &consumed)
{
    if (bytes.size() < kHeaderSize)
        return Parse::Incomplete;
    const quint32 length = qFromBigEndian<quint32>(bytes.data());
    if (length > quint64(bound))
        return Parse::TooLong;
    if (bytes.size() < kHeaderSize + qsizetype(length))
        return Parse::Incomplete;
    QCborParserError error;
    const QCborValue value = QCborValue::fromCbor(
        QByteArray::fromRawData(bytes.data() + kHeaderSize, qsizetype(length)), &error);
    if (error.error != QCborError::NoError || error.offset != length || !value.isMap())
        return Parse::Invalid;
    const QCborMap map = value.toMap();
    const QCborValue kindValue = map.value(KindField);
    if (!kindValue.isInteger())
        return Parse::Invalid;
    consumed = kHeaderSize + length;
    if (!knownKind(kindValue.toInteger()))
        return Parse::Skipped;

    ChannelMessage m;
    m.kind = Kind(kindValue.toInteger());
    Reader read(map);
    m.version = int(read.number(VersionField, kVersion, std::numeric_limits<qint32>::max()));
    m.capabilities = read.names(CapabilitiesField);
    m.host = read.text(HostField, kMaxName);
    m.user = read.text(UserField, kMaxName);
    m.mac = read.bytes(MacField, kMacSize);
    (m.kind == Kind::Wall ? m.tile : m.screen) = read.size(WidthField, HeightField);
    m.streamPort = quint16(read.number(StreamPortField, 0, 65535));
    m.id = quint32(read.number(IdField, 0, std::numeric_limits<quint32>::max()));
    m.text = read.bytes(TextField, bound);
    m.refused = read.flag(RefusedField);
    m.reason = read.text(ReasonField, kMaxReason);
    const quint32 keyId = quint32(read.number(KeyIdField, 0, std::numeric_limits<quint32>::max()));
    const QByteArray key = read.bytes(KeyField, StreamKey::kKeySize);
    m.key = StreamKey(keyId, key);
    m.session = read.text(SessionField, kMaxName);
    m.on = read.flag(OnField);
    m.jpeg = read.bytes(JpegField, bound);
    read.check(m.mac.isEmpty() || m.mac.size() == kMacSize);
    read.check(m.kind != Kind::DemoKey || m.key.isValid());
    if (!read.valid())
        return Parse::Invalid;
    out = std::move(m);
    return Parse::Complete;
}
