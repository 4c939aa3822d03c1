#include "ServerHarness.h"
#include "RawStudent.h"

#include "net/ReverseLookup.h"

#include <gtest/gtest.h>

using servertest::waitUntil;

namespace {

// Puts the system's lookup back whatever the test's outcome.
struct InstalledLookup
{
    explicit InstalledLookup(reverse_lookup::Lookup lookup) { reverse_lookup::install(lookup); }
    ~InstalledLookup() { reverse_lookup::install({}); }
};

TEST(ReverseLookup, PeerNameIsAskedAfreshAtEveryReadAndIsEmptyWithoutAName)
{
    int asked = 0;
    InstalledLookup names([&](quint32 address) {
        ++asked;
        return address == 0x7f000002 ? QByteArray("alpha") : QByteArray();
    });
    ServerHarness harness;
    RawStudent named("127.0.0.2", harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 1; }));
    RawStudent unnamed("127.0.0.3", harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 2; }));

    EXPECT_EQ(harness.server().ConnectionAt(0)->PeerName(), "alpha");
    EXPECT_EQ(harness.server().ConnectionAt(1)->PeerName(), "");
    EXPECT_EQ(harness.server().ConnectionAt(0)->PeerName(), "alpha");
    EXPECT_EQ(asked, 3);
}

TEST(ReverseLookup, TheSystemLookupNeverAnswersWithTheNumericAddress)
{
    reverse_lookup::install({});
    EXPECT_NE(reverse_lookup::nameOf(0x7f00004d), "127.0.0.77");
}

} // namespace
