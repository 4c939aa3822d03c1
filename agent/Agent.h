#pragma once

#include "agent/AgentSettings.h"
#include "agent/ApplicationLauncher.h"
#include "agent/BlackoutScreen.h"
#include "agent/BurstLog.h"
#include "agent/ConsoleLink.h"
#include "agent/CustomCommandRunner.h"
#include "agent/MessageWindow.h"
#include "agent/ViewerWindow.h"
#include "platform/JpegDecoder.h"
#include "student/CommandStream.h"
#include "student/FrameAssembler.h"
#include "student/ScreenSender.h"

#include <QObject>
#include <memory>

class DatagramHub;
class PowerControl;
class ProgramStarter;

// The student agent: obeys the console's commands on this computer. Everything that acts on
// the system (power, programs, custom commands, the screen picture) goes through the seams, so
// tests record what production code would do.
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
    };

    Agent(const AgentSettings &settings, Seams seams, QObject *parent = nullptr);
    ~Agent() override;

    void start();

    ConsoleLink &link() { return m_link; }
    BlackoutScreen &blackout() { return m_blackout; }
    ViewerWindow &viewer() { return m_viewer; }
    MessageWindow &message() { return m_message; }
    ScreenSender &screen() { return m_screen; }
    bool isDemonstrating() const { return m_image != nullptr; }

signals:
    // After a command was carried out (or refused).
    void obeyed(const StudentCommand &command);

private:
    void onQuiet();
    void onDisconnected();
    void log(const StudentCommand &command);
    void obey(const StudentCommand &command);
    void startDemonstration();
    void stopDemonstration();
    void onImageDatagram(const QByteArray &data, const QHostAddress &sender);
    void onMouseDatagram(const QByteArray &data, const QHostAddress &sender);
    bool fromConsole(const QHostAddress &sender) const;
    // The black-out stays above the demonstration and holds the input while it is on; X11
    // gives a grab to one window only, so whoever stays on screen takes it back.
    void arrangeSurfaces();

    AgentSettings m_settings;
    Seams m_seams;
    ConsoleLink m_link;
    CommandStream m_commands;
    BurstLog m_log;
    qint64 m_discardedLogged = 0;
    ApplicationLauncher m_launcher;
    CustomCommandRunner m_custom;
    BlackoutScreen m_blackout;
    ViewerWindow m_viewer;
    MessageWindow m_message;
    ScreenSender m_screen;
    FrameAssembler m_frames{FrameAssembler::Mode::Viewing};
    JpegDecoder m_decoder;
    std::shared_ptr<DatagramHub> m_image;
    std::shared_ptr<DatagramHub> m_mouse;
};
