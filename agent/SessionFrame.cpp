#include "agent/SessionFrame.h"

#include <QCborMap>
#include <QCborValue>
#include <QtEndian>
#include <algorithm>

namespace {

// Far above the longest message the console can send, far below what would hurt.
constexpr quint32 kMaxFrame = 4 * 1024 * 1024;
constexpr qsizetype kHeader = 4;

const QString kKind = QStringLiteral("kind");
const QString kText = QStringLiteral("text");
const QString kCut = QStringLiteral("cut");
const QString kApplication = QStringLiteral("application");
const QString kBlackout = QStringLiteral("blackout");
const QString kDemonstrating = QStringLiteral("demonstrating");
const QString kSendingScreen = QStringLiteral("screen");
const QString kConsole = QStringLiteral("console");
const QString kLocal = QStringLiteral("local");
const QString kSignedOnly = QStringLiteral("signedOnly");
const QString kKeyId = QStringLiteral("keyId");
const QString kKey = QStringLiteral("key");
const QString kStreamPort = QStringLiteral("streamPort");
const QString kId = QStringLiteral("id");
const QString kRefused = QStringLiteral("refused");
const QString kWidth = QStringLiteral("width");
const QString kHeight = QStringLiteral("height");
const QString kWallWidth = QStringLiteral("wallWidth");
const QString kWallHeight = QStringLiteral("wallHeight");
const QString kJpeg = QStringLiteral("jpeg");

} // namespace

QByteArray SessionFrame::encode() const
{
    QCborMap map;
    map[kKind] = int(kind);
    switch (kind) {
    case Kind::State:
        map[kBlackout] = state.blackout;
        map[kDemonstrating] = state.demonstrating;
        map[kSendingScreen] = state.sendingScreen;
        map[kConsole] = state.console.toString();
        map[kLocal] = state.local.toString();
        map[kSignedOnly] = state.signedOnly;
        map[kKeyId] = qint64(state.demoKey.id());
        map[kKey] = state.demoKey.bytes();
        map[kStreamPort] = state.streamPort;
        map[kWallWidth] = std::max(state.wallTile.width(), 0);
        map[kWallHeight] = std::max(state.wallTile.height(), 0);
        break;
    case Kind::Message:
        map[kText] = text;
        map[kCut] = cut;
        map[kId] = qint64(id);
        break;
    case Kind::Custom:
        map[kText] = text;
        map[kId] = qint64(id);
        break;
    case Kind::Launch:
        map[kApplication] = int(application);
        map[kId] = qint64(id);
        break;
    case Kind::Ready:
        map[kWidth] = screen.width();
        map[kHeight] = screen.height();
        break;
    case Kind::Answer:
        map[kId] = qint64(id);
        map[kRefused] = refused;
        map[kText] = text;
        break;
    case Kind::Tile:
        map[kJpeg] = jpeg;
        break;
    }
    const QByteArray body = map.toCborValue().toCbor();
    QByteArray frame(kHeader, Qt::Uninitialized);
    qToBigEndian(quint32(body.size()), frame.data());
    return frame + body;
}

SessionFrame::Status SessionFrame::take(QByteArray &buffer, SessionFrame &frame)
{
    if (buffer.size() < kHeader) {
        return Status::Incomplete;
    }
    const quint32 length = qFromBigEndian<quint32>(buffer.constData());
    if (length > kMaxFrame) {
        return Status::Invalid;
    }
    if (buffer.size() < kHeader + qsizetype(length)) {
        return Status::Incomplete;
    }
    QCborParserError error;
    const QCborValue value = QCborValue::fromCbor(buffer.mid(kHeader, length), &error);
    const QCborMap map = value.toMap();
    const qint64 kind = map.value(kKind).toInteger(-1);
    const qint64 application = map.value(kApplication).toInteger(0);
    const qint64 streamPort = map.value(kStreamPort).toInteger(0);
    if (error.error != QCborError::NoError || !value.isMap() || kind < 0 ||
        kind > int(Kind::Tile) || application < 0 ||
        application >= AgentSettings::kApplicationCount || streamPort < 0 || streamPort > 65535) {
        return Status::Invalid;
    }
    frame = SessionFrame();
    frame.kind = Kind(kind);
    frame.text = map.value(kText).toString();
    frame.cut = map.value(kCut).toBool();
    frame.application = AgentSettings::Application(application);
    frame.state.blackout = map.value(kBlackout).toBool();
    frame.state.demonstrating = map.value(kDemonstrating).toBool();
    frame.state.sendingScreen = map.value(kSendingScreen).toBool();
    frame.state.console = QHostAddress(map.value(kConsole).toString());
    frame.state.local = QHostAddress(map.value(kLocal).toString());
    frame.state.signedOnly = map.value(kSignedOnly).toBool();
    frame.state.demoKey =
        StreamKey(quint32(map.value(kKeyId).toInteger()), map.value(kKey).toByteArray());
    frame.state.streamPort = quint16(streamPort);
    frame.state.wallTile =
        QSize(int(map.value(kWallWidth).toInteger()), int(map.value(kWallHeight).toInteger()));
    if (frame.state.wallTile.isEmpty()) {
        frame.state.wallTile = QSize();
    }
    frame.jpeg = map.value(kJpeg).toByteArray();
    frame.id = quint32(map.value(kId).toInteger());
    frame.refused = map.value(kRefused).toBool();
    frame.screen = QSize(int(map.value(kWidth).toInteger()), int(map.value(kHeight).toInteger()));
    buffer.remove(0, kHeader + length);
    return Status::Complete;
}
