#include "agent/DBusPowerControl.h"
#include "tests/agent/FakeSessionServices.h"
#include "tests/agent/PrivateBus.h"
#include "tests/support/WaitUntil.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>

QDBusArgument &operator<<(QDBusArgument &argument, const FakeSessionEntry &entry)
{
    argument.beginStructure();
    argument << entry.id << entry.uid << entry.user << entry.seat << entry.path;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, FakeSessionEntry &entry)
{
    argument.beginStructure();
    argument >> entry.id >> entry.uid >> entry.user >> entry.seat >> entry.path;
    argument.endStructure();
    return argument;
}

void FakeLogin1::PowerOff(bool interactive, const QDBusMessage &message)
{
    calls << QStringLiteral("PowerOff %1").arg(interactive);
    if (refusePowerOff) {
        message.setDelayedReply(true);
        QDBusConnection::connectToBus(QString(), QStringLiteral("service"))
            .send(
                message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                         QStringLiteral("Interactive authentication required.")));
    }
}

// A private bus of the test's own, standing for both the system and the session bus.
class PowerControlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!bus.start()) {
            GTEST_SKIP() << "dbus-daemon cannot run here";
        }
        const QString address = bus.address();
        service = QDBusConnection::connectToBus(address, QStringLiteral("service"));
        client = QDBusConnection::connectToBus(address, QStringLiteral("client"));
        ASSERT_TRUE(service.isConnected() && client.isConnected());
        ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/login1"), &login1,
                                           QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.login1")));
    }
    void TearDown() override
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    }
    // Asks for the action and returns the manager's answer (empty: accepted).
    QString request(DBusPowerControl &power, PowerControl::Action action)
    {
        QSignalSpy answered(&power, &DBusPowerControl::answered);
        power.request(action);
        EXPECT_TRUE(waitUntil([&] { return answered.size() == 1; }));
        return answered.isEmpty() ? QStringLiteral("no answer") : answered[0][1].toString();
    }

    PrivateBus bus;
    QDBusConnection service{QString()};
    QDBusConnection client{QString()};
    FakeLogin1 login1;
};

TEST_F(PowerControlTest, RestartAndShutDownAskLogin1WithoutPrompting)
{
    DBusPowerControl power(client, client);
    EXPECT_EQ(request(power, PowerControl::Action::Reboot), QString());
    EXPECT_EQ(request(power, PowerControl::Action::PowerOff), QString());
    EXPECT_EQ(login1.calls, (QStringList{"Reboot 0", "PowerOff 0"}));
}

TEST_F(PowerControlTest, RefusalsAndMissingManagersAreAnswersNotCrashes)
{
    login1.refusePowerOff = true;
    DBusPowerControl power(client, client);
    EXPECT_TRUE(request(power, PowerControl::Action::PowerOff).contains("authentication"));

    ASSERT_TRUE(service.unregisterService(QStringLiteral("org.freedesktop.login1")));
    EXPECT_FALSE(request(power, PowerControl::Action::Reboot).isEmpty());

    DBusPowerControl offline(QDBusConnection(QStringLiteral("nowhere")), client);
    EXPECT_FALSE(request(offline, PowerControl::Action::Reboot).isEmpty());
}

TEST_F(PowerControlTest, LogOffGoesToTheSessionManagerElseLogin1EndsTheSession)
{
    qputenv("XDG_SESSION_ID", "c7");
    DBusPowerControl power(client, client);
    EXPECT_EQ(request(power, PowerControl::Action::LogOff), QString());
    EXPECT_EQ(login1.calls, (QStringList{"TerminateSession c7"}));

    FakeGnomeSession gnome;
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/gnome/SessionManager"), &gnome,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.gnome.SessionManager")));
    EXPECT_EQ(request(power, PowerControl::Action::LogOff), QString());
    EXPECT_EQ(gnome.calls, (QStringList{"Logout 1"}));

    qunsetenv("XDG_SESSION_ID");
    service.unregisterService(QStringLiteral("org.gnome.SessionManager"));
    EXPECT_FALSE(request(power, PowerControl::Action::LogOff).isEmpty());
    EXPECT_EQ(login1.calls.size(), 1);
}
