#include "classroom/ClassroomSession.h"
#include "classroom/Demonstration.h"
#include "classroom/FrameSource.h"
#include "classroom/RosterModel.h"
#include "classroom/WakeOnLan.h"
#include "identity/NeighbourTable.h"
#include "net/ChannelServer.h"
#include "net/ReverseLookup.h"
#include "net/TServerSocket.h"
#include "tests/support/PrivateNetwork.h"
#include "tests/support/StderrCapture.h"
#include "tests/support/WaitUntil.h"
#include "tools/student-sim/StudentAgent.h"

#include <QFile>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <gtest/gtest.h>

namespace {
class NoFrames : public FrameSource
{
public:
    std::span<const std::uint8_t> captureFrame(std::int32_t) override { return {}; }
};
} // namespace

// A session with the trusted channel open, its students simulated agents of both kinds.
class ChannelSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        reverse_lookup::install([](quint32) { return QByteArray(); });
        QObject::connect(&session, &ClassroomSession::studentNotice,
                         [this](const QString &text) { notices.append(text); });
    }
    void open()
    {
        ConsoleSettings settings;
        settings.ImagePort = settings.MousePort = settings.CommandPort = settings.AgentPort = 0;
        session.open(settings, key, data.path());
    }
    void TearDown() override
    {
        students.clear();
        EXPECT_TRUE(reverse_lookup::waitForPending(15000));
        reverse_lookup::install({});
    }
    // From 127.0.0.<octet>; on the channel when user is given.
    StudentAgent &student(int octet, const QString &user = {}, const QByteArray &mac = {})
    {
        auto agent = std::make_unique<StudentAgent>(
            QString::number(octet), QHostAddress(QStringLiteral("127.0.0.%1").arg(octet)));
        quint16 port = quint16(session.findChild<TServerSocket *>()->Socket()->ListenPort());
        if (!user.isNull()) {
            agent->setChannel(key.fingerprint, user, mac);
            port = quint16(session.agentServer()->ListenPort());
        }
        const int before = rows();
        agent->connectToConsole(QHostAddress::LocalHost, port);
        EXPECT_TRUE(waitUntil([&] { return rows() == before + 1; }));
        students.push_back(std::move(agent));
        return *students.back();
    }
    int rows() const { return session.rosterModel().rowCount(); }
    QString cell(int row, int column) const
    {
        return session.rosterModel().index(row, column).data().toString();
    }

    ConsoleKey key = ConsoleKey::generate();
    QTemporaryDir data;
    ClassroomSession session{std::make_shared<NoFrames>()};
    std::vector<std::unique_ptr<StudentAgent>> students;
    QStringList notices;
};

// The sixth column, after the five, holds a channel student's user; a plaintext student's
// stays empty. Both count as students.
TEST_F(ChannelSessionTest, TheSixthColumnShowsAChannelStudentsUser)
{
    open();
    student(2);
    student(3, QStringLiteral("alice"));
    const RosterModel &model = session.rosterModel();
    EXPECT_EQ(model.columnCount(), 6);
    EXPECT_EQ(model.headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(),
              QString::fromUtf8("登录用户"));
    EXPECT_EQ(cell(0, RosterModel::UserColumn), QString());
    EXPECT_EQ(cell(1, RosterModel::UserColumn), QStringLiteral("alice"));
    EXPECT_EQ(cell(1, RosterModel::AddressColumn), QStringLiteral("127.0.0.3"));
    EXPECT_EQ(cell(1, RosterModel::BlackOutColumn), QString::fromUtf8("否"));
}

// A channel student gets every command a plaintext one gets, the black-out of one row too, and
// the demonstration's key before "IMAGE"; its refusal of each command is logged and said, its
// display part's restarts a few times only.
TEST_F(ChannelSessionTest, ChannelStudentsAreCommandedAndTheirRefusalIsToldOnce)
{
    open();
    StudentAgent &plain = student(2);
    StudentAgent &pinned = student(3, QStringLiteral("bob"));
    QStringList lines;
    QObject::connect(&pinned, &StudentAgent::report,
                     [&](const QString &line) { lines.append(line); });
    session.SendToAll("01");
    session.toggleBlackOut(1);
    StderrCapture log;
    session.SendToAll("00rm -rf /");
    session.SendToRow(1, "00rm -rf /");
    ASSERT_TRUE(waitUntil([&] { return notices.size() == 2 && pinned.commands().size() == 4; }));
    settle(200);
    const QString written = log.take();
    EXPECT_EQ(notices.size(), 2);
    EXPECT_TRUE(notices[0].contains(QString::fromUtf8("拒绝了“自定义命令”")));
    EXPECT_TRUE(notices[0].contains(QStringLiteral("runs no custom command")));
    EXPECT_EQ(written.count(QStringLiteral("refused custom command")), 2);
    EXPECT_TRUE(waitUntil([&] { return plain.commands().size() == 2; }));
    EXPECT_EQ(pinned.receivedBytes(), QByteArray("01BLACKSCREEN00rm -rf /00rm -rf /"));
    EXPECT_TRUE(pinned.isBlackedOut());

    ChannelMessage restarted;
    restarted.kind = ChannelMessage::Kind::SessionEvent;
    restarted.user = QStringLiteral("bob");
    StderrCapture restarts;
    for (int i = 0; i < 20; ++i)
        pinned.channel()->say(restarted);
    ASSERT_TRUE(waitUntil([&] { return notices.size() == 10; }));
    settle(200);
    EXPECT_EQ(notices.size(), 10);
    EXPECT_EQ(restarts.take().count(QStringLiteral("later restarts are not told")), 1);

    session.setBlackOutAll(false);
    session.startDemonstration();
    ASSERT_TRUE(waitUntil([&] { return pinned.isDemonstrating(); }));
    const StreamKey &current = session.demonstration().streamKey();
    ASSERT_TRUE(current.isValid());
    EXPECT_EQ(pinned.channel()->demonstrationKey(), current);
    EXPECT_LT(lines.indexOf(QStringLiteral("KEY %1").arg(current.id())),
              lines.indexOf(QStringLiteral("DEMO on")));
    session.stopDemonstration();
    EXPECT_FALSE(session.demonstration().streamKey().isValid());
}

