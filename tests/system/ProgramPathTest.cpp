#include "system/ProgramPath.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

void touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

TEST(ProgramPath, FileAndFolderAreThoseOfTheRunningProgram)
{
    const QString program = QFileInfo(QCoreApplication::arguments().first()).canonicalFilePath();
    EXPECT_EQ(programpath::programFilePath(), program);
    EXPECT_EQ(programpath::programDirectory(), QFileInfo(program).path() + u'/');
}

// In a chroot entered through another mount, the kernel's name carries the chroot's folder.
TEST(ProgramPath, TheKernelsNameOfAFileOutOfViewIsCutToTheNameInThisView)
{
    QTemporaryDir root;
    const QString program = root.filePath(QStringLiteral("build/tests/test_platform"));
    touch(program);
    EXPECT_EQ(programpath::pathInThisView("/srv/chroot/merged" + program, program), program);
    EXPECT_EQ(programpath::pathInThisView(program, program), program);
    const QString elsewhere = root.filePath(QStringLiteral("other"));
    touch(elsewhere);
    EXPECT_EQ(programpath::pathInThisView("/srv/x" + elsewhere, program), "/srv/x" + elsewhere);
}

TEST(ProgramPath, TheGuideIsFoundBesideTheProgramFirstThenInTheInstalledDataFolder)
{
    QTemporaryDir root;
    const QString bin = root.filePath(QStringLiteral("usr/bin/"));
    ASSERT_TRUE(QDir().mkpath(bin));
    EXPECT_EQ(programpath::readmeFilePath(bin), QString());

    const QString installed = root.filePath(QStringLiteral("usr/share/velmora/readme.txt"));
    touch(installed);
    EXPECT_EQ(programpath::readmeFilePath(bin), installed);

    touch(bin + QStringLiteral("readme.txt"));
    EXPECT_EQ(programpath::readmeFilePath(bin), bin + QStringLiteral("readme.txt"));
}

} // namespace
