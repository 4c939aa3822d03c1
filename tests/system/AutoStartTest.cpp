#include "system/AutoStart.h"
#include "system/AppError.h"

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

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// The value of key in the entry, as a desktop reads it: string escapes undone.
QString valueOf(const QString &entryPath, const QByteArray &key)
{
    for (const QByteArray &line : contentOf(entryPath).split('\n')) {
        if (!line.startsWith(key + '='))
            continue;
        const QString raw = QString::fromUtf8(line.mid(key.size() + 1));
        QString value;
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] == u'\\' && i + 1 < raw.size()) {
                const QChar next = raw[++i];
                value += next == u'n' ? QChar(u'\n') : next == u't' ? QChar(u'\t') : next;
            } else {
                value += raw[i];
            }
        }
        return value;
    }
    return QStringLiteral("<no %1>").arg(QString::fromLatin1(key));
}

// The program an Exec value runs, split as the Desktop Entry rules say: double-quoted
// arguments with \" \` \$ \\ escaped inside, %% for a literal percent sign.
QStringList execArguments(const QString &exec)
{
    QStringList arguments;
    QString current;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (c == u'%') {
            EXPECT_TRUE(i + 1 < exec.size() && exec[i + 1] == u'%') << "a field code in Exec";
            current += u'%';
            ++i;
            any = true;
        } else if (quoted && c == u'\\' && i + 1 < exec.size()) {
            current += exec[++i];
        } else if (c == u'"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && c == u' ') {
            if (any)
                arguments.append(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    EXPECT_FALSE(quoted) << "unterminated quote";
    if (any)
        arguments.append(current);
    return arguments;
}

TEST(AutoStart, TickWritesADesktopEntryThatRunsTheProgramAndUntickRemovesIt)
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
    for (const char *line : {"Type=Application", "Name=Teacher", "Icon=org.velmora.Teacher",
                             "Exec=\"/opt/velmora/velmora-teacher\""})
        EXPECT_TRUE(lines.contains(QString::fromLatin1(line))) << line;
    EXPECT_NE(valueOf(entry, "Comment"), QStringLiteral("<no Comment>"));
    EXPECT_TRUE(autoStart.isAutoRun(kName));

    autoStart.setAutoRun(kName, QStringLiteral("/elsewhere/velmora-teacher"), true);
    EXPECT_EQ(execArguments(valueOf(entry, "Exec")),
              QStringList{QStringLiteral("/elsewhere/velmora-teacher")});

    autoStart.setAutoRun(kName, QString(), false);
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(autoStart.isAutoRun(kName));
    autoStart.setAutoRun(kName, QString(), false);
}

TEST(AutoStart, ExecRunsPathsWithBlanksPercentSignsAndShellCharactersAsOneArgument)
{
    QTemporaryDir temp;
    const AutoStart autoStart(temp.path());
    for (const QString &path : {QStringLiteral("/home/li wei/My Apps/velmora-teacher"),
                                QStringLiteral("/opt/100% sure/velmora-teacher"),
                                QStringLiteral("/opt/a\"b`c$HOME\\d/velmora-teacher"),
                                QString::fromUtf8("/home/老师/桌面/教师机 副本/velmora-teacher")}) {
        autoStart.setAutoRun(kName, path, true);
        const QString exec = valueOf(temp.filePath(QStringLiteral("Teacher.desktop")), "Exec");
        EXPECT_EQ(execArguments(exec), QStringList{path}) << exec.toStdString();
    }
}

TEST(AutoStart, AnyEntryCountsAsOnUnlessItHidesItself)
{
    QTemporaryDir temp;
    writeFile(temp.filePath(QStringLiteral("Teacher.desktop")),
              "[Desktop Entry]\nExec=/another/copy\n");
    EXPECT_TRUE(AutoStart(temp.path()).isAutoRun(kName));
    EXPECT_FALSE(AutoStart(temp.path()).isAutoRun(QStringLiteral("Student")));
    writeFile(temp.filePath(QStringLiteral("Teacher.desktop")),
              "[Desktop Entry]\nExec=/another/copy\nHidden = true\n");
    EXPECT_FALSE(AutoStart(temp.path()).isAutoRun(kName));
}

TEST(AutoStart, AUserTurnsTheMachineWideEntryOffForThemselvesAlone)
{
    QTemporaryDir temp;
    const QString system = temp.filePath(QStringLiteral("etc/xdg/autostart"));
    const QString user = temp.filePath(QStringLiteral("home/.config/autostart"));
    const QByteArray machineWide = "[Desktop Entry]\nType=Application\nExec=/usr/bin/teacher\n";
    writeFile(system + QStringLiteral("/Teacher.desktop"), machineWide);
    const AutoStart autoStart(user, system);
    EXPECT_TRUE(autoStart.isAutoRun(kName));

    autoStart.setAutoRun(kName, QString(), false);
    EXPECT_FALSE(autoStart.isAutoRun(kName));
    EXPECT_EQ(valueOf(user + QStringLiteral("/Teacher.desktop"), "Hidden"), QStringLiteral("true"));
    EXPECT_EQ(contentOf(system + QStringLiteral("/Teacher.desktop")), machineWide);

    autoStart.setAutoRun(kName, QStringLiteral("/usr/bin/velmora-teacher"), true);
    EXPECT_TRUE(autoStart.isAutoRun(kName));
    EXPECT_EQ(valueOf(user + QStringLiteral("/Teacher.desktop"), "Hidden"),
              QStringLiteral("<no Hidden>"));
}

TEST(AutoStart, AnEntryThatCannotBeWrittenOrRemovedIsReported)
{
    QTemporaryDir temp;
    const QString blocker = temp.filePath(QStringLiteral("not-a-directory"));
    writeFile(blocker, "");
    const AutoStart blocked(blocker + QStringLiteral("/autostart"));
    try {
        blocked.setAutoRun(kName, QStringLiteral("/opt/velmora/velmora-teacher"), true);
        ADD_FAILURE() << "a write that cannot happen passed silently";
    } catch (const AppError &e) {
        EXPECT_EQ(e.message(), QString::fromUtf8("无法设置开机自动运行：不能写入 ") + blocker +
                                   QStringLiteral("/autostart/Teacher.desktop"));
    }
    EXPECT_FALSE(blocked.isAutoRun(kName));

    // An entry that is a folder cannot be removed.
    ASSERT_TRUE(QDir().mkpath(temp.filePath(QStringLiteral("odd/Teacher.desktop/x"))));
    const AutoStart odd(temp.filePath(QStringLiteral("odd")));
    EXPECT_THROW(odd.setAutoRun(kName, QString(), false), AppError);
}

} // namespace
