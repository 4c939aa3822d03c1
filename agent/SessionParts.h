#pragma once

#include "agent/LoginSessions.h"
#include "agent/SessionPart.h"
#include "agent/SessionSide.h"

#include <QObject>
#include <QSet>
#include <QTimer>
#include <map>
#include <memory>

// The service's session side: one session part in each graphical (X11) user session, from the
// session's start to its end. The display's state goes to every part, so no session escapes a
// black-out; one-time actions, the monitored screen and the wall's tiles go to or come from the
// active session's part (all parts when logind names none active; the first for screens).
class SessionParts : public QObject, public SessionSide
{
    Q_OBJECT

public:
    // command: the program and arguments of a session part.
    SessionParts(LoginSessions &sessions, const QStringList &command, QObject *parent = nullptr);
    ~SessionParts() override;

    void apply(const DisplayState &state) override;
    void showMessage(const QString &text, bool cut, quint32 id) override;
    void launch(AgentSettings::Application application, quint32 id) override;
    void runCustom(const QString &commandLine, quint32 id) override;
    // The user of the session in front, and its part's screen.
    QString user() const override;
    QSize screenSize() const override;

    // The graphical sessions served, for logging off.
    QStringList sessionIds() const;
    SessionPart *part(const QString &id) const;

signals:
    // A session part that held its display ended and is being started again.
    void partRestarted(const QString &sessionId, const QString &user, const QString &how);

private:
    void onAppeared(const LoginSession &session);
    void onChanged(const LoginSession &session);
    void onRemoved(const QString &id);
    void sendState(SessionPart &part) const;
    void sendAction(const SessionFrame &frame);
    // The parts one-time actions go to.
    QList<SessionPart *> targets() const;
    // The part whose screen goes to the console and the wall: targets()'s first, none when empty.
    SessionPart *front() const;

    LoginSessions &m_sessions;
    QStringList m_command;
    DisplayState m_state;
    std::map<QString, std::unique_ptr<SessionPart>> m_parts;
    QSet<QString> m_refused;
    // The state is sent again now and then: each part must answer it, and raises and grabs
    // again what it shows.
    QTimer m_heartbeat;
};
