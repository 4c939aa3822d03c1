#include "net/ChannelServer.h"
#include "RawStudent.h"
#include "ServerHarness.h"
#include "net/TlsContext.h"
#include "settings/ConsoleKey.h"
#include "tests/support/StderrCapture.h"

#include <QCborMap>
#include <QtEndian>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using servertest::waitUntil;

namespace {

// An agent's end of the channel over a raw socket, pumped by hand, so that it may say anything.
struct RawAgent
{
    RawAgent(const char *from, int port, const QString &trusted)
        : socket(from, port),
          end(TlsContext::forAgent(), [trusted](const QString &key) { return key == trusted; })
    {
        end.start();
        flush();
    }
    void flush()
    {
        const QByteArray bytes = end.takeOutgoing();
        socket.sendSome(bytes.constData(), bytes.size());
    }
    void pump()
    {
        end.receive(socket.readAvailable(), messages);
        flush();
    }
    bool handshake()
    {
        waitUntil([&] {
            pump();
            return end.state() != ChannelEnd::State::Handshaking;
        });
        return end.isOpen();
    }
    void say(const QByteArray &encoded)
    {
        end.sendEncoded(encoded);
        flush();
    }
    bool closedByConsole()
    {
        return waitUntil([&] { return socket.sawEndOfStream(); });
    }

    RawStudent socket;
    ChannelEnd end;
    QList<ChannelMessage> messages;
};

QByteArray framed(const QCborMap &map)
{
    const QByteArray body = map.toCborValue().toCbor();
    QByteArray frame(4, Qt::Uninitialized);
    qToBigEndian(quint32(body.size()), frame.data());
    return frame + body;
}

ChannelMessage hello(const QString &user)
{
    ChannelMessage message;
    message.user = user;
    message.mac = QByteArray::fromHex("020000000001");
    return message;
}

} // namespace

class ChannelServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server.Open(0);
        QObject::connect(&server, &ChannelServer::agentGreeted,
                         [this](quint64 key, const ChannelMessage &message) {
                             greeted.append({key, message});
                         });
    }
    int port() const { return server.ListenPort(); }

    ConsoleKey key = ConsoleKey::generate();
    ChannelServer server{TlsContext::forConsole(key.certificatePem, key.privateKeyPem)};
    QList<std::pair<quint64, ChannelMessage>> greeted;
};

// Whatever a connection sends before a proper hello, it is closed with one log line for its
// source and reason, holding at most the hello's bound meanwhile; an agent beside it is served.
TEST_F(ChannelServerTest, BadInputBeforeAHelloIsClosedAndLoggedOnce)
{
    StderrCapture log;
    server.setGreetingTime(1500);
    RawAgent good("127.0.0.26", port(), key.fingerprint);
    ASSERT_TRUE(good.handshake());
    good.say(hello(QStringLiteral("alice")).encode());
    RawStudent silent("127.0.0.21", port());
    RawStudent silentAgain("127.0.0.21", port());
    RawStudent notTls("127.0.0.22", port());
    notTls.sendSome("GET / HTTP/1.0\r\n\r\n", 18);
    RawAgent noHello("127.0.0.23", port(), key.fingerprint);
    RawAgent tooLong("127.0.0.24", port(), key.fingerprint);
    RawAgent junkHello("127.0.0.25", port(), key.fingerprint);
    for (RawAgent *agent : {&noHello, &tooLong, &junkHello})
        ASSERT_TRUE(agent->handshake());

    noHello.say(ChannelMessage::answer(1, true, QStringLiteral("first")).encode());
    ChannelMessage big = hello(QString(ChannelMessage::kMaxHello, QLatin1Char('u')));
    tooLong.say(big.encode());
    QCborMap junk;
    junk[0] = int(ChannelMessage::Kind::Hello);
    junk[5] = QByteArray(7, 'm');
    junkHello.say(framed(junk));

    for (RawStudent *raw : {&silent, &silentAgain, &notTls})
        EXPECT_TRUE(waitUntil([&] { return raw->sawEndOfStream(); }));
    for (RawAgent *agent : {&noHello, &tooLong, &junkHello})
        EXPECT_TRUE(agent->closedByConsole());
    const QString lines = log.take();
    ASSERT_EQ(greeted.size(), 1) << lines.toStdString();
    EXPECT_EQ(greeted[0].second.user, QStringLiteral("alice"));
    EXPECT_EQ(server.agents(), QList<quint64>{greeted[0].first});
    EXPECT_EQ(lines.count(QStringLiteral("127.0.0.21 its TLS handshake did not end")), 1)
        << lines.toStdString();
    for (const char *line :
         {"127.0.0.22 error", "127.0.0.23 its first message is not a hello",
          "127.0.0.24 a message longer than 4096 bytes", "127.0.0.25 bytes that are no channel"})
        EXPECT_EQ(lines.count(QLatin1String(line)), 1) << line << lines.toStdString();
}

// A thousand connections from one host hold four places; the rest are refused at once, said
// once, and a student from another host still gets in.
TEST_F(ChannelServerTest, AThousandConnectionsFromOneHostHoldFourPlaces)
{
    StderrCapture log;
    std::vector<std::unique_ptr<RawStudent>> flood;
    for (int i = 0; i < 1000; ++i)
        flood.push_back(std::make_unique<RawStudent>("127.0.0.31", port()));
    RawAgent good("127.0.0.32", port(), key.fingerprint);
    ASSERT_TRUE(good.handshake());
    good.say(hello(QStringLiteral("bob")).encode());
    EXPECT_TRUE(waitUntil([&] { return greeted.size() == 1; }));
    EXPECT_TRUE(waitUntil([&] {
        return std::count_if(flood.begin(), flood.end(),
                             [](const auto &raw) { return raw->sawEndOfStream(); }) == 996;
    }));
    EXPECT_EQ(server.Socket()->budget().count(0x7F00001F), 4);
    EXPECT_EQ(log.take().count(QStringLiteral("127.0.0.31")), 1);
}
