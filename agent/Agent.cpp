#include "agent/Agent.h"

#include "agent/PowerControl.h"
#include "protocol/CommandParser.h"
#include "protocol/TextFraming.h"
#include "system/Guard.h"

#include <QNetworkInterface>
#include <QPointer>
#include <QSysInfo>
#include <QtDebug>
#include <malloc.h>

namespace {

using Kind = StudentCommand::Kind;

// How much of unknown bytes the journal shows.
constexpr qsizetype kSampleBytes = 64;
constexpr qint64 kTrimAfterBytes = 1024 * 1024;
// How often the channel's hello is looked at again: a student logs in, a screen changes.
constexpr int kHelloCheckMs = 2000;
const QStringList kCapabilities = {QStringLiteral("answers"), QStringLiteral("sessionEvents"),
                                   QStringLiteral("wall")};

// The hardware address of the interface that holds local; empty when none does.
QByteArray macOf(const QHostAddress &local)
{
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry &entry : interface.addressEntries()) {
            if (entry.ip() == local) {
                const QByteArray mac = QByteArray::fromHex(interface.hardwareAddress().toLatin1());
                // Loopback and tunnels have none (all zero).
                return mac.size() == ChannelMessage::kMacSize &&
                               mac != QByteArray(ChannelMessage::kMacSize, '\0')
                           ? mac
                           : QByteArray();
            }
        }
    }
    return {};
}

std::unique_ptr<SessionAgent> ownSide(const AgentSettings &settings, Agent::Seams &seams)
{
    if (seams.side != nullptr) {
        return nullptr;
    }
    return std::make_unique<SessionAgent>(settings, *seams.starter, seams.isRoot, seams.screen,
                                          seams.wallScreen);
}

} // namespace

