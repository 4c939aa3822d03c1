#pragma once

#include "agent/PowerControl.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

// Log off, restart and shut down through the session and login managers' D-Bus interfaces,
// with the caller's own rights (no prompt: interactive is false). Calls are asynchronous, so a
// slow or absent manager never holds the agent; every refusal is logged.
class DBusPowerControl : public QObject, public PowerControl
{
    Q_OBJECT

public:
    DBusPowerControl(QDBusConnection system, QDBusConnection session, QObject *parent = nullptr);

    void request(Action action, Refusal refusal = {}) override;
    // For the system service, which has no session of its own: logging off ends these
    // sessions through login1 (the graphical sessions it serves).
    void setSessionsToEnd(std::function<QStringList()> sessions);

signals:
    // The manager's answer: empty error when it accepted.
    void answered(const QString &call, const QString &error);

private:
    // Logging off goes to the first session manager present; login1 ends the session otherwise.
    std::optional<QDBusMessage> logOffCall() const;
    void send(const std::optional<QDBusMessage> &call, QDBusConnection bus,
              const std::shared_ptr<Refusal> &refusal);

    QDBusConnection m_system;
    QDBusConnection m_session;
    std::function<QStringList()> m_sessionsToEnd;
};
