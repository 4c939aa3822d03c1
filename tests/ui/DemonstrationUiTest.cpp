#include "ConsoleFixture.h"

#include "classroom/Demonstration.h"
#include "classroom/FrameSource.h"
#include "net/TUDPEndpoint.h"
#include "protocol/JpegEncoder.h"
#include "system/AppError.h"
#include "tests/support/PrivateNetwork.h"
#include "tests/support/WaitUntil.h"

#include <QAction>
#include <QImage>
#include <QItemSelectionModel>
#include <QPainter>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

namespace {
constexpr quint16 kStudentImagePort = 26650;
constexpr quint16 kStudentMousePort = 26651;

// A real JPEG of a 640x400 picture, so students can decode what they reassemble.
class PictureFrames : public FrameSource
{
public:
    std::span<const std::uint8_t> captureFrame(std::int32_t quality) override
    {
        QImage picture(640, 400, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QPainter(&picture).fillRect(40, 40, 200, 100 + (++captures % 50), Qt::yellow);
        return m_encoder.encode(picture.constBits(), picture.width(), picture.height(),
                                int(picture.bytesPerLine()), quality);
    }
    int captures = 0;

private:
    JpegEncoder m_encoder;
};

// A screen that can be read at the start but not at any tick after.
class FailingFrames : public FrameSource
{
public:
    std::span<const std::uint8_t> captureFrame(std::int32_t) override
    {
        ++captures;
        throw AppError(QString::fromUtf8("截屏失败"));
    }
    int captures = 0;
};

// A screen that cannot be read at all (a session whose screen is closed to the console).
class RefusingFrames : public PictureFrames
{
public:
    void prepare() override { throw AppError(QString::fromUtf8("无法读取屏幕")); }
};
} // namespace

class DemonstrationUiTest : public ConsoleFixture
{
protected:
    Tfrm_main &start(std::shared_ptr<FrameSource> source = {})
    {
        frames = std::make_shared<PictureFrames>();
        frameSource = source ? source : frames;
        Tfrm_main &w = console();
        // Students share this host with the console, so they listen on ports of their own.
        endpoint("ComUdp")->setRemoteHost(QStringLiteral("127.255.255.255"));
        endpoint("ComUdp")->setRemotePort(kStudentImagePort);
        endpoint("MouseUDP")->setRemoteHost(QStringLiteral("127.255.255.255"));
        endpoint("MouseUDP")->setRemotePort(kStudentMousePort);
        return w;
    }
    StudentAgent &student(const QString &name, int octet, bool hearBeacons = false)
    {
        return connectStudent(name, octet, [hearBeacons](StudentAgent &s) {
            s.setImagePort(kStudentImagePort);
            s.setMousePort(kStudentMousePort);
            s.setListenForBeacons(hearBeacons);
        });
    }
    std::shared_ptr<PictureFrames> frames;
};

TEST_F(DemonstrationUiTest, StartsAndStopsWithItsGuards)
{
    start();
    QToolButton *demo = button("SpeedButton1");
    demo->click();
    EXPECT_EQ(prompter.messages.value(0), QString::fromUtf8("现在还没有学生机登录，不能演示"));

    StudentAgent &a = student(QStringLiteral("alpha"), 2);
    console().findChild<QWidget *>(QStringLiteral("Form_client"))->show();
    demo->click();
    EXPECT_EQ(prompter.messages.value(1), QString::fromUtf8("请把监视窗口关闭!"));
    EXPECT_EQ(demo->text(), QString::fromUtf8("教师演示"));
    console().findChild<QWidget *>(QStringLiteral("Form_client"))->hide();

    demo->click();
    EXPECT_EQ(demo->text(), QString::fromUtf8("停止演示"));
    for (const char *other : {"SpeedButton2", "SpeedButton3", "SpeedButton4", "SpeedButton5"})
        EXPECT_FALSE(button(other)->isEnabled()) << other;
    EXPECT_TRUE(console().findChild<QTimer *>(QStringLiteral("ScreenTimer"))->isActive());
    EXPECT_TRUE(console().windowState() & Qt::WindowMinimized);
    ASSERT_TRUE(waitUntil([&] { return a.isDemonstrating(); }));

    demo->click();
    EXPECT_EQ(demo->text(), QString::fromUtf8("教师演示"));
    EXPECT_TRUE(button("SpeedButton5")->isEnabled());
    EXPECT_FALSE(console().findChild<QTimer *>(QStringLiteral("ScreenTimer"))->isActive());
    ASSERT_TRUE(waitUntil([&] { return a.receivedBytes() == "IMAGESTOP"; }));
}

TEST_F(DemonstrationUiTest, StudentsRebuildTheFramesAndFollowThePointer)
{
    start();
    StudentAgent &a = student(QStringLiteral("alpha"), 2);
    StudentAgent &b = student(QStringLiteral("bravo"), 3);
    button("SpeedButton1")->click();
    ASSERT_TRUE(waitUntil([&] { return a.frames().decoded() >= 3 && b.frames().decoded() >= 3; }))
        << a.frames().decoded() << " " << a.frames().failed();
    EXPECT_TRUE(a.lastCursor().has_value());
    button("SpeedButton1")->click();
    EXPECT_EQ(a.frames().failed(), 0);
}

TEST_F(DemonstrationUiTest, AStudentLeavingEndsTheFrameInProgress)
{
    start();
    student(QStringLiteral("alpha"), 2);
    StudentAgent &b = student(QStringLiteral("bravo"), 3);
    button("SpeedButton1")->click();
    const ScreenStream &stream = session().demonstration().stream();
    ASSERT_TRUE(waitUntil([&] { return stream.position() > 0 && !stream.isEmpty(); }));
    // Ticks stop here so that nothing but the departure touches the frame.
    console().findChild<QTimer *>(QStringLiteral("ScreenTimer"))->stop();
    b.disconnectGracefully();
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 1; }));
    EXPECT_TRUE(stream.isEmpty());
}

