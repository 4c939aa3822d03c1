#include "tools/student-sim/StudentAgent.h"
#include "protocol/Chunks.h"
#include "protocol/JpegDecoder.h"
#include "tools/student-sim/ScreenPicture.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>
#include <cerrno>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <sys/socket.h>

using Kind = StudentCommand::Kind;

namespace {

const QHostAddress kConsole(QStringLiteral("127.0.0.1"));
constexpr int kWaitMs = 5000;
// Fixed ports are safe: every test binary runs in its own network namespace.
constexpr quint16 kImagePort = 45650;
constexpr quint16 kMousePort = 45651;

// A stand-in for the console: a command server and a mouse-port socket, on 127.0.0.1.
class AgentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.listen(kConsole, 0));
        ASSERT_TRUE(m_mouse.bind(kConsole, 0));
    }

    std::unique_ptr<StudentAgent>
    connectAgent(const char *name, const char *source,
                 const std::function<void(StudentAgent &)> &configure = {})
    {
        auto agent = std::make_unique<StudentAgent>(QString::fromLatin1(name),
                                                    QHostAddress(QString::fromLatin1(source)));
        agent->setMousePort(m_mouse.localPort());
        agent->setPictureSize(QSize(320, 240));
        agent->screen().setFramesPerSecond(20);
        if (configure) {
            configure(*agent);
        }
        agent->connectToConsole(kConsole, m_server.serverPort());
        EXPECT_TRUE(m_server.waitForNewConnection(kWaitMs));
        m_connections.push_back(m_server.nextPendingConnection());
        EXPECT_TRUE(QTest::qWaitFor([&] { return agent->isConnected(); }, kWaitMs));
        EXPECT_EQ(m_connections.back()->peerAddress(), QHostAddress(QString::fromLatin1(source)));
        return agent;
    }

    void send(int connection, const QByteArray &text)
    {
        m_connections[connection]->write(text);
        m_connections[connection]->flush();
    }

    // Datagrams of the mouse port until one shorter than 2048 bytes ends a file.
    QList<QNetworkDatagram> receiveFile()
    {
        QList<QNetworkDatagram> pieces;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kWaitMs) {
            if (!m_mouse.hasPendingDatagrams()) {
                QTest::qWait(5);
                continue;
            }
            pieces.append(m_mouse.receiveDatagram());
            if (pieces.back().data().size() < chunks::kSize) {
                return pieces;
            }
        }
        ADD_FAILURE() << "no complete file within " << kWaitMs << " ms";
        return pieces;
    }

    int datagramsWithin(int milliseconds)
    {
        int count = 0;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < milliseconds) {
            QTest::qWait(10);
            while (m_mouse.hasPendingDatagrams()) {
                m_mouse.receiveDatagram();
                ++count;
            }
        }
        return count;
    }

    QTcpServer m_server;
    QUdpSocket m_mouse;
    QList<QTcpSocket *> m_connections;
};

} // namespace

// The monitoring loop from the student's side: "SCREEN" starts JPEG files in 2048-byte pieces
// from the student's own address, "NOTSCREEN" ends them, and joined texts are obeyed in order.
TEST_F(AgentTest, SendsItsScreenInChunksBetweenScreenAndNotScreen)
{
    auto agent = connectAgent("pc-02", "127.0.0.2");
    send(0, "SCREEN");
    for (int file = 0; file < 2; ++file) {
        const QList<QNetworkDatagram> pieces = receiveFile();
        ASSERT_FALSE(pieces.isEmpty());
        QByteArray jpeg;
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            EXPECT_EQ(pieces[i].senderAddress(), QHostAddress(QStringLiteral("127.0.0.2")));
            if (i + 1 < pieces.size()) {
                EXPECT_EQ(pieces[i].data().size(), chunks::kSize);
            }
            jpeg += pieces[i].data();
        }
        EXPECT_GT(pieces.size(), 1) << "a 320 x 240 picture takes more than one datagram";
        JpegDecoder decoder;
        ASSERT_TRUE(decoder.decode(jpeg));
        const JpegDecoder::Image &picture = decoder.image();
        EXPECT_EQ(QSize(picture.width, picture.height), QSize(320, 240));
        // The second colour bar is yellow: red and green, no blue.
        const std::uint8_t *pixel = picture.rgb.data() + (10 * picture.width + 60) * 3;
        EXPECT_GT(pixel[0], 0xa0);
        EXPECT_GT(pixel[1], 0xa0);
        EXPECT_LT(pixel[2], 0x40);
    }

    send(0, "NOTSCREENSCREEN");
    ASSERT_TRUE(QTest::qWaitFor([&] { return agent->commands().size() == 3; }, kWaitMs));
    EXPECT_TRUE(agent->isSendingScreen());
    EXPECT_GT(datagramsWithin(200), 0);

    send(0, "NOTSCREEN");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !agent->isSendingScreen(); }, kWaitMs));
    datagramsWithin(50);
    EXPECT_EQ(datagramsWithin(400), 0);
}