Agent::Agent(const AgentSettings &settings, Seams seams, QObject *parent)
    : QObject(parent), m_seams(std::move(seams)), m_ownSide(ownSide(settings, m_seams)),
      m_side(m_ownSide ? *m_ownSide : *m_seams.side),
      m_streamPort(settings.useStream ? settings.streamPort : 0), m_link(settings)
{
    connect(&m_link, &ConsoleLink::bytesReceived, &m_commands, &CommandStream::feed);
    connect(&m_commands, &CommandStream::command, this,
            [this](const StudentCommand &command) { guard::run([&] { obey(command); }); });
    connect(&m_commands, &CommandStream::quiet, this, &Agent::onQuiet);
    connect(&m_link, &ConsoleLink::connected, this, &Agent::onConnected);
    connect(&m_link, &ConsoleLink::disconnected, this, &Agent::onDisconnected);
    connect(&m_link, &ConsoleLink::messageReceived, this, [this](const ChannelMessage &message) {
        guard::run([&] { onChannelMessage(message); });
    });
    m_side.setAnswer(
        [this](quint32 id, bool refused, const QString &reason) { answer(id, refused, reason); });
    m_side.setTileSink([this](const QByteArray &jpeg) {
        ChannelMessage tile;
        tile.kind = ChannelMessage::Kind::Tile;
        tile.jpeg = jpeg;
        m_link.send(tile);
    });
    m_helloCheck.setInterval(kHelloCheckMs);
    connect(&m_helloCheck, &QTimer::timeout, this, &Agent::sayHello);
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

void Agent::onConnected()
{
    if (!m_link.usesChannel()) {
        return;
    }
    m_helloSaid = false;
    m_hello.mac = macOf(m_link.localAddress());
    sayHello();
    m_helloCheck.start();
}

// The first hello makes the agent a student of the console; a later one says what changed.
void Agent::sayHello()
{
    if (!m_link.isConnected()) {
        return;
    }
    const QSize screen = m_side.screenSize();
    const bool screenFits = screen.width() <= ChannelMessage::kMaxScreenSide &&
                            screen.height() <= ChannelMessage::kMaxScreenSide;
    const QString user = m_side.user().left(ChannelMessage::kMaxName);
    if (m_helloSaid && user == m_hello.user && (screenFits ? screen : QSize()) == m_hello.screen) {
        return;
    }
    m_hello.kind = ChannelMessage::Kind::Hello;
    m_hello.capabilities = kCapabilities;
    m_hello.host = QSysInfo::machineHostName().left(ChannelMessage::kMaxName);
    m_hello.user = user;
    m_hello.screen = screenFits ? screen : QSize();
    m_link.send(m_hello);
    m_helloSaid = true;
}

void Agent::reportPartRestarted(const QString &session, const QString &user, const QString &how)
{
    ChannelMessage event;
    event.kind = ChannelMessage::Kind::SessionEvent;
    event.session = session.left(ChannelMessage::kMaxName);
    event.user = user.left(ChannelMessage::kMaxName);
    event.reason = how.left(ChannelMessage::kMaxReason);
    m_link.send(event);
}

// Each command message is one whole text: the quiet gap of the plaintext port has no part here.
void Agent::onChannelMessage(const ChannelMessage &message)
{
    DisplayState next = m_state;
    switch (message.kind) {
    case ChannelMessage::Kind::Command: {
        CommandParser parser;
        QList<StudentCommand> commands = parser.feed(message.text);
        commands += parser.flush();
        for (const StudentCommand &command : std::as_const(commands)) {
            obey(command, message.id);
        }
        break;
    }
    case ChannelMessage::Kind::Welcome:
        next.streamPort = message.streamPort;
        setState(next);
        break;
    case ChannelMessage::Kind::DemoKey:
        next.demoKey = message.key;
        setState(next);
        break;
    case ChannelMessage::Kind::Wall:
        next.wallTile = message.on && !message.tile.isEmpty() ? message.tile : QSize();
        setState(next);
        break;
    default:
        break;
    }
}

void Agent::answer(quint32 id, bool refused, const QString &reason)
{
    if (id != 0) {
        m_link.send(ChannelMessage::answer(id, refused, reason));
    }
}

void Agent::power(PowerControl::Action action, quint32 id)
{
    // The answer may come after this agent has gone.
    m_seams.power->request(action,
                           [self = QPointer<Agent>(this), id](bool refused, const QString &reason) {
                               if (self) {
                                   self->answer(id, refused, reason);
                               }
                           });
}

void Agent::onDisconnected()
{
    m_helloCheck.stop();
    for (const StudentCommand &command : m_commands.end()) {
        // What was cut off by the close is no whole command: a half message is not shown.
        if (command.kind != Kind::Message && command.kind != Kind::Custom) {
            obey(command);
        }
    }
    onQuiet();
    // A console that went away never leaves the student locked, watched or watching.
    setState({});
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

void Agent::setState(const DisplayState &state)
{
    m_state = state;
    m_side.apply(m_state);
}

void Agent::obey(const StudentCommand &command, quint32 id)
{
    log(command);
    DisplayState next = m_state;
    next.console = m_link.consoleAddress();
    next.signedOnly = m_link.usesChannel();
    switch (command.kind) {
    case Kind::LogOff:
        power(PowerControl::Action::LogOff, id);
        break;
    case Kind::Restart:
        power(PowerControl::Action::Reboot, id);
        break;
    case Kind::ShutDown:
        power(PowerControl::Action::PowerOff, id);
        break;
    case Kind::Notepad:
    case Kind::Explorer:
    case Kind::WordPad:
    case Kind::Paint:
    case Kind::Word:
        m_side.launch(
            static_cast<AgentSettings::Application>(int(command.kind) - int(Kind::Notepad)), id);
        break;
    case Kind::Message:
        m_side.showMessage(command.argumentText(), command.cut, id);
        break;
    case Kind::Custom:
        if (command.cut) {
            answer(id, true,
                   QStringLiteral("longer than %1 bytes: not run").arg(framing::kTextBound));
            break;
        }
        m_side.runCustom(command.argumentText(), id);
        break;
    case Kind::BlackScreen:
        next.blackout = true;
        setState(next);
        break;
    case Kind::UnblackScreen:
        next.blackout = false;
        setState(next);
        break;
    case Kind::Screen:
        next.sendingScreen = true;
        next.local = m_link.localAddress();
        setState(next);
        break;
    case Kind::NotScreen:
        next.sendingScreen = false;
        setState(next);
        break;
    case Kind::Image:
        next.demonstrating = true;
        // On the channel the console's welcome named the stream's port; student.ini otherwise.
        if (!m_link.usesChannel())
            next.streamPort = m_streamPort;
        setState(next);
        break;
    case Kind::Stop:
        next.demonstrating = false;
        next.demoKey = StreamKey();
        setState(next);
        break;
    case Kind::Unknown:
        answer(id, true, QStringLiteral("not a command this agent knows"));
        break;
    }
    emit obeyed(command);
}
