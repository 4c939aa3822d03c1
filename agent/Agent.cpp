#include "agent/Agent.h"

#include "agent/PowerControl.h"
#include "agent/ScreenGrabber.h"
#include "platform/Guard.h"
#include "student/DatagramHub.h"
#include "student/MouseDatagram.h"
#include "student/TextFraming.h"

#include <QtDebug>
#include <malloc.h>

namespace {

using Kind = StudentCommand::Kind;

// How much of unknown bytes the journal shows.
constexpr qsizetype kSampleBytes = 64;
constexpr qint64 kTrimAfterBytes = 1024 * 1024;

ScreenSender::Producer realScreen(int quality)
{
    auto grabber = std::make_shared<ScreenGrabber>(quality);
    return [grabber] { return grabber->grab(); };
}

} // namespace

Agent::Agent(const AgentSettings &settings, Seams seams, QObject *parent)
    : QObject(parent), m_settings(settings), m_seams(std::move(seams)), m_link(settings),
      m_launcher(settings, *m_seams.starter),
      m_custom(settings.allowCustomCommands, *m_seams.starter, m_seams.isRoot)
{
    m_screen.setFramesPerSecond(settings.screenRate);
    m_screen.setProducer(m_seams.screen ? m_seams.screen : realScreen(settings.screenQuality));
    connect(&m_screen, &ScreenSender::failed, this,
            [](const QString &reason) { qWarning().noquote() << "screen:" << reason; });
    connect(&m_link, &ConsoleLink::bytesReceived, &m_commands, &CommandStream::feed);
    connect(&m_commands, &CommandStream::command, this,
            [this](const StudentCommand &command) { guard::run([&] { obey(command); }); });
    connect(&m_commands, &CommandStream::quiet, this, &Agent::onQuiet);
    connect(&m_link, &ConsoleLink::disconnected, this, &Agent::onDisconnected);
}

Agent::~Agent() = default;

void Agent::start()
{
    m_link.start();
}

// The end of a burst: what it held is summed up in the journal.
void Agent::onQuiet()
{
    const qint64 discarded = m_commands.discarded() - m_discardedLogged;
    if (discarded > 0) {
        qWarning().noquote() << "discarded" << discarded
                             << "bytes that followed a text cut at its bound";
    }
    m_discardedLogged = m_commands.discarded();
    // The C library keeps what a flood made it allocate unless asked to give it back.
    if (m_log.endBurst() + discarded > kTrimAfterBytes) {
        malloc_trim(0);
    }
}

void Agent::onDisconnected()
{
    for (const StudentCommand &command : m_commands.end()) {
        // What was cut off by the close is no whole command: a half message is not shown.
        if (command.kind != Kind::Message && command.kind != Kind::Custom) {
            obey(command);
        }
    }
    onQuiet();
    // A console that went away never leaves the student locked, watched or watching.
    m_blackout.hide();
    stopDemonstration();
    m_screen.stop();
}

void Agent::log(const StudentCommand &command)
{
    const QString name = StudentCommand::kindName(command.kind);
    if (command.kind == Kind::Unknown) {
        if (m_log.note(QStringLiteral("unknown bytes"), command.raw.size())) {
            qWarning().noquote() << "unknown bytes from the console:"
                                 << command.raw.left(kSampleBytes).toPercentEncoding();
        }
    } else if (command.cut) {
        if (m_log.note(name + QStringLiteral(" cut"), command.raw.size())) {
            qWarning().noquote() << name << "longer than" << framing::kTextBound
                                 << (command.kind == Kind::Custom ? "bytes: not run"
                                                                  : "bytes: shown cut")
                                 << "and what follows until the stream falls quiet discarded";
        }
    } else if (m_log.note(QStringLiteral("command ") + name, command.raw.size())) {
        qInfo().noquote() << "command" << name;
    }
}

void Agent::obey(const StudentCommand &command)
{
    log(command);
    switch (command.kind) {
    case Kind::LogOff:
        m_seams.power->request(PowerControl::Action::LogOff);
        break;
    case Kind::Restart:
        m_seams.power->request(PowerControl::Action::Reboot);
        break;
    case Kind::ShutDown:
        m_seams.power->request(PowerControl::Action::PowerOff);
        break;
    case Kind::Notepad:
    case Kind::Explorer:
    case Kind::WordPad:
    case Kind::Paint:
    case Kind::Word:
        m_launcher.launch(
            static_cast<AgentSettings::Application>(int(command.kind) - int(Kind::Notepad)));
        break;
    case Kind::Message:
        m_message.showMessage(command.argumentText(), command.cut);
        break;
    case Kind::Custom:
        if (command.cut) {
            break;
        }
        if (const QString refusal = m_custom.run(command.argumentText()); !refusal.isEmpty()) {
            qWarning().noquote() << "custom command refused:" << refusal;
        }
        break;
    case Kind::BlackScreen:
        m_blackout.show();
        arrangeSurfaces();
        break;
    case Kind::UnblackScreen:
        m_blackout.hide();
        arrangeSurfaces();
        break;
    case Kind::Screen:
        m_screen.setSource(m_link.localAddress());
        m_screen.setDestination(m_link.consoleAddress(), m_settings.mousePort);
        m_screen.start();
        break;
    case Kind::NotScreen:
        m_screen.stop();
        break;
    case Kind::Image:
        startDemonstration();
        arrangeSurfaces();
        break;
    case Kind::Stop:
        stopDemonstration();
        arrangeSurfaces();
        break;
    case Kind::Unknown:
        break;
    }
    emit obeyed(command);
}

void Agent::startDemonstration()
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
        connect(m_mouse.get(), &DatagramHub::datagramReceived, this, &Agent::onMouseDatagram);
    }
    connect(m_image.get(), &DatagramHub::datagramReceived, this, &Agent::onImageDatagram);
    m_frames.reset();
    m_viewer.start();
}

void Agent::stopDemonstration()
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
    m_viewer.stop();
}

void Agent::arrangeSurfaces()
{
    if (m_blackout.isShown()) {
        m_blackout.hold();
    } else if (isDemonstrating()) {
        m_viewer.hold();
    }
}

bool Agent::fromConsole(const QHostAddress &sender) const
{
    // Only datagrams from the console's address are shown. Nothing proves that address, so a
    // host that forges it still gets through until the stream is signed.
    return QHostAddress(sender.toIPv4Address()) == m_link.consoleAddress();
}

void Agent::onImageDatagram(const QByteArray &data, const QHostAddress &sender)
{
    if (!fromConsole(sender)) {
        return;
    }
    guard::run([&] {
        const std::optional<QByteArray> frame = m_frames.add(data);
        if (!frame || !m_decoder.decode(*frame)) {
            return;
        }
        const JpegDecoder::Image &image = m_decoder.image();
        // One conversion both detaches the picture from the decoder and makes it ready to scale
        // and paint.
        m_viewer.showFrame(QImage(image.rgb.data(), image.width, image.height, image.width * 3,
                                  QImage::Format_RGB888)
                               .convertToFormat(QImage::Format_RGB32),
                           QSize(image.sourceWidth, image.sourceHeight));
    });
}

void Agent::onMouseDatagram(const QByteArray &data, const QHostAddress &sender)
{
    if (!fromConsole(sender)) {
        return;
    }
    const MouseDatagram datagram = MouseDatagram::parse(data);
    if (datagram.kind == MouseDatagram::Kind::Cursor) {
        m_viewer.movePointer(QPoint(datagram.x, datagram.y));
    }
}
