#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QStringList>

// The login manager as a test's private bus offers it; it records instead of powering off.
class FakeLogin1 : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    QStringList calls;
    // Answer PowerOff the way polkit refuses an unprivileged user.
    bool refusePowerOff = false;

public slots:
    void PowerOff(bool interactive, const QDBusMessage &message);
    void Reboot(bool interactive) { calls << QStringLiteral("Reboot %1").arg(interactive); }
    void TerminateSession(const QString &id) { calls << QStringLiteral("TerminateSession ") + id; }
};

// A GNOME session manager that records the log-off it is asked for.
class FakeGnomeSession : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.SessionManager")

public:
    QStringList calls;

public slots:
    void Logout(uint mode) { calls << QStringLiteral("Logout %1").arg(mode); }
};
