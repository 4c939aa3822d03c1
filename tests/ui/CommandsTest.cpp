#include "ConsoleFixture.h"

#include "net/TServerSocket.h"
#include "protocol/Commands.h"
#include "protocol/TextFraming.h"
#include "tests/support/StderrCapture.h"
#include "tests/support/WaitUntil.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <cstdio>
#include <unistd.h>

namespace {
struct MenuCommand
{
    const char *allItem;
    const char *oneItem;
    const char *bytes;
};
// Shut down stands third in the menu but is N04; Notepad fourth but N03.
const MenuCommand kFixed[] = {
    {"N01", "MenuItem1", "01"}, {"N02", "MenuItem2", "02"}, {"N04", "MenuItem3", "03"},
    {"N03", "MenuItem4", "04"}, {"N05", "MenuItem5", "05"}, {"N06", "MenuItem6", "06"},
    {"N07", "MenuItem7", "07"}, {"N08", "MenuItem8", "08"},
};
const QString kYes = QString::fromUtf8("是");

const QString kNo = QString::fromUtf8("否");
} // namespace

class CommandsTest : public ConsoleFixture
{
protected:
    void SetUp() override
    {
        ConsoleFixture::SetUp();
        a = &connectStudent(QStringLiteral("alpha"), 2);
        b = &connectStudent(QStringLiteral("bravo"), 3);
        c = &connectStudent(QStringLiteral("charlie"), 4);
    }
    // The teacher types text into the message dialog and presses the send button.
    void answerMessageDialog(const QString &text)
    {
        prompter.onDialog = [text](QDialog &dialog) {
            dialog.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"))->setPlainText(text);
            dialog.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();
            return dialog.result();
        };
    }
    StudentAgent *a = nullptr;
    StudentAgent *b = nullptr;
    StudentAgent *c = nullptr;
};

TEST_F(CommandsTest, EveryFixedCommandReachesExactlyTheIntendedStudents)
{
    QByteArray all;
    QByteArray toBravo;
    for (const MenuCommand &command : kFixed) {
        trigger(command.allItem);
        all += command.bytes;
        selectRow(1);
        trigger(command.oneItem);
        toBravo += command.bytes;
    }
    ASSERT_TRUE(waitUntil([&] { return b->receivedBytes().size() == all.size() * 2; }));
    flushCommands();
    EXPECT_EQ(a->receivedBytes(), all);
    EXPECT_EQ(c->receivedBytes(), all);
    QByteArray interleaved;
    for (const MenuCommand &command : kFixed)
        interleaved += QByteArray(command.bytes) + command.bytes;
    EXPECT_EQ(b->receivedBytes(), interleaved);
    EXPECT_TRUE(prompter.messages.isEmpty());
}

TEST_F(CommandsTest, OneStudentCommandsFollowTheRowAfterSorting)
{
    emit listView()->header()->sectionClicked(0);
    selectRow(2);
    ASSERT_EQ(cell(2, 0), QStringLiteral("charlie"));
    trigger("MenuItem1");
    ASSERT_TRUE(waitUntil([&] { return c->receivedBytes() == "01"; }));
    flushCommands();
    EXPECT_TRUE(a->receivedBytes().isEmpty());
    EXPECT_TRUE(b->receivedBytes().isEmpty());
}

// Cloned images share a name; a lab without reverse entries has none. Each row is still
// its own student.
TEST_F(CommandsTest, SameNameTwinsEachGetTheirOwnCommands)
{
    StudentAgent &twin = connectStudent(QStringLiteral("alpha"), 5);
    selectRow(3);
    trigger("MenuItem2");
    selectRow(0);
    trigger("MenuItem3");
    ASSERT_TRUE(waitUntil([&] { return twin.receivedBytes() == "02"; }));
    ASSERT_TRUE(waitUntil([&] { return a->receivedBytes() == "03"; }));
    flushCommands();
    EXPECT_EQ(twin.receivedBytes(), "02");
    EXPECT_EQ(a->receivedBytes(), "03");
}

