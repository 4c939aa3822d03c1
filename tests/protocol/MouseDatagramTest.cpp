#include "protocol/MouseDatagram.h"
#include "text/Cp936.h"

#include <gtest/gtest.h>
#include <vector>

using Kind = MouseDatagram::Kind;

TEST(MouseDatagram, ReadsCursorPositionsAsTheConsoleWritesThem)
{
    struct CursorCase
    {
        const char *text;
        int code, x, y;
    };
    const std::vector<CursorCase> cases{
        {"110/512/384/", 0, 512, 384},
        {"110/-5/10/", 0, -5, 10},
        {"110/0/0/", 0, 0, 0},
        {"11-22/-99999/-99999/", -22, -99999, -99999},
    };
    for (const CursorCase &c : cases) {
        const MouseDatagram cursor = MouseDatagram::parse(c.text);
        ASSERT_EQ(cursor.kind, Kind::Cursor) << c.text;
        EXPECT_EQ(cursor.code, c.code) << c.text;
        EXPECT_EQ(cursor.x, c.x) << c.text;
        EXPECT_EQ(cursor.y, c.y) << c.text;
    }
}

TEST(MouseDatagram, RejectsMalformedCursorsAndForeignData)
{
    for (const char *text : {"110/512/384", "110/512/384/7/", "110/5a/3/", "110/+5/3/", "110//3/",
                             "110/05/3/", "11-0/1/1/", "110/1/2/ ", "11", "110/12345678/1234567/",
                             "12/1/1/", "110/99999999999/1/"}) {
        EXPECT_EQ(MouseDatagram::parse(text).kind, Kind::Other) << text;
    }
    EXPECT_EQ(MouseDatagram::parse(QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF", 10)).kind,
              Kind::Other);
    EXPECT_EQ(MouseDatagram::parse(QByteArray()).kind, Kind::Other);
}

TEST(MouseDatagram, ReadsBeaconNamesUpToFifteenBytes)
{
    const MouseDatagram beacon = MouseDatagram::parse("00TEACHER-PC");
    ASSERT_EQ(beacon.kind, Kind::Beacon);
    EXPECT_EQ(beacon.name, QByteArray("TEACHER-PC"));

    EXPECT_EQ(MouseDatagram::parse("00").kind, Kind::Beacon);
    EXPECT_EQ(MouseDatagram::parse("00" + QByteArray(15, 'N')).kind, Kind::Beacon);
    EXPECT_EQ(MouseDatagram::parse("00" + QByteArray(16, 'N')).kind, Kind::Other);

    const QString chinese = QStringLiteral("教师机");
    const MouseDatagram named = MouseDatagram::parse("00" + cp936::encode(chinese));
    EXPECT_EQ(cp936::decode(named.name), chinese);
}
