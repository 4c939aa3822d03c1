#include "agent/SessionParts.h"

#include <QtDebug>

namespace {

constexpr int kHeartbeatMs = 2000;

} // namespace

SessionParts::SessionParts(LoginSessions &sessions, const QStringList &command, QObject *parent)
    : QObject(parent), m_sessions(sessions), m_command(command)
{
    connect(&sessions, &LoginSessions::appeared, this, &SessionParts::onAppeared);
    connect(&sessions, &LoginSessions::changed, this, &SessionParts::onChanged);
    connect(&sessions, &LoginSessions::removed, this, &SessionParts::onRemoved);
    connect(&m_heartbeat, &QTimer::timeout, this, [this] { apply(m_state); });
    m_heartbeat.start(kHeartbeatMs);
    for (const LoginSession &session : sessions.sessions()) {
        onAppeared(session);
    }
}

SessionParts::~SessionParts() = default;

void SessionParts::onAppeared(const LoginSession &session)
{
    if (!session.isUserSession() || session.state == QLatin1String("closing") ||
        m_parts.count(session.id) > 0) {
        return;
    }
    if (session.type == QLatin1String("wayland")) {
        if (!m_refused.contains(session.id)) {
            m_refused.insert(session.id);
            qWarning().noquote() << "session" << session.id << "of" << session.user
                                 << "is a Wayland session, which this agent does not support: "
                                    "choose an X11 (Xorg) session at the login screen";
        }
        return;
    }
    if (session.type != QLatin1String("x11")) {
        return;
    }
    qInfo().noquote() << "session" << session.id << "of" << session.user << "on display"
                      << session.display << "appeared; starting its part";
    auto part = std::make_unique<SessionPart>(session, m_command);
    SessionPart *raw = part.get();
    connect(raw, &SessionPart::ready, this, [this, raw] { sendState(*raw); });
    connect(
        raw, &SessionPart::answered, this,
        [this](quint32 id, bool refused, const QString &reason) { answer(id, refused, reason); });
    // Only the screen in front goes to the wall: a part that was in front a moment ago may
    // still send one.
    connect(raw, &SessionPart::tile, this, [this, raw](const QByteArray &jpeg) {
        if (front() == raw) {
            sendTile(jpeg);
        }
    });
    connect(raw, &SessionPart::restarted, this, [this, raw](const QString &how) {
        // The session may be closing: its display goes first, then logind says so.
        m_sessions.refresh(raw->session().id);
        emit partRestarted(raw->session().id, raw->session().user, how);
    });
    m_parts.emplace(session.id, std::move(part));
    raw->start();
}

void SessionParts::onChanged(const LoginSession &session)
{
    const auto found = m_parts.find(session.id);
    if (found == m_parts.end()) {
        onAppeared(session);
        return;
    }
    if (session.state == QLatin1String("closing")) {
        qInfo().noquote() << "session" << session.id << "is closing; its part ends";
        m_parts.erase(found);
        return;
    }
    const bool activeBefore = found->second->session().active;
    found->second->setSession(session);
    if (activeBefore != session.active) {
        // The monitored screen follows the session in front.
        for (const auto &[id, part] : m_parts) {
            sendState(*part);
        }
    }
}

void SessionParts::onRemoved(const QString &id)
{
    m_refused.remove(id);
    const auto found = m_parts.find(id);
    if (found != m_parts.end()) {
        qInfo().noquote() << "session" << id << "ended; its part ends";
        found->second->stop();
        m_parts.erase(found);
    }
}

QStringList SessionParts::sessionIds() const
{
    QStringList ids;
    for (const auto &[id, part] : m_parts) {
        ids.append(id);
    }
    return ids;
}

SessionPart *SessionParts::part(const QString &id) const
{
    const auto found = m_parts.find(id);
    return found == m_parts.end() ? nullptr : found->second.get();
}

QList<SessionPart *> SessionParts::targets() const
{
    QList<SessionPart *> active;
    QList<SessionPart *> all;
    for (const auto &[id, part] : m_parts) {
        all.append(part.get());
        if (part->session().active) {
            active.append(part.get());
        }
    }
    return active.isEmpty() ? all : active;
}

SessionPart *SessionParts::front() const
{
    SessionPart *first = nullptr;
    for (const auto &[id, part] : m_parts) {
        if (part->session().active) {
            return part.get();
        }
        if (first == nullptr) {
            first = part.get();
        }
    }
    return first;
}

void SessionParts::sendState(SessionPart &part) const
{
    SessionFrame frame;
    frame.kind = SessionFrame::Kind::State;
    frame.state = m_state;
    // One screen goes to the console: the first target's.
    const bool inFront = front() == &part;
    frame.state.sendingScreen = m_state.sendingScreen && inFront;
    frame.state.wallTile = inFront ? m_state.wallTile : QSize();
    part.send(frame);
}

void SessionParts::apply(const DisplayState &state)
{
    m_state = state;
    for (const auto &[id, part] : m_parts) {
        sendState(*part);
    }
}

void SessionParts::sendAction(const SessionFrame &frame)
{
    const QList<SessionPart *> parts = targets();
    if (parts.isEmpty()) {
        qInfo("no graphical session to carry the command out in");
        answer(frame.id, false, QStringLiteral("nobody is logged in to a graphical session"));
    }
    for (SessionPart *part : parts) {
        part->send(frame);
    }
}

void SessionParts::showMessage(const QString &text, bool cut, quint32 id)
{
    SessionFrame frame;
    frame.kind = SessionFrame::Kind::Message;
    frame.text = text;
    frame.cut = cut;
    frame.id = id;
    sendAction(frame);
}

void SessionParts::launch(AgentSettings::Application application, quint32 id)
{
    SessionFrame frame;
    frame.kind = SessionFrame::Kind::Launch;
    frame.application = application;
    frame.id = id;
    sendAction(frame);
}

void SessionParts::runCustom(const QString &commandLine, quint32 id)
{
    SessionFrame frame;
    frame.kind = SessionFrame::Kind::Custom;
    frame.text = commandLine;
    frame.id = id;
    sendAction(frame);
}

QString SessionParts::user() const
{
    const SessionPart *shown = front();
    return shown ? shown->session().user : QString();
}

QSize SessionParts::screenSize() const
{
    const SessionPart *shown = front();
    return shown ? shown->screenSize() : QSize();
}
