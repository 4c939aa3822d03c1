#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct AgentRun
{
    int code = -1;
    QString output;
};

AgentRun runAgent(const QStringList &arguments, const QString &sessionType = QStringLiteral("x11"))
{
    QProcess agent;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_SESSION_TYPE"), sessionType);
    agent.setProcessEnvironment(environment);
    agent.setProcessChannelMode(QProcess::MergedChannels);
    agent.start(QStringLiteral(VELMORA_STUDENT_AGENT), arguments);
    if (!agent.waitForFinished(10000)) {
        agent.kill();
        agent.waitForFinished();
        return {};
    }
    return {agent.exitCode(), QString::fromUtf8(agent.readAll())};
}

} // namespace

TEST(AgentProgram, HelpAndBadOptionsAnswerWithoutStarting)
{
    const AgentRun help = runAgent({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.output.startsWith(QStringLiteral("Usage: velmora-student")))
        << help.output.toStdString();

    const AgentRun bad = runAgent({QStringLiteral("--port"), QStringLiteral("99999")});
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(bad.output.contains(QStringLiteral("--port"))) << bad.output.toStdString();

    const AgentRun nowhere =
        runAgent({QStringLiteral("--config"), QStringLiteral("/nonexistent.ini")});
    EXPECT_EQ(nowhere.code, 2);
    EXPECT_TRUE(nowhere.output.contains(QStringLiteral("no console address")));
}

TEST(AgentProgram, RefusesAWaylandSessionOrNoDisplayClearly)
{
    const AgentRun run = runAgent({QStringLiteral("--console"), QStringLiteral("127.0.0.1")},
                                  QStringLiteral("wayland"));
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.output.contains(QStringLiteral("Wayland"))) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(QString::fromUtf8("不支持 Wayland")));

    QProcess outside;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    outside.setProcessEnvironment(environment);
    outside.setProcessChannelMode(QProcess::MergedChannels);
    outside.start(QStringLiteral(VELMORA_STUDENT_AGENT),
                  {QStringLiteral("--console"), QStringLiteral("127.0.0.1")});
    ASSERT_TRUE(outside.waitForFinished(10000));
    EXPECT_EQ(outside.exitCode(), 1);
    EXPECT_TRUE(outside.readAll().contains("DISPLAY is not set"));
}

TEST(AgentProgram, OneAgentPerDisplay)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        GTEST_SKIP() << "needs the private Xvfb";
    }
    // Nobody listens on port 9: the first agent waits and retries, the second gives way.
    QProcess first;
    first.setProcessChannelMode(QProcess::MergedChannels);
    first.start(QStringLiteral(VELMORA_STUDENT_AGENT),
                {QStringLiteral("--console"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                 QStringLiteral("9")});
    ASSERT_TRUE(first.waitForStarted());
    QByteArray printed;
    while (!printed.contains("started on display") && first.waitForReadyRead(5000)) {
        printed += first.readAll();
    }
    ASSERT_TRUE(printed.contains("started on display")) << printed.toStdString();
    const AgentRun second = runAgent({QStringLiteral("--console"), QStringLiteral("127.0.0.1"),
                                      QStringLiteral("--port"), QStringLiteral("9")});
    EXPECT_EQ(second.code, 3) << second.output.toStdString();
    EXPECT_TRUE(second.output.contains(QStringLiteral("already runs")));
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
}
