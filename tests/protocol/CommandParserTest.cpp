#include "protocol/CommandParser.h"
#include "protocol/TextFraming.h"
#include "text/Cp936.h"

#include <gtest/gtest.h>
#include <ostream>
#include <vector>

using Kind = StudentCommand::Kind;

void PrintTo(const StudentCommand &command, std::ostream *out)
{
    *out << StudentCommand::kindName(command.kind).toStdString() << " raw=\""
         << command.raw.toPercentEncoding().toStdString() << "\" argument=\""
         << command.argument.toPercentEncoding().toStdString() << "\"";
}

namespace {

// The reads, and then the stream falls quiet.
QList<StudentCommand> parseReads(const std::vector<QByteArray> &reads)
{
    CommandParser parser;
    QList<StudentCommand> commands;
    for (const QByteArray &read : reads) {
        commands += parser.feed(read);
    }
    return commands + parser.quiet();
}

QList<Kind> kindsOf(const QList<StudentCommand> &commands)
{
    QList<Kind> kinds;
    for (const StudentCommand &command : commands) {
        kinds.append(command.kind);
    }
    return kinds;
}

struct JoinedCase
{
    const char *stream;
    QList<Kind> kinds;
};

} // namespace

// Several texts in one read, including the pairs where one text is the tail of the other.
TEST(CommandParser, SplitsJoinedTextsWholeAndInOrder)
{
    const std::vector<JoinedCase> cases{
        {"0102", {Kind::LogOff, Kind::Restart}},
        {"0304050607080102",
         {Kind::ShutDown, Kind::Notepad, Kind::Explorer, Kind::WordPad, Kind::Paint, Kind::Word,
          Kind::LogOff, Kind::Restart}},
        {"NOTSCREENSCREEN", {Kind::NotScreen, Kind::Screen}},
        {"SCREENNOTSCREEN", {Kind::Screen, Kind::NotScreen}},
        {"UNBLACKSCREENBLACKSCREEN", {Kind::UnblackScreen, Kind::BlackScreen}},
        {"BLACKSCREENUNBLACKSCREEN", {Kind::BlackScreen, Kind::UnblackScreen}},
        {"IMAGESTOPSTOPIMAGE", {Kind::Image, Kind::Stop, Kind::Stop, Kind::Image}},
        {"STOP01NOTSCREEN", {Kind::Stop, Kind::LogOff, Kind::NotScreen}},
    };
    for (const JoinedCase &c : cases) {
        const QList<StudentCommand> commands = parseReads({c.stream});
        EXPECT_EQ(kindsOf(commands), c.kinds) << c.stream;
        QByteArray raws;
        for (const StudentCommand &command : commands) {
            raws += command.raw;
            EXPECT_TRUE(command.argument.isEmpty()) << c.stream;
        }
        EXPECT_EQ(raws, QByteArray(c.stream));
    }
}

// However TCP cuts the stream, the commands are the same as from one read.
TEST(CommandParser, EveryCutOfAStreamGivesTheSameCommands)
{
    const QByteArray stream("NOTSCREENSCREEN0102UNBLACKSCREENBLACKSCREENIMAGESTOP08SCREEN");
    const QList<StudentCommand> whole = parseReads({stream});
    ASSERT_EQ(whole.size(), 10);
    for (qsizetype cut = 1; cut < stream.size(); ++cut) {
        EXPECT_EQ(parseReads({stream.left(cut), stream.mid(cut)}), whole) << "cut at " << cut;
    }
    std::vector<QByteArray> bytes;
    for (const char byte : stream) {
        bytes.emplace_back(1, byte);
    }
    EXPECT_EQ(parseReads(bytes), whole);
}

TEST(CommandParser, PrefixWaitsForTheRestOfItsText)
{
    CommandParser parser;
    EXPECT_TRUE(parser.feed("NOTSC").isEmpty());
    EXPECT_EQ(parser.pending(), QByteArray("NOTSC"));
    EXPECT_EQ(kindsOf(parser.feed("REEN")), QList<Kind>{Kind::NotScreen});

    EXPECT_TRUE(parser.feed("0").isEmpty());
    EXPECT_EQ(kindsOf(parser.feed("3")), QList<Kind>{Kind::ShutDown});
    EXPECT_TRUE(parser.pending().isEmpty());
}

TEST(CommandParser, MessageCarriesEverythingAvailableIncludingLineBreaks)
{
    const QList<StudentCommand> commands = parseReads({"STOP2 first line\r\nsecond line \r\n"});
    ASSERT_EQ(kindsOf(commands), (QList<Kind>{Kind::Stop, Kind::Message}));
    EXPECT_EQ(commands[1].argument, QByteArray(" first line\r\nsecond line \r\n"));
    EXPECT_EQ(commands[1].raw, QByteArray("2 first line\r\nsecond line \r\n"));

    // There is no terminator, so a text written right after a message becomes part of it.
    const QList<StudentCommand> swallowed = parseReads({"2hiSTOP"});
    ASSERT_EQ(swallowed.size(), 1);
    EXPECT_EQ(swallowed[0].argument, QByteArray("hiSTOP"));

    const QString chinese = QStringLiteral("下课了");
    const QList<StudentCommand> encoded = parseReads({"2" + cp936::encode(chinese)});
    ASSERT_EQ(encoded.size(), 1);
    EXPECT_EQ(encoded[0].argumentText(), chinese);
}

