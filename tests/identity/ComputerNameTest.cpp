#include "identity/ComputerName.h"

#include <gtest/gtest.h>

namespace {

struct Case
{
    const char *hostName;
    const char *expected;
};

const Case kNames[] = {
    {"lab-pc", "lab-pc"},
    {"lab-pc.school.example", "lab-pc"},
    {"exactly15bytes1", "exactly15bytes1"},
    {"sixteen-bytes-16", "sixteen-bytes-1"},
    {"short.but-a-long-domain-part", "short"},
    {"a-very-long-host-name.domain", "a-very-long-hos"},
    {".leading-dot", ""},
    {"", ""},
};

TEST(ComputerName, ShortNameCutsAtDotThenFifteenBytes)
{
    for (const Case &c : kNames)
        EXPECT_EQ(computername::shortName(QByteArray(c.hostName)), QString::fromLatin1(c.expected))
            << c.hostName;
}

} // namespace
