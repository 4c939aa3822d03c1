#include "agent/Agent.h"
#include "agent/SessionEnvironment.h"
#include "agent/SessionFrame.h"
#include "agent/SessionParts.h"
#include "agent/StudentService.h"
#include "tests/agent/FakeSessionServices.h"
#include "tests/agent/PrivateBus.h"
#include "tests/support/WaitUntil.h"

#include <QDBusConnection>
#include <QDBusMetaType>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

QStringList *logLines = nullptr;

void keepLine(QtMsgType, const QMessageLogContext &, const QString &line)
{
    if (logLines != nullptr) {
        logLines->append(line);
    }
}

qsizetype linesWith(const QStringList &lines, const char *text)
{
    return std::count_if(lines.begin(), lines.end(),
                         [text](const QString &line) { return line.contains(text); });
}

// A window covers the whole screen above everything (the black-out's).
bool blackedOut()
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_query_tree_reply_t *tree =
        xcb_query_tree_reply(connection, xcb_query_tree(connection, screen->root), nullptr);
    bool covered = false;
    for (int i = 0; tree != nullptr && i < xcb_query_tree_children_length(tree); ++i) {
        const xcb_window_t window = xcb_query_tree_children(tree)[i];
        xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, window), nullptr);
        xcb_get_geometry_reply_t *geometry =
            xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
        covered = covered ||
                  (attributes != nullptr && geometry != nullptr && attributes->override_redirect &&
                   attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                   geometry->width == screen->width_in_pixels);
        free(attributes);
        free(geometry);
    }
    free(tree);
    xcb_disconnect(connection);
    return covered;
}

} // namespace

// The service against a logind on a private bus, its sessions led by processes of the test's
// own, and a console that is a TCP server on loopback.
class StudentServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY") || !bus.start()) {
            GTEST_SKIP() << "needs the private Xvfb and dbus-daemon";
        }
        qDBusRegisterMetaType<FakeSessionEntry>();
        qDBusRegisterMetaType<QList<FakeSessionEntry>>();
        logind = QDBusConnection::connectToBus(bus.address(), QStringLiteral("logind"));
        system = QDBusConnection::connectToBus(bus.address(), QStringLiteral("system"));
        ASSERT_TRUE(logind.registerObject(QStringLiteral("/org/freedesktop/login1"), &login1,
                                          QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        // Readable and writable by the session's user, who is not the test's where it is root.
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                              QFileDevice::WriteOther | QFileDevice::ExeOther);
        config = dir.filePath(QStringLiteral("student.ini"));
        logLines = &lines;
        previousHandler = qInstallMessageHandler(keepLine);
    }
    void TearDown() override
    {
        qInstallMessageHandler(previousHandler);
        logLines = nullptr;
        service.reset();
        for (QProcess *leader : leaders) {
            leader->kill();
            leader->waitForFinished();
            delete leader;
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
        QDBusConnection::disconnectFromBus(QStringLiteral("system"));
    }
    void writeConfig(const QString &path, const QByteArray &text)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.setPermissions(file.permissions() | QFileDevice::ReadOther);
    }
    QByteArray consoleSettings() const
    {
        return "[Console]\nAddress=127.0.0.1\nCommandPort=" +
               QByteArray::number(server.serverPort()) +
               "\nImagePort=25660\nMousePort=25661\n[Security]\nAllowCustomCommands=1\n";
    }
    void startService()
    {
        service = std::make_unique<StudentService>(
            config, [this] { return AgentSettings::load(config); }, system,
            QStringList{QStringLiteral(VELMORA_STUDENT_AGENT), QStringLiteral("--session-part"),
                        QStringLiteral("--config"), config});
        service->start();
    }
    bool consoleConnects()
    {
        if (!waitUntil([this] { return server.hasPendingConnections(); })) {
            return false;
        }
        console = server.nextPendingConnection();
        return true;
    }
    // A session led by a process of uid that shows the private display; logind announces it.
    void addSession(const QString &id, uid_t uid, const QString &type = QStringLiteral("x11"))
    {
        auto *leader = new QProcess;
        leaders.append(leader);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        environment.insert(QStringLiteral("HOME"), dir.path());
        leader->setProcessEnvironment(environment);
        leader->setChildProcessModifier([uid] {
            if (setuid(uid) != 0) {
                _exit(126);
            }
        });
        leader->start(QStringLiteral("sleep"), {QStringLiteral("600")});
        ASSERT_TRUE(leader->waitForStarted());
        auto *session = new FakeSession;
        session->setParent(&login1);
        session->name = QString::fromLocal8Bit(getpwuid(uid)->pw_name);
        session->type = type;
        session->display = qEnvironmentVariable("DISPLAY");
        session->leader = uint(leader->processId());
        const QString path = QStringLiteral("/org/freedesktop/login1/session/_3") + id;
        ASSERT_TRUE(logind.registerObject(path, session, QDBusConnection::ExportAllProperties));
        login1.sessions.append(
            {id, uid, session->name, QStringLiteral("seat0"), QDBusObjectPath(path)});
        announce(QStringLiteral("SessionNew"), id, path);
    }
    void removeSession(const QString &id)
    {
        const QString path = QStringLiteral("/org/freedesktop/login1/session/_3") + id;
        logind.unregisterObject(path);
        announce(QStringLiteral("SessionRemoved"), id, path);
    }
    void announce(const QString &signal, const QString &id, const QString &path)
    {
        QDBusMessage message =
            QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                       QStringLiteral("org.freedesktop.login1.Manager"), signal);
        message << id << QVariant::fromValue(QDBusObjectPath(path));
        ASSERT_TRUE(logind.send(message));
    }
    SessionPart *readyPart(const QString &id, int timeoutMs = 10000)
    {
        waitUntil(
            [&] {
                SessionPart *part = service->parts()->part(id);
                return part != nullptr && part->isReady();
            },
            timeoutMs);
        return service->parts() ? service->parts()->part(id) : nullptr;
    }
    // The session's user, not root where the test is root.
    static uid_t sessionUser() { return geteuid() == 0 ? 65534 : geteuid(); }

    PrivateBus bus;
    QDBusConnection logind{QString()};
    QDBusConnection system{QString()};
    FakeLogin1 login1;
    QTcpServer server;
    QTcpSocket *console = nullptr;
    QTemporaryDir dir;
    QString config;
    QStringList lines;
    QtMessageHandler previousHandler = nullptr;
    QList<QProcess *> leaders;
    std::unique_ptr<StudentService> service;
};

