#include "classroom/ClassroomSession.h"
#include "classroom/FrameSource.h"
#include "classroom/RosterModel.h"
#include "net/ReverseLookup.h"
#include "net/TServerSocket.h"
#include "net/TUDPEndpoint.h"
#include "system/Guard.h"
#include "tests/support/WaitUntil.h"
#include "tools/student-sim/StudentAgent.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <vector>

namespace {
class NoFrames : public FrameSource
{
public:
    std::span<const std::uint8_t> captureFrame(std::int32_t) override { return {}; }
};
} // namespace

// A session on loopback with no window at all, its students fake agents from 127.0.0.x.
class ClassroomSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        reverse_lookup::install([](quint32) { return QByteArray(); });
        guard::setReporter([this](const QString &message) { failures.append(message); });
        ConsoleSettings settings;
        settings.ImagePort = settings.MousePort = settings.CommandPort = 0;
        session.open(settings);
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
        const int before = rows();
        agent->connectToConsole(
            QHostAddress::LocalHost,
            quint16(session.findChild<TServerSocket *>()->Socket()->ListenPort()));
        EXPECT_TRUE(waitUntil([&] { return rows() == before + 1; }));
        students.push_back(std::move(agent));
        return *students.back();
    }
    int rows() const { return session.rosterModel().rowCount(); }

    ClassroomSession session{std::make_shared<NoFrames>()};
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
