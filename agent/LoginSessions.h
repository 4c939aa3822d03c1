#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QHash>
#include <QObject>
#include <QString>

// One login session as logind describes it.
struct LoginSession
{
    QString id;
    QString path;
    QString user;
    uint uid = 0;
    // "x11", "wayland", "tty", ...; "user" or "greeter", ...
    QString type;
    QString sessionClass;
    QString display;
    uint leader = 0;
    // "online", "active" or "closing".
    QString state;
    bool active = false;

    bool isUserSession() const { return sessionClass == QLatin1String("user"); }
};

// The login sessions of this computer, followed through logind (org.freedesktop.login1) on
// the given bus: those listed at the start, then each new, changed and removed one. Every call
// is asynchronous, so a slow logind never holds the service.
class LoginSessions : public QObject
{
    Q_OBJECT

public:
    explicit LoginSessions(QDBusConnection bus, QObject *parent = nullptr);

    void start();
    // Reads a session's properties again (announced through changed).
    void refresh(const QString &id);
    const QHash<QString, LoginSession> &sessions() const { return m_sessions; }

signals:
    void appeared(const LoginSession &session);
    void changed(const LoginSession &session);
    void removed(const QString &id);

public slots:
    // QtDBus delivers signals to public slots named by text only.
    void onManagerSignal(const QDBusMessage &message);
    void onPropertiesChanged(const QDBusMessage &message);

private:
    void onListed(const QDBusMessage &reply);
    void read(const QString &id, const QString &path);
    void onRead(const QString &id, const QString &path, const QDBusMessage &reply);

    QDBusConnection m_bus;
    QHash<QString, LoginSession> m_sessions;
    // Paths being read for the first time, so a removal before the answer is not announced.
    QHash<QString, QString> m_pending;
};
