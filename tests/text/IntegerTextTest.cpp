#include "text/IntegerText.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct Case
{
    const char *text;
    std::optional<qint32> expected; // nothing: the text is refused
};

const Case kSyntax[] = {
    {"0", 0},
    {"12", 12},
    {" 12", 12},
    {"12 ", std::nullopt},
    {"\t12", std::nullopt},
    {"+5", 5},
    {"-5", -5},
    {"007", 7},
    {"2147483647", 2147483647},
    {"2147483648", std::nullopt},
    {"-2147483648", -2147483647 - 1},
    {"-2147483649", std::nullopt},
    {"99999999999999999999", std::nullopt},
    {"$1612", 5650},
    {"x1612", 5650},
    {"X1612", 5650},
    {"0x1612", 5650},
    {" $ff", 255},
    {"$FFFFFFFF", -1},
    {"$80000000", -2147483647 - 1},
    {"$000000001", 1},
    {"$100000000", std::nullopt},
    {"-$5", std::nullopt},
    {"$-5", std::nullopt},
    {"$", std::nullopt},
    {"0x", std::nullopt},
    {"", std::nullopt},
    {" ", std::nullopt},
    {"+", std::nullopt},
    {"abc", std::nullopt},
    {"1e3", std::nullopt},
    {"1 2", std::nullopt},
};

TEST(IntegerText, FollowsTheIntegerSyntax)
{
    for (const Case &c : kSyntax) {
        qint32 value = 4242;
        const bool ok = integertext::parseInteger(QString::fromLatin1(c.text), value);
        EXPECT_EQ(ok, c.expected.has_value()) << '"' << c.text << '"';
        EXPECT_EQ(value, c.expected.value_or(4242)) << '"' << c.text << '"';
    }
}

TEST(IntegerText, RefusesDigitsOfOtherScripts)
{
    qint32 value = 0;
    EXPECT_FALSE(integertext::parseInteger(QStringLiteral("\uFF11\uFF12"), value));
}

const Case kSettings[] = {
    {"0x1612", 5650},   {"0X1612", 5650},      {"0x", std::nullopt},   {"$1612", 5650},
    {"", std::nullopt}, {"abc", std::nullopt}, {"0x-5", std::nullopt},
};

TEST(IntegerText, ReadsSettingsWithFallback)
{
    constexpr qint32 kFallback = 1024;
    for (const Case &c : kSettings)
        EXPECT_EQ(integertext::readIntegerSetting(QString::fromLatin1(c.text), kFallback),
                  c.expected.value_or(kFallback))
            << '"' << c.text << '"';
}

TEST(IntegerText, MessageQuotesTheText)
{
    EXPECT_EQ(integertext::invalidIntegerMessage(QStringLiteral("%1x")),
              QStringLiteral("'%1x' is not a valid integer value"));
}

} // namespace