// "开机" puts on the wire, at the broadcast address's port 9, the magic packet of each
// remembered computer that is not connected, and of no other.
TEST_F(ChannelSessionTest, WakingSendsTheMagicPacketsOfTheComputersNotConnected)
{
    PrivateNetwork net;
    if (!net.unavailable().isEmpty())
        GTEST_SKIP() << net.unavailable().toStdString();
    ASSERT_TRUE(
        net.addLink(QStringLiteral("vt9"), QStringLiteral("10.9.0.1/24"), QStringLiteral("vt9p")));
    const QByteArray asleep = QByteArray::fromHex("0a1b2c3d4e5f");
    const QByteArray awake = QByteArray::fromHex("02aabbccddee");
    QFile known(data.filePath(QStringLiteral("computers")));
    ASSERT_TRUE(known.open(QIODevice::WriteOnly));
    known.write("0a:1b:2c:3d:4e:5f\t10.9.0.20\tpc-20\n02:aa:bb:cc:dd:ee\t10.9.0.21\tpc-21\n"
                "ff:ff:ff:ff:ff:ff\t10.9.0.22\tjunk\n");
    known.close();
    open();
    student(4, QStringLiteral("carol"), awake);

    QUdpSocket wire;
    ASSERT_TRUE(wire.bind(QHostAddress::AnyIPv4, WakeOnLan::kPort));
    EXPECT_EQ(session.wakeComputers(), 1);
    ASSERT_TRUE(waitUntil([&] { return wire.hasPendingDatagrams(); }));
    EXPECT_EQ(wire.receiveDatagram().data(), QByteArray(6, char(0xFF)) + asleep.repeated(16));
    settle(200);
    EXPECT_FALSE(wire.hasPendingDatagrams());
    EXPECT_EQ(session.wakeOnLan().known().computers().size(), 2);

    // A plaintext student's MAC is its complete entry of the neighbour table.
    const QByteArray table = "IP address HW type Flags HW address Mask Device\n"
                             "10.9.0.30 0x1 0x0 00:00:00:00:00:00 * vt9\n"
                             "10.9.0.31 0x1 0x2 0a:1b:2c:3d:4e:60 * vt9\n";
    EXPECT_EQ(neighbours::macOf(0x0A09001E, table), QByteArray());
    EXPECT_EQ(neighbours::macOf(0x0A09001F, table), QByteArray::fromHex("0a1b2c3d4e60"));
}

// A channel student's tile comes over the channel as the wall asks: on at the tile's size when
// it is shown, again at a new size, off when it is left. The plaintext student beside it is
// asked with "SCREEN"; the channel student never is.
TEST_F(ChannelSessionTest, AChannelStudentsTileFollowsTheWallOverTheChannel)
{
    open();
    StudentAgent &plain = student(2);
    StudentAgent &pinned = student(3, QStringLiteral("carol"));
    const quint64 pinnedKey = session.rosterModel().key(1);
    QList<int> widths;
    QObject::connect(&session, &ClassroomSession::tilePictureChanged,
                     [&](quint64 key, const JpegDecoder::Image &picture) {
                         if (key == pinnedKey)
                             widths.append(picture.width);
                     });
    const auto asked = [](const StudentAgent &agent) {
        return std::any_of(
            agent.commands().begin(), agent.commands().end(),
            [](const StudentCommand &c) { return c.kind == StudentCommand::Kind::Screen; });
    };
    session.setTileSize(160, 90);
    session.showWall();
    ASSERT_TRUE(waitUntil([&] { return !widths.isEmpty(); }, 10000));
    EXPECT_TRUE(pinned.wall().isSending());
    EXPECT_LE(widths.constFirst(), 160);
    session.setTileSize(320, 180);
    EXPECT_TRUE(waitUntil([&] { return widths.constLast() > 160; }, 10000));
    EXPECT_TRUE(waitUntil([&] { return asked(plain); }));

    session.hideWall();
    EXPECT_TRUE(waitUntil([&] { return !pinned.wall().isSending(); }));
    EXPECT_FALSE(asked(pinned));
}
