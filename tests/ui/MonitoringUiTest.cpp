#include "ConsoleFixture.h"

#include "classroom/Monitoring.h"
#include "net/TUDPEndpoint.h"
#include "tests/support/WaitUntil.h"
#include "ui/MonitorControl.h"
#include "ui/TForm_client.h"

#include <QHeaderView>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

class MonitoringUiTest : public ConsoleFixture
{
protected:
    // Students that answer "SCREEN" by sending to the console's mouse port.
    StudentAgent &student(const QString &name, int octet)
    {
        const quint16 mousePort = quint16(endpoint("MouseUDP")->BoundPort());
        return connectStudent(name, octet, [mousePort](StudentAgent &s) {
            s.setMousePort(mousePort);
            s.screen().setFramesPerSecond(20);
        });
    }
    TForm_client *monitorWindow()
    {
        return console().findChild<TForm_client *>(QStringLiteral("Form_client"));
    }
    static QByteArray screenCommands(const StudentAgent &s)
    {
        QByteArray seen;
        for (const StudentCommand &c : s.commands())
            seen += c.raw + ' ';
        return seen.trimmed();
    }
};

TEST_F(MonitoringUiTest, MonitoringOneStudentShowsItsScreen)
{
    StudentAgent &a = student(QStringLiteral("alpha"), 2);
    StudentAgent &b = student(QStringLiteral("bravo"), 3);
    selectRow(1);
    trigger("N12");
    EXPECT_TRUE(monitorWindow()->isVisible());
    EXPECT_EQ(monitorWindow()->windowTitle(), QString::fromUtf8("监视 - bravo"));
    ASSERT_TRUE(waitUntil([&] { return !monitorWindow()->Image1()->pixmap().isNull(); }));
    EXPECT_EQ(screenCommands(b), "SCREEN");
    // Nobody was monitored before: nobody else is told anything.
    EXPECT_EQ(screenCommands(a), "");
    EXPECT_TRUE(b.isSendingScreen());
    // The picture fills the panel inside its two one-pixel bevels.
    const QWidget *panel = monitorWindow()->findChild<QWidget *>(QStringLiteral("Panel1"));
    const QLabel *image = monitorWindow()->Image1();
    EXPECT_EQ(image->geometry(), panel->rect().adjusted(2, 2, -2, -2));
    // In a window of another shape the picture keeps its own, black beside it.
    monitorWindow()->resize(900, 300);
    const QImage shown = monitorWindow()->Image1()->grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(3, 10)), QColor(Qt::black));
    EXPECT_GT(qGray(shown.pixel(shown.width() / 2, 3)), 64);

    monitorWindow()->close();
    EXPECT_FALSE(monitorWindow()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return !b.isSendingScreen(); }));
    EXPECT_EQ(screenCommands(b), "SCREEN NOTSCREEN");
    EXPECT_EQ(button("SpeedButton2")->text(), QString::fromUtf8("循环监视"));
}

// A large screen in the small monitor window is decoded at a fraction of its size, and a
// larger window gets a larger picture from the next frame on.
TEST_F(MonitoringUiTest, FramesAreDecodedNoLargerThanTheWindowShowsThem)
{
    StudentAgent &a = student(QStringLiteral("alpha"), 2);
    a.setPictureSize(QSize(1280, 960));
    selectRow(0);
    trigger("N12");
    const Monitoring &monitoring = session().monitoring();
    ASSERT_TRUE(waitUntil([&] { return monitoring.picture().width > 0; }));
    const QLabel *image = monitorWindow()->Image1();
    EXPECT_LT(monitoring.picture().width, 1280);
    EXPECT_GE(monitoring.picture().width, image->width());
    EXPECT_GE(monitoring.picture().height, image->height());

    monitorWindow()->resize(1300, 1000);
    ASSERT_TRUE(waitUntil([&] { return monitoring.picture().width == 1280; }));
    EXPECT_EQ(monitoring.picture().height, 960);
}

TEST_F(MonitoringUiTest, TheRotationVisitsEveryRowAndWrapsAround)
{
    StudentAgent &a = student(QStringLiteral("alpha"), 2);
    StudentAgent &b = student(QStringLiteral("bravo"), 3);
    console().findChild<QTimer *>(QStringLiteral("Timer2"))->setInterval(100);
    button("SpeedButton2")->click();
    EXPECT_EQ(button("SpeedButton2")->text(), QString::fromUtf8("取消监视"));
    EXPECT_FALSE(button("SpeedButton1")->isEnabled());
    EXPECT_TRUE(monitorWindow()->isVisible());
    // The first tick goes to row 1, then wraps to row 0.
    ASSERT_TRUE(waitUntil([&] { return screenCommands(a) == "SCREEN"; }));
    EXPECT_EQ(screenCommands(b), "SCREEN NOTSCREEN");
    EXPECT_EQ(monitorWindow()->windowTitle(), QString::fromUtf8("监视 - alpha"));

    button("SpeedButton2")->click();
    EXPECT_EQ(button("SpeedButton2")->text(), QString::fromUtf8("循环监视"));
    EXPECT_TRUE(button("SpeedButton1")->isEnabled());
    EXPECT_FALSE(monitorWindow()->isVisible());
    EXPECT_FALSE(console().findChild<QTimer *>(QStringLiteral("Timer2"))->isActive());
    ASSERT_TRUE(waitUntil([&] { return screenCommands(a) == "SCREEN NOTSCREEN"; }));
}

