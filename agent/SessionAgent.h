#pragma once

#include "agent/AgentSettings.h"
#include "agent/ApplicationLauncher.h"
#include "agent/BlackoutScreen.h"
#include "agent/CustomCommandRunner.h"
#include "agent/MessageWindow.h"
#include "agent/SessionSide.h"
#include "agent/StreamViewer.h"
#include "agent/ViewerWindow.h"
#include "net/ScreenSender.h"
#include "protocol/FrameAssembler.h"
#include "protocol/JpegDecoder.h"
#include "protocol/WallSender.h"

#include <QObject>
#include <memory>
#include <optional>

class DatagramHub;
class ProgramStarter;

// The display side of the agent in the student's own session: black-out, the teacher's
// demonstration, messages, the monitored screen, the wall's tiles, programs and custom commands
// as this user.
// Behind the trusted channel the older plaintext demonstration is not shown at all: nothing in
// it proves the console sent it.
class SessionAgent : public QObject, public SessionSide
{
    Q_OBJECT

public:
    // screen: what is sent while monitored, wallScreen: what the wall's tiles are made of; the
    // real X screen when empty.
    SessionAgent(const AgentSettings &settings, ProgramStarter &starter,
                 CustomCommandRunner::RootCheck isRoot, ScreenSender::Producer screen = {},
                 WallSender::Screen wallScreen = {}, QObject *parent = nullptr);
    ~SessionAgent() override;

    void apply(const DisplayState &state) override;
    void showMessage(const QString &text, bool cut, quint32 id) override;
    void launch(AgentSettings::Application application, quint32 id) override;
    void runCustom(const QString &commandLine, quint32 id) override;
    // This process's user, and the primary screen in device pixels.
    QString user() const override;
    QSize screenSize() const override;

    BlackoutScreen &blackout() { return m_blackout; }
    ViewerWindow &viewer() { return m_viewer; }
    // The Velmora stream's side of the viewer; the demonstration's key is set on it.
    StreamViewer &stream() { return m_stream; }
    MessageWindow &message() { return m_message; }
    ScreenSender &screen() { return m_screen; }
    WallSender &wall() { return m_wall; }
    bool isDemonstrating() const { return m_image != nullptr; }

private:
    void startDemonstration();
    void stopDemonstration();
    void onImageDatagram(const QByteArray &data, const QHostAddress &sender);
    void onMouseDatagram(const QByteArray &data, const QHostAddress &sender);
    void onStreamChanged(const QRect &area);
    bool fromConsole(const QHostAddress &sender) const;
    // The black-out stays above the demonstration and holds the input while it is on; X11
    // gives a grab to one window only, so whoever stays on screen takes it back.
    void arrangeSurfaces();

    AgentSettings m_settings;
    DisplayState m_state;
    // The state's console as an IPv4 number, so that no address is built per datagram.
    std::optional<quint32> m_console;
    ApplicationLauncher m_launcher;
    CustomCommandRunner m_custom;
    BlackoutScreen m_blackout;
    ViewerWindow m_viewer;
    StreamViewer m_stream;
    MessageWindow m_message;
    ScreenSender m_screen;
    WallSender m_wall;
    FrameAssembler m_frames{FrameAssembler::Mode::Viewing};
    JpegDecoder m_decoder;
    std::shared_ptr<DatagramHub> m_image;
    std::shared_ptr<DatagramHub> m_mouse;
};
