#include "ConsoleFixture.h"

#include "net/TServerSocket.h"
#include "net/TUDPEndpoint.h"
#include "system/AppError.h"
#include "system/Guard.h"
#include "tests/support/PrivateNetwork.h"
#include "tests/support/WaitUntil.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QToolButton>

class LifecycleTest : public ConsoleFixture
{
};

TEST_F(LifecycleTest, StartsWithItsCaptionComponentsAndTimers)
{
    Tfrm_main &w = console();
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("[Velmora多媒体网络教室教师机]  - V1.0"));
    const QStringList captions{"教师演示", "全部黑屏", "循环监视", "远程控制", "退出系统"};
    const char *const buttons[] = {"SpeedButton1", "SpeedButton3", "SpeedButton2", "SpeedButton4",
                                   "SpeedButton5"};
    int left = -1;
    for (int i = 0; i < 5; ++i) {
        QToolButton *b = button(buttons[i]);
        ASSERT_NE(b, nullptr) << buttons[i];
        EXPECT_EQ(b->text(), captions[i]);
        EXPECT_GT(b->x(), left);
        left = b->x();
    }
    auto timer = [&](const char *name) { return w.findChild<QTimer *>(QString::fromLatin1(name)); };
    EXPECT_EQ(timer("ScreenTimer")->interval(), 10);
    EXPECT_EQ(timer("ScreenTimer")->timerType(), Qt::PreciseTimer);
    EXPECT_FALSE(timer("ScreenTimer")->isActive());
    EXPECT_TRUE(timer("Timer1")->isActive());
    EXPECT_EQ(timer("Timer1")->interval(), 5000);
    EXPECT_FALSE(timer("Timer2")->isActive());
    EXPECT_EQ(timer("Timer2")->interval(), 10000);
    for (const char *name : {"ServerSocket1", "ComUdp", "MouseUDP", "frm_setup", "Form_client",
                             "Form_ShowMess", "PopupMenu2", "PopupMenu3", "StatusBar1"})
        EXPECT_NE(w.findChild<QObject *>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_TRUE(statusPanel(1).startsWith(QString::fromUtf8("本机IP地址：")));
    EXPECT_EQ(session().BroadcastHost(), session().identity().BroadcastHost);
    EXPECT_FALSE(statusPanel(2).isEmpty());
    EXPECT_TRUE(prompter.errors.isEmpty()) << prompter.errors.join('|').toStdString();
}

// A host name that resolves to loopback alone, on a host whose only link comes up later.
TEST_F(LifecycleTest, WithoutANetworkTheBeaconIsLeftOutQuietlyUntilOneComesUp)
{
    PrivateNetwork net;
    if (!net.unavailable().isEmpty())
        GTEST_SKIP() << net.unavailable().toStdString();
    ASSERT_TRUE(net.setHostName("localhost"));
    iniLines << QStringLiteral("UDP_Port2=27651");
    iniLines.removeAll(QStringLiteral("UDP_Port2=0"));
    Tfrm_main &w = console();
    EXPECT_EQ(statusPanel(1), QString::fromUtf8("本机IP地址：未找到网络"));

    // Its status says when it has sent.
    auto *mouse = w.findChild<TUDPEndpoint *>(QStringLiteral("MouseUDP"));
    mouse->setReportLevel(2);
    QStringList arrivedFrom;
    QObject::connect(mouse, &TUDPEndpoint::dataReceived,
                     [&](int, const QString &from) { arrivedFrom << from; });
    w.findChild<QTimer *>(QStringLiteral("Timer1"))->setInterval(20);
    settle(200);
    EXPECT_TRUE(mouse->Status().isEmpty());
    EXPECT_TRUE(prompter.errors.isEmpty()) << prompter.errors.join('|').toStdString();

    ASSERT_TRUE(net.addLink("vt16", "10.1.5.20/16", "vt16p"));
    // The console's own beacon comes back to it as any broadcast does.
    ASSERT_TRUE(waitUntil([&] { return !arrivedFrom.isEmpty(); }));
    EXPECT_EQ(statusPanel(1), QString::fromUtf8("本机IP地址：10.1.5.20"));
    EXPECT_EQ(session().BroadcastHost(), QStringLiteral("10.1.255.255"));
    EXPECT_EQ(mouse->RemoteHost(), QStringLiteral("10.1.255.255"));
    EXPECT_EQ(mouse->Status(), QStringLiteral("Sending Data"));
    EXPECT_EQ(arrivedFrom.first(), QStringLiteral("10.1.5.20"));
    EXPECT_TRUE(prompter.errors.isEmpty()) << prompter.errors.join('|').toStdString();
}

TEST_F(LifecycleTest, TheCommandPortComesFromServerIni)
{
    iniLines = {QStringLiteral("[sysinfo]"), QStringLiteral("socket_port = 0x7D0"),
                QStringLiteral("UDP_Port1=-1"), QStringLiteral("UDP_Port2=0")};
    console();
    EXPECT_EQ(commandPort(), 2000);
    EXPECT_EQ(endpoint("ComUdp")->BoundPort(), 65535);
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, 1024);
    EXPECT_FALSE(probe.waitForConnected(500));
    EXPECT_TRUE(prompter.errors.isEmpty());
}

