#include "VelmoraVersion.h"
#include "system/AppError.h"
#include "system/CommandLine.h"
#include "system/Guard.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

namespace {

// What the code under test writes to standard error while it runs.
QByteArray stderrOf(const std::function<void()> &code)
{
    QTemporaryFile capture;
    EXPECT_TRUE(capture.open());
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(capture.handle(), STDERR_FILENO);
    code();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    capture.seek(0);
    return capture.readAll();
}

TEST(CommandLine, HelpAndVersionAnswerAloneAndEverythingElseStartsTheConsole)
{
    const CommandLine version({QStringLiteral("velmora-teacher"), QStringLiteral("--version")});
    EXPECT_TRUE(version.answersAlone());
    EXPECT_EQ(version.exitCode(), 0);
    EXPECT_EQ(version.text(), QStringLiteral("velmora-teacher ") +
                                  QLatin1String(velmora_build::kVersion) + QLatin1Char('\n'));
    EXPECT_TRUE(QString::fromLatin1(velmora_build::kVersion).startsWith(QLatin1String("1.0")));

    for (const char *option : {"--help", "-h"}) {
        const CommandLine help({QStringLiteral("velmora-teacher"), QStringLiteral("-platform"),
                                QStringLiteral("xcb"), QString::fromLatin1(option)});
        EXPECT_TRUE(help.answersAlone()) << option;
        EXPECT_TRUE(help.text().contains(QLatin1String("--version"))) << option;
        EXPECT_TRUE(help.text().contains(QString::fromUtf8("用法"))) << option;
    }
    for (const QStringList &plain :
         {QStringList{QStringLiteral("velmora-teacher")},
          QStringList{QStringLiteral("velmora-teacher"), QStringLiteral("-platform"),
                      QStringLiteral("offscreen")}})
        EXPECT_FALSE(CommandLine(plain).answersAlone()) << plain.join(u' ').toStdString();
}

TEST(Guard, AFailureIsLoggedForTheAdminEvenWhenNoBoxShowsIt)
{
    QStringList shown;
    guard::setReporter([&](const QString &message) { shown.append(message); });
    const QByteArray logged = stderrOf([] {
        guard::run([] { throw AppError(QString::fromUtf8("无法保存设置到 /etc/x\nsecond line")); });
    });
    guard::setReporter({});
    EXPECT_EQ(shown.size(), 1);
    const QList<QByteArray> lines = logged.split('\n');
    ASSERT_EQ(lines.size(), 2) << logged.constData();
    EXPECT_TRUE(lines[0].startsWith("<3>")) << lines[0].constData();
    EXPECT_TRUE(
        lines[0].endsWith(QString::fromUtf8(" 无法保存设置到 /etc/x\\nsecond line").toUtf8()))
        << lines[0].constData();

    // Without a box (no reporter) the line is still there.
    const QByteArray alone = stderrOf([] { guard::run([] { throw std::runtime_error("lost"); }); });
    EXPECT_TRUE(alone.startsWith("<3>")) << alone.constData();
    EXPECT_TRUE(alone.endsWith(" lost\n")) << alone.constData();
}

} // namespace
