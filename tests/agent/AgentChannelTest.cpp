#include "tests/agent/AgentFixture.h"

#include "agent/SessionFrame.h"
#include "net/ChannelServer.h"
#include "net/TlsContext.h"
#include "settings/ConsoleKey.h"
#include "tests/support/StderrCapture.h"
#include "tests/support/WaitUntil.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

namespace {

// A console's end of the channel with a key of its own, and what its agents said.
struct StandInConsole
{
    StandInConsole() : server(TlsContext::forConsole(key.certificatePem, key.privateKeyPem))
    {
        server.Open(0);
        QObject::connect(&server, &ChannelServer::agentGreeted,
                         [this](quint64 agent, const ChannelMessage &hello) {
                             this->agent = agent;
                             hellos.append(hello);
                         });
        QObject::connect(&server, &ChannelServer::messageReceived,
                         [this](quint64, const ChannelMessage &message) { said.append(message); });
        QObject::connect(&server, &ChannelServer::notice,
                         [this](const QString &text) { notices.append(text); });
    }
    void command(quint32 id, const QByteArray &text)
    {
        server.send(agent, ChannelMessage::command(id, text));
    }

    ConsoleKey key = ConsoleKey::generate();
    ChannelServer server;
    quint64 agent = 0;
    QList<ChannelMessage> hellos;
    QList<ChannelMessage> said;
    QStringList notices;
};

} // namespace

class AgentChannelTest : public AgentFixture
{
protected:
    AgentSettings pinnedTo(const StandInConsole &console, const QString &fingerprint)
    {
        AgentSettings settings = settingsForTest();
        settings.agentPort = quint16(console.server.ListenPort());
        settings.consoleFingerprint = fingerprint;
        settings.pinFile = pins.filePath(QStringLiteral("console.fingerprint"));
        return settings;
    }
    void run(const AgentSettings &settings)
    {
        Agent::Seams seams{&power, &starter, [] { return false; }, {}};
        agent = std::make_unique<Agent>(settings, seams);
        agent->link().setRetryDelays(50, 400);
        agent->start();
    }

    QTemporaryDir pins;
};

// The console with the pinned key gets the agent; one with another key, on the same address,
// is refused on both sides (each logs it, the console is told by the handshake), and the agent
// never falls back to the plaintext port.
TEST_F(AgentChannelTest, APinnedKeyIsAcceptedAndAnotherRefusedOnBothSides)
{
    StandInConsole console;
    run(pinnedTo(console, console.key.fingerprint));
    ASSERT_TRUE(waitUntil([&] { return console.hellos.size() == 1; }));
    EXPECT_TRUE(agent->link().isConnected());
    EXPECT_FALSE(console.hellos[0].user.isEmpty());
    EXPECT_TRUE(console.hellos[0].screen.isValid());
    EXPECT_EQ(console.hellos[0].capabilities,
              QStringList({QStringLiteral("answers"), QStringLiteral("sessionEvents"),
                           QStringLiteral("wall")}));
    agent.reset();

    StandInConsole impostor;
    StderrCapture log;
    run(pinnedTo(impostor, console.key.fingerprint));
    EXPECT_TRUE(waitUntil([&] { return !impostor.notices.isEmpty(); }));
    settle(500);
    const QString lines = log.take();
    EXPECT_TRUE(impostor.hellos.isEmpty());
    EXPECT_FALSE(agent->link().isConnected());
    EXPECT_FALSE(server.hasPendingConnections());
    EXPECT_TRUE(lines.contains(QStringLiteral("refused the console at 127.0.0.1")));
    EXPECT_TRUE(lines.contains(QStringLiteral("never in plaintext")));
    EXPECT_TRUE(lines.contains(QStringLiteral("refused this console's key")));
}

// The first key seen is kept where the service keeps it; a console with another key is refused
// from then on, also by an agent started afresh.
TEST_F(AgentChannelTest, TrustOnFirstUsePinsTheFirstKeyForGood)
{
    StandInConsole first;
    AgentSettings settings = pinnedTo(first, QString());
    settings.trustOnFirstUse = true;
    run(settings);
    ASSERT_TRUE(waitUntil([&] { return first.hellos.size() == 1; }));
    QFile pin(settings.pinFile);
    ASSERT_TRUE(pin.open(QIODevice::ReadOnly));
    EXPECT_EQ(pin.readAll().trimmed(), first.key.fingerprint.toLatin1());
    agent.reset();

    StandInConsole second;
    settings.agentPort = quint16(second.server.ListenPort());
    run(settings);
    EXPECT_TRUE(waitUntil([&] { return !second.notices.isEmpty(); }));
    EXPECT_TRUE(second.hellos.isEmpty());
    EXPECT_FALSE(agent->link().isConnected());
}

