#include "tests/agent/AgentFixture.h"

#include "tests/support/WaitUntil.h"

void FakePower::request(Action action, Refusal answer)
{
    requests.append(action);
    if (!refusal.isEmpty() && answer)
        answer(true, refusal);
}

bool FakeStarter::startDetached(const QString &program, const QStringList &arguments)
{
    started.append(QStringList{program} + arguments);
    return true;
}

AgentSettings AgentFixture::settingsForTest()
{
    if (!server.isListening()) {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0)) << "no command port";
    }
    AgentSettings settings = AgentSettings::defaults();
    settings.console = QStringLiteral("127.0.0.1");
    settings.commandPort = server.serverPort();
    settings.imagePort = kImagePort;
    settings.mousePort = kMousePort;
    return settings;
}

void AgentFixture::startAgent(const AgentSettings &settings, bool root)
{
    Agent::Seams seams{&power, &starter, [root] { return root; }, {}};
    agent = std::make_unique<Agent>(settings, seams);
    agent->link().setRetryDelays(50, 400);
    QObject::connect(agent.get(), &Agent::obeyed,
                     [this](const StudentCommand &command) { obeyed.append(command); });
    agent->start();
    ASSERT_TRUE(waitForConnection());
}

bool AgentFixture::waitForConnection()
{
    if (!waitUntil([this] { return server.hasPendingConnections(); })) {
        return false;
    }
    connection = server.nextPendingConnection();
    return waitUntil([this] { return agent->link().isConnected(); });
}

void AgentFixture::send(const QByteArray &bytes, int commands)
{
    const qsizetype target = obeyed.size() + commands;
    ASSERT_TRUE(connection);
    connection->write(bytes);
    ASSERT_TRUE(waitUntil([&] { return obeyed.size() >= target; }))
        << "obeyed " << obeyed.size() << " of " << target;
}

void AgentFixture::TearDown()
{
    agent.reset();
    delete connection;
}
