#include "classroom/ClassroomSession.h"
#include "classroom/Demonstration.h"
#include "classroom/FrameSource.h"
#include "classroom/PictureSource.h"
#include "classroom/RosterModel.h"
#include "net/ReverseLookup.h"
#include "net/TServerSocket.h"
#include "net/TUDPEndpoint.h"
#include "protocol/JpegDecoder.h"
#include "protocol/StreamCanvas.h"
#include "protocol/StreamDatagram.h"
#include "system/Guard.h"
#include "tests/support/WaitUntil.h"
#include "tools/student-sim/StudentAgent.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <QUdpSocket>
#include <gtest/gtest.h>
#include <vector>

namespace {
constexpr quint16 kStudentImagePort = 27650;

// The teacher's screen: no file for the older stream, a blue picture for the Velmora stream.
class TeacherScreen : public FrameSource
{
public:
    std::span<const std::uint8_t> captureFrame(std::int32_t) override { return {}; }
    std::unique_ptr<PictureSource> pictureSource() override
    {
        class Blue : public PictureSource
        {
        public:
            Picture grab() override { return {320, 200, 320 * 4, m_pixels.data(), {}, {}}; }

        private:
            std::vector<std::uint8_t> m_pixels = std::vector<std::uint8_t>(320 * 200 * 4, 0xc0);
        };
        return std::make_unique<Blue>();
    }
};

bool has(const StudentAgent &student, StudentCommand::Kind kind)
{
    for (const StudentCommand &command : student.commands())
        if (command.kind == kind)
            return true;
    return false;
}
} // namespace

// A session on loopback with no window at all, its students fake agents from 127.0.0.x.
class ClassroomSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clock.start();
        reverse_lookup::install([](quint32) { return QByteArray(); });
        guard::setReporter([this](const QString &message) { failures.append(message); });
        ConsoleSettings settings;
        settings.ImagePort = settings.MousePort = settings.CommandPort = 0;
        EXPECT_TRUE(stream.bind(QHostAddress::AnyIPv4, 0));
        settings.StreamPort = stream.localPort();
        session.open(settings);
        // Students share this host with the console, so they hear its broadcasts on loopback.
        auto *images = session.findChild<TUDPEndpoint *>("ComUdp");
        images->setRemoteHost(QStringLiteral("127.255.255.255"));
        images->setRemotePort(kStudentImagePort);
        // No window ticks the demonstration here: the test's own timer does.
        QObject::connect(session.ScreenTimer(), &QTimer::timeout,
                         [this] { session.sendDemonstrationTick(QPoint(5, 5)); });
    }
    void TearDown() override
    {
        students.clear();
        guard::setReporter({});
        EXPECT_TRUE(reverse_lookup::waitForPending(15000));
        reverse_lookup::install({});
    }
    StudentAgent &student(int octet)
    {
        auto agent = std::make_unique<StudentAgent>(
            QString::number(octet), QHostAddress(QStringLiteral("127.0.0.%1").arg(octet)));
        agent->setMousePort(quint16(session.findChild<TUDPEndpoint *>("MouseUDP")->BoundPort()));
        agent->setPictureSize(QSize(320, 200));
        agent->setImagePort(kStudentImagePort);
        const int before = rows();
        agent->connectToConsole(
            QHostAddress::LocalHost,
            quint16(session.findChild<TServerSocket *>()->Socket()->ListenPort()));
        EXPECT_TRUE(waitUntil([&] { return rows() == before + 1; }));
        students.push_back(std::move(agent));
        return *students.back();
    }
    int rows() const { return session.rosterModel().rowCount(); }
    // Waits until the Velmora stream has drawn something that passes the test.
    bool streamShows(const std::function<bool(const StreamCanvas &)> &test)
    {
        return waitUntil([&] {
            while (stream.hasPendingDatagrams()) {
                QByteArray datagram(stream.pendingDatagramSize(), '\0');
                stream.readDatagram(datagram.data(), datagram.size());
                untagged +=
                    !StreamDatagram::verifies(datagram, session.demonstration().streamKey());
                canvas.apply(datagram, clock.elapsed());
            }
            return canvas.width() > 0 && test(canvas);
        });
    }

    QUdpSocket stream;
    StreamCanvas canvas{1 << 20};
    // Stream datagrams that the running demonstration's key did not tag.
    int untagged = 0;
    QElapsedTimer clock;
    ClassroomSession session{std::make_shared<TeacherScreen>()};
    std::vector<std::unique_ptr<StudentAgent>> students;
    QStringList failures;
};

