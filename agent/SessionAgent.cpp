#include "agent/SessionAgent.h"

#include "agent/ScreenGrabber.h"
#include "capture/ScreenCapture.h"
#include "net/DatagramHub.h"
#include "protocol/MouseDatagram.h"
#include "system/Guard.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtDebug>
#include <pwd.h>
#include <unistd.h>

namespace {

ScreenSender::Producer realScreen(int quality)
{
    auto grabber = std::make_shared<ScreenGrabber>(quality);
    return [grabber] { return grabber->grab(); };
}

// The X screen for the wall's tiles, connected at the first look and again after a failure
// (logged once a run of them).
WallSender::Screen realWallScreen()
{
    struct Capture
    {
        std::unique_ptr<ScreenCapture> screen;
        bool failing = false;
    };
    auto capture = std::make_shared<Capture>();
    return [capture]() -> WallTile::Screen {
        try {
            if (!capture->screen) {
                capture->screen = std::make_unique<ScreenCapture>();
            }
            const ScreenCapture::Frame &frame = capture->screen->capture();
            capture->failing = false;
            return {frame.pixels, frame.width, frame.height, frame.stride};
        } catch (const std::exception &error) {
            if (!capture->failing) {
                qWarning().noquote() << "screen wall: cannot capture the screen:" << error.what();
            }
            capture->failing = true;
            capture->screen.reset();
            return {};
        }
    };
}

} // namespace

SessionAgent::SessionAgent(const AgentSettings &settings, ProgramStarter &starter,
                           CustomCommandRunner::RootCheck isRoot, ScreenSender::Producer screen,
                           WallSender::Screen wallScreen, QObject *parent)
    : QObject(parent), m_settings(settings), m_launcher(settings, starter),
      m_custom(settings.allowCustomCommands, starter, std::move(isRoot)),
      m_wall(wallScreen ? std::move(wallScreen) : realWallScreen())
{
    m_wall.setSink([this](const QByteArray &jpeg) { sendTile(jpeg); });
    m_screen.setFramesPerSecond(settings.screenRate);
    m_screen.setProducer(screen ? std::move(screen) : realScreen(settings.screenQuality));
    connect(&m_screen, &ScreenSender::failed, this,
            [](const QString &reason) { qWarning().noquote() << "screen:" << reason; });
    connect(&m_stream, &StreamViewer::changed, this, &SessionAgent::onStreamChanged);
    connect(&m_stream, &StreamViewer::pointerMoved, &m_viewer, &ViewerWindow::movePointer);
}

SessionAgent::~SessionAgent() = default;

void SessionAgent::apply(const DisplayState &state)
{
    const DisplayState before = m_state;
    m_state = state;
    m_console = state.console.protocol() == QAbstractSocket::IPv4Protocol
                    ? std::optional<quint32>(state.console.toIPv4Address())
                    : std::nullopt;
    if (state.blackout) {
        m_blackout.show();
    } else {
        m_blackout.hide();
    }
    // The key comes before IMAGE; a pinned agent shows nothing its tag does not vouch for.
    m_stream.setKey(state.demoKey, state.signedOnly);
    if (state.demonstrating) {
        startDemonstration();
    } else if (before.demonstrating) {
        stopDemonstration();
    }
    if (!state.sendingScreen) {
        m_screen.stop();
    } else if (!before.sendingScreen || before.console != state.console ||
               before.local != state.local) {
        m_screen.setSource(state.local);
        m_screen.setDestination(state.console, m_settings.mousePort);
        m_screen.start();
    }
    m_wall.setTile(state.wallTile);
    arrangeSurfaces();
}

void SessionAgent::showMessage(const QString &text, bool cut, quint32)
{
    m_message.showMessage(text, cut);
}

void SessionAgent::launch(AgentSettings::Application application, quint32 id)
{
    if (m_launcher.launch(application).isEmpty()) {
        answer(id, false,
               QStringLiteral("no program set for %1 is installed or could be started")
                   .arg(AgentSettings::applicationKey(application)));
    }
}

void SessionAgent::runCustom(const QString &commandLine, quint32 id)
{
    const CustomCommandRunner::Result result = m_custom.run(commandLine);
    if (!result.reason.isEmpty()) {
        qWarning().noquote() << "custom command" << (result.refused ? "refused:" : "failed:")
                             << result.reason;
        answer(id, result.refused, result.reason);
    }
}