TEST_F(DemonstrationUiTest, TheBeaconCarriesTheComputerName)
{
    // A host with loopback alone has no network to announce itself on.
    PrivateNetwork net;
    if (!net.unavailable().isEmpty())
        GTEST_SKIP() << net.unavailable().toStdString();
    ASSERT_TRUE(net.addLink("vt0", "10.77.2.1/24", "vt0p"));
    start();
    StudentAgent &listener = student(QStringLiteral("listener"), 3, true);
    console().findChild<QTimer *>(QStringLiteral("Timer1"))->setInterval(50);
    ASSERT_TRUE(waitUntil([&] { return !listener.lastBeaconName().isEmpty(); }));
    EXPECT_EQ(listener.lastBeaconName(), session().identity().LocalComputerName);
}

TEST_F(DemonstrationUiTest, StoppingMidFrameLeavesItAndStartingAgainBeginsAFreshOne)
{
    start();
    student(QStringLiteral("alpha"), 2);
    QToolButton *demo = button("SpeedButton1");
    demo->click();
    const ScreenStream &stream = session().demonstration().stream();
    ASSERT_TRUE(waitUntil([&] { return stream.position() > 0 && !stream.isEmpty(); }));
    demo->click();
    const std::int64_t position = stream.position();
    settle(50);
    EXPECT_EQ(stream.position(), position);
    EXPECT_FALSE(stream.isEmpty());

    demo->click();
    EXPECT_TRUE(stream.isEmpty());
    demo->click();
}

// The last student leaving must not leave the teacher's screen on the air with no way out.
TEST_F(DemonstrationUiTest, TheDemonstrationEndsAfterTheLastStudentLeft)
{
    start();
    StudentAgent &a = student(QStringLiteral("alpha"), 2);
    QToolButton *demo = button("SpeedButton1");
    demo->click();
    ASSERT_TRUE(waitUntil([&] { return a.isDemonstrating(); }));
    a.disconnectGracefully();
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 0; }));
    demo->click();
    EXPECT_EQ(demo->text(), QString::fromUtf8("教师演示"));
    EXPECT_FALSE(console().findChild<QTimer *>(QStringLiteral("ScreenTimer"))->isActive());
    EXPECT_TRUE(button("SpeedButton5")->isEnabled());
    EXPECT_FALSE(console().windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(prompter.messages.isEmpty()) << prompter.messages.join('|').toStdString();
}

