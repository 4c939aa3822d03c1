#include "settings/SettingsLocation.h"
#include "settings/ConsoleSettings.h"
#include "settings/PortNumber.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

// A program folder, an /etc/velmora and a user's ~/.config/velmora, all in a temporary folder.
class SettingsLocationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(QDir().mkpath(program));
    }
    SettingsLocation location() const
    {
        return SettingsLocation(program, system, user,
                                program + QStringLiteral("/../share/velmora"));
    }
    // The folder of a program installed with its data beside it (../share/velmora).
    void markInstalled()
    {
        ASSERT_TRUE(QDir().mkpath(root.filePath(QStringLiteral("share/velmora"))));
    }
    static void writeFile(const QString &path, const QByteArray &content)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(content);
    }

    QTemporaryDir root;
    QString program = root.filePath(QStringLiteral("bin"));
    QString system = root.filePath(QStringLiteral("etc/velmora"));
    QString user = root.filePath(QStringLiteral("home/.config/velmora"));
};

TEST_F(SettingsLocationTest, AWritableProgramFolderKeepsServerIniBesideTheProgram)
{
    EXPECT_TRUE(location().isPortable());
    EXPECT_EQ(location().readPaths(), QStringList{program + QStringLiteral("/server.ini")});
    EXPECT_EQ(location().writePath(), program + QStringLiteral("/server.ini"));
}

TEST_F(SettingsLocationTest, AnInstalledCopyReadsTheDefaultsThenTheUsersOwnAndWritesTheUsers)
{
    markInstalled();
    EXPECT_FALSE(location().isPortable());
    EXPECT_EQ(location().readPaths(), (QStringList{system + QStringLiteral("/server.ini"),
                                                   user + QStringLiteral("/server.ini")}));
    EXPECT_EQ(location().writePath(), user + QStringLiteral("/server.ini"));

    writeFile(system + QStringLiteral("/server.ini"),
              "[SysInfo]\nUDP_Port1=6000\nSocket_Port=2000\nImageSpeed=70\n");
    const ConsoleSettings defaults = ConsoleSettings::read(location().readPaths());
    EXPECT_EQ(defaults.ImagePort, 6000);
    EXPECT_EQ(defaults.CommandPort, 2000);
    EXPECT_EQ(defaults.ImageQuality, 70);
    EXPECT_EQ(defaults.MousePort, 5651);

    // The user's keys win where they hold a number; the others keep the administrator's.
    writeFile(user + QStringLiteral("/server.ini"),
              "[SysInfo]\nSocket_Port=$BB8\nImageSpeed=not a number\nUDP_Port2=7001\n");
    const ConsoleSettings own = ConsoleSettings::read(location().readPaths());
    EXPECT_EQ(own.ImagePort, 6000);
    EXPECT_EQ(own.MousePort, 7001);
    EXPECT_EQ(own.CommandPort, 3000);
    EXPECT_EQ(own.ImageQuality, 70);
}

TEST_F(SettingsLocationTest, AServerIniBesideAnInstalledProgramStillWins)
{
    markInstalled();
    writeFile(program + QStringLiteral("/server.ini"), "[SysInfo]\nSocket_Port=1500\n");
    EXPECT_TRUE(location().isPortable());
    EXPECT_EQ(location().writePath(), program + QStringLiteral("/server.ini"));
    EXPECT_EQ(ConsoleSettings::read(location().readPaths()).CommandPort, 1500);
}

TEST_F(SettingsLocationTest, AReadOnlyProgramFolderIsNotPortable)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes any folder; the installed layout covers this case for root";
    ASSERT_TRUE(QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    EXPECT_FALSE(location().isPortable());
    EXPECT_EQ(location().writePath(), user + QStringLiteral("/server.ini"));
    QFile::setPermissions(program,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(SettingsLocationTest, TheUsersFolderFollowsXdgConfigHomeWhenItIsAbsolute)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/srv/teachers/li/config");
    EXPECT_EQ(SettingsLocation::userConfigHome(), QStringLiteral("/srv/teachers/li/config"));
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(SettingsLocation::userConfigHome(), QDir::homePath() + QStringLiteral("/.config"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsLocation::userConfigHome(), QDir::homePath() + QStringLiteral("/.config"));
    if (!saved.isNull())
        qputenv("XDG_CONFIG_HOME", saved);
}

TEST(PortNumber, OnlyOneTo65535InTheIntegerSyntax)
{
    const struct
    {
        const char *text;
        int port; // 0: refused
    } rows[] = {{"1", 1},        {"65535", 65535},  {"$1612", 5650}, {"0x1612", 5650},
                {" 1024", 1024}, {"+80", 80},       {"0", 0},        {"65536", 0},
                {"-3", 0},       {"$FFFFFFFF", 0},  {"1024 ", 0},    {"", 0},
                {"port", 0},     {"99999999999", 0}};
    for (const auto &row : rows) {
        const std::optional<qint32> port = portnumber::parse(QString::fromLatin1(row.text));
        EXPECT_EQ(port.value_or(0), row.port) << row.text;
    }
}

} // namespace
