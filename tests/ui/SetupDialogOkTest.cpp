#include "SetupDialogFixture.h"

#include "platform/ProfileFile.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
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
    } rows[] = {{"$1612", 5650}, {"0x1612", 5650}, {"x1612", 5650},  {"X1612", 5650},
                {" 5650", 5650}, {"-3", -3},       {"70000", 70000}, {"$FFFFFFFF", -1}};
    for (const auto &row : rows) {
        const QString typed = QString::fromLatin1(row.typed);
        reset();
        open([&] {
            edit(3)->setText(typed);
            click("BitBtn1");
        });
        EXPECT_TRUE(prompter.errors.isEmpty()) << row.typed;
        EXPECT_EQ(settings.CommandPort, row.value) << row.typed;
        // Stored as typed: a leading blank is kept by quoting it, and reads back too.
        EXPECT_EQ(profilefile::readProfileString(iniPath, QStringLiteral("SysInfo"),
                                                 QStringLiteral("Socket_Port"), QString()),
                  typed);
        EXPECT_EQ(ConsoleSettings::read(iniPath).CommandPort, row.value) << row.typed;
    }
}

TEST_F(SetupDialogOkTest, ARefusedPortStopsTheStepsAtItsBox)
{
    const struct
    {
        int box;
        const char *typed;
        const char *error;
    } rows[] = {
        {1, "5650 ", "'5650 ' is not a valid integer value."},
        {1, "2147483648", "'2147483648' is not a valid integer value."},
        {2, "mouse", "'mouse' is not a valid integer value."},
        {3, "", "'' is not a valid integer value."},
        {3, "0x", "'0x' is not a valid integer value."},
    };
    const QByteArray entry = "[Desktop Entry]\nExec=/elsewhere/teacher\n";
    for (const auto &row : rows) {
        writeFile(iniPath, kStoredIni);
        writeFile(entryPath(), entry);
        reset();
        const int result = open([&] {
            typePorts(QStringLiteral("6001"), QStringLiteral("6002"), QStringLiteral("6003"));
            edit(row.box)->setText(QString::fromLatin1(row.typed));
            checkBox()->setChecked(false);
            trackBar()->setValue(90);
            click("BitBtn1");
        });
        EXPECT_EQ(result, 1) << row.typed;
        EXPECT_EQ(prompter.errors, QStringList{QString::fromLatin1(row.error)});
        const qint32 ports[] = {settings.ImagePort, settings.MousePort, settings.CommandPort};
        const qint32 before[] = {5650, 5651, 1024};
        for (int box = 1; box <= 3; ++box)
            EXPECT_EQ(ports[box - 1], box < row.box ? 6000 + box : before[box - 1])
                << row.typed << " box " << box;
        EXPECT_EQ(settings.ImageQuality, 90);
        EXPECT_EQ(contentOf(iniPath), kStoredIni) << row.typed;
        EXPECT_EQ(contentOf(entryPath()), entry) << row.typed;
    }
}

TEST_F(SetupDialogOkTest, AnUnwritableSettingsFileIsReportedAndStartAtBootLeftAlone)
{
    const QString asDirectory = dir.filePath(QStringLiteral("server-dir.ini"));
    ASSERT_TRUE(QDir().mkpath(asDirectory));
    for (const QString &path : {asDirectory, dir.filePath(QStringLiteral("gone/server.ini")),
                                QStringLiteral("/proc/velmora-server.ini")}) {
        iniPath = path;
        reset();
        const int result = open([&] {
            edit(1)->setText(QStringLiteral("$1771"));
            checkBox()->setChecked(true);
            click("BitBtn1");
        });
        EXPECT_EQ(result, 1);
        EXPECT_EQ(prompter.errors, QStringList{"Unable to write to " + path + "."});
        EXPECT_EQ(settings.ImagePort, 0x1771) << path.toStdString();
        EXPECT_FALSE(QFile::exists(entryPath())) << path.toStdString();
        EXPECT_FALSE(QFileInfo(path).isFile()) << path.toStdString();
    }
}

TEST_F(SetupDialogOkTest, StartAtBootFollowsTheBoxAndOnlyItsPresenceCounts)
{
    writeFile(entryPath(), "[Desktop Entry]\nExec=/another/copy/teacher\n");
    open([&] {
        EXPECT_TRUE(checkBox()->isChecked());
        click("BitBtn1");
    });
    EXPECT_TRUE(contentOf(entryPath()).contains("\nExec=" + kProgram.toUtf8() + '\n'));

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
    EXPECT_TRUE(contentOf(entryPath()).contains("\nExec=" + kProgram.toUtf8() + '\n'));
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
