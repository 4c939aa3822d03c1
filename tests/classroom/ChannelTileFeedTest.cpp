#include "classroom/ChannelTileFeed.h"
#include "classroom/AgentChannel.h"
#include "classroom/Roster.h"
#include "classroom/RosterModel.h"
#include "net/ChannelServer.h"
#include "net/ReverseLookup.h"
#include "protocol/ChannelMessage.h"
#include "settings/ConsoleKey.h"
#include "tests/support/WaitUntil.h"
#include "tools/student-sim/ScreenPicture.h"
#include "tools/student-sim/StudentAgent.h"

#include <QImage>
#include <gtest/gtest.h>

// A channel agent's tiles reach the wall only while its tile is asked for and only within the
// bound: one sent before, after, or over it is dropped. Each check ends with a command the agent
// refuses, whose answer comes after the tile on the same connection.
TEST(ChannelTileFeedTest, TilesNotAskedForOrOverTheBoundAreDropped)
{
    reverse_lookup::install([](quint32) { return QByteArray(); });
    const ConsoleKey key = ConsoleKey::generate();
    RosterModel model;
    Roster roster(&model, [] {});
    AgentChannel agents(roster, model);
    agents.open(0, key);
    ChannelTileFeed feed(agents);
    QList<QByteArray> files;
    QObject::connect(&feed, &TileFeed::fileArrived,
                     [&](quint64, const QByteArray &file) { files.append(file); });
    int answers = 0;
    QObject::connect(&agents, &AgentChannel::notice, [&](const QString &) { ++answers; });

    StudentAgent pinned(QStringLiteral("pc-3"), QHostAddress(QStringLiteral("127.0.0.3")));
    pinned.setChannel(key.fingerprint, QStringLiteral("dave"));
    pinned.connectToConsole(QHostAddress::LocalHost, quint16(agents.server()->ListenPort()));
    ASSERT_TRUE(waitUntil([&] { return model.rowCount() == 1; }));
    const quint64 agent = model.key(0);
    ASSERT_TRUE(feed.serves(agent));
    EXPECT_FALSE(feed.serves(agent + 1));
    const auto sync = [&] {
        const int before = answers;
        agents.sendText(agent, "00true");
        return waitUntil([&] { return answers > before; });
    };
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::green);
    const QByteArray small = ScreenPicture::jpeg(picture, 90);
    const QByteArray oversized = small + QByteArray(ChannelMessage::kMaxTile, '\0');

    pinned.sendTile(small);
    ASSERT_TRUE(sync());
    EXPECT_TRUE(files.isEmpty());

    feed.setTileSize(160, 90);
    feed.start(agent);
    ASSERT_TRUE(waitUntil([&] { return !files.isEmpty(); }));
    EXPECT_TRUE(pinned.wall().isSending());
    pinned.sendTile(oversized);
    ASSERT_TRUE(sync());
    EXPECT_FALSE(files.contains(oversized));

    feed.stop(agent);
    ASSERT_TRUE(waitUntil([&] { return !pinned.wall().isSending(); }));
    ASSERT_TRUE(sync());
    const qsizetype before = files.size();
    pinned.sendTile(small);
    ASSERT_TRUE(sync());
    EXPECT_EQ(files.size(), before);
    EXPECT_FALSE(files.contains(small));
    agents.close();
    EXPECT_TRUE(reverse_lookup::waitForPending(15000));
    reverse_lookup::install({});
}
