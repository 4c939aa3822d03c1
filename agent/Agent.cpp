#include "agent/Agent.h"

#include "agent/PowerControl.h"
#include "platform/Guard.h"

#include <QtDebug>

namespace {

using Kind = StudentCommand::Kind;

// A stream of junk must not flood the session's journal.
constexpr int kUnknownLogLimit = 20;

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
      m_side(m_ownSide ? *m_ownSide : *m_seams.side), m_link(settings)
{
    connect(&m_link, &ConsoleLink::bytesReceived, this, &Agent::onBytes);
    connect(&m_link, &ConsoleLink::disconnected, this, &Agent::onDisconnected);
}

Agent::~Agent() = default;

void Agent::start()
{
    m_link.start();
}

void Agent::onBytes(const QByteArray &bytes)
{
    guard::run([&] {
        for (const StudentCommand &command : m_parser.feed(bytes)) {
            obey(command);
        }
    });
}

void Agent::onDisconnected()
{
    for (const StudentCommand &command : m_parser.flush()) {
        // What was cut off by the close is no whole command: a half message is not shown.
        if (command.kind != Kind::Message && command.kind != Kind::Custom) {
            obey(command);
        }
    }
    // A console that went away never leaves the student locked, watched or watching.
    setState({});
    m_unknownLogged = 0;
}

void Agent::setState(const DisplayState &state)
{
    m_state = state;
    m_side.apply(m_state);
}

void Agent::obey(const StudentCommand &command)
{
    qInfo().noquote() << "command" << StudentCommand::kindName(command.kind);
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
        m_side.showMessage(command.argumentText());
        break;
    case Kind::Custom:
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
        setState(next);
        break;
    case Kind::Stop:
        next.demonstrating = false;
        setState(next);
        break;
    case Kind::Unknown:
        if (++m_unknownLogged <= kUnknownLogLimit) {
            qWarning().noquote() << "unknown bytes:" << command.raw.left(64).toPercentEncoding()
                                 << (m_unknownLogged == kUnknownLogLimit
                                         ? "(no more are logged on this connection)"
                                         : "");
        }
        break;
    }
    emit obeyed(command);
}
