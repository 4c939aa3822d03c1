#pragma once

#include "agent/AgentSettings.h"
#include "agent/BurstLog.h"
#include "agent/ConsoleLink.h"
#include "agent/CustomCommandRunner.h"
#include "agent/PowerControl.h"
#include "agent/SessionAgent.h"
#include "agent/SessionSide.h"
#include "net/ScreenSender.h"
#include "protocol/CommandStream.h"

#include <QObject>
#include <QTimer>
#include <memory>

class ProgramStarter;

// The student agent: holds the console connection and obeys the console's commands on this
// computer. Power is carried out here; what needs the student's display goes to the session
// side, which is either in this process (a run inside the session) or the service's session
// parts. Everything that acts on the system goes through the seams, so tests record what
// production code would do.
class Agent : public QObject
{
    Q_OBJECT

public:
    struct Seams
    {
        PowerControl *power = nullptr;
        ProgramStarter *starter = nullptr;
        CustomCommandRunner::RootCheck isRoot = &CustomCommandRunner::effectiveUserIsRoot;
        // The screen sent while monitored; the real X screen when empty.
        ScreenSender::Producer screen;
        // Where the display's commands go; a session side of the agent's own when null.
        SessionSide *side = nullptr;
        // The screen the wall's tiles are made of; the real X screen when empty.
        WallSender::Screen wallScreen = {};
    };

    Agent(const AgentSettings &settings, Seams seams, QObject *parent = nullptr);
    ~Agent() override;

    void start();

    ConsoleLink &link() { return m_link; }
    // Tells the console, over the channel, that a session's display part ended and restarts.
    void reportPartRestarted(const QString &session, const QString &user, const QString &how);
    const DisplayState &displayState() const { return m_state; }
    // The session side of the agent's own (only where no other side was given).
    BlackoutScreen &blackout() { return m_ownSide->blackout(); }
    ViewerWindow &viewer() { return m_ownSide->viewer(); }
    MessageWindow &message() { return m_ownSide->message(); }
    ScreenSender &screen() { return m_ownSide->screen(); }
    bool isDemonstrating() const { return m_ownSide->isDemonstrating(); }
    WallSender &wall() { return m_ownSide->wall(); }

signals:
    // After a command was carried out (or refused).
    void obeyed(const StudentCommand &command);

private:
    void onQuiet();
    void onConnected();
    void onDisconnected();
    void onChannelMessage(const ChannelMessage &message);
    // Says hello when it would say something new: who is logged in and the screen change.
    void sayHello();
    void log(const StudentCommand &command);
    // id: the channel's command id, which any refusal or failure answers (0: plaintext).
    void obey(const StudentCommand &command, quint32 id = 0);
    void power(PowerControl::Action action, quint32 id);
    void answer(quint32 id, bool refused, const QString &reason);
    void setState(const DisplayState &state);

    Seams m_seams;
    std::unique_ptr<SessionAgent> m_ownSide;
    SessionSide &m_side;
    // Where the Velmora stream is looked for during a demonstration; 0: it is not.
    quint16 m_streamPort;
    DisplayState m_state;
    ConsoleLink m_link;
    CommandStream m_commands;
    BurstLog m_log;
    qint64 m_discardedLogged = 0;
    // The hello last said on this connection (none yet when m_helloSaid is false).
    ChannelMessage m_hello;
    bool m_helloSaid = false;
    QTimer m_helloCheck;
};