TEST_F(DemonstrationUiTest, ACaptureFailingAtEveryTickShowsOneBoxAndEndsTheDemonstration)
{
    auto failing = std::make_shared<FailingFrames>();
    start(failing);
    StudentAgent &a = student(QStringLiteral("alpha"), 2);
    QToolButton *demo = button("SpeedButton1");
    demo->click();
    QTimer *screenTimer = console().findChild<QTimer *>(QStringLiteral("ScreenTimer"));
    ASSERT_TRUE(waitUntil([&] { return !screenTimer->isActive(); }));
    ASSERT_TRUE(waitUntil([&] { return a.receivedBytes() == "IMAGESTOP"; }));
    settle(100);
    EXPECT_EQ(prompter.errors, QStringList{QString::fromUtf8("截屏失败.")});
    EXPECT_EQ(failing->captures, 1);
    EXPECT_EQ(demo->text(), QString::fromUtf8("教师演示"));
    for (const char *other : {"SpeedButton2", "SpeedButton3", "SpeedButton4", "SpeedButton5"})
        EXPECT_TRUE(button(other)->isEnabled()) << other;
    EXPECT_FALSE(console().windowState() & Qt::WindowMinimized);
}

TEST_F(DemonstrationUiTest, AScreenThatCannotBeReadIsRefusedAtTheStart)
{
    start(std::make_shared<RefusingFrames>());
    StudentAgent &a = student(QStringLiteral("alpha"), 2);
    button("SpeedButton1")->click();
    EXPECT_EQ(prompter.errors, QStringList{QString::fromUtf8("无法读取屏幕.")});
    EXPECT_EQ(button("SpeedButton1")->text(), QString::fromUtf8("教师演示"));
    EXPECT_TRUE(button("SpeedButton5")->isEnabled());
    EXPECT_FALSE(console().findChild<QTimer *>(QStringLiteral("ScreenTimer"))->isActive());
    EXPECT_FALSE(console().windowState() & Qt::WindowMinimized);
    flushCommands();
    EXPECT_TRUE(a.receivedBytes().isEmpty());
}

// The button's menu: to the selected students alone (a choice with none selected says so), and
// the student demonstration from the one-student menu, shown in the monitor window, which the
// button stops without asking for the window to close.
TEST_F(DemonstrationUiTest, TheTeacherChoosesWhoSeesWhatAtTheStart)
{
    start();
    StudentAgent &a = student(QStringLiteral("alpha"), 2);
    StudentAgent &b = student(QStringLiteral("bravo"), 3);
    StudentAgent &c = student(QStringLiteral("charlie"), 4);
    selectRow(-1);
    trigger("DemoWindowSelected");
    EXPECT_EQ(prompter.messages.value(0), QString::fromUtf8("请先在学生列表中选定要演示的学生"));
    EXPECT_EQ(session().mode(), ClassroomSession::Mode::Idle);

    listView()->selectionModel()->select(listView()->model()->index(rowOf(a), 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    listView()->selectionModel()->select(listView()->model()->index(rowOf(c), 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    trigger("DemoWindowSelected");
    EXPECT_TRUE(session().audience().windowed);
    ASSERT_TRUE(waitUntil([&] { return a.isDemonstrating() && c.isDemonstrating(); }));
    EXPECT_FALSE(console().findChild<QAction *>(QStringLiteral("DemoFullAll"))->isEnabled());
    button("SpeedButton1")->click();
    ASSERT_TRUE(waitUntil([&] { return a.receivedBytes() == "IMAGESTOP"; }));
    EXPECT_EQ(c.receivedBytes(), "IMAGESTOP");
    EXPECT_EQ(b.receivedBytes(), "");

    selectRow(rowOf(b));
    trigger("N16");
    auto *monitor = console().findChild<QWidget *>(QStringLiteral("Form_client"));
    EXPECT_TRUE(monitor->isVisible());
    EXPECT_EQ(button("SpeedButton1")->text(), QString::fromUtf8("停止演示"));
    EXPECT_FALSE(console().windowState() & Qt::WindowMinimized);
    ASSERT_TRUE(waitUntil([&] { return b.isSendingScreen() && a.isDemonstrating(); }));
    button("SpeedButton1")->click();
    EXPECT_EQ(session().mode(), ClassroomSession::Mode::Idle);
    EXPECT_EQ(prompter.messages.size(), 1);
    EXPECT_TRUE(prompter.errors.isEmpty()) << prompter.errors.join('|').toStdString();
}