// Each text is one whole command on the channel; a refusal and a failure come back with the
// command's id, a command carried out says nothing. The demonstration's key and the welcome's
// stream port reach the display state, which the pipe hands to the session part whole, and
// "STOP" takes the key away.
TEST_F(AgentChannelTest, CommandsAreAnsweredWhenRefusedOrFailed)
{
    StandInConsole console;
    power.refusal = QStringLiteral("not authorized");
    run(pinnedTo(console, console.key.fingerprint));
    ASSERT_TRUE(waitUntil([&] { return console.hellos.size() == 1; }));

    console.command(7, "03");
    console.command(8, "00echo hi");
    console.command(9, "04");
    console.command(10, "BLACKSCREEN");
    ChannelMessage welcome;
    welcome.kind = ChannelMessage::Kind::Welcome;
    welcome.streamPort = 6001;
    console.server.send(console.agent, welcome);
    ChannelMessage key;
    key.kind = ChannelMessage::Kind::DemoKey;
    key.key = StreamKey::generate();
    console.server.send(console.agent, key);
    console.command(11, "IMAGE");
    ASSERT_TRUE(waitUntil([&] { return agent->displayState().demonstrating; }));
    ASSERT_TRUE(waitUntil([&] { return console.said.size() == 3; }));
    EXPECT_EQ(console.said[0].id, 7u);
    EXPECT_TRUE(console.said[0].refused);
    EXPECT_TRUE(console.said[0].reason.contains(QStringLiteral("not authorized")));
    EXPECT_EQ(console.said[1].id, 8u);
    EXPECT_TRUE(console.said[1].refused);
    EXPECT_EQ(console.said[2].id, 9u);
    EXPECT_FALSE(console.said[2].refused);
    EXPECT_EQ(power.requests, QList{PowerControl::Action::PowerOff});
    const DisplayState &state = agent->displayState();
    EXPECT_TRUE(state.blackout);
    EXPECT_TRUE(state.signedOnly);
    EXPECT_EQ(state.demoKey, key.key);
    // The console's own stream port wins over student.ini's.
    EXPECT_EQ(state.streamPort, 6001);
    SessionFrame toPart;
    toPart.kind = SessionFrame::Kind::State;
    toPart.state = state;
    QByteArray pipe = toPart.encode();
    SessionFrame inPart;
    ASSERT_EQ(SessionFrame::take(pipe, inPart), SessionFrame::Status::Complete);
    EXPECT_EQ(inPart.state.demoKey, key.key);
    EXPECT_TRUE(inPart.state.signedOnly);

    console.command(12, "STOP");
    ASSERT_TRUE(waitUntil([&] { return !agent->displayState().demonstrating; }));
    EXPECT_FALSE(agent->displayState().demoKey.isValid());
    EXPECT_EQ(console.said.size(), 3);
}

// Asked for the wall over the channel, the agent looks at its screen at most once a second and
// sends a tile only when the small picture changed; "off" stops the looking, and so does the
// console's leaving.
TEST_F(AgentChannelTest, WallTilesComeWhenTheScreenChangedAtMostOnceASecond)
{
    StandInConsole console;
    constexpr int kWidth = 320;
    constexpr int kHeight = 200;
    std::vector<std::uint8_t> screen(std::size_t(kWidth) * kHeight * 4, 40);
    int looks = 0;
    AgentSettings settings = pinnedTo(console, console.key.fingerprint);
    Agent::Seams seams{&power, &starter, [] { return false; }, {}};
    seams.wallScreen = [&]() -> WallTile::Screen {
        ++looks;
        return {screen.data(), kWidth, kHeight, kWidth * 4};
    };
    agent = std::make_unique<Agent>(settings, seams);
    agent->start();
    ASSERT_TRUE(waitUntil([&] { return console.hellos.size() == 1; }));
    const auto tiles = [&] {
        return std::count_if(console.said.begin(), console.said.end(), [](const ChannelMessage &m) {
            return m.kind == ChannelMessage::Kind::Tile;
        });
    };
    ChannelMessage wall;
    wall.kind = ChannelMessage::Kind::Wall;
    wall.on = true;
    wall.tile = QSize(160, 90);
    QElapsedTimer clock;
    clock.start();
    console.server.send(console.agent, wall);
    ASSERT_TRUE(waitUntil([&] { return tiles() == 1; }));
    ASSERT_TRUE(waitUntil([&] { return looks >= 3; }));
    EXPECT_EQ(tiles(), 1);
    screen[1000] = 250;
    ASSERT_TRUE(waitUntil([&] { return tiles() == 2; }));
    EXPECT_LE(looks, clock.elapsed() / WallSender::kIntervalMs + 1);

    wall.on = false;
    console.server.send(console.agent, wall);
    ASSERT_TRUE(waitUntil([&] { return !agent->wall().isSending(); }));
    wall.on = true;
    console.server.send(console.agent, wall);
    ASSERT_TRUE(waitUntil([&] { return agent->wall().isSending(); }));
    // Shown again, the wall has forgotten the picture: it comes though it did not change.
    EXPECT_TRUE(waitUntil([&] { return tiles() == 3; }));
    console.server.Close();
    EXPECT_TRUE(waitUntil([&] { return !agent->wall().isSending(); }));
}