TEST_F(StudentServiceTest, SessionPartRunsAsTheUserAndComesBackAfterAKill)
{
    writeConfig(config, consoleSettings());
    startService();
    ASSERT_TRUE(consoleConnects());
    addSession(QStringLiteral("c1"), sessionUser());
    addSession(QStringLiteral("c2"), sessionUser(), QStringLiteral("wayland"));
    SessionPart *part = readyPart(QStringLiteral("c1"));
    ASSERT_TRUE(part != nullptr && part->isReady()) << lines.join('\n').toStdString();

    const QString ran = dir.filePath(QStringLiteral("ran-by-") + QString::number(sessionUser()));
    console->write("00touch " + dir.filePath(QStringLiteral("ran-by-$(id -u)")).toUtf8());
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(ran); })) << lines.join('\n').toStdString();
    console->write("BLACKSCREEN");
    ASSERT_TRUE(waitUntil(blackedOut));

    QSignalSpy restarted(service->parts(), &SessionParts::partRestarted);
    const qint64 killed = part->processId();
    ASSERT_EQ(kill(pid_t(killed), SIGKILL), 0);
    ASSERT_TRUE(waitUntil([&] { return part->isReady() && part->processId() != killed; }, 10000))
        << lines.join('\n').toStdString();
    EXPECT_EQ(restarted.size(), 1);
    EXPECT_EQ(linesWith(lines, "the display part was killed or crashed and is started again"), 1);
    EXPECT_TRUE(waitUntil(blackedOut)) << "the black-out did not outlive the kill";

    // A stopped part answers nothing: it is ended and started again too.
    const qint64 stopped = part->processId();
    ASSERT_EQ(kill(pid_t(stopped), SIGSTOP), 0);
    EXPECT_TRUE(waitUntil([&] { return part->isReady() && part->processId() != stopped; }, 8000));
    EXPECT_EQ(restarted.size(), 2);

    const qint64 last = part->processId();
    removeSession(QStringLiteral("c1"));
    EXPECT_TRUE(waitUntil([&] { return service->parts()->part(QStringLiteral("c1")) == nullptr; }));
    EXPECT_TRUE(waitUntil([&] { return kill(pid_t(last), 0) != 0; }));
    EXPECT_EQ(linesWith(lines, "Wayland"), 1);
    EXPECT_EQ(service->parts()->part(QStringLiteral("c2")), nullptr);
}

