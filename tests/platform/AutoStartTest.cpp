#include "platform/AutoStart.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QString kName = QStringLiteral("Teacher");

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(AutoStart, TickWritesDesktopEntryAndUntickRemovesIt)
{
    QTemporaryDir temp;
    const QString directory = temp.filePath(QStringLiteral("xdg/autostart"));
    const AutoStart autoStart(directory);
    EXPECT_FALSE(autoStart.isAutoRun(kName));

    autoStart.setAutoRun(kName, QStringLiteral("/opt/velmora/velmora-teacher"), true);
    const QString entry = directory + QStringLiteral("/Teacher.desktop");
    const QStringList lines = QString::fromUtf8(contentOf(entry)).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), QStringLiteral("[Desktop Entry]"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Type=Application")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Name=Teacher")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Exec=/opt/velmora/velmora-teacher")));
    EXPECT_TRUE(autoStart.isAutoRun(kName));

    autoStart.setAutoRun(kName, QStringLiteral("/elsewhere/velmora-teacher"), true);
    EXPECT_TRUE(QString::fromUtf8(contentOf(entry)).contains("Exec=/elsewhere/velmora-teacher\n"));

    autoStart.setAutoRun(kName, QString(), false);
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(autoStart.isAutoRun(kName));
    autoStart.setAutoRun(kName, QString(), false);
}

TEST(AutoStart, AnyEntryCountsAsOn)
{
    QTemporaryDir temp;
    QFile foreign(temp.filePath(QStringLiteral("Teacher.desktop")));
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
    foreign.write("[Desktop Entry]\nExec=/another/copy\n");
    foreign.close();
    EXPECT_TRUE(AutoStart(temp.path()).isAutoRun(kName));
    EXPECT_FALSE(AutoStart(temp.path()).isAutoRun(QStringLiteral("Student")));
}

TEST(AutoStart, UnwritableDirectoryIsSwallowed)
{
    QTemporaryDir temp;
    const QString blocker = temp.filePath(QStringLiteral("not-a-directory"));
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    const AutoStart autoStart(blocker + QStringLiteral("/autostart"));
    autoStart.setAutoRun(kName, QStringLiteral("/opt/velmora/velmora-teacher"), true);
    EXPECT_FALSE(autoStart.isAutoRun(kName));
    autoStart.setAutoRun(kName, QString(), false);
    EXPECT_FALSE(autoStart.isAutoRun(kName));
}

} // namespace
