#pragma once

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>

// One row of logind's ListSessions: id, uid, user name, seat, object path.
struct FakeSessionEntry
{
    QString id;
    uint uid = 0;
    QString user;
    QString seat;
    QDBusObjectPath path;
};
Q_DECLARE_METATYPE(FakeSessionEntry)
QDBusArgument &operator<<(QDBusArgument &argument, const FakeSessionEntry &entry);
const QDBusArgument &operator>>(const QDBusArgument &argument, FakeSessionEntry &entry);

// The login manager as a test's private bus offers it; it records instead of powering off.
class FakeLogin1 : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    QStringList calls;
    // Answer PowerOff the way polkit refuses an unprivileged user.
    bool refusePowerOff = false;
    QList<FakeSessionEntry> sessions;

public slots:
    QList<FakeSessionEntry> ListSessions() { return sessions; }
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

// A login session as logind shows it on the bus.
class FakeSession : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(QString Name MEMBER name)
    Q_PROPERTY(QString Type MEMBER type)
    Q_PROPERTY(QString Class MEMBER sessionClass)
    Q_PROPERTY(QString Display MEMBER display)
    Q_PROPERTY(QString State MEMBER state)
    Q_PROPERTY(uint Leader MEMBER leader)
    Q_PROPERTY(bool Active MEMBER active)

public:
    QString name;
    QString type = QStringLiteral("x11");
    QString sessionClass = QStringLiteral("user");
    QString display;
    QString state = QStringLiteral("active");
    uint leader = 0;
    bool active = true;
};
