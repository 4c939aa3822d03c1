#include "SetupDialogFixture.h"

#include "text/ProfileFile.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>

// What OK takes over, writes and leaves alone.
class SetupDialogOkTest : public SetupDialogFixture
{
};

TEST_F(SetupDialogOkTest, EnterPressesOkWhichWritesTheFourKeysInOrder)
{
    const int result = open([&] {
        trackBar()->setValue(73);
        QTest::keyClick(edit(2), Qt::Key_Return);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(contentOf(iniPath), QByteArray("[SysInfo]\nUDP_Port1=5650\nUDP_Port2=5651\n"
                                             "Socket_Port=1024\nImageSpeed=73\n"));
    EXPECT_TRUE(prompter.errors.isEmpty());
}

TEST_F(SetupDialogOkTest, PortsAreStoredAsTypedAndReadBackAsNumbers)
{
    const struct
    {
        const char *typed;
        qint32 value;
    } rows[] = {{"$1612", 5650}, {"0x1612", 5650}, {"x1612", 5650}, {"X1612", 5650},
                {" 5650", 5650}, {"+1024", 1024},  {"1", 1},        {"65535", 65535}};
    for (const auto &row : rows) {
        const QString typed = QString::fromLatin1(row.typed);
        reset();
        open([&] {
            edit(3)->setText(typed);
            click("BitBtn1");
        });
        EXPECT_TRUE(prompter.errors.isEmpty()) << row.typed;
        EXPECT_TRUE(prompter.messages.isEmpty()) << row.typed;
        EXPECT_EQ(settings.CommandPort, row.value) << row.typed;
        // Stored as typed: a leading blank is kept by quoting it, and reads back too.
        EXPECT_EQ(profilefile::readProfileString(iniPath, QStringLiteral("SysInfo"),
                                                 QStringLiteral("Socket_Port"), QString()),
                  typed);
        EXPECT_EQ(ConsoleSettings::read(iniPath).CommandPort, row.value) << row.typed;
    }
}

TEST_F(SetupDialogOkTest, ARefusedPortIsNamedAndTheDialogStaysOpenWithWhatWasTyped)
{
    const struct
    {
        int box;
        const char *typed;
        const char *name;
    } rows[] = {
        {1, "5650 ", "图像发送端口"},     {1, "2147483648", "图像发送端口"},
        {2, "mouse", "鼠标发送端口"},     {2, "0", "鼠标发送端口"},
        {3, "", "命令发送端口"},          {3, "0x", "命令发送端口"},
        {3, "65536", "命令发送端口"},     {3, "-3", "命令发送端口"},
        {1, "$FFFFFFFF", "图像发送端口"},
    };
    const QByteArray entry = "[Desktop Entry]\nExec=/elsewhere/teacher\n";
    for (const auto &row : rows) {
        writeFile(iniPath, kStoredIni);
        writeFile(entryPath(), entry);
        reset();
        prompter.messages.clear();
        const QString typed = QString::fromLatin1(row.typed);
        bool stayedOpen = false;
        QStringList boxes;
        const int result = open([&] {
            typePorts(QStringLiteral("6001"), QStringLiteral("6002"), QStringLiteral("6003"));
            edit(row.box)->setText(typed);
            checkBox()->setChecked(false);
            trackBar()->setValue(90);
            click("BitBtn1");
            stayedOpen = dialog().isVisible();
            boxes = {edit(1)->text(), edit(2)->text(), edit(3)->text()};
            click("BitBtn2");
        });
        EXPECT_TRUE(stayedOpen) << row.typed;
        EXPECT_EQ(result, 7) << row.typed;
        EXPECT_EQ(boxes.at(row.box - 1), typed);
        EXPECT_EQ(prompter.messages,
                  QStringList{QString::fromUtf8(row.name) + QString::fromUtf8("“") + typed +
                              QString::fromUtf8("”无效：端口必须是 1 到 65535 之间的整数。")});
        EXPECT_TRUE(prompter.errors.isEmpty());
        // Nothing is taken over, not even the boxes before the refused one.
        EXPECT_EQ(settings.ImagePort, 5650) << row.typed;
        EXPECT_EQ(settings.MousePort, 5651) << row.typed;
        EXPECT_EQ(settings.CommandPort, 1024) << row.typed;
        EXPECT_EQ(settings.ImageQuality, 90);
        EXPECT_EQ(contentOf(iniPath), kStoredIni) << row.typed;
        EXPECT_EQ(contentOf(entryPath()), entry) << row.typed;
    }
}

TEST_F(SetupDialogOkTest, ASaveThatCannotHappenIsSaidAndTheDialogKeepsTheTeachersInput)
{
    const QString asDirectory = dir.filePath(QStringLiteral("server-dir.ini"));
    ASSERT_TRUE(QDir().mkpath(asDirectory));
    const QString blocker = dir.filePath(QStringLiteral("blocker"));
    writeFile(blocker, "");
    for (const QString &path : {asDirectory, blocker + QStringLiteral("/velmora/server.ini"),
                                QStringLiteral("/proc/velmora-server.ini")}) {
        iniPath = path;
        reset();
        bool stayedOpen = false;
        QString typed;
        open([&] {
            edit(1)->setText(QStringLiteral("$1771"));
            checkBox()->setChecked(true);
            click("BitBtn1");
            stayedOpen = dialog().isVisible();
            typed = edit(1)->text();
            dialog().close();
        });
        EXPECT_TRUE(stayedOpen) << path.toStdString();
        EXPECT_EQ(typed, QStringLiteral("$1771"));
        EXPECT_EQ(prompter.errors, QStringList{QString::fromUtf8("无法保存设置到 ") + path + "."});
        EXPECT_EQ(settings.ImagePort, 5650) << path.toStdString();
        EXPECT_FALSE(QFile::exists(entryPath())) << path.toStdString();
        EXPECT_FALSE(QFileInfo(path).isFile()) << path.toStdString();
    }
}

TEST_F(SetupDialogOkTest, AnInstalledCopyCreatesTheTeachersOwnSettingsFolder)
{
    iniPath = dir.filePath(QStringLiteral("home/.config/velmora/server.ini"));
    reset();
    open([&] {
        EXPECT_EQ(child<QLabel>("PortsLaterLabel")->text(),
                  QString::fromUtf8("端口修改在下次启动教师机时生效"));
        edit(2)->setText(QStringLiteral("7002"));
        click("BitBtn1");
    });
    EXPECT_TRUE(prompter.errors.isEmpty());
    EXPECT_EQ(ConsoleSettings::read(iniPath).MousePort, 7002);
    EXPECT_EQ(settings.MousePort, 7002);
}

TEST_F(SetupDialogOkTest, StartAtBootThatCannotBeWrittenIsSaidAndTheDialogStaysOpen)
{
    const QString blocker = dir.filePath(QStringLiteral("blocker"));
    writeFile(blocker, "");
    autostartDir = blocker + QStringLiteral("/autostart");
    reset();
    bool stayedOpen = false;
    open([&] {
        checkBox()->setChecked(true);
        click("BitBtn1");
        stayedOpen = dialog().isVisible();
        checkBox()->setChecked(false);
        click("BitBtn1");
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(prompter.errors,
              QStringList{QString::fromUtf8("无法设置开机自动运行：不能写入 ") + blocker +
                          QStringLiteral("/autostart/Teacher.desktop.")});
    // The settings themselves were saved before start at boot failed.
    EXPECT_EQ(contentOf(iniPath).count("Socket_Port=1024"), 1);
}

TEST_F(SetupDialogOkTest, StartAtBootFollowsTheBoxAndOnlyItsPresenceCounts)
{
    writeFile(entryPath(), "[Desktop Entry]\nExec=/another/copy/teacher\n");
    open([&] {
        EXPECT_TRUE(checkBox()->isChecked());
        click("BitBtn1");
    });
    EXPECT_TRUE(contentOf(entryPath()).contains("\nExec=\"" + kProgram.toUtf8() + "\"\n"));

    open([&] {
        checkBox()->setChecked(false);
        click("BitBtn1");
    });
    EXPECT_FALSE(QFile::exists(entryPath()));

    open([&] {
        EXPECT_FALSE(checkBox()->isChecked());
        checkBox()->setChecked(true);
        click("BitBtn1");
    });
    EXPECT_TRUE(contentOf(entryPath()).contains("\nExec=\"" + kProgram.toUtf8() + "\"\n"));
    open([&] {
        EXPECT_TRUE(checkBox()->isChecked());
        dialog().close();
    });
    EXPECT_TRUE(prompter.errors.isEmpty());
}

TEST_F(SetupDialogOkTest, OkKeepsEveryOtherLineOfTheFileByteForByte)
{
    const QByteArray before = "; classroom 3\r\n"
                              "[Other]\r\n"
                              "UDP_Port1=9\r\n"
                              "\r\n"
                              "[SysInfo]\r\n"
                              "UDP_Port1=5650\r\n"
                              "; the mouse port must differ\r\n"
                              "UDP_Port2 = 5651\r\n"
                              "Socket_Port=1024\r\n"
                              "ImageSpeed=50\r\n"
                              "\r\n"
                              "[Tail]\r\n"
                              "x = 1";
    writeFile(iniPath, before);
    open([&] {
        typePorts(QStringLiteral("6000"), QStringLiteral("0x1771"), QStringLiteral("1024"));
        trackBar()->setValue(70);
        click("BitBtn1");
    });
    QByteArray expected = before;
    expected.replace("[SysInfo]\r\nUDP_Port1=5650", "[SysInfo]\r\nUDP_Port1=6000")
        .replace("UDP_Port2 = 5651", "UDP_Port2=0x1771")
        .replace("ImageSpeed=50", "ImageSpeed=70");
    EXPECT_EQ(contentOf(iniPath), expected);
}