QString SessionAgent::user() const
{
    const passwd *account = getpwuid(geteuid());
    return account ? QString::fromLocal8Bit(account->pw_name) : QString();
}

QSize SessionAgent::screenSize() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->size() * screen->devicePixelRatio() : QSize();
}

void SessionAgent::startDemonstration()
{
    if (m_image) {
        return;
    }
    QString error;
    m_image = DatagramHub::acquire(m_settings.imagePort, &error);
    if (!m_image) {
        qWarning().noquote() << "cannot listen on UDP port" << m_settings.imagePort << error;
        return;
    }
    m_mouse = DatagramHub::acquire(m_settings.mousePort, &error);
    if (!m_mouse) {
        qWarning().noquote() << "cannot listen on UDP port" << m_settings.mousePort << error;
    } else {
        connect(m_mouse.get(), &DatagramHub::datagramReceived, this,
                &SessionAgent::onMouseDatagram);
    }
    connect(m_image.get(), &DatagramHub::datagramReceived, this, &SessionAgent::onImageDatagram);
    m_frames.reset();
    // Where the Velmora stream is expected, the viewer waits for the first picture of either
    // stream: the stream's own datagrams say whether it shows in a window.
    if (m_state.streamPort == 0 || !m_stream.start(m_state.streamPort, m_state.console))
        m_viewer.start();
}

void SessionAgent::stopDemonstration()
{
    if (m_image) {
        m_image->disconnect(this);
    }
    if (m_mouse) {
        m_mouse->disconnect(this);
    }
    m_image.reset();
    m_mouse.reset();
    m_frames.reset();
    m_stream.stop();
    m_viewer.stop();
}

void SessionAgent::arrangeSurfaces()
{
    if (m_blackout.isShown()) {
        m_blackout.hold();
    } else if (isDemonstrating()) {
        m_viewer.hold();
    }
}

bool SessionAgent::fromConsole(const QHostAddress &sender) const
{
    // Only datagrams from the console's address are shown. Nothing proves that address, so a
    // host that forges it gets through: behind the channel, none is shown.
    return !m_state.signedOnly && m_console && sender.toIPv4Address() == *m_console;
}

void SessionAgent::onImageDatagram(const QByteArray &data, const QHostAddress &sender)
{
    if (!fromConsole(sender) || m_stream.isShowing()) {
        return;
    }
    guard::run([&] {
        const std::optional<QByteArray> frame = m_frames.add(data);
        if (!frame || !m_decoder.decode(*frame)) {
            return;
        }
        const JpegDecoder::Image &image = m_decoder.image();
        if (!m_viewer.isVisible()) {
            m_viewer.start();
            arrangeSurfaces();
        }
        // One conversion both detaches the picture from the decoder and makes it ready to scale
        // and paint.
        m_viewer.showFrame(QImage(image.rgb.data(), image.width, image.height, image.width * 3,
                                  QImage::Format_RGB888)
                               .convertToFormat(QImage::Format_RGB32),
                           QSize(image.sourceWidth, image.sourceHeight));
    });
}

void SessionAgent::onMouseDatagram(const QByteArray &data, const QHostAddress &sender)
{
    // The stream carries its own pointer, in step with its pictures.
    if (!fromConsole(sender) || m_stream.isShowing()) {
        return;
    }
    const MouseDatagram datagram = MouseDatagram::parse(data);
    if (datagram.kind == MouseDatagram::Kind::Cursor) {
        m_viewer.movePointer(QPoint(datagram.x, datagram.y));
    }
}

// The older stream gives way for good once the Velmora stream has drawn; the stream's last
// word on the window decides how the viewer shows.
void SessionAgent::onStreamChanged(const QRect &area)
{
    if (!m_viewer.isVisible()) {
        m_viewer.start(m_stream.canvas().windowed());
        arrangeSurfaces();
    } else if (m_viewer.isWindowed() != m_stream.canvas().windowed()) {
        m_viewer.setWindowed(m_stream.canvas().windowed());
        arrangeSurfaces();
    }
    m_viewer.showCanvas(m_stream.image(), area);
}
