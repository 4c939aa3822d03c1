#include "agent/AgentOptions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString writeIni(const QTemporaryDir &dir, const QByteArray &text)
{
    const QString path = dir.filePath(QStringLiteral("student.ini"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    return path;
}

AgentOptions parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("velmora-student"));
    return AgentOptions::parse(arguments);
}

} // namespace

TEST(AgentSettings, ReadsTheAdminsFileAndKeepsDefaultsForWhatIsMissingOrUnusable)
{
    QTemporaryDir dir;
    const QString path = writeIni(dir, "[console]\n"
                                       "address = teacher-pc\n"
                                       "CommandPort=2024\n"
                                       "ImagePort=70000\n"
                                       "MousePort=abc\n"
                                       "[Screen]\nRate=nan\nQuality=80\n"
                                       "[Security]\nAllowCustomCommands=yes\n"
                                       "[Applications]\nPaint= kolourpaint.desktop , mtpaint \n");
    const AgentSettings settings = AgentSettings::load(path);
    EXPECT_EQ(settings.console, QStringLiteral("teacher-pc"));
    EXPECT_EQ(settings.commandPort, 2024);
    EXPECT_EQ(settings.imagePort, 5650);
    EXPECT_EQ(settings.mousePort, 5651);
    EXPECT_EQ(settings.screenRate, 2.0);
    EXPECT_EQ(settings.screenQuality, 80);
    EXPECT_TRUE(settings.allowCustomCommands);
    EXPECT_FALSE(settings.allowBeaconDiscovery);
    EXPECT_EQ(settings.applications[AgentSettings::Paint],
              (QStringList{"kolourpaint.desktop", "mtpaint"}));
    EXPECT_FALSE(settings.applications[AgentSettings::TextEditor].isEmpty());
    EXPECT_EQ(settings.warnings.size(), 3) << settings.warnings.join('\n').toStdString();
}

TEST(AgentSettings, TheShippedFileHoldsTheDefaultsWithCustomCommandsOff)
{
    const AgentSettings shipped =
        AgentSettings::load(QStringLiteral(VELMORA_SOURCE_DIR "/packaging/velmora-student.ini"));
    const AgentSettings defaults = AgentSettings::defaults();
    EXPECT_TRUE(shipped.warnings.isEmpty()) << shipped.warnings.join('\n').toStdString();
    EXPECT_FALSE(shipped.allowCustomCommands);
    EXPECT_FALSE(shipped.allowBeaconDiscovery);
    EXPECT_EQ(shipped.applications, defaults.applications);
    EXPECT_EQ(shipped.commandPort, defaults.commandPort);
}

TEST(AgentOptions, CommandLineOverridesTheFileForOneRun)
{
    QTemporaryDir dir;
    const QString path = writeIni(dir, "[Console]\nAddress=10.0.0.1\nCommandPort=2024\n");
    const AgentOptions options = parse({"--config", path, "--console", "10.77.0.1", "--port",
                                        "3000", "--image-port", "3001", "--mouse-port", "3002"});
    ASSERT_EQ(options.outcome, AgentOptions::Outcome::Run) << options.text.toStdString();
    EXPECT_EQ(options.settings.console, QStringLiteral("10.77.0.1"));
    EXPECT_EQ(options.settings.commandPort, 3000);
    EXPECT_EQ(options.settings.imagePort, 3001);
    EXPECT_EQ(options.settings.mousePort, 3002);

    EXPECT_EQ(parse({"--help"}).outcome, AgentOptions::Outcome::Help);
    EXPECT_TRUE(parse({"--help"}).text.contains(QStringLiteral("--image-port")));
    EXPECT_EQ(parse({"--config", path, "--port", "0"}).outcome, AgentOptions::Outcome::Error);
    EXPECT_EQ(parse({"--config", path, "--port"}).outcome, AgentOptions::Outcome::Error);
    EXPECT_EQ(parse({"--config", path, "--colour"}).outcome, AgentOptions::Outcome::Error);
}

TEST(AgentOptions, WithoutAnAddressOnlyAnAllowedBeaconCanNameTheConsole)
{
    QTemporaryDir dir;
    const QString closed = writeIni(dir, "[Console]\nAddress=\n");
    const AgentOptions refused = parse({"--config", closed});
    EXPECT_EQ(refused.outcome, AgentOptions::Outcome::Error);
    EXPECT_TRUE(refused.text.contains(QStringLiteral("no console address")));

    const QString open = writeIni(dir, "[Console]\nAllowBeaconDiscovery=1\n");
    EXPECT_EQ(parse({"--config", open}).outcome, AgentOptions::Outcome::Run);
}

TEST(AgentSettings, DropInsAreReadInNameOrderAndTheLastOneWinsEachKey)
{
    QTemporaryDir dir;
    const QString path = writeIni(dir, "[Console]\nAddress=from-main\nCommandPort=2024\n"
                                       "[Screen]\nQuality=70\n");
    const QString folder = AgentSettings::dropInFolder(path);
    ASSERT_TRUE(QDir().mkdir(folder));
    const auto dropIn = [&](const char *name, const QByteArray &text) {
        QFile file(folder + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    // A fingerprint as some tools print it: upper case, colons between the bytes.
    const QByteArray key = QByteArray(32, char(0xAB)).toHex(':').toUpper();
    dropIn("20-site.ini", "[Console]\nAddress=from-20\nConsoleFingerprint=" + key + "\n");
    dropIn("10-base.ini", "[console]\naddress=from-10\nCommandPort=3000\n[Screen]\nQuality=0\n");
    dropIn("30-old.ini.dpkg-old", "[Console]\nAddress=from-a-leftover\n");
    dropIn("Z-last.ini", "[Console]\nAddress=from-Z\n");

    const AgentSettings settings = AgentSettings::load(path);
    // Byte order: digits before capitals; files not ending in .ini are no drop-ins.
    EXPECT_EQ(settings.console, QStringLiteral("from-Z"));
    EXPECT_EQ(settings.commandPort, 3000);
    EXPECT_EQ(settings.consoleFingerprint, QString(QByteArray(32, char(0xAB)).toHex()));
    EXPECT_EQ(settings.screenQuality, 50);
    ASSERT_EQ(settings.warnings.size(), 1);
    EXPECT_TRUE(settings.warnings[0].contains(QStringLiteral("10-base.ini")));

    // The service waits for an address instead of refusing to start.
    QTemporaryDir empty;
    EXPECT_EQ(parse({"--service", "--config", writeIni(empty, "")}).outcome,
              AgentOptions::Outcome::Run);
}
