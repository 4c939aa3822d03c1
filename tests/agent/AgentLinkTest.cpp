#include "tests/agent/AgentFixture.h"
#include "tests/support/WaitUntil.h"

// The console closes and comes back on the same port: the agent finds it again by itself.
TEST_F(AgentFixture, ReconnectsWhenTheConsoleRestarts)
{
    startAgent();
    const quint16 port = server.serverPort();
    send("IMAGE", 1);
    ASSERT_TRUE(agent->isDemonstrating());

    server.close();
    connection->abort();
    ASSERT_TRUE(waitUntil([&] { return !agent->link().isConnected(); }));
    EXPECT_FALSE(agent->isDemonstrating()) << "a demonstration outlived its console";
    settle(300);

    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, port));
    ASSERT_TRUE(waitForConnection());
    send("2hello", 1);
    EXPECT_TRUE(agent->message().isVisible());
}

// Refused and dropped connections are retried after a pause that doubles, so an agent whose
// console is down never floods the network or spins the processor.
TEST_F(AgentFixture, RetriesAfterAGrowingPauseAndNeverSpins)
{
    startAgent();
    int accepted = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            ++accepted;
            socket->abort();
            socket->deleteLater();
        }
    });
    connection->abort();
    settle(1500);
    // 50, 100, 200, 400, 400, 400 ms: about six attempts in 1.5 s; a spinning agent makes
    // thousands.
    EXPECT_GE(accepted, 3);
    EXPECT_LE(accepted, 8);
    EXPECT_EQ(agent->link().retryDelay(), 400);
}

TEST_F(AgentFixture, FindsTheConsoleByTheSenderOfItsFirstBeacon)
{
    AgentSettings settings = settingsForTest();
    settings.console.clear();
    settings.allowBeaconDiscovery = true;
    agent =
        std::make_unique<Agent>(settings, Agent::Seams{&power, &starter, [] { return false; }, {}});
    agent->start();
    settle(100);
    EXPECT_FALSE(server.hasPendingConnections());

    QUdpSocket console;
    ASSERT_TRUE(console.bind(QHostAddress::LocalHost, 0));
    console.writeDatagram("110/5/5/", QHostAddress::LocalHost, kMousePort);
    settle(100);
    EXPECT_FALSE(server.hasPendingConnections()) << "a cursor datagram is no beacon";
    console.writeDatagram("00TEACHER", QHostAddress::LocalHost, kMousePort);
    ASSERT_TRUE(waitForConnection());
    EXPECT_EQ(agent->link().consoleAddress(), QHostAddress(QHostAddress::LocalHost));
}

// A host that beacons a hundred times faster neither takes the agent from the console it found
// nor gets it when that connection drops while the console still announces itself.
TEST_F(AgentFixture, DiscoveryStaysWithTheConsoleItFoundWhileThatConsoleBeacons)
{
    AgentSettings settings = settingsForTest();
    settings.console.clear();
    settings.allowBeaconDiscovery = true;
    QTcpServer rogue;
    ASSERT_TRUE(rogue.listen(QHostAddress(QStringLiteral("127.0.0.2")), server.serverPort()));
    QUdpSocket console;
    QUdpSocket rogueBeacon;
    ASSERT_TRUE(console.bind(QHostAddress::LocalHost, 0));
    ASSERT_TRUE(rogueBeacon.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    const auto beacons = [&](int rogueBeacons) {
        console.writeDatagram("00TEACHER", QHostAddress::LocalHost, kMousePort);
        for (int i = 0; i < rogueBeacons; ++i) {
            rogueBeacon.writeDatagram("00TEACHER", QHostAddress::LocalHost, kMousePort);
            settle(10);
        }
    };
    agent =
        std::make_unique<Agent>(settings, Agent::Seams{&power, &starter, [] { return false; }, {}});
    agent->link().setRetryDelays(50, 400);
    agent->start();
    settle(100);
    beacons(0);
    ASSERT_TRUE(waitForConnection());
    beacons(30);
    connection->abort();
    beacons(30);
    ASSERT_TRUE(waitForConnection());
    EXPECT_EQ(agent->link().consoleAddress(), QHostAddress(QHostAddress::LocalHost));
    EXPECT_FALSE(rogue.hasPendingConnections());
}