TEST_F(CommandsTest, NamelessTwinsEachGetTheirOwnCommandsAndBlackOut)
{
    StudentAgent &first = connectStudent(QString(), 6);
    StudentAgent &second = connectStudent(QString(), 7);
    selectRow(4);
    trigger("MenuItem3");
    trigger("N11");
    ASSERT_TRUE(waitUntil([&] { return second.receivedBytes() == "03BLACKSCREEN"; }));
    flushCommands();
    EXPECT_TRUE(first.receivedBytes().isEmpty());
    EXPECT_EQ(cell(3, 4), kNo);
    EXPECT_EQ(cell(4, 4), kYes);
}

// The console has not yet noticed alpha's reset when the command for charlie goes out.
TEST_F(CommandsTest, AResetStudentEarlierInTheListNeitherBlocksNorShowsABox)
{
    a->reset();
    selectRow(2);
    trigger("MenuItem4");
    EXPECT_TRUE(waitUntil([&] { return c->receivedBytes() == "04"; }));
    EXPECT_TRUE(prompter.errors.isEmpty()) << prompter.errors.join('|').toStdString();
    EXPECT_TRUE(b->receivedBytes().isEmpty());
}

// bravo was reset: the black-out send fails and takes its row away once it has returned,
// charlie moves up into its place and must not be marked.
TEST_F(CommandsTest, AFailedBlackOutSendMarksNoOtherRow)
{
    b->reset();
    selectRow(1);
    trigger("N11");
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 2; }));
    EXPECT_EQ(cell(1, 0), QStringLiteral("charlie"));
    EXPECT_EQ(cell(0, 4), kNo);
    EXPECT_EQ(cell(1, 4), kNo);
    EXPECT_TRUE(prompter.errors.isEmpty()) << prompter.errors.join('|').toStdString();
    flushCommands();
    EXPECT_TRUE(c->receivedBytes().isEmpty());
}

TEST_F(CommandsTest, NoSelectedRowSendsNothingAndChangesNoRow)
{
    selectRow(-1);
    trigger("MenuItem3");
    trigger("N11");
    flushCommands();
    for (StudentAgent *s : {a, b, c})
        EXPECT_TRUE(s->receivedBytes().isEmpty());
    EXPECT_EQ(cell(0, 4), kNo);
}

TEST_F(CommandsTest, MessagesKeepTheirLinesAndBlanks)
{
    answerMessageDialog(QString::fromUtf8("  第一行\n second \n"));
    trigger("N9");
    const QByteArray expected =
        QByteArray("2  ") + QByteArray("\xb5\xda\xd2\xbb\xd0\xd0") + "\r\n second \r\n";
    ASSERT_TRUE(waitUntil([&] { return c->receivedBytes() == expected; }));
    EXPECT_EQ(a->receivedBytes(), expected);

    // The dialog keeps its text for the next message; this one goes to one student.
    prompter.onDialog = [](QDialog &dialog) {
        dialog.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();
        return dialog.result();
    };
    selectRow(0);
    trigger("N13");
    EXPECT_TRUE(waitUntil([&] { return a->receivedBytes() == expected + expected; }));
    EXPECT_EQ(b->receivedBytes(), expected);
}

TEST_F(CommandsTest, EveryCommandSentIsLoggedWithWhoToWhomAndWhat)
{
    StderrCapture capture;
    trigger("N04");
    answerMessageDialog(QString::fromUtf8("下课了\n明天见"));
    selectRow(1);
    trigger("N13");
    selectRow(2);
    trigger("N11");
    const QString log = capture.take();
    const QString user = qEnvironmentVariable("USER", qEnvironmentVariable("LOGNAME"));
    EXPECT_TRUE(log.contains(QStringLiteral("<6>")));
    EXPECT_TRUE(
        log.contains(user + QStringLiteral(" sent 03 (shut down) to all students (3 connected)")))
        << log.toStdString();
    EXPECT_TRUE(log.contains(
        user + QString::fromUtf8(" sent message \"下课了\\r\\n明天见\" to bravo (127.0.0.3)")))
        << log.toStdString();
    EXPECT_TRUE(
        log.contains(QStringLiteral(" sent BLACKSCREEN (black out) to charlie (127.0.0.4)")))
        << log.toStdString();
}