TEST_F(LifecycleTest, APortInUseShowsTheBindFailureAndTheConsoleRuns)
{
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::Any, 0));
    iniLines << QStringLiteral("Socket_Port=%1").arg(holder.serverPort());
    iniLines.removeAll(QStringLiteral("Socket_Port=0"));
    console();
    // The text ends in a quote, which sorts below ".", so no full stop is added.
    EXPECT_EQ(prompter.errors,
              QStringList{QStringLiteral(
                  "Windows socket error: Address already in use (98), on API 'bind'")});
    EXPECT_FALSE(console().findChild<TServerSocket *>()->Active());
    EXPECT_TRUE(statusPanel(2).isEmpty());
    button("SpeedButton3")->click();
    EXPECT_EQ(prompter.messages.size(), 1);
}

// No student stays locked behind a black screen because the console went away: each row
// blacked out, by the mode or alone, is released before the "STOP" to all.
TEST_F(LifecycleTest, ClosingReleasesBlackedOutStudentsThenStopsAndClosesThemAll)
{
    StudentAgent &a = connectStudent(QStringLiteral("alpha"), 2);
    StudentAgent &b = connectStudent(QStringLiteral("bravo"), 3);
    StudentAgent &c = connectStudent(QStringLiteral("charlie"), 4);
    selectRow(2);
    trigger("N11");
    trigger("N11");
    selectRow(1);
    trigger("N11");
    console().close();
    ASSERT_TRUE(waitUntil([&] { return !c.isConnected(); }));
    EXPECT_EQ(a.receivedBytes(), "STOP");
    EXPECT_EQ(b.receivedBytes(), "BLACKSCREENUNBLACKSCREENSTOP");
    EXPECT_EQ(c.receivedBytes(), "BLACKSCREENUNBLACKSCREENSTOP");
    EXPECT_FALSE(b.isBlackedOut());
}

// bravo was reset unnoticed: its release fails and takes its row away, and charlie, moving up
// into its place, is released all the same.
TEST_F(LifecycleTest, AFailedReleaseAtCloseSkipsNoOtherStudent)
{
    connectStudent(QStringLiteral("alpha"), 2);
    StudentAgent &b = connectStudent(QStringLiteral("bravo"), 3);
    StudentAgent &c = connectStudent(QStringLiteral("charlie"), 4);
    selectRow(1);
    trigger("N11");
    selectRow(2);
    trigger("N11");
    b.reset();
    console().close();
    ASSERT_TRUE(waitUntil([&] { return !c.isConnected(); }));
    EXPECT_EQ(c.receivedBytes(), "BLACKSCREENUNBLACKSCREENSTOP");
}

TEST_F(LifecycleTest, ClosingDuringTheBlackOutOfAllReleasesEveryStudentFirst)
{
    StudentAgent &a = connectStudent(QStringLiteral("alpha"), 2);
    StudentAgent &b = connectStudent(QStringLiteral("bravo"), 3);
    button("SpeedButton3")->click();
    console().close();
    EXPECT_EQ(rowCount(), 0);
    EXPECT_EQ(statusPanel(0), QString::fromUtf8("现在学生人数是:0"));
    ASSERT_TRUE(waitUntil([&] { return !a.isConnected() && !b.isConnected(); }));
    EXPECT_EQ(a.receivedBytes(), "BLACKSCREENUNBLACKSCREENSTOP");
    EXPECT_EQ(b.receivedBytes(), "BLACKSCREENUNBLACKSCREENSTOP");
    EXPECT_FALSE(a.isBlackedOut());
    EXPECT_FALSE(console().findChild<QTimer *>(QStringLiteral("Timer1"))->isActive());
}

TEST_F(LifecycleTest, ClosingWithNoStudentSaysNothing)
{
    console().close();
    settle(50);
    EXPECT_TRUE(prompter.errors.isEmpty());
    EXPECT_TRUE(prompter.messages.isEmpty());
}

TEST_F(LifecycleTest, OnlyOneErrorBoxAtATime)
{
    console();
    // A failure raised while the box is open (by a timer in its nested loop) is dropped.
    struct NestedPrompter : FakePrompter
    {
        void error(const QString &text) override
        {
            errors.append(text);
            guard::run([] { throw AppError(QStringLiteral("second")); });
        }
    } nested;
    guard::run([] { throw AppError(QStringLiteral("first failure")); });
    EXPECT_EQ(nested.errors, QStringList{QStringLiteral("first failure.")});
    guard::run([] { throw AppError(QStringLiteral("ends in a stop.")); });
    EXPECT_EQ(nested.errors.last(), QStringLiteral("ends in a stop."));
    guard::run([] { throw AppError(QString::fromUtf8("中文")); });
    EXPECT_EQ(nested.errors.last(), QString::fromUtf8("中文."));
}

TEST_F(LifecycleTest, OneUdpPortForBothEndpointsLeavesTheMousePortUnbound)
{
    iniLines = {QStringLiteral("[SysInfo]"), QStringLiteral("Socket_Port=0"),
                QStringLiteral("UDP_Port1=27650"), QStringLiteral("UDP_Port2=27650")};
    console();
    EXPECT_EQ(endpoint("ComUdp")->BoundPort(), 27650);
    EXPECT_EQ(endpoint("MouseUDP")->BoundPort(), -1);
    EXPECT_TRUE(prompter.errors.isEmpty());
}
