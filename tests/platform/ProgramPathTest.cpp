#include "platform/ProgramPath.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>

namespace {

TEST(ProgramPath, SettingsFileLiesBesideTheRunningProgram)
{
    const QString program = QFileInfo(QCoreApplication::arguments().first()).canonicalFilePath();
    EXPECT_EQ(programpath::programFilePath(), program);
    EXPECT_EQ(programpath::programDirectory(), QFileInfo(program).path() + u'/');
    EXPECT_EQ(programpath::settingsFilePath(), QFileInfo(program).path() + "/server.ini");
}

} // namespace