TEST_F(StudentServiceTest, ARootSessionNeverRunsCustomCommands)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to lead a root session";
    }
    writeConfig(config, consoleSettings());
    startService();
    ASSERT_TRUE(consoleConnects());
    addSession(QStringLiteral("c5"), 0);
    const SessionPart *part = readyPart(QStringLiteral("c5"));
    ASSERT_TRUE(part != nullptr && part->isReady()) << lines.join('\n').toStdString();
    console->write("00touch " + dir.filePath(QStringLiteral("ran-as-root")).toUtf8());
    EXPECT_TRUE(waitUntil([&] { return linesWith(lines, "never run as root") == 1; }))
        << lines.join('\n').toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("ran-as-root"))));
}

TEST_F(StudentServiceTest, WithoutAConsoleItWaitsQuietlyForADropIn)
{
    writeConfig(config, "[Console]\nAddress=\n");
    startService();
    settle(500);
    EXPECT_FALSE(service->isRunning());
    ASSERT_TRUE(QDir().mkdir(AgentSettings::dropInFolder(config)));
    writeConfig(AgentSettings::dropInFolder(config) + QStringLiteral("/10-nothing.ini"), "; x\n");
    settle(800);
    EXPECT_FALSE(service->isRunning());
    EXPECT_EQ(linesWith(lines, "waiting until"), 1);
    writeConfig(AgentSettings::dropInFolder(config) + QStringLiteral("/50-console.ini"),
                consoleSettings());
    EXPECT_TRUE(consoleConnects());
}

TEST(SessionEnvironment, AProcessNameCannotForgeItsParentAndDisplaysMatchByNumber)
{
    using namespace sessionenvironment;
    EXPECT_EQ(parentFromStat("4242 (a) S 1 (b) R 77 4242 ...) S 900 4242 4242 0 -1"), 900u);
    EXPECT_EQ(parentFromStat("garbage"), 0u);
    const QProcessEnvironment environment = parseEnviron(
        QByteArray("DISPLAY=:0") + '\0' + "XAUTHORITY=/run/user/1000/gdm/Xauthority" + '\0' + "=x");
    EXPECT_EQ(environment.value(QStringLiteral("XAUTHORITY")),
              QStringLiteral("/run/user/1000/gdm/Xauthority"));
    EXPECT_EQ(environment.keys().size(), 2);
    EXPECT_TRUE(sameDisplay(QStringLiteral(":0"), QStringLiteral("unix:0.0")));
    EXPECT_FALSE(sameDisplay(QStringLiteral(":0"), QStringLiteral(":10")));
}

TEST(SessionFrame, ThePipeCarriesWholeFramesAndRefusesAnOversizedOne)
{
    SessionFrame message;
    message.kind = SessionFrame::Kind::Message;
    message.text = QString::fromUtf8("下课前交作业");
    QByteArray pipe = message.encode();
    SessionFrame read;
    QByteArray half = pipe.left(pipe.size() - 1);
    EXPECT_EQ(SessionFrame::take(half, read), SessionFrame::Status::Incomplete);
    ASSERT_EQ(SessionFrame::take(pipe, read), SessionFrame::Status::Complete);
    EXPECT_EQ(read.text, message.text);
    EXPECT_TRUE(pipe.isEmpty());

    // The wall's tile size goes down with the state, its tiles come back up.
    SessionFrame state;
    state.kind = SessionFrame::Kind::State;
    state.state.wallTile = QSize(200, 120);
    SessionFrame tile;
    tile.kind = SessionFrame::Kind::Tile;
    tile.jpeg = QByteArray("\xff\xd8 tile", 7);
    pipe = state.encode() + tile.encode();
    ASSERT_EQ(SessionFrame::take(pipe, read), SessionFrame::Status::Complete);
    EXPECT_EQ(read.state, state.state);
    ASSERT_EQ(SessionFrame::take(pipe, read), SessionFrame::Status::Complete);
    EXPECT_EQ(read.jpeg, tile.jpeg);

    QByteArray huge("\x7f\xff\xff\xff", 4);
    EXPECT_EQ(SessionFrame::take(huge, read), SessionFrame::Status::Invalid);
}