TEST_F(CommandsTest, BlankMessageIsRefusedAndTheDialogStaysOpen)
{
    bool stillOpen = false;
    prompter.onDialog = [&](QDialog &dialog) {
        dialog.show();
        dialog.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"))->setPlainText(" \n\t ");
        dialog.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();
        stillOpen = dialog.isVisible();
        dialog.findChild<QPushButton *>(QStringLiteral("BitBtn2"))->click();
        return dialog.result();
    };
    trigger("N9");
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(prompter.messages, QStringList{QString::fromUtf8("消息不能为空")});

    // Longer than a student takes: refused, saying the limit, and the text stays as typed.
    const QString tooLong(framing::kTextBound / 2 + 1, QChar(0x4e0b));
    prompter.onDialog = [&](QDialog &dialog) {
        dialog.show();
        auto *memo = dialog.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"));
        memo->setPlainText(tooLong);
        dialog.findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();
        stillOpen = dialog.isVisible() && memo->toPlainText() == tooLong;
        memo->clear();
        dialog.findChild<QPushButton *>(QStringLiteral("BitBtn2"))->click();
        return dialog.result();
    };
    stillOpen = false;
    trigger("N9");
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(prompter.messages.size(), 2);
    EXPECT_TRUE(prompter.messages[1].contains(QString::number(framing::kTextBound)));

    // Neither button is the cancel button: Escape leaves the dialog and its text alone.
    prompter.onDialog = [&](QDialog &dialog) {
        dialog.show();
        auto *memo = dialog.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"));
        memo->setFocus();
        QTest::keyClick(memo, Qt::Key_Escape);
        stillOpen = dialog.isVisible();
        dialog.findChild<QPushButton *>(QStringLiteral("BitBtn2"))->click();
        return dialog.result();
    };
    stillOpen = false;
    trigger("N9");
    EXPECT_TRUE(stillOpen);
    flushCommands();
    EXPECT_TRUE(a->receivedBytes().isEmpty());
}

TEST_F(CommandsTest, CustomCommandsGoOutUntrimmedAndBlankOnesAreRefused)
{
    prompter.inputAnswers = {QStringLiteral("  dir")};
    trigger("N10");
    ASSERT_TRUE(waitUntil([&] { return c->receivedBytes() == "00  dir"; }));
    EXPECT_EQ(prompter.inputCaptions, QStringList{QString::fromUtf8("输入命令|命令")});
    EXPECT_EQ(prompter.inputMaxLength, 255);

    prompter.inputAnswers = {QString::fromUtf8("notepad 说明.txt")};
    selectRow(1);
    trigger("N14");
    EXPECT_TRUE(waitUntil(
        [&] { return b->receivedBytes() == QByteArray("00  dir00notepad \xcb\xb5\xc3\xf7.txt"); }));

    // OK on a blank or empty box is refused; Cancel just closes the box.
    prompter.inputAnswers = {QStringLiteral("   "), QString()};
    trigger("N10");
    trigger("N10");
    EXPECT_EQ(prompter.messages, QStringList(2, QString::fromUtf8("命令不能为空!")));
    prompter.messages.clear();
    trigger("N10");
    selectRow(0);
    trigger("N14");
    EXPECT_TRUE(prompter.messages.isEmpty()) << prompter.messages.join(u'|').toStdString();
    EXPECT_EQ(prompter.inputCaptions.size(), 6);
    flushCommands();
    EXPECT_EQ(a->receivedBytes(), "00  dir");
}

TEST_F(CommandsTest, BlackOutOfAllAndOfOneStudent)
{
    button("SpeedButton3")->click();
    EXPECT_EQ(button("SpeedButton3")->text(), QString::fromUtf8("取消黑屏"));
    for (const char *other : {"SpeedButton1", "SpeedButton2", "SpeedButton4", "SpeedButton5"})
        EXPECT_FALSE(button(other)->isEnabled()) << other;
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(cell(row, 4), kYes);

    // One student restored while the mode stays on; a newcomer is not blacked out.
    selectRow(1);
    trigger("N11");
    EXPECT_EQ(cell(1, 4), kNo);
    StudentAgent &late = connectStudent(QStringLiteral("delta"), 5);
    EXPECT_EQ(cell(3, 4), kNo);

    button("SpeedButton3")->click();
    EXPECT_EQ(button("SpeedButton3")->text(), QString::fromUtf8("全部黑屏"));
    EXPECT_TRUE(button("SpeedButton5")->isEnabled());
    ASSERT_TRUE(
        waitUntil([&] { return b->receivedBytes() == "BLACKSCREENUNBLACKSCREENUNBLACKSCREEN"; }));
    EXPECT_TRUE(waitUntil([&] { return late.receivedBytes() == "UNBLACKSCREEN"; }));
    EXPECT_EQ(a->receivedBytes(), "BLACKSCREENUNBLACKSCREEN");
    EXPECT_FALSE(a->isBlackedOut());
}