TEST(CommandParser, CustomCommandKeepsLeadingBlanksAndWaitsAfterABarePrefix)
{
    const QList<StudentCommand> commands = parseReads({"00  dir"});
    ASSERT_EQ(kindsOf(commands), QList<Kind>{Kind::Custom});
    EXPECT_EQ(commands[0].argument, QByteArray("  dir"));

    CommandParser parser;
    EXPECT_TRUE(parser.feed("00").isEmpty());
    EXPECT_TRUE(parser.feed("notepad c:\\a.txt").isEmpty());
    const QList<StudentCommand> late = parser.quiet();
    ASSERT_EQ(kindsOf(late), QList<Kind>{Kind::Custom});
    EXPECT_EQ(late[0].argument, QByteArray("notepad c:\\a.txt"));
}

// A message or custom command ends where the stream falls quiet, however the reads cut it, or
// at the bound: what follows a cut text until the quiet is dropped, never parsed.
TEST(CommandParser, TextsEndWhereTheStreamFallsQuietOrAtTheBound)
{
    const QByteArray row = cp936::encode(QStringLiteral("第3排 01号 张三 STOP 02 00 rm -rf\r\n"));
    QByteArray chart;
    while (chart.size() < 117 * 1024) {
        chart += row;
    }
    const QList<StudentCommand> whole{{Kind::Message, "2" + chart, chart}};
    EXPECT_EQ(parseReads({"2" + chart}), whole);
    EXPECT_EQ(parseReads({"2" + chart.left(6000), chart.mid(6000)}), whole);

    CommandParser parser;
    EXPECT_TRUE(parser.feed("2hello").isEmpty());
    EXPECT_EQ(kindsOf(parser.quiet()), QList<Kind>{Kind::Message});
    EXPECT_EQ(kindsOf(parser.feed("03")), QList<Kind>{Kind::ShutDown});

    const QByteArray full(framing::kTextBound, 'a');
    EXPECT_EQ(parseReads({"2" + full}), (QList<StudentCommand>{{Kind::Message, "2" + full, full}}));
    CommandParser bounded;
    EXPECT_EQ(bounded.feed("2" + full + "b0102"),
              (QList<StudentCommand>{{Kind::Message, "2" + full, full, true}}));
    EXPECT_TRUE(bounded.feed("IMAGE03").isEmpty());
    EXPECT_TRUE(bounded.quiet().isEmpty());
    EXPECT_EQ(bounded.discarded(), 12);
    EXPECT_EQ(kindsOf(bounded.feed("STOP")), QList<Kind>{Kind::Stop});

    // The cut never ends in half a character.
    const QByteArray front(framing::kTextBound - 1, 'c');
    const QList<StudentCommand> custom =
        parseReads({"00" + front + cp936::encode(QStringLiteral("下")) + "01"});
    ASSERT_EQ(custom.size(), 1);
    EXPECT_EQ(custom[0].kind, Kind::Custom);
    EXPECT_TRUE(custom[0].cut);
    EXPECT_EQ(custom[0].argument, front);
}

// Junk is reported as one Unknown up to the next byte that can start a text, losing no byte.
TEST(CommandParser, UnknownBytesAreReportedAndTheStreamRecovers)
{
    struct UnknownCase
    {
        const char *stream;
        QList<Kind> kinds;
    };
    const std::vector<UnknownCase> cases{
        {"xyzSTOP", {Kind::Unknown, Kind::Stop}},
        {"0901", {Kind::Unknown, Kind::LogOff}},
        {"\r\nIMAGE", {Kind::Unknown, Kind::Image}},
        {"SCRAP01", {Kind::Unknown, Kind::LogOff}},
        {"NOTSCREEX02", {Kind::Unknown, Kind::Unknown, Kind::Restart}},
        {"screen", {Kind::Unknown}},
    };
    for (const UnknownCase &c : cases) {
        const QList<StudentCommand> commands = parseReads({c.stream});
        EXPECT_EQ(kindsOf(commands), c.kinds) << c.stream;
        QByteArray raws;
        for (const StudentCommand &command : commands) {
            raws += command.raw;
        }
        EXPECT_EQ(raws, QByteArray(c.stream));
    }
    EXPECT_EQ(parseReads({"xyzSTOP"})[0].raw, QByteArray("xyz"));
}

TEST(CommandParser, FlushEndsWhatWasWaiting)
{
    CommandParser parser;
    EXPECT_TRUE(parser.feed("STOPNOTSC").size() == 1);
    const QList<StudentCommand> rest = parser.flush();
    ASSERT_EQ(kindsOf(rest), QList<Kind>{Kind::Unknown});
    EXPECT_EQ(rest[0].raw, QByteArray("NOTSC"));
    EXPECT_TRUE(parser.flush().isEmpty());

    parser.feed("2");
    EXPECT_EQ(parser.flush(), (QList<StudentCommand>{{Kind::Message, "2"}}));
    parser.feed("00");
    EXPECT_EQ(parser.flush(), (QList<StudentCommand>{{Kind::Custom, "00"}}));
}
