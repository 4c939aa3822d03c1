#include "classroom/ClassDemonstration.h"

#include "classroom/AgentChannel.h"
#include "classroom/CommandChannel.h"
#include "classroom/Demonstration.h"
#include "classroom/FrameSource.h"
#include "classroom/Monitoring.h"
#include "classroom/PictureSource.h"
#include "classroom/RelayFrames.h"
#include "classroom/StreamSender.h"
#include "net/TUDPEndpoint.h"
#include "protocol/Commands.h"
#include "protocol/Datagrams.h"
#include "settings/ConsoleSettings.h"
#include "system/EventLog.h"

#include <algorithm>

namespace {
// The console never overrides the cursor, so its code is always the default's.
constexpr int kDefaultCursor = 0;
constexpr qint32 kMaxPort = 65535;
// Ticks missed longer ago than this are not made up for: a long stall costs a moment of the
// older stream, not a burst.
constexpr qint64 kMostMissed = 10;
const QString kStreamFailed =
    QString::fromUtf8("快速演示画面流已停止（学生机改用普通演示画面）：%1");
} // namespace

ClassDemonstration::ClassDemonstration(const Parts &parts, QObject *parent)
    : QObject(parent), m_parts(parts), m_stream(new StreamSender(this)),
      m_relay(std::make_unique<RelayFrames>())
{
    connect(m_stream, &StreamSender::failed, this, [this](const QString &reason) {
        eventlog::warning(kStreamFailed.arg(reason));
        emit streamFailed(kStreamFailed.arg(reason));
    });
}

ClassDemonstration::~ClassDemonstration() = default;

void ClassDemonstration::start(const DemonstrationAudience &audience, const QString &host)
{
    m_parts.older.prepare();
    setKey(true);
    m_audience = audience;
    m_presenter = 0;
    sendToAudience(command::Image);
    m_parts.older.abandonFrame();
    restartPace();
    startStream(m_parts.teacher.pictureSource(), audience.windowed, host);
}

void ClassDemonstration::startStudent(quint64 presenter, const QList<quint64> &others,
                                      const QString &host)
{
    m_presenter = presenter;
    m_audience = DemonstrationAudience{false, false, others};
    m_relay->clear();
    m_parts.older.setSource(m_relay.get());
    m_parts.older.abandonFrame();
    setKey(true);
    sendToAudience(command::Image);
    restartPace();
    startStream(m_relay->pictureSource(), false, host);
}

void ClassDemonstration::restartPace()
{
    m_pace.start();
    m_ticks = 0;
}

void ClassDemonstration::stop()
{
    m_stream->stop();
    sendToAudience(command::Stop);
    setKey(false);
    if (m_presenter != 0) {
        m_presenter = 0;
        m_parts.older.setSource(&m_parts.teacher);
        m_parts.older.abandonFrame();
        m_relay->clear();
    }
}

void ClassDemonstration::tick(QPoint pointer)
{
    // The settings dialog's quality applies from the next frame, on both streams.
    if (m_parts.settings.ImageQuality != m_streamQuality) {
        m_streamQuality = m_parts.settings.ImageQuality;
        m_stream->setQuality(m_streamQuality);
    }
    // Where a student's screen is shown, the teacher's pointer is not part of it.
    if (m_presenter == 0) {
        datagram::CursorText cursor;
        const int length = datagram::cursor(cursor, kDefaultCursor, pointer.x(), pointer.y());
        m_parts.pointer.SendDatagram(cursor.data(), length);
    }
    m_parts.older.SendScreenChunk();
    // A tick that came late (a frame just captured, the window busy) makes up for the ticks it
    // missed with chunks of the frame being sent: the older stream keeps its pace on average.
    ++m_ticks;
    if (!m_pace.isValid())
        return;
    const qint64 due = m_pace.elapsed() / kTickMs;
    m_ticks = std::max(m_ticks, due - kMostMissed);
    if (m_ticks < due)
        m_ticks += m_parts.older.catchUp(int(due - m_ticks));
}

void ClassDemonstration::offerFile(const QByteArray &file)
{
    if (m_presenter != 0 && m_parts.monitoring.watches(m_presenter))
        m_relay->offer(file);
}

// Channel agents get the key before IMAGE; the stream tags with it.
void ClassDemonstration::setKey(bool fresh)
{
    if (fresh)
        m_parts.older.renewStreamKey();
    else
        m_parts.older.endStreamKey();
    const StreamKey &key = m_parts.older.streamKey();
    m_parts.agents.setDemonstrationKey(key);
    m_stream->setKey(key);
    emit keyChanged();
}

// Everyone gets exactly what the older console sent them; chosen students get it one by one.
void ClassDemonstration::sendToAudience(const QByteArray &text) const
{
    if (m_audience.everyone) {
        m_parts.commands.SendToAll(text);
        return;
    }
    for (const quint64 key : m_audience.students)
        m_parts.commands.SendToKey(key, text);
}

// No picture source (a test's frames) or no port: the older stream alone demonstrates.
void ClassDemonstration::startStream(std::unique_ptr<PictureSource> pictures, bool windowed,
                                     const QString &host)
{
    if (m_parts.settings.StreamPort < 1 || m_parts.settings.StreamPort > kMaxPort)
        return;
    m_streamQuality = m_parts.settings.ImageQuality;
    StreamSender::Start start;
    start.host = host;
    start.port = quint16(m_parts.settings.StreamPort);
    start.quality = m_streamQuality;
    start.windowed = windowed;
    start.pictures = std::move(pictures);
    m_stream->start(std::move(start));
}
