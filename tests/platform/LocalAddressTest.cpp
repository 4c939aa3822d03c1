#include "platform/LocalAddress.h"

#include <gtest/gtest.h>

namespace {

struct Case
{
    const char *name;
    QStringList resolved;
    QStringList interfaces;
    const char *expected;
};

TEST(LocalAddress, ChoosesFromResolverThenInterfaces)
{
    const Case cases[] = {
        {"one address", {"192.168.0.17"}, {"10.0.0.1"}, "192.168.0.17"},
        {"several: last", {"192.168.0.17", "10.1.2.3"}, {}, "10.1.2.3"},
        {"loopback among others: last",
         {"192.168.0.17", "127.0.1.1"},
         {"10.0.0.1"},
         "127.0.1.1"},
        {"all loopback: last interface",
         {"127.0.0.1", "127.0.1.1"},
         {"10.0.0.1", "192.168.5.9"},
         "192.168.5.9"},
        {"all loopback, no interface", {"127.0.1.1"}, {}, "127.0.1.1"},
        {"not 127/8", {"128.0.0.1"}, {"10.0.0.1"}, "128.0.0.1"},
        {"unresolved", {}, {"10.0.0.1"}, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(localaddress::chooseAddress(c.resolved, c.interfaces),
                  QString::fromLatin1(c.expected))
            << c.name;
}

} // namespace
