#include "UdpEndpointSupport.h"

#include "net/TUDPEndpoint.h"
#include "net/UDPSockError.h"
#include "system/AppError.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <memory>

namespace {
constexpr quint16 kPort = 43000;

// An endpoint aimed at a plain socket on loopback, which shows what was really sent.
class UdpEndpointSend : public ::testing::Test
{
protected:
    void SetUp() override
    {
        peer = udptest::bindPeer("127.0.0.1", kPort);
        ASSERT_TRUE(peer);
        endpoint.setRemoteHost("127.0.0.1");
        endpoint.setRemotePort(kPort);
        QObject::connect(&endpoint, &TUDPEndpoint::dataSent, [this] { ++sends; });
    }

    // The message of the failure a send raises, empty when it raises none.
    template <typename Error> QString failureOf(const char *buff, int length)
    {
        try {
            endpoint.SendDatagram(buff, length);
        } catch (const Error &e) {
            return e.message();
        }
        return {};
    }

    std::unique_ptr<QUdpSocket> peer;
    TUDPEndpoint endpoint;
    int sends = 0;
};

TEST_F(UdpEndpointSend, SendsExactlyTheGivenBytes)
{
    const QByteArray payload = udptest::pattern(TUDPEndpoint::kBufferSize);
    endpoint.SendDatagram(payload.constData(), 1000);
    endpoint.SendDatagram(payload.constData(), TUDPEndpoint::kBufferSize);

    EXPECT_EQ(udptest::drain(*peer), (QList<QByteArray>{payload.left(1000), payload}));
    EXPECT_EQ(sends, 2);
}

TEST_F(UdpEndpointSend, EmptySendIsRefusedAndNothingGoesOut)
{
    EXPECT_EQ(failureOf<AppError>("x", 0), "Invalid buffer");
    try {
        endpoint.SendDatagram("x", 0);
    } catch (const AppError &e) {
        EXPECT_EQ(dynamic_cast<const UDPSockError *>(&e), nullptr) << "a general failure";
    }

    int asked = 0;
    const auto declining = QObject::connect(&endpoint, &TUDPEndpoint::bufferInvalid,
                                            [&](bool &, const char *&, int &) { ++asked; });
    EXPECT_EQ(failureOf<AppError>("x", 0), "Invalid buffer");
    QObject::disconnect(declining);
    QObject::connect(&endpoint, &TUDPEndpoint::bufferInvalid,
                     [&](bool &handled, const char *&, int &) {
                         ++asked;
                         handled = true;
                     });
    EXPECT_EQ(failureOf<AppError>("x", 0), "Invalid buffer");

    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(udptest::drain(*peer).isEmpty());
    EXPECT_EQ(sends, 0);
}

TEST_F(UdpEndpointSend, BufferInvalidHandlerCanSupplyTheBytes)
{
    static const char replacement[] = "replacement";
    QObject::connect(&endpoint, &TUDPEndpoint::bufferInvalid,
                     [](bool &handled, const char *&buff, int &length) {
                         handled = true;
                         buff = replacement;
                         length = 7;
                     });
    endpoint.SendDatagram("ignored", 0);

    EXPECT_EQ(udptest::drain(*peer), QList<QByteArray>{"replace"});
    EXPECT_EQ(sends, 1);
}

TEST_F(UdpEndpointSend, DottedNotationIsReadAsInetAtonReadsIt)
{
    for (const char *host : {"127.1", "0x7f.0.0.1", "2130706433", "127.0.0.1"}) {
        endpoint.setRemoteHost(host);
        endpoint.SendDatagram(host, static_cast<int>(qstrlen(host)));
    }
    EXPECT_EQ(udptest::drain(*peer),
              (QList<QByteArray>{"127.1", "0x7f.0.0.1", "2130706433", "127.0.0.1"}));
}

TEST_F(UdpEndpointSend, HostNameIsLookedUp)
{
    endpoint.setRemoteHost("localhost");
    endpoint.SendDatagram("named", 5);
    EXPECT_EQ(udptest::drain(*peer), QList<QByteArray>{"named"});
}

TEST_F(UdpEndpointSend, FailedLookupIsRaisedAfterOneRetryWhenHandled)
{
    // What the derivation of a broadcast host from no address at all gives: not dotted, and no
    // such host.
    endpoint.setRemoteHost(".255");
    EXPECT_EQ(failureOf<UDPSockError>("x", 1), "Host Lookup Canceled");

    int declined = 0;
    const auto declining =
        QObject::connect(&endpoint, &TUDPEndpoint::invalidHost, [&](bool &) { ++declined; });
    EXPECT_EQ(failureOf<UDPSockError>("x", 1), "Host Lookup Canceled");
    EXPECT_EQ(declined, 1);

    int retried = 0;
    QObject::disconnect(declining);
    QObject::connect(&endpoint, &TUDPEndpoint::invalidHost, [&](bool &handled) {
        ++retried;
        handled = true;
    });
    EXPECT_EQ(failureOf<UDPSockError>("x", 1), "Host Lookup Canceled");
    EXPECT_EQ(retried, 2);

    EXPECT_TRUE(udptest::drain(*peer).isEmpty());
    EXPECT_EQ(sends, 0);
}

TEST_F(UdpEndpointSend, NullAddressIsRefused)
{
    // A host changed after a good send takes effect at the next one.
    endpoint.SendDatagram("x", 1);
    ASSERT_EQ(sends, 1);
    sends = 0;
    for (const char *host : {"0.0.0.0", "0"}) {
        endpoint.setRemoteHost(host);
        EXPECT_EQ(failureOf<UDPSockError>("x", 1), "Null Remote Address") << host;
    }
    EXPECT_EQ(sends, 0);
}

TEST_F(UdpEndpointSend, RefusedDatagramIsLostWithoutAWord)
{
    // Larger than any IPv4 datagram: the network layer refuses it.
    const QByteArray tooLarge(70000, 'x');
    EXPECT_NO_THROW(endpoint.SendDatagram(tooLarge.constData(), tooLarge.size()));
    EXPECT_EQ(sends, 1);
    EXPECT_TRUE(udptest::drain(*peer).isEmpty());
}

TEST_F(UdpEndpointSend, StatusTextsDependOnTheReportLevel)
{
    QStringList statuses;
    QObject::connect(&endpoint, &TUDPEndpoint::statusReported,
                     [&](const QString &status) { statuses.append(status); });
    endpoint.SendDatagram("quiet", 5);
    EXPECT_TRUE(statuses.isEmpty());
    EXPECT_EQ(endpoint.Status(), "");

    endpoint.setReportLevel(2);
    endpoint.SendDatagram("loud", 4);
    EXPECT_EQ(statuses, QStringList{"Sending Data"});
    EXPECT_EQ(endpoint.Status(), "Sending Data");
}

} // namespace
