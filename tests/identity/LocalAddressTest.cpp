#include "identity/LocalAddress.h"
#include "identity/Identity.h"

#include <gtest/gtest.h>

namespace {

InterfaceAddress link(const char *name, const char *address, int prefix, bool up = true)
{
    InterfaceAddress entry;
    entry.name = name;
    entry.address = *netif::parseDotted(QString::fromLatin1(address));
    entry.netmask = prefix == 0 ? 0 : ~quint32(0) << (32 - prefix);
    entry.up = up;
    entry.loopback = entry.name == "lo";
    return entry;
}

const QList<InterfaceAddress> kLab{link("lo", "127.0.0.1", 8), link("eth0", "10.1.5.20", 16),
                                   link("eth1", "192.168.5.9", 24),
                                   link("wlan0", "172.16.0.4", 12)};

struct Case
{
    const char *name;
    QStringList resolved;
    QList<InterfaceAddress> interfaces;
    QByteArray defaultRoute;
    const char *expected;
};

TEST(LocalAddress, ChoosesFromResolverThenDefaultRouteThenFirstInterface)
{
    const Case cases[] = {
        {"one address", {"192.168.0.17"}, kLab, "eth1", "192.168.0.17"},
        {"several: last", {"192.168.0.17", "10.1.2.3"}, {}, "", "10.1.2.3"},
        {"loopback among others: last", {"192.168.0.17", "127.0.1.1"}, kLab, "", "127.0.1.1"},
        {"all loopback: default route", {"127.0.0.1", "127.0.1.1"}, kLab, "eth1", "192.168.5.9"},
        {"unresolved: default route", {}, kLab, "wlan0", "172.16.0.4"},
        {"no default route: first up", {"127.0.1.1"}, kLab, "", "10.1.5.20"},
        {"default route over a down link",
         {},
         {link("eth0", "10.1.5.20", 16, false), link("eth1", "192.168.5.9", 24)},
         "eth0",
         "192.168.5.9"},
        {"nothing but loopback", {"127.0.1.1"}, {link("lo", "127.0.0.1", 8)}, "lo", ""},
        {"nothing at all", {}, {}, "", ""},
        {"not 127/8", {"128.0.0.1"}, kLab, "", "128.0.0.1"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(localaddress::chooseAddress(c.resolved, c.interfaces, c.defaultRoute),
                  QString::fromLatin1(c.expected))
            << c.name;
}

TEST(LocalAddress, TheDefaultRouteWithTheLowestMetricWins)
{
    const QByteArray table =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "eth0\t0000010A\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\t0\t0\n"
        "eth1\t00000000\t0105A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
        "wlan0\t00000000\t010010AC\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        "dead0\t00000000\t01000001\t0202\t0\t0\t0\t00000000\t0\t0\t0\n";
    EXPECT_EQ(netif::defaultRouteInterface(table), QByteArray("wlan0"));
    EXPECT_EQ(netif::defaultRouteInterface(table.left(table.indexOf("eth1"))), QByteArray());
    EXPECT_EQ(netif::defaultRouteInterface(QByteArray()), QByteArray());
}

TEST(LocalAddress, DottedTextIsFourDecimalOctets)
{
    EXPECT_EQ(netif::parseDotted(u"10.1.255.255"), 0x0A01FFFFu);
    EXPECT_EQ(netif::parseDotted(u"0.0.0.0"), 0u);
    for (const char16_t *wrong : {u"", u"10.1.2", u"10.1.2.3.4", u"256.1.1.1", u"10.1.2.3 ",
                                  u"1.2.3.0004", u"0x7f.0.0.1", u"10..2.3", u"a.b.c.d"})
        EXPECT_FALSE(netif::parseDotted(wrong).has_value())
            << QStringView(wrong).toString().toStdString();
    EXPECT_EQ(netif::dotted(0xC0A80011), QStringLiteral("192.168.0.17"));
}

TEST(LocalAddress, TheBroadcastHostHonoursTheNetmask)
{
    InterfaceAddress tunnel = link("tun0", "10.8.0.6", 24);
    tunnel.pointToPoint = true;
    const QList<InterfaceAddress> interfaces{
        kLab[1], link("eth2", "10.2.0.130", 25), link("eth3", "10.2.0.20", 25),
        tunnel,  link("eth4", "10.9.9.9", 32),   link("eth5", "10.7.0.1", 31)};
    const struct
    {
        const char *address;
        const char *broadcast;
    } cases[] = {
        {"10.1.5.20", "10.1.255.255"},    {"10.2.0.130", "10.2.0.255"},
        {"10.2.0.20", "10.2.0.127"},      {"10.8.0.6", "255.255.255.255"},
        {"10.9.9.9", "255.255.255.255"},  {"10.7.0.1", "255.255.255.255"},
        {"192.0.2.1", "255.255.255.255"}, {"", "255.255.255.255"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(broadcastHostFor(QString::fromLatin1(c.address), interfaces),
                  QString::fromLatin1(c.broadcast))
            << c.address;
}

} // namespace
