#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>
#include <memory>
#include <optional>

#include "classroom/ClassDemonstration.h"
#include "identity/Identity.h"
#include "identity/OwnAddresses.h"
#include "protocol/JpegDecoder.h"
#include "protocol/StreamKey.h"
#include "settings/ConsoleKey.h"
#include "settings/ConsoleSettings.h"

class AgentChannel;
class BlackOut;
class ChannelServer;
class ChannelTileFeed;
class CommandChannel;
class DatagramTileFeed;
class Demonstration;
class FrameSource;
class Monitoring;
class QTimer;
class Roster;
class RosterModel;
class ScreenRequests;
class ScreenWall;
class TServerSocket;
class TUDPEndpoint;
class WakeOnLan;

// The classroom the console runs, with no window: it owns the command server ServerSocket1, the
// trusted channel's server, the datagram endpoints ComUdp and MouseUDP, the timers ScreenTimer,
// Timer1 and Timer2, and the parts that act through them (the roster, the commands over either
// way, the black-out, the demonstration, monitoring, the screen wall, wake-on-LAN). It offers the
// teacher's operations and signals what a window shows. The timers tick whoever connects them
// (the window's handlers), so a test drives it by its operations.
class ClassroomSession : public QObject
{
    Q_OBJECT

public:
    // The toolbar modes, which exclude one another.
    enum class Mode { Idle, Demonstrating, BlackedOut, Rotating };
    using Audience = DemonstrationAudience;

    // Looks the console's identity up and starts Timer1; frames are the demonstration's.
    explicit ClassroomSession(std::shared_ptr<FrameSource> frames, QObject *parent = nullptr);
    ~ClassroomSession() override;

    // The endpoints take the settings' ports, then the command server opens on its own. Raises
    // the server's failure: the session then runs without students. With the console's key the
    // trusted channel opens on AgentPort too; a failure there is logged and said, and the
    // plaintext students are served all the same. dataFolder keeps the computers seen, for
    // wake-on-LAN (nothing is kept when it is empty).
    void open(const ConsoleSettings &settings, const std::optional<ConsoleKey> &key = {},
              const QString &dataFolder = {});
    // Students blacked out are set free and every demonstration or sending ends: what an ending
    // console owes them, also when the process ends under it.
    void releaseStudents();
    // The end: the students released, every connection closed (each row goes), then the timers
    // and endpoints stopped, so that nothing arrives afterwards.
    void close();

    // The settings dialog writes these; the quality applies from the next frame, ports at the
    // next start.
    ConsoleSettings &settings() { return m_settings; }
    const Identity &identity() const { return m_identity; }
    QString BroadcastHost() const;
    RosterModel &rosterModel() const { return *m_rosterModel; }
    const Roster &roster() const { return *m_roster; }
    const Demonstration &demonstration() const { return *m_demonstration; }
    const Monitoring &monitoring() const { return *m_monitoring; }
    // Null while the trusted channel is not open.
    ChannelServer *agentServer() const;
    const WakeOnLan &wakeOnLan() const { return *m_wake; }
    // The Velmora stream of the demonstration, tagged with the demonstration's key.
    StreamSender &streamSender() const { return m_class->streamSender(); }
    const Audience &audience() const { return m_class->audience(); }
    // The student whose screen the class is shown (its connection's key); 0: none.
    quint64 presenter() const { return m_class->presenter(); }
    QTimer *ScreenTimer() const { return m_screenTimer; }
    QTimer *Timer1() const { return m_timer1; }
    QTimer *Timer2() const { return m_timer2; }
    Mode mode() const { return m_mode; }

    void SendToAll(const QByteArray &text) const;
    void SendToRow(int index, const QByteArray &text) const;
    // The student of one connection (RosterModel::key), whatever its row says.
    void SendToKey(quint64 key, const QByteArray &text) const;
    void sortByColumn(int column);
    void toggleBlackOut(int row);
    // The beacon, after the address is looked at again (a network that came up is used); with
    // no network it is left out quietly.
    void sendBeacon();

