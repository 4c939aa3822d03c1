#include "agent/Agent.h"

#include "agent/PowerControl.h"
#include "protocol/TextFraming.h"
#include "system/Guard.h"

#include <QtDebug>
#include <malloc.h>

namespace {

using Kind = StudentCommand::Kind;

// How much of unknown bytes the journal shows.
constexpr qsizetype kSampleBytes = 64;
constexpr qint64 kTrimAfterBytes = 1024 * 1024;

std::unique_ptr<SessionAgent> ownSide(const AgentSettings &settings, Agent::Seams &seams)
{
    if (seams.side != nullptr) {
        return nullptr;
    }
    return std::make_unique<SessionAgent>(settings, *seams.starter, seams.isRoot, seams.screen);
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

void Agent::obey(const StudentCommand &command)
{
    log(command);
    DisplayState next = m_state;
    next.console = m_link.consoleAddress();
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
        m_side.launch(
            static_cast<AgentSettings::Application>(int(command.kind) - int(Kind::Notepad)));
        break;
    case Kind::Message:
        m_side.showMessage(command.argumentText(), command.cut);
        break;
    case Kind::Custom:
        if (command.cut) {
            break;
        }
        m_side.runCustom(command.argumentText());
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
        next.streamPort = m_streamPort;
        setState(next);
        break;
    case Kind::Stop:
        next.demonstrating = false;
        setState(next);
        break;
    case Kind::Unknown:
        break;
    }
    emit obeyed(command);
}