TEST_F(AgentTest, RecordsCommandsAndKeepsItsBlackOutState)
{
    auto agent = connectAgent("pc-03", "127.0.0.3");
    QSignalSpy received(agent.get(), &StudentAgent::commandReceived);
    QSignalSpy lines(agent.get(), &StudentAgent::report);
    send(0, "BLACKSCREEN");
    ASSERT_TRUE(QTest::qWaitFor([&] { return agent->isBlackedOut(); }, kWaitMs));
    send(0, "0102");
    send(0, "UNBLACKSCREEN");
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == 4; }, kWaitMs));
    EXPECT_FALSE(agent->isBlackedOut());
    send(0, "2Hello\r\nclass");
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == 5; }, kWaitMs));

    QList<Kind> kinds;
    for (const StudentCommand &command : agent->commands()) {
        kinds.append(command.kind);
    }
    EXPECT_EQ(kinds, (QList<Kind>{Kind::BlackScreen, Kind::LogOff, Kind::Restart,
                                  Kind::UnblackScreen, Kind::Message}));
    EXPECT_EQ(agent->receivedBytes(), QByteArray("BLACKSCREEN0102UNBLACKSCREEN2Hello\r\nclass"));
    EXPECT_EQ(received.last().at(0).value<StudentCommand>().argument, QByteArray("Hello\r\nclass"));
    EXPECT_EQ(lines.last().at(0).toString(), QStringLiteral("MESSAGE Hello\\r\\nclass"));
}

// Two students of one process share the demonstration ports and both see every frame.
TEST_F(AgentTest, ReceivesTheDemonstrationBetweenImageAndStop)
{
    auto first = connectAgent("pc-04", "127.0.0.4");
    auto second = connectAgent("pc-05", "127.0.0.5");
    for (StudentAgent *agent : {first.get(), second.get()}) {
        agent->setImagePort(kImagePort);
        agent->setMousePort(kMousePort);
    }
    send(0, "IMAGE");
    send(1, "IMAGE");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return first->isDemonstrating() && second->isDemonstrating(); }, kWaitMs));

    QUdpSocket teacher;
    ASSERT_TRUE(teacher.bind(kConsole, 0));
    const QImage screen = ScreenPicture::draw(QStringLiteral("teacher"),
                                              QDateTime::currentDateTime(), QSize(400, 300), 1);
    const auto sendFrame = [&] {
        for (const QByteArray &piece : chunks::cut(ScreenPicture::jpeg(screen, 50))) {
            teacher.writeDatagram(piece, kConsole, kImagePort);
            QTest::qWait(1);
        }
    };
    sendFrame();
    sendFrame();
    teacher.writeDatagram("110/-5/10/", kConsole, kMousePort);
    teacher.writeDatagram("00TEACHER", kConsole, kMousePort);
    for (StudentAgent *agent : {first.get(), second.get()}) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return agent->frames().decoded() == 2 && agent->lastBeaconName() == "TEACHER"; },
            kWaitMs))
            << agent->name().toStdString() << " decoded " << agent->frames().decoded();
        ASSERT_TRUE(agent->lastCursor());
        EXPECT_EQ(agent->lastCursor()->x, -5);
        EXPECT_EQ(agent->lastCursor()->y, 10);
        EXPECT_EQ(agent->frames().failed(), 0);
    }

    send(0, "STOP");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !first->isDemonstrating(); }, kWaitMs));
    sendFrame();
    ASSERT_TRUE(QTest::qWaitFor([&] { return second->frames().decoded() == 3; }, kWaitMs));
    EXPECT_EQ(first->frames().decoded(), 2);
}

// How the console's side of the connection sees the close, read before Qt touches the socket:
// 0 for an orderly close, -ECONNRESET for a reset.
static int peekClose(QTcpSocket *socket)
{
    const int fd = static_cast<int>(socket->socketDescriptor());
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, kWaitMs) != 1) {
        return 1;
    }
    char byte = 0;
    const ssize_t got = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return got < 0 ? -errno : static_cast<int>(got);
}

TEST_F(AgentTest, ClosesGracefullyOrWithAReset)
{
    auto graceful = connectAgent("pc-06", "127.0.0.6");
    auto abrupt = connectAgent("pc-07", "127.0.0.7");
    QSignalSpy closed(graceful.get(), &StudentAgent::disconnected);
    graceful->disconnectGracefully();
    abrupt->reset();
    EXPECT_EQ(peekClose(m_connections[0]), 0);
    EXPECT_EQ(peekClose(m_connections[1]), -ECONNRESET);
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed.size() == 1; }, kWaitMs));
}

TEST_F(AgentTest, StopsReadingUntilResumedAndSendsJunk)
{
    auto agent = connectAgent("pc-08", "127.0.0.8");
    agent->sendJunk("hello console");
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_connections[0]->bytesAvailable() == 13; }, kWaitMs));

    agent->stopReading();
    const QByteArray flood = "2" + QByteArray(16 * 1024 * 1024, 'x');
    send(0, flood);
    QTest::qWait(500);
    EXPECT_GT(m_connections[0]->bytesToWrite(), 0) << "the console could write everything";
    EXPECT_LT(agent->receivedBytes().size(), 1024 * 1024);

    agent->resumeReading();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return agent->receivedBytes().size() == flood.size(); }, 20000))
        << agent->receivedBytes().size();
    EXPECT_EQ(agent->receivedBytes(), flood);
}

// The console closing the connection ends the agent; bytes still waiting are reported.
TEST_F(AgentTest, ReportsWhatWasWaitingWhenTheConsoleCloses)
{
    auto agent = connectAgent("pc-09", "127.0.0.9");
    QSignalSpy closed(agent.get(), &StudentAgent::disconnected);
    send(0, "SCREENNOTSC");
    ASSERT_TRUE(QTest::qWaitFor([&] { return agent->isSendingScreen(); }, kWaitMs));
    m_connections[0]->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed.size() == 1; }, kWaitMs));
    ASSERT_EQ(agent->commands().size(), 2);
    EXPECT_EQ(agent->commands()[1], (StudentCommand{Kind::Unknown, "NOTSC"}));
    EXPECT_FALSE(agent->isSendingScreen());
    EXPECT_FALSE(agent->isConnected());
}