TEST_F(MonitoringUiTest, ClosingTheWindowDuringTheRotationStopsItAndTellsTheStudentTwice)
{
    StudentAgent &a = student(QStringLiteral("alpha"), 2);
    selectRow(0);
    trigger("N12");
    button("SpeedButton2")->click();
    monitorWindow()->close();
    EXPECT_EQ(button("SpeedButton2")->text(), QString::fromUtf8("循环监视"));
    EXPECT_FALSE(monitorWindow()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return screenCommands(a) == "SCREEN NOTSCREEN NOTSCREEN"; }))
        << screenCommands(a).toStdString();
}

TEST_F(MonitoringUiTest, AnEmptyListRefusesTheRotation)
{
    button("SpeedButton2")->click();
    EXPECT_EQ(prompter.messages, QStringList{QString::fromUtf8("现在还没有学生机登录，不能监视")});
    EXPECT_FALSE(monitorWindow()->isVisible());
    trigger("N12");
    EXPECT_FALSE(monitorWindow()->isVisible());
}

TEST_F(MonitoringUiTest, TwinsAreWatchedEachByItsOwnConnection)
{
    StudentAgent &first = student(QString(), 2);
    StudentAgent &second = student(QString(), 3);
    StudentAgent &third = student(QStringLiteral("same"), 4);
    StudentAgent &fourth = student(QStringLiteral("same"), 5);
    for (StudentAgent *chosen : {&second, &fourth}) {
        selectRow(rowOf(*chosen));
        trigger("N12");
        ASSERT_TRUE(waitUntil([&] { return chosen->isSendingScreen(); }));
    }
    EXPECT_EQ(screenCommands(second), "SCREEN NOTSCREEN");
    EXPECT_EQ(screenCommands(fourth), "SCREEN");
    EXPECT_EQ(screenCommands(first), "");
    EXPECT_EQ(screenCommands(third), "");
    EXPECT_EQ(session().MonitorIndex(), 3);
    EXPECT_TRUE(waitUntil([&] { return !monitorWindow()->Image1()->pixmap().isNull(); }));
}

// The sort moves the watched student; closing the window must still reach it, and the
// student that took its old row hears nothing.
TEST_F(MonitoringUiTest, AfterASortClosingTheWindowStopsTheStudentThatWasAsked)
{
    StudentAgent &zulu = student(QStringLiteral("zulu"), 2);
    StudentAgent &mike = student(QStringLiteral("mike"), 3);
    StudentAgent &alpha = student(QStringLiteral("alpha"), 4);
    selectRow(2);
    trigger("N12");
    ASSERT_TRUE(waitUntil([&] { return alpha.isSendingScreen(); }));
    emit listView()->header()->sectionClicked(0);
    ASSERT_EQ(cell(0, 0), QStringLiteral("alpha"));
    EXPECT_EQ(session().MonitorIndex(), 0);
    monitorWindow()->close();
    ASSERT_TRUE(waitUntil([&] { return !alpha.isSendingScreen(); }));
    EXPECT_EQ(screenCommands(alpha), "SCREEN NOTSCREEN");
    flushCommands();
    EXPECT_EQ(screenCommands(zulu), "");
    EXPECT_EQ(screenCommands(mike), "");
}

// The watched student leaves: it is not asked again, and the rotation goes on with the row
// that moved up into its place.
TEST_F(MonitoringUiTest, AStudentWhoseRowIsGoneIsNotAskedAgain)
{
    StudentAgent &a = student(QStringLiteral("alpha"), 2);
    StudentAgent &b = student(QStringLiteral("bravo"), 3);
    StudentAgent &c = student(QStringLiteral("charlie"), 4);
    selectRow(1);
    trigger("N12");
    b.disconnectGracefully();
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 2; }));
    EXPECT_EQ(session().MonitorIndex(), -1);
    button("SpeedButton2")->click();
    console().findChild<MonitorControl *>()->Timer2Timer();
    ASSERT_TRUE(waitUntil([&] { return c.isSendingScreen(); }));
    EXPECT_EQ(monitorWindow()->windowTitle(), QString::fromUtf8("监视 - charlie"));
    button("SpeedButton2")->click();
    ASSERT_TRUE(waitUntil([&] { return !c.isSendingScreen(); }));
    EXPECT_EQ(screenCommands(c), "SCREEN NOTSCREEN");
    EXPECT_EQ(screenCommands(a), "");
}

TEST_F(MonitoringUiTest, TheRotationEndsAfterTheLastStudentLeft)
{
    StudentAgent &a = student(QStringLiteral("alpha"), 2);
    QTimer *timer2 = console().findChild<QTimer *>(QStringLiteral("Timer2"));
    button("SpeedButton2")->click();
    a.disconnectGracefully();
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 0; }));
    monitorWindow()->close();
    EXPECT_EQ(button("SpeedButton2")->text(), QString::fromUtf8("循环监视"));
    EXPECT_FALSE(timer2->isActive());
    EXPECT_FALSE(monitorWindow()->isVisible());

    StudentAgent &b = student(QStringLiteral("bravo"), 3);
    button("SpeedButton2")->click();
    b.disconnectGracefully();
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 0; }));
    button("SpeedButton2")->click();
    EXPECT_EQ(button("SpeedButton2")->text(), QString::fromUtf8("循环监视"));
    EXPECT_TRUE(button("SpeedButton1")->isEnabled());
    EXPECT_FALSE(timer2->isActive());
    EXPECT_FALSE(monitorWindow()->isVisible());
    EXPECT_TRUE(prompter.messages.isEmpty()) << prompter.messages.join('|').toStdString();
}
