#include "classroom/ScreenFrameSource.h"
#include "classroom/Demonstration.h"
#include "net/TUDPEndpoint.h"
#include "system/AppError.h"
#include "tests/support/WaitUntil.h"

#include <QUdpSocket>
#include <gtest/gtest.h>

namespace {

// Sets environment variables for one test and puts the old values back after it.
class Environment
{
public:
    ~Environment()
    {
        for (const auto &[name, value] : m_saved) {
            if (value.isNull())
                qunsetenv(name.constData());
            else
                qputenv(name.constData(), value);
        }
    }
    void set(const char *name, const QByteArray &value)
    {
        m_saved.emplace_back(name, qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray());
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

private:
    std::vector<std::pair<QByteArray, QByteArray>> m_saved;
};

QString refusalOf(FrameSource &source)
{
    try {
        source.prepare();
    } catch (const AppError &error) {
        return error.message();
    }
    return {};
}

// A display is set, so only the session type can be what refuses.
TEST(ScreenFrameSourceTest, WaylandSessionIsRefusedInPlainWordsAndNothingIsSent)
{
    for (const auto &[name, value] : {std::pair{"WAYLAND_DISPLAY", QByteArray("wayland-0")},
                                      std::pair{"XDG_SESSION_TYPE", QByteArray("wayland")}}) {
        Environment environment;
        environment.set("DISPLAY", ":0");
        environment.set("WAYLAND_DISPLAY", QByteArray());
        environment.set("XDG_SESSION_TYPE", QByteArray("x11"));
        environment.set(name, value);
        ScreenFrameSource source;
        const QString refusal = refusalOf(source);
        EXPECT_TRUE(refusal.contains(QStringLiteral("Wayland"))) << name;
        EXPECT_TRUE(refusal.contains(QStringLiteral("X11"))) << refusal.toStdString();
        EXPECT_TRUE(refusal.contains(QString::fromUtf8("无法截取屏幕"))) << refusal.toStdString();
        EXPECT_THROW(source.pointerPosition(), AppError);

        QUdpSocket receiver;
        ASSERT_TRUE(receiver.bind(QHostAddress::LocalHost, 0));
        TUDPEndpoint endpoint;
        endpoint.setRemoteHost(QStringLiteral("127.0.0.1"));
        endpoint.setRemotePort(receiver.localPort());
        const std::int32_t quality = 50;
        Demonstration demonstration(&endpoint, &source, quality);
        EXPECT_THROW(demonstration.SendScreenChunk(), AppError);
        settle(50);
        EXPECT_FALSE(receiver.hasPendingDatagrams());
    }
}

TEST(ScreenFrameSourceTest, X11SessionWithoutDisplayNamesTheMissingDisplay)
{
    Environment environment;
    environment.set("WAYLAND_DISPLAY", QByteArray());
    environment.set("XDG_SESSION_TYPE", QByteArray("x11"));
    environment.set("DISPLAY", QByteArray());
    ScreenFrameSource source;
    const QString refusal = refusalOf(source);
    EXPECT_TRUE(refusal.contains(QStringLiteral("DISPLAY"))) << refusal.toStdString();
    EXPECT_FALSE(refusal.contains(QStringLiteral("Wayland")));
}

} // namespace