// Endpoint, session, signal: nothing but the session stands between the datagrams and the
// picture, and nothing is asked back of the endpoint.
TEST_F(ClassroomSessionTest, AMonitoredStudentsScreenComesOutAsAPictureSignal)
{
    student(2);
    std::vector<int> widths;
    QObject::connect(&session, &ClassroomSession::pictureChanged,
                     [&](const JpegDecoder::Image &picture) { widths.push_back(picture.width); });
    int chosen = 0;
    QObject::connect(&session, &ClassroomSession::monitoredStudentChanged, [&] { ++chosen; });
    session.monitorStudent(session.rosterModel().key(0));
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(session.MonitorIndex(), 0);
    ASSERT_TRUE(waitUntil([&] { return !widths.empty(); }));
    EXPECT_EQ(widths.front(), 320);
    EXPECT_TRUE(failures.isEmpty()) << failures.join('|').toStdString();
}

// The monitored student was reset unnoticed: telling it to stop fails, yet its row and
// monitoring stay as they are until the switch has returned; the row goes afterwards.
TEST_F(ClassroomSessionTest, ASendThatFailsChangesTheRosterOnlyAfterItHasReturned)
{
    StudentAgent &a = student(2);
    StudentAgent &b = student(3);
    session.monitorStudent(session.rosterModel().key(0));
    ASSERT_TRUE(waitUntil([&] { return a.isSendingScreen(); }));
    a.reset();
    session.monitorStudent(session.rosterModel().key(1));
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(session.MonitorIndex(), 1);
    ASSERT_TRUE(waitUntil([&] { return rows() == 1; }));
    EXPECT_EQ(session.MonitorIndex(), 0);
    EXPECT_TRUE(waitUntil([&] { return b.isSendingScreen(); }));
    EXPECT_TRUE(failures.isEmpty()) << failures.join('|').toStdString();
}

// Chosen students alone are told to show the demonstration and to stop it; the others go on
// working. Our agents learn of the window from the stream itself, every datagram tagged with
// the demonstration's own key.
TEST_F(ClassroomSessionTest, ADemonstrationForChosenStudentsInAWindowReachesThemAlone)
{
    StudentAgent &a = student(2);
    StudentAgent &b = student(3);
    StudentAgent &c = student(4);
    session.startDemonstration({true, false, {session.rosterModel().key(1)}});
    ASSERT_TRUE(waitUntil([&] { return b.isDemonstrating(); }));
    EXPECT_TRUE(streamShows([](const StreamCanvas &shown) {
        return shown.windowed() && (shown.pixels()[0] & 0xffffff) != 0;
    }));
    EXPECT_EQ(untagged, 0);
    session.stopDemonstration();
    EXPECT_TRUE(waitUntil([&] { return has(b, StudentCommand::Kind::Stop); }));
    for (StudentAgent *other : {&a, &c}) {
        EXPECT_FALSE(has(*other, StudentCommand::Kind::Image)) << other->name().toStdString();
        EXPECT_FALSE(has(*other, StudentCommand::Kind::Stop)) << other->name().toStdString();
    }

    // The default: everyone, full screen.
    session.startDemonstration();
    EXPECT_TRUE(waitUntil([&] { return a.isDemonstrating() && c.isDemonstrating(); }));
    EXPECT_TRUE(streamShows([](const StreamCanvas &shown) { return !shown.windowed(); }));
    session.stopDemonstration();
    EXPECT_TRUE(failures.isEmpty()) << failures.join('|').toStdString();
}

