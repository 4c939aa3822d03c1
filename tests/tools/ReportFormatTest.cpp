#include "tools/student-sim/ReportFormat.h"
#include "text/Cp936.h"

#include <gtest/gtest.h>

using Kind = StudentCommand::Kind;

// Output lines are parsed by scripts: one command, one line, whatever the text holds.
TEST(ReportFormat, KeepsEveryCommandOnOneLine)
{
    EXPECT_EQ(ReportFormat::command({Kind::LogOff, "01"}), QStringLiteral("COMMAND LOGOFF"));
    EXPECT_EQ(ReportFormat::command({Kind::UnblackScreen, "UNBLACKSCREEN"}),
              QStringLiteral("BLACKSCREEN off"));
    const QByteArray text = cp936::encode(QStringLiteral("第一行\r\n\tC:\\x\x01"));
    EXPECT_EQ(ReportFormat::command({Kind::Message, "2" + text, text}),
              QStringLiteral("MESSAGE 第一行\\r\\n\\tC:\\\\x\\x01"));
    EXPECT_EQ(ReportFormat::command({Kind::Unknown, QByteArray("\xff\x00z", 3)}),
              QStringLiteral("UNKNOWN \\xff\\x00z"));
}
