#include "agent/ApplicationLauncher.h"
#include "protocol/TextFraming.h"
#include "tests/agent/AgentFixture.h"
#include "tests/support/WaitUntil.h"
#include "text/Cp936.h"

#include <QApplication>

using Action = PowerControl::Action;

TEST_F(AgentFixture, PowerCommandsAskThePowerSeamAndProgramsComeFromTheTable)
{
    AgentSettings settings = settingsForTest();
    settings.applications[AgentSettings::TextEditor] = {QStringLiteral("missing.desktop"),
                                                        QStringLiteral("org.lab.Editor.desktop")};
    settings.applications[AgentSettings::FileManager] = {QStringLiteral("absent --x"),
                                                         QStringLiteral("files --home \"My Dir\"")};
    starter.entries.insert(QStringLiteral("org.lab.Editor.desktop"),
                           QStringLiteral("/usr/share/applications/org.lab.Editor.desktop"));
    starter.programs = {QStringLiteral("gio"), QStringLiteral("files")};
    startAgent(settings);

    send("010203", 3);
    EXPECT_EQ(power.requests, (QList<Action>{Action::LogOff, Action::Reboot, Action::PowerOff}));

    send("0405", 2);
    ASSERT_EQ(starter.started.size(), 2);
    EXPECT_EQ(starter.started[0],
              (QStringList{"gio", "launch", "/usr/share/applications/org.lab.Editor.desktop"}));
    EXPECT_EQ(starter.started[1], (QStringList{"files", "--home", "My Dir"}));

    // Nothing installed for paint: nothing started, nothing else happens.
    send("07", 1);
    EXPECT_EQ(starter.started.size(), 2);
    EXPECT_EQ(power.requests.size(), 3);
}

TEST(ApplicationLauncher, FallsBackToGtkLaunchWithTheBareIdWithoutGio)
{
    FakeStarter starter;
    starter.entries.insert(QStringLiteral("pinta.desktop"), QStringLiteral("/x/pinta.desktop"));
    AgentSettings settings = AgentSettings::defaults();
    ApplicationLauncher launcher(settings, starter);
    EXPECT_EQ(launcher.launch(AgentSettings::Paint), QStringLiteral("pinta.desktop"));
    ASSERT_EQ(starter.started.size(), 1);
    EXPECT_EQ(starter.started[0], (QStringList{"gtk-launch", "pinta"}));
}

TEST_F(AgentFixture, CustomCommandsRunOnlyWhenAllowedAndNeverAsRoot)
{
    startAgent();
    send("00touch /tmp/x", 1);
    EXPECT_TRUE(starter.started.isEmpty()) << "ran although not allowed";
    agent.reset();
    delete connection;

    AgentSettings allowed = settingsForTest();
    allowed.allowCustomCommands = true;
    startAgent(allowed, /*root=*/true);
    send("00touch /tmp/x", 1);
    EXPECT_TRUE(starter.started.isEmpty()) << "ran as root";
    agent.reset();
    delete connection;

    startAgent(allowed, /*root=*/false);
    const QByteArray text = cp936::encode(QString::fromUtf8("  echo 你好"));
    send("00" + text, 1);
    ASSERT_EQ(starter.started.size(), 1);
    EXPECT_EQ(starter.started[0], (QStringList{"/bin/sh", "-c", QString::fromUtf8("  echo 你好")}));
}

TEST_F(AgentFixture, MessageIsShownOnTopDecodedFromCodePage936)
{
    startAgent();
    const QString text = QString::fromUtf8("下课了\r\n请保存作业");
    send("2" + cp936::encode(text), 1);
    EXPECT_TRUE(agent->message().isVisible());
    EXPECT_TRUE(agent->message().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(agent->message().text(), QString::fromUtf8("下课了\n请保存作业"));
}

// A message or custom command goes on until the stream falls quiet, however TCP cuts it; what
// is written behind it without a pause is part of it, and a custom command cut at the bound
// never runs.
TEST_F(AgentFixture, TextsEndOnlyWhereTheStreamFallsQuiet)
{
    AgentSettings allowed = settingsForTest();
    allowed.allowCustomCommands = true;
    startAgent(allowed);
    connection->write("2first half, ");
    settle(framing::kQuietGapMs / 2);
    send("second half01", 1);
    EXPECT_EQ(agent->message().text(), QStringLiteral("first half, second half01"));
    EXPECT_TRUE(power.requests.isEmpty());

    connection->write("2notice");
    settle(framing::kConsoleWaitMs);
    send("01", 1);
    EXPECT_EQ(power.requests, QList<Action>{Action::LogOff});

    connection->write("00echo " + QByteArray(framing::kTextBound, 'x') + "; reboot");
    ASSERT_TRUE(waitUntil([&] { return obeyed.last().kind == StudentCommand::Kind::Custom; }));
    EXPECT_TRUE(obeyed.last().cut);
    settle(framing::kConsoleWaitMs);
    send("00echo ok", 1);
    EXPECT_EQ(starter.started, (QList<QStringList>{{"/bin/sh", "-c", "echo ok"}}));
}

// Junk and a message far past the bound: nothing runs, one message window shows the front
// marked as cut, and after the stream falls quiet the agent obeys again.
TEST_F(AgentFixture, HostileStreamsRunNothingAndLeaveTheAgentWorking)
{
    startAgent();
    QByteArray junk(256 * 1024, '\0');
    quint32 state = 7;
    for (char &byte : junk) {
        state = state * 1103515245u + 12345u;
        byte = char(state >> 24);
        if (byte == '0' || byte == '2') {
            byte = 'x'; // no command texts, so nothing may act
        }
    }
    connection->write(junk);
    connection->write("2" + QByteArray(4 * 1024 * 1024, 'A') + "0102IMAGE");
    ASSERT_TRUE(waitUntil([&] { return connection->bytesToWrite() == 0; }, 20000));
    settle(framing::kConsoleWaitMs);
    EXPECT_EQ(agent->message().text(), QString(framing::kTextBound, u'A'));
    EXPECT_TRUE(agent->message().isMarkedCut());
    int windows = 0;
    for (const QWidget *window : QApplication::topLevelWidgets()) {
        windows += window->isVisible() && qobject_cast<const MessageWindow *>(window) ? 1 : 0;
    }
    EXPECT_EQ(windows, 1);
    EXPECT_TRUE(power.requests.isEmpty());
    EXPECT_TRUE(starter.started.isEmpty());
    EXPECT_FALSE(agent->isDemonstrating());
    connection->write("IMAGE");
    EXPECT_TRUE(waitUntil([&] { return agent->isDemonstrating(); }, 20000));
}

// 1 MiB of junk is one journal line when it starts and one with its count when the stream
// falls quiet, not a line per unknown text.
TEST_F(AgentFixture, JunkIsLoggedOncePerKindPerBurstWithItsCount)
{
    startAgent();
    static QStringList lines;
    lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &line) { lines.append(line); });
    connection->write(QByteArray("09").repeated(512 * 1024));
    const bool summed = waitUntil([&] { return lines.filter("unknown bytes").size() >= 2; }, 20000);
    settle(framing::kConsoleWaitMs);
    qInstallMessageHandler(previous);
    ASSERT_TRUE(summed);
    EXPECT_EQ(lines.filter("unknown bytes").size(), 2) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains("unknown bytes: 524288 times in this burst (1048576 bytes)"));
    EXPECT_TRUE(lines.filter("command").isEmpty());
}