// A student's screen to the class: the files it sends go on to every other student by both
// streams, the teacher's pointer stays out, and it ends when the teacher stops it or the
// student leaves.
TEST_F(ClassroomSessionTest, AStudentsScreenIsRelayedToEveryOtherStudent)
{
    StudentAgent &presenter = student(2);
    StudentAgent &watcher = student(3);
    QUdpSocket cursors;
    ASSERT_TRUE(cursors.bind(QHostAddress::LocalHost, 0));
    auto *mouse = session.findChild<TUDPEndpoint *>("MouseUDP");
    mouse->setRemoteHost(QStringLiteral("127.0.0.1"));
    mouse->setRemotePort(cursors.localPort());
    std::vector<QSize> relayed;
    QObject::connect(&watcher, &StudentAgent::frameAssembled, [&](const QByteArray &file, bool) {
        JpegDecoder decoder;
        if (decoder.decode(file))
            relayed.emplace_back(decoder.image().width, decoder.image().height);
    });
    ASSERT_TRUE(session.startStudentDemonstration(session.rosterModel().key(0)));
    EXPECT_EQ(session.presenter(), session.rosterModel().key(0));
    EXPECT_TRUE(
        waitUntil([&] { return presenter.isSendingScreen() && watcher.isDemonstrating(); }));
    EXPECT_TRUE(waitUntil([&] { return !relayed.empty(); }, 8000));
    EXPECT_EQ(relayed.front(), QSize(320, 200));
    // The student's first bar, light grey, not the teacher's picture.
    EXPECT_TRUE(streamShows([](const StreamCanvas &shown) {
        const std::uint32_t pixel = shown.pixels()[10 * shown.width() + 10];
        return shown.width() == 320 && qAbs(int(pixel & 0xff) - 0xc0) < 16 &&
               qAbs(int((pixel >> 16) & 0xff) - 0xc0) < 16;
    }));
    EXPECT_FALSE(has(presenter, StudentCommand::Kind::Image));
    while (cursors.hasPendingDatagrams()) {
        QByteArray datagram(cursors.pendingDatagramSize(), '\0');
        cursors.readDatagram(datagram.data(), datagram.size());
        EXPECT_FALSE(datagram.startsWith("11")) << "the teacher's pointer went with it";
    }

    session.stopDemonstration();
    EXPECT_TRUE(waitUntil([&] { return has(watcher, StudentCommand::Kind::Stop); }));
    EXPECT_EQ(session.presenter(), 0u);

    ASSERT_TRUE(session.startStudentDemonstration(session.rosterModel().key(0)));
    const int stops = int(std::count_if(
        watcher.commands().begin(), watcher.commands().end(),
        [](const StudentCommand &command) { return command.kind == StudentCommand::Kind::Stop; }));
    presenter.disconnectGracefully();
    EXPECT_TRUE(waitUntil([&] { return session.mode() == ClassroomSession::Mode::Idle; }));
    EXPECT_TRUE(waitUntil([&] { return !watcher.isDemonstrating(); }));
    EXPECT_GT(watcher.commands().size(), std::size_t(stops));
    EXPECT_TRUE(failures.isEmpty()) << failures.join('|').toStdString();
}

// The wall and the monitor window ask for screens on their own: leaving one never stops what
// the other still shows, and a student is told to stop once neither shows it.
TEST_F(ClassroomSessionTest, TheWallAndTheMonitorWindowEachKeepTheirOwnStudentsSending)
{
    StudentAgent &a = student(2);
    StudentAgent &b = student(3);
    StudentAgent &c = student(4);
    const auto said = [](const StudentAgent &s) {
        QByteArray seen;
        for (const StudentCommand &command : s.commands())
            seen += command.raw + ' ';
        return seen.trimmed();
    };
    const auto saysEventually = [&](const StudentAgent &s, const QByteArray &expected) {
        return waitUntil([&] { return said(s) == expected; }) ? QByteArray() : said(s);
    };
    const RosterModel &roster = session.rosterModel();

    session.monitorStudent(roster.key(1));
    session.showWall();
    EXPECT_EQ(saysEventually(a, "SCREEN"), "");
    EXPECT_EQ(saysEventually(c, "SCREEN"), "");
    session.stopWatching();
    session.monitorStudent(roster.key(0));
    session.hideWall();
    EXPECT_EQ(saysEventually(b, "SCREEN NOTSCREEN"), "");
    EXPECT_EQ(saysEventually(c, "SCREEN NOTSCREEN"), "");
    EXPECT_EQ(said(a), "SCREEN");
    EXPECT_TRUE(a.isSendingScreen());

    // The rotation moves on from the student the monitor window shows, past the wall's.
    session.showWall();
    session.startRotation();
    session.monitorNextStudent();
    session.hideWall();
    EXPECT_EQ(saysEventually(a, "SCREEN NOTSCREEN"), "");
    EXPECT_EQ(saysEventually(b, "SCREEN NOTSCREEN SCREEN"), "");
    EXPECT_EQ(saysEventually(c, "SCREEN NOTSCREEN SCREEN NOTSCREEN"), "");
    session.stopRotation();
    session.stopWatching();
    EXPECT_EQ(saysEventually(b, "SCREEN NOTSCREEN SCREEN NOTSCREEN"), "");
    EXPECT_TRUE(failures.isEmpty()) << failures.join('|').toStdString();
}
