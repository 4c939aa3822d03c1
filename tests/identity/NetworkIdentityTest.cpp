#include "identity/Identity.h"
#include "identity/OwnAddresses.h"
#include "tests/support/PrivateNetwork.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

// Real interfaces in the test's private namespace and the real resolver, under host names the
// test sets in its own UTS namespace: "localhost" resolves to loopback alone (as Debian's
// "127.0.1.1 name" line does), the other name not at all.
class NetworkIdentityTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!net.unavailable().isEmpty())
            GTEST_SKIP() << net.unavailable().toStdString();
    }

    PrivateNetwork net;
};

TEST_F(NetworkIdentityTest, ALoopbackOnlyNameTakesTheDefaultRouteInterfaceAndItsMask)
{
    ASSERT_TRUE(net.setHostName("localhost"));
    ASSERT_TRUE(net.addLink("vt25", "10.2.0.130/25", "vt25p"));
    ASSERT_TRUE(net.addLink("vt16", "10.1.5.20/16", "vt16p"));
    ASSERT_TRUE(net.ip({"route", "add", "default", "via", "10.1.0.1", "dev", "vt16"}));
    Identity identity = Identity::lookUp();
    EXPECT_EQ(identity.LocalComputerName, QStringLiteral("localhost"));
    EXPECT_EQ(identity.LocalIP, QStringLiteral("10.1.5.20"));
    EXPECT_EQ(identity.BroadcastHost, QStringLiteral("10.1.255.255"));

    ASSERT_TRUE(net.ip({"route", "replace", "default", "via", "10.2.0.129", "dev", "vt25"}));
    identity = Identity::lookUp();
    EXPECT_EQ(identity.LocalIP, QStringLiteral("10.2.0.130"));
    EXPECT_EQ(identity.BroadcastHost, QStringLiteral("10.2.0.255"));
}

TEST_F(NetworkIdentityTest, AnUnresolvableNameTakesTheFirstUpInterfaceAndFollowsIt)
{
    ASSERT_TRUE(net.setHostName("velmora-no-such-host"));
    Identity identity = Identity::lookUp();
    EXPECT_EQ(identity.LocalIP, QString());
    EXPECT_EQ(identity.BroadcastHost, QStringLiteral("255.255.255.255"));

    ASSERT_TRUE(net.addLink("vt25", "10.2.0.20/25", "vt25p"));
    ASSERT_TRUE(identity.refresh());
    EXPECT_EQ(identity.LocalIP, QStringLiteral("10.2.0.20"));
    EXPECT_EQ(identity.BroadcastHost, QStringLiteral("10.2.0.127"));
    EXPECT_FALSE(identity.refresh());

    ASSERT_TRUE(net.ip({"addr", "del", "10.2.0.20/25", "dev", "vt25"}));
    ASSERT_TRUE(net.ip({"addr", "add", "10.2.0.20/16", "dev", "vt25"}));
    ASSERT_TRUE(identity.refresh());
    EXPECT_EQ(identity.BroadcastHost, QStringLiteral("10.2.255.255"));

    ASSERT_TRUE(net.ip({"link", "set", "vt25", "down"}));
    ASSERT_TRUE(identity.refresh());
    EXPECT_EQ(identity.LocalIP, QString());
}

// The resolver's answer is taken even when no interface holds it, and then not asked for again
// at every beacon; once an interface has held it and lost it, the resolver is asked anew.
TEST_F(NetworkIdentityTest, TheResolversAddressWinsAndIsAskedAgainOnlyWhenLost)
{
    ASSERT_TRUE(net.setHostName("velmora-teacher"));
    ASSERT_TRUE(net.setHostsFile("127.0.0.1 localhost\n10.9.0.5 velmora-teacher\n"));
    ASSERT_TRUE(net.addLink("vt25", "10.2.0.130/25", "vt25p"));
    Identity identity = Identity::lookUp();
    EXPECT_EQ(identity.LocalIP, QStringLiteral("10.9.0.5"));
    EXPECT_EQ(identity.BroadcastHost, QStringLiteral("255.255.255.255"));

    ASSERT_TRUE(net.setHostsFile("10.9.0.6 velmora-teacher\n"));
    EXPECT_FALSE(identity.refresh());
    EXPECT_EQ(identity.LocalIP, QStringLiteral("10.9.0.5"));

    ASSERT_TRUE(net.ip({"addr", "add", "10.9.0.5/24", "dev", "vt25"}));
    ASSERT_TRUE(identity.refresh());
    EXPECT_EQ(identity.BroadcastHost, QStringLiteral("10.9.0.255"));
    ASSERT_TRUE(net.ip({"addr", "del", "10.9.0.5/24", "dev", "vt25"}));
    ASSERT_TRUE(identity.refresh());
    EXPECT_EQ(identity.LocalIP, QStringLiteral("10.9.0.6"));
}

TEST_F(NetworkIdentityTest, OwnAddressesAreTheInterfacesReadAgainWhenOld)
{
    using namespace std::chrono_literals;
    OwnAddresses kept(1h);
    OwnAddresses current(50ms);
    EXPECT_FALSE(kept.contains(u"10.3.0.1"));
    EXPECT_FALSE(current.contains(u"10.3.0.1"));
    ASSERT_TRUE(net.addLink("vt3", "10.3.0.1/24", "vt3p", "10.3.0.2/24"));
    // Nothing is asked of the kernel while the copy is young, however many datagrams come.
    EXPECT_FALSE(kept.contains(u"10.3.0.1"));
    std::this_thread::sleep_for(60ms);
    EXPECT_TRUE(current.contains(u"10.3.0.1"));
    EXPECT_TRUE(current.contains(0x0A030002u));
    EXPECT_FALSE(current.contains(u"10.3.0.3"));
    EXPECT_FALSE(current.contains(u"127.0.0.1"));
    EXPECT_FALSE(current.contains(u"10.3.0.1 "));
}

} // namespace
