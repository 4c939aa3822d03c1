#include "classroom/RosterModel.h"
#include "protocol/Commands.h"
#include "tests/support/QtPrinters.h"

#include <QPersistentModelIndex>
#include <gtest/gtest.h>

namespace {
QList<QByteArray> column(const RosterModel &model, int index)
{
    QList<QByteArray> texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << (index == 0 ? model.caption(row) : model.subItem(row, index - 1));
    return texts;
}

void add(RosterModel &model, const QByteArray &name, const QByteArray &port)
{
    model.appendRow(quint64(model.rowCount() + 1), name,
                    {"127.0.0.1", port, "09:00:00", "\xb7\xf1"});
}
} // namespace

TEST(RosterOrder, ComparesBytesWithAsciiCaseFoldedAndPrefixesFirst)
{
    struct Case
    {
        QByteArray a, b;
        int sign;
    } const cases[] = {
        {"alpha", "ALPHA", 0},
        {"abc", "abd", -1},
        {"ab", "abc", -1},
        {"10240", "2000", -1},
        {"a_", "A[", 1},
        {"", "a", -1},
        // GB2312 bytes compare as bytes, above every ASCII byte.
        {"\xb0\xa1", "z", 1},
        {"\xb0\xa1", "\xb0\xa2", -1},
    };
    for (const Case &c : cases) {
        const int result = RosterModel::compareText(c.a, c.b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign)
            << c.a.toStdString() << " vs " << c.b.toStdString();
    }
}

TEST(RosterOrder, SortsOnceAscendingAndKeepsTheSelectionOnItsRow)
{
    RosterModel model;
    add(model, "delta", "2000");
    add(model, "Bravo", "10240");
    add(model, "charlie", "999");
    QPersistentModelIndex charlie = model.index(2, 0);

    model.sortByColumn(2);
    EXPECT_EQ(column(model, 2), (QList<QByteArray>{"10240", "2000", "999"}));
    model.sortByColumn(0);
    EXPECT_EQ(column(model, 0), (QList<QByteArray>{"Bravo", "charlie", "delta"}));
    EXPECT_EQ(charlie.row(), 1);
    model.sortByColumn(0);
    EXPECT_EQ(column(model, 0), (QList<QByteArray>{"Bravo", "charlie", "delta"}));

    add(model, "alpha", "1");
    EXPECT_EQ(model.caption(3), QByteArray("alpha"));
    // Keys follow their rows through the sort.
    EXPECT_EQ(model.rowOfKey(3), 1);
    EXPECT_EQ(model.key(1), 3u);
    EXPECT_EQ(model.rowOfKey(99), -1);
}

TEST(CommandTexts, MessagesAndCustomCommands)
{
    EXPECT_EQ(command::message(QStringLiteral("a\nb")), QByteArray("2a\r\nb"));
    EXPECT_EQ(command::message(QStringLiteral(" x \r\n")), QByteArray("2 x \r\n"));
    EXPECT_EQ(command::custom(QStringLiteral("  dir")), QByteArray("00  dir"));
    // A character code page 936 cannot hold goes out as "?".
    EXPECT_EQ(command::custom(QString::fromUtf8("a\xf0\x9f\x98\x80")), QByteArray("00a?"));
    EXPECT_TRUE(command::isBlank(QStringLiteral(" \r\n\t")));
    EXPECT_TRUE(command::isBlank(QString()));
    EXPECT_FALSE(command::isBlank(QStringLiteral(" .")));
}
