#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>
#include <cstdint>
#include <memory>

class AgentChannel;
class CommandChannel;
class Demonstration;
class FrameSource;
class Monitoring;
class PictureSource;
class RelayFrames;
class StreamSender;
class TUDPEndpoint;
struct ConsoleSettings;

// Who a demonstration is for, and how our agents show it: everyone (the default, whose IMAGE
// and STOP go to all as ever) or the students of these connections (RosterModel::key) alone;
// full screen, or a window the student can move and keep working beside (agents that do not
// speak the Velmora stream show it full screen).
struct DemonstrationAudience
{
    bool windowed = false;
    bool everyone = true;
    QList<quint64> students;
};

// What the class is shown while a demonstration runs: to whom, whose screen (the teacher's, or
// a presenting student's files relayed), on the older stream and the Velmora stream, under a
// fresh key each time. The session decides when (its mode and its screen timer); this holds how.
class ClassDemonstration : public QObject
{
    Q_OBJECT

public:
    // The screen timer's interval: the older stream's pace, a chunk a tick.
    static constexpr int kTickMs = 10;

    // The parts it acts through, all owned by the session and outliving this.
    struct Parts
    {
        Demonstration &older;
        const CommandChannel &commands;
        AgentChannel &agents;
        const Monitoring &monitoring;
        TUDPEndpoint &pointer;
        const ConsoleSettings &settings;
        FrameSource &teacher;
    };

    explicit ClassDemonstration(const Parts &parts, QObject *parent = nullptr);
    ~ClassDemonstration() override;

    // The teacher's screen to the audience, the stream broadcast to host.
    void start(const DemonstrationAudience &audience, const QString &host);
    // The presenter's files to every other student (the connections of others).
    void startStudent(quint64 presenter, const QList<quint64> &others, const QString &host);
    void stop();
    // One tick of the screen timer: the pointer, then a chunk of the older stream.
    void tick(QPoint pointer);
    // A file the monitored student sent; passed on while that student presents.
    void offerFile(const QByteArray &file);

    StreamSender &streamSender() const { return *m_stream; }
    const DemonstrationAudience &audience() const { return m_audience; }
    quint64 presenter() const { return m_presenter; }

signals:
    // The demonstration's key is new (it started) or gone (invalid: it stopped).
    void keyChanged();
    // The Velmora stream stopped on a failure; the older stream goes on.
    void streamFailed(const QString &text);

private:
    void setKey(bool fresh);
    void restartPace();
    void sendToAudience(const QByteArray &text) const;
    void startStream(std::unique_ptr<PictureSource> pictures, bool windowed, const QString &host);

    Parts m_parts;
    StreamSender *m_stream;
    std::unique_ptr<RelayFrames> m_relay;
    DemonstrationAudience m_audience;
    quint64 m_presenter = 0;
    std::int32_t m_streamQuality = 0;
    // Ticks since the demonstration started, to tell a late tick from a timely one.
    QElapsedTimer m_pace;
    qint64 m_ticks = 0;
};
