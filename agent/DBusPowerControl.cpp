#include "agent/DBusPowerControl.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QtDebug>
#include <utility>

namespace {

const QString kLogin1 = QStringLiteral("org.freedesktop.login1");
const QString kLogin1Path = QStringLiteral("/org/freedesktop/login1");
const QString kLogin1Manager = QStringLiteral("org.freedesktop.login1.Manager");

QString describe(const QDBusMessage &call)
{
    return call.service() + QLatin1Char(' ') + call.interface() + QLatin1Char('.') + call.member();
}

// The manager said no to this agent, rather than failing to do it.
bool isRefusal(const QDBusError &error)
{
    return error.type() == QDBusError::AccessDenied ||
           error.name() ==
               QLatin1String("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired");
}

// Told once, whatever number of calls an action takes (logging off several sessions).
void tell(const std::shared_ptr<PowerControl::Refusal> &refusal, bool refused,
          const QString &reason)
{
    if (*refusal) {
        const PowerControl::Refusal once = std::exchange(*refusal, {});
        once(refused, reason);
    }
}

} // namespace

DBusPowerControl::DBusPowerControl(QDBusConnection system, QDBusConnection session, QObject *parent)
    : QObject(parent), m_system(std::move(system)), m_session(std::move(session))
{
}

void DBusPowerControl::setSessionsToEnd(std::function<QStringList()> sessions)
{
    m_sessionsToEnd = std::move(sessions);
}

void DBusPowerControl::request(Action action, Refusal refusal)
{
    const auto once = std::make_shared<Refusal>(std::move(refusal));
    if (action == Action::LogOff && m_sessionsToEnd) {
        const QStringList sessions = m_sessionsToEnd();
        if (sessions.isEmpty()) {
            qInfo("log off: no graphical session to end");
            emit answered(QString(), QStringLiteral("no graphical session"));
            tell(once, false, QStringLiteral("nobody is logged in to a graphical session"));
        }
        for (const QString &id : sessions) {
            QDBusMessage call = QDBusMessage::createMethodCall(kLogin1, kLogin1Path, kLogin1Manager,
                                                               QStringLiteral("TerminateSession"));
            call << id;
            send(call, m_system, once);
        }
        return;
    }
    if (action == Action::LogOff) {
        const std::optional<QDBusMessage> call = logOffCall();
        send(call, call && call->service() == kLogin1 ? m_system : m_session, once);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        kLogin1, kLogin1Path, kLogin1Manager,
        action == Action::Reboot ? QStringLiteral("Reboot") : QStringLiteral("PowerOff"));
    call << false;
    send(call, m_system, once);
}

std::optional<QDBusMessage> DBusPowerControl::logOffCall() const
{
    const QDBusConnectionInterface *names =
        m_session.isConnected() ? m_session.interface() : nullptr;
    const auto present = [names](const QString &service) {
        return names != nullptr && names->isServiceRegistered(service).value();
    };
    if (present(QStringLiteral("org.gnome.SessionManager"))) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.gnome.SessionManager"), QStringLiteral("/org/gnome/SessionManager"),
            QStringLiteral("org.gnome.SessionManager"), QStringLiteral("Logout"));
        call << 1u; // no confirmation dialog
        return call;
    }
    if (present(QStringLiteral("org.kde.ksmserver"))) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.ksmserver"), QStringLiteral("/KSMServer"),
            QStringLiteral("org.kde.KSMServerInterface"), QStringLiteral("logout"));
        call << 0 << 0 << 0; // no confirmation, log out, at once
        return call;
    }
    if (present(QStringLiteral("org.xfce.SessionManager"))) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.xfce.SessionManager"), QStringLiteral("/org/xfce/SessionManager"),
            QStringLiteral("org.xfce.Session.Manager"), QStringLiteral("Logout"));
        call << false << true; // no dialog, let programs save
        return call;
    }
    const QString session = qEnvironmentVariable("XDG_SESSION_ID");
    if (session.isEmpty()) {
        return std::nullopt;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kLogin1, kLogin1Path, kLogin1Manager,
                                                       QStringLiteral("TerminateSession"));
    call << session;
    return call;
}

void DBusPowerControl::send(const std::optional<QDBusMessage> &request, QDBusConnection bus,
                            const std::shared_ptr<Refusal> &refusal)
{
    if (!request) {
        qWarning("log off refused: no session manager and no XDG_SESSION_ID");
        emit answered(QString(), QStringLiteral("no session manager"));
        tell(refusal, false, QStringLiteral("no session manager to log off through"));
        return;
    }
    const QDBusMessage call = *request;
    if (!bus.isConnected()) {
        qWarning().noquote() << describe(call) << "refused: bus not connected";
        emit answered(describe(call), QStringLiteral("bus not connected"));
        tell(refusal, false, describe(call) + QStringLiteral(": bus not connected"));
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, call, refusal](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QString error = finished->isError() ? finished->error().message() : QString();
                if (!error.isEmpty()) {
                    qWarning().noquote() << describe(call) << "refused:" << error;
                    tell(refusal, isRefusal(finished->error()), describe(call) + ": " + error);
                }
                emit answered(describe(call), error);
            });
}