// The last student leaving must not trap the teacher in the mode.
TEST_F(CommandsTest, TheBlackOutOfAllEndsAfterEveryStudentLeft)
{
    button("SpeedButton3")->click();
    for (StudentAgent *s : {a, b, c})
        s->disconnectGracefully();
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 0; }));
    button("SpeedButton3")->click();
    EXPECT_EQ(button("SpeedButton3")->text(), QString::fromUtf8("全部黑屏"));
    EXPECT_TRUE(button("SpeedButton1")->isEnabled());
    EXPECT_TRUE(prompter.messages.isEmpty());
}

TEST_F(CommandsTest, EmptyRosterRefusesTheToolbar)
{
    for (StudentAgent *s : {a, b, c})
        s->disconnectGracefully();
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 0; }));
    button("SpeedButton3")->click();
    button("SpeedButton4")->click();
    EXPECT_EQ(prompter.messages,
              (QStringList{QString::fromUtf8("现在还没有学生机登录，不能黑屏"),
                           QString::fromUtf8("现在还没有学生机登录，不能远程控制")}));
    EXPECT_EQ(button("SpeedButton3")->text(), QString::fromUtf8("全部黑屏"));
}

class WakeMenuTest : public ConsoleFixture
{
};

// With the class switched off nobody is connected: 远程控制 refuses as ever, and the menu bar
// still reaches "开机" for the computers remembered.
TEST_F(WakeMenuTest, WithNobodyConnectedTheMenuBarStillWakesTheRoom)
{
    dataFolder = dir.filePath(QStringLiteral("data"));
    ASSERT_TRUE(QDir().mkpath(dataFolder));
    QFile known(dataFolder + QStringLiteral("/computers"));
    ASSERT_TRUE(known.open(QIODevice::WriteOnly));
    known.write("02:00:0a:4d:00:1e\t127.0.0.9\tpc-9\n");
    known.close();
    console();
    button("SpeedButton4")->click();
    EXPECT_EQ(prompter.messages.size(), 1);
    auto *bar = console().findChild<QMenuBar *>(QStringLiteral("MainMenu1"));
    auto *wake = console().findChild<QAction *>(QStringLiteral("N15"));
    ASSERT_TRUE(bar->actions().contains(wake));
    const QString before = statusPanel(2);
    wake->trigger();
    EXPECT_NE(statusPanel(2), before);
}

// Behind a message or custom command a student's next commands wait for the agent's quiet gap,
// in order and none dropped, so none becomes part of the text; a student that stopped reading
// holds up no other.
TEST_F(CommandsTest, CommandsBehindATextWaitForTheAgentsGapAndAStuckStudentHoldsUpNoOther)
{
    c->stopReading();
    QString chart;
    while (chart.size() < 100 * 1024)
        chart += QString::fromUtf8("第3排 01号 张三 STOP\n");
    answerMessageDialog(chart);
    trigger("N9");
    prompter.inputAnswers = {QStringLiteral("echo 1")};
    trigger("N10");
    trigger("N03");
    const QList<StudentCommand> expected{
        {StudentCommand::Kind::Message, command::message(chart), command::message(chart).mid(1)},
        {StudentCommand::Kind::Custom, "00echo 1", "echo 1"},
        {StudentCommand::Kind::Notepad, "04"}};
    ASSERT_TRUE(waitUntil([&] { return a->commands().size() >= 3 && b->commands().size() >= 3; }));
    EXPECT_EQ(a->commands(), expected);
    EXPECT_EQ(b->commands(), expected);
    c->resumeReading();
    EXPECT_TRUE(waitUntil([&] { return c->commands().size() >= 3; }));
    EXPECT_EQ(c->commands(), expected);
}
