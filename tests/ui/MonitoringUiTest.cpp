#include "ConsoleFixture.h"

#include "classroom/Monitoring.h"
#include "net/TUDPEndpoint.h"
#include "tests/support/WaitUntil.h"
#include "ui/TForm_client.h"

#include <QLabel>
#include <QTimer>
#include <QToolButton>

class MonitoringUiTest : public ConsoleFixture
{
protected:
    // Students that answer "SCREEN" by sending to the console's mouse port.
    StudentAgent &student(const QString &name, int octet)
    {
        const quint16 mousePort = quint16(console().MouseUDP()->BoundPort());
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
    // The first monitoring tells row 0 to stop, whoever that is.
    EXPECT_EQ(screenCommands(a), "NOTSCREEN");
    EXPECT_TRUE(b.isSendingScreen());
    // The picture fills the panel inside its two one-pixel bevels.
    const QWidget *panel = monitorWindow()->findChild<QWidget *>(QStringLiteral("Panel1"));
    const QLabel *image = monitorWindow()->Image1();
    EXPECT_EQ(image->geometry(), panel->rect().adjusted(2, 2, -2, -2));

    monitorWindow()->close();
    EXPECT_FALSE(monitorWindow()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return !b.isSendingScreen(); }));
    EXPECT_EQ(screenCommands(b), "SCREEN NOTSCREEN");
    EXPECT_EQ(button("SpeedButton2")->text(), QString::fromUtf8("循环监视"));
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
    // The first tick goes to the row after MonitorIndex 0, then wraps to row 0.
    ASSERT_TRUE(waitUntil([&] { return screenCommands(a) == "NOTSCREEN SCREEN"; }));
    EXPECT_EQ(screenCommands(b), "SCREEN NOTSCREEN");
    EXPECT_EQ(monitorWindow()->windowTitle(), QString::fromUtf8("监视 - alpha"));

    button("SpeedButton2")->click();
    EXPECT_EQ(button("SpeedButton2")->text(), QString::fromUtf8("循环监视"));
    EXPECT_TRUE(button("SpeedButton1")->isEnabled());
    EXPECT_FALSE(monitorWindow()->isVisible());
    EXPECT_FALSE(console().findChild<QTimer *>(QStringLiteral("Timer2"))->isActive());
    ASSERT_TRUE(waitUntil([&] { return screenCommands(a) == "NOTSCREEN SCREEN NOTSCREEN"; }));
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
    ASSERT_TRUE(waitUntil([&] {
        return screenCommands(a) == "NOTSCREEN SCREEN NOTSCREEN NOTSCREEN";
    })) << screenCommands(a).toStdString();
}

TEST_F(MonitoringUiTest, AnEmptyListRefusesTheRotation)
{
    button("SpeedButton2")->click();
    EXPECT_EQ(prompter.messages, QStringList{QString::fromUtf8("现在还没有学生机登录，不能监视")});
    EXPECT_FALSE(monitorWindow()->isVisible());
    trigger("N12");
    EXPECT_FALSE(monitorWindow()->isVisible());
}
