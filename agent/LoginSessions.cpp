#include "agent/LoginSessions.h"

#include <QDBusArgument>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QVariantMap>
#include <QtDebug>
#include <pwd.h>

namespace {

const QString kLogin1 = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// The uid of a user name: logind names the user, and the name is what the system resolves.
std::optional<uint> uidOf(const QString &user)
{
    const passwd *entry = getpwnam(user.toLocal8Bit().constData());
    if (entry == nullptr) {
        return std::nullopt;
    }
    return entry->pw_uid;
}

} // namespace

LoginSessions::LoginSessions(QDBusConnection bus, QObject *parent)
    : QObject(parent), m_bus(std::move(bus))
{
}

void LoginSessions::start()
{
    // Listened to before the list is asked for, so no session falls between the two.
    const bool listening =
        m_bus.connect(kLogin1, kManagerPath, kManager, QStringLiteral("SessionNew"), this,
                      SLOT(onManagerSignal(QDBusMessage))) &&
        m_bus.connect(kLogin1, kManagerPath, kManager, QStringLiteral("SessionRemoved"), this,
                      SLOT(onManagerSignal(QDBusMessage))) &&
        m_bus.connect(kLogin1, QString(), kProperties, QStringLiteral("PropertiesChanged"), this,
                      SLOT(onPropertiesChanged(QDBusMessage)));
    if (!listening) {
        qWarning("cannot follow logind's sessions: new sessions get no display part");
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(kLogin1, kManagerPath, kManager,
                                                             QStringLiteral("ListSessions"));
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                onListed(finished->reply());
            });
}

void LoginSessions::onListed(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qWarning().noquote() << "logind does not list the sessions:" << reply.errorMessage();
        return;
    }
    // a(susso): id, uid, user name, seat, object path.
    const QDBusArgument list = reply.arguments().constFirst().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        QString id;
        uint uid = 0;
        QString user;
        QString seat;
        QDBusObjectPath path;
        list.beginStructure();
        list >> id >> uid >> user >> seat >> path;
        list.endStructure();
        read(id, path.path());
    }
    list.endArray();
}

void LoginSessions::refresh(const QString &id)
{
    if (m_sessions.contains(id)) {
        read(id, m_sessions[id].path);
    }
}

void LoginSessions::onManagerSignal(const QDBusMessage &message)
{
    // SessionNew and SessionRemoved: (id, object path).
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() != 2) {
        return;
    }
    const QString id = arguments[0].toString();
    if (message.member() == QLatin1String("SessionNew")) {
        read(id, arguments[1].value<QDBusObjectPath>().path());
        return;
    }
    m_pending.remove(id);
    if (m_sessions.remove(id) > 0) {
        emit removed(id);
    }
}

void LoginSessions::onPropertiesChanged(const QDBusMessage &message)
{
    for (const LoginSession &session : std::as_const(m_sessions)) {
        if (session.path == message.path()) {
            read(session.id, session.path);
            return;
        }
    }
}

void LoginSessions::read(const QString &id, const QString &path)
{
    if (!m_sessions.contains(id)) {
        m_pending.insert(id, path);
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kLogin1, path, kProperties, QStringLiteral("GetAll"));
    call << kSession;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, id, path](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                onRead(id, path, finished->reply());
            });
}

void LoginSessions::onRead(const QString &id, const QString &path, const QDBusMessage &reply)
{
    const bool known = m_sessions.contains(id);
    if (!known && m_pending.value(id) != path) {
        return; // removed while its properties were asked for
    }
    m_pending.remove(id);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qWarning().noquote() << "logind does not describe session" << id << reply.errorMessage();
        return;
    }
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    LoginSession session;
    session.id = id;
    session.path = path;
    session.user = properties.value(QStringLiteral("Name")).toString();
    session.type = properties.value(QStringLiteral("Type")).toString();
    session.sessionClass = properties.value(QStringLiteral("Class")).toString();
    session.display = properties.value(QStringLiteral("Display")).toString();
    session.leader = properties.value(QStringLiteral("Leader")).toUInt();
    session.state = properties.value(QStringLiteral("State")).toString();
    session.active = properties.value(QStringLiteral("Active")).toBool();
    const std::optional<uint> uid = uidOf(session.user);
    if (!uid) {
        qWarning().noquote() << "session" << id << "names user" << session.user
                             << "whom this computer does not know";
        return;
    }
    session.uid = *uid;
    m_sessions.insert(id, session);
    if (known) {
        emit changed(session);
    } else {
        emit appeared(session);
    }
}
