#include "ConsoleFixture.h"

#include "net/TUDPEndpoint.h"
#include "tests/support/PrivateXServer.h"
#include "tests/support/WaitUntil.h"
#include "tests/support/XTestScreen.h"

#include <QNetworkDatagram>
#include <QStandardPaths>
#include <QToolButton>
#include <QUdpSocket>

namespace {
constexpr quint16 kStudentImagePort = 27650;
constexpr quint16 kStudentMousePort = 27651;
} // namespace

// The console demonstrates the real screen of a private X server whose primary monitor is the
// 640x480 at (1280, 100) of a 1920x1080 desktop. ctest runs this also at QT_SCALE_FACTOR=2,
// where Qt's logical pointer position is half the physical one.
class DemonstrationPointerTest : public ConsoleFixture
{
protected:
    void SetUp() override
    {
        ConsoleFixture::SetUp();
        if (!server.failure().isEmpty())
            GTEST_SKIP() << server.failure().toStdString();
        if (QStandardPaths::findExecutable(QStringLiteral("xrandr")).isEmpty())
            GTEST_SKIP() << "xrandr is not installed (x11-xserver-utils)";
        ASSERT_TRUE(
            server.run(QStringLiteral("xrandr"),
                       {QStringLiteral("--setmonitor"), QStringLiteral("*projector"),
                        QStringLiteral("640/170x480/130+1280+100"), QStringLiteral("none")}));
        ASSERT_TRUE(screen.connected());
    }
    // The cursor datagrams the console sends, as bytes.
    QByteArray nextCursor()
    {
        QByteArray cursor;
        waitUntil([&] {
            while (cursor.isEmpty() && mouse.hasPendingDatagrams()) {
                const QByteArray d = mouse.receiveDatagram().data();
                if (d.startsWith("11"))
                    cursor = d;
            }
            return !cursor.isEmpty();
        });
        return cursor;
    }

    PrivateXServer server{QStringLiteral("1920x1080x24")};
    XTestScreen screen;
    QUdpSocket mouse;
};

TEST_F(DemonstrationPointerTest, CursorDatagramsCarryPhysicalPixelsOfThePrimaryMonitor)
{
    console();
    endpoint("ComUdp")->setRemoteHost(QStringLiteral("127.255.255.255"));
    endpoint("ComUdp")->setRemotePort(kStudentImagePort);
    ASSERT_TRUE(mouse.bind(QHostAddress::LocalHost, 0));
    endpoint("MouseUDP")->setRemoteHost(QStringLiteral("127.0.0.1"));
    endpoint("MouseUDP")->setRemotePort(mouse.localPort());
    StudentAgent &a = connectStudent(QStringLiteral("alpha"), 2, [](StudentAgent &s) {
        s.setImagePort(kStudentImagePort);
        s.setMousePort(kStudentMousePort);
    });
    screen.movePointer(1280 + 512, 100 + 384);

    button("SpeedButton1")->click();
    EXPECT_EQ(nextCursor(), QByteArray("110/512/384/"));
    ASSERT_TRUE(waitUntil([&] { return a.frames().decoded() >= 1; }));

    screen.movePointer(1275, 110);
    settle(30);
    while (mouse.hasPendingDatagrams())
        mouse.receiveDatagram();
    EXPECT_EQ(nextCursor(), QByteArray("110/-5/10/"));
    button("SpeedButton1")->click();
    EXPECT_EQ(a.frames().failed(), 0);
}