    // Each start is taken from Idle only and each stop in its own mode only. The demonstration's
    // start raises, before anything is sent, when the screen cannot be captured at all.
    void startDemonstration(const Audience &audience);
    // Everyone, full screen.
    void startDemonstration();
    // The student demonstration: the student of this connection is monitored, and the files it
    // sends are shown to every other student, by both streams. False when it cannot start (not
    // Idle, no such student).
    bool startStudentDemonstration(quint64 presenter);
    // Ends either demonstration: STOP goes to the students that were sent IMAGE.
    void stopDemonstration();
    // The cursor datagram (pointer in the frame's own pixels; none while a student's screen is
    // shown), then the next chunk. A failure would come back at every tick: it ends the
    // demonstration, then is raised.
    void sendDemonstrationTick(QPoint pointer);
    void setBlackOutAll(bool on);
    void startRotation();
    void stopRotation();
    // The rotation's tick; a failure ends the rotation, then is raised.
    void monitorNextStudent();

    void monitorStudent(quint64 key);
    // The monitor window closed: the student is told to stop, its datagrams are not taken.
    void stopWatching();
    int MonitorIndex() const;
    // The size the picture is shown at, in device pixels, for the frames decoded from now on.
    void setPictureSize(int width, int height);

    // "开机": every remembered computer that is not connected is sent its wake-up packet at the
    // classroom's broadcast address; how many, or nothing when no network is found.
    std::optional<int> wakeComputers();

    // The screen wall, a view beside any mode: every student is asked for its screen while it
    // is shown, and told to stop when it is left unless the monitor window still shows it.
    void showWall();
    void hideWall();
    // The size a tile shows its picture at, in device pixels.
    void setTileSize(int width, int height);

signals:
    void studentJoined(quint64 key, const QString &countText);
    void studentLeft(quint64 key, const QString &countText);
    void modeChanged(ClassroomSession::Mode mode);
    // Another student is monitored (MonitorIndex); its picture is yet to come.
    void monitoredStudentChanged();
    // A frame of the monitored student, decoded; valid during the signal.
    void pictureChanged(const JpegDecoder::Image &picture);
    // A new picture for the wall's tile of the student of this key; valid during the signal.
    void tilePictureChanged(quint64 key, const JpegDecoder::Image &picture);
    // LocalIP changed; empty when no network is found.
    void addressChanged(const QString &localIP);
    // A state of the command server's accept path the teacher should know of.
    void acceptNotice(const QString &text);
    // What a channel agent answered or reported, or the channel's own trouble, for the status
    // bar.
    void studentNotice(const QString &text);
    // The demonstration's key is new (it started) or gone (invalid: it stopped).
    void demonstrationKeyChanged(const StreamKey &key);
    // The Velmora stream stopped on a failure; the older stream goes on.
    void streamFailed(const QString &text);

private:
    void createComponents();
    void connectParts();
    // Aims both endpoints at the broadcast host of the current address.
    void applyIdentity();
    void setMode(Mode mode);
    void openChannel(const ConsoleKey &key);
    void studentGone(quint64 key);

    std::shared_ptr<FrameSource> m_frames;
    ConsoleSettings m_settings;
    Identity m_identity;
    OwnAddresses m_ownAddresses;
    Mode m_mode = Mode::Idle;

    TServerSocket *m_serverSocket = nullptr;
    TUDPEndpoint *m_comUdp = nullptr;
    TUDPEndpoint *m_mouseUdp = nullptr;
    QTimer *m_screenTimer = nullptr;
    QTimer *m_timer1 = nullptr;
    QTimer *m_timer2 = nullptr;
    RosterModel *m_rosterModel = nullptr;

    std::unique_ptr<Demonstration> m_demonstration;
    std::unique_ptr<Roster> m_roster;
    std::unique_ptr<CommandChannel> m_channel;
    std::unique_ptr<BlackOut> m_blackOut;
    std::unique_ptr<ScreenRequests> m_screenRequests;
    std::unique_ptr<Monitoring> m_monitoring;
    std::unique_ptr<DatagramTileFeed> m_datagramTiles;
    std::unique_ptr<AgentChannel> m_agents;
    std::unique_ptr<ChannelTileFeed> m_channelTiles;
    std::unique_ptr<ScreenWall> m_wall;
    std::unique_ptr<WakeOnLan> m_wake;
    std::unique_ptr<ClassDemonstration> m_class;
};
