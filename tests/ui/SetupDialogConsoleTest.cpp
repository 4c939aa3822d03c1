#include "ConsoleFixture.h"

#include "net/TServerSocket.h"
#include "net/TServerWinSocket.h"
#include "net/TUDPEndpoint.h"
#include "settings/ConsoleSettings.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTcpSocket>
#include <QTest>

// The settings dialog as the teacher reaches it: the main window's menu item, the running
// console's settings.
class SetupDialogConsoleTest : public ConsoleFixture
{
protected:
    void SetUp() override
    {
        ConsoleFixture::SetUp();
        iniLines = {QStringLiteral("[SysInfo]"), QStringLiteral("Socket_Port=0"),
                    QStringLiteral("UDP_Port1=15650"), QStringLiteral("UDP_Port2=15651")};
    }

    QString iniPath() const { return dir.filePath(QStringLiteral("server.ini")); }

    template <typename W> static W *child(QDialog &dialog, const char *name)
    {
        return dialog.findChild<W *>(QString::fromLatin1(name));
    }
};

TEST_F(SetupDialogConsoleTest, NewPortsAreStoredButTheRunningConsoleKeepsItsOwn)
{
    console();
    const quint16 listening = commandPort();
    ASSERT_GT(listening, 0);
    prompter.onDialog = [](QDialog &d) {
        d.show();
        EXPECT_EQ(child<QLineEdit>(d, "Edit1")->text(), QStringLiteral("15650"));
        EXPECT_EQ(child<QLineEdit>(d, "Edit3")->text(), QStringLiteral("0"));
        child<QLineEdit>(d, "Edit1")->setText(QStringLiteral("16650"));
        child<QLineEdit>(d, "Edit2")->setText(QStringLiteral("$40FB"));
        child<QLineEdit>(d, "Edit3")->setText(QStringLiteral("2000"));
        QTest::mouseClick(child<QPushButton>(d, "BitBtn1"), Qt::LeftButton);
        return d.result();
    };
    trigger("N1");

    EXPECT_TRUE(prompter.errors.isEmpty()) << prompter.errors.join('|').toStdString();
    EXPECT_EQ(session().settings().ImagePort, 16650);
    EXPECT_EQ(session().settings().MousePort, 16635);
    EXPECT_EQ(session().settings().CommandPort, 2000);
    EXPECT_EQ(commandPort(), listening);
    EXPECT_EQ(endpoint("ComUdp")->BoundPort(), 15650);
    EXPECT_EQ(endpoint("MouseUDP")->BoundPort(), 15651);
    QTcpSocket student;
    student.connectToHost(QHostAddress::LocalHost, listening);
    EXPECT_TRUE(student.waitForConnected(2000));
    QTcpSocket tooEarly;
    tooEarly.connectToHost(QHostAddress::LocalHost, 2000);
    EXPECT_FALSE(tooEarly.waitForConnected(500));

    const ConsoleSettings nextStart = ConsoleSettings::read(iniPath());
    EXPECT_EQ(nextStart.ImagePort, 16650);
    EXPECT_EQ(nextStart.MousePort, 16635);
    EXPECT_EQ(nextStart.CommandPort, 2000);
}

TEST_F(SetupDialogConsoleTest, TheQualityChangesAtOnceAndOnlyOkStoresIt)
{
    iniLines << QStringLiteral("ImageSpeed=150");
    console();
    EXPECT_EQ(session().settings().ImageQuality, 150);
    prompter.onDialog = [&](QDialog &d) {
        d.show();
        EXPECT_EQ(child<QLabel>(d, "Label2")->text(), QStringLiteral("100"));
        EXPECT_EQ(session().settings().ImageQuality, 100);
        child<QSlider>(d, "TrackBar1")->setValue(80);
        EXPECT_EQ(session().settings().ImageQuality, 80);
        QTest::mouseClick(child<QPushButton>(d, "BitBtn2"), Qt::LeftButton);
        return d.result();
    };
    trigger("N1");
    EXPECT_EQ(session().settings().ImageQuality, 80);
    EXPECT_EQ(ConsoleSettings::read(iniPath()).ImageQuality, 150);

    // The same dialog opens again, now from the quality in memory.
    prompter.onDialog = [](QDialog &d) {
        d.show();
        EXPECT_EQ(child<QSlider>(d, "TrackBar1")->value(), 80);
        // The console listens on a port the system chose (0), which the dialog refuses.
        child<QLineEdit>(d, "Edit3")->setText(QStringLiteral("2000"));
        QTest::mouseClick(child<QPushButton>(d, "BitBtn1"), Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
        return d.result();
    };
    trigger("N1");
    EXPECT_EQ(ConsoleSettings::read(iniPath()).ImageQuality, 80);
    EXPECT_TRUE(prompter.errors.isEmpty()) << prompter.errors.join('|').toStdString();
}
