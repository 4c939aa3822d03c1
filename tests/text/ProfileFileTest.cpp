#include "text/ProfileFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

namespace {

using profilefile::readProfileString;
using profilefile::writeProfileString;

class ProfileFile : public ::testing::Test
{
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("server.ini")); }

    void put(const QByteArray &bytes) const
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray bytes() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString read(const char *section, const char *key) const
    {
        return readProfileString(path(), QString::fromLatin1(section), QString::fromLatin1(key),
                                 QStringLiteral("<default>"));
    }

    bool write(const char *section, const char *key, const char *value) const
    {
        return writeProfileString(path(), QString::fromLatin1(section), QString::fromLatin1(key),
                                  QString::fromLatin1(value));
    }

    QTemporaryDir m_dir;
};

TEST_F(ProfileFile, MissingFileSectionOrKeyGivesDefault)
{
    EXPECT_EQ(read("SysInfo", "UDP_Port1"), "<default>");
    put("[Other]\nUDP_Port1=1\n[SysInfo]\nUDP_Port2=2\n");
    EXPECT_EQ(read("Missing", "UDP_Port2"), "<default>");
    EXPECT_EQ(read("SysInfo", "UDP_Port1"), "<default>");
    EXPECT_EQ(read("SysInfo", "UDP_Port2"), "2");
}

TEST_F(ProfileFile, MatchesNamesWithoutCaseAndTrimsValues)
{
    put("  [ sysinfo ]  \r\n  udp_port1  =   0x1612  \r\nEmpty=\r\n");
    EXPECT_EQ(read("SysInfo", "UDP_Port1"), "0x1612");
    EXPECT_EQ(read("SYSINFO", "empty"), "");
}

TEST_F(ProfileFile, OnlyTheFirstSectionAndKeyAnswerAndCommentsNever)
{
    put(";A=0\n[SysInfo]\n;B=1\nA=1\nA=2\n[SysInfo]\nB=3\n");
    EXPECT_EQ(read("SysInfo", "A"), "1");
    EXPECT_EQ(read("SysInfo", "B"), "<default>");
}

TEST_F(ProfileFile, WriteCreatesFileAndSection)
{
    ASSERT_TRUE(write("SysInfo", "UDP_Port1", "5650"));
    EXPECT_EQ(bytes(), "[SysInfo]\nUDP_Port1=5650\n");
    // Quoted, as the reader takes off one pair of quotes, so the blank reads back too.
    ASSERT_TRUE(write("SysInfo", "UDP_Port2", " 12"));
    EXPECT_EQ(bytes(), "[SysInfo]\nUDP_Port1=5650\nUDP_Port2=\" 12\"\n");
    EXPECT_EQ(read("SysInfo", "UDP_Port2"), " 12");
}

TEST_F(ProfileFile, RewriteKeepsEveryOtherLine)
{
    const QByteArray before = "; settings of the console\r\n"
                              "[Display]\r\n"
                              "UDP_Port1=keep\r\n"
                              "\r\n"
                              "[SysInfo]\r\n"
                              "  ImageSpeed = 50 ; old\r\n"
                              "UDP_Port1=5650\r\n"
                              "\r\n"
                              "[Later]\r\n"
                              "X=1";
    put(before);
    ASSERT_TRUE(write("sysinfo", "udp_port1", "$1612"));
    QByteArray expected = before;
    expected.replace("UDP_Port1=5650", "udp_port1=$1612");
    EXPECT_EQ(bytes(), expected);

    ASSERT_TRUE(write("SysInfo", "Socket_Port", "2000"));
    expected.replace("udp_port1=$1612\r\n", "udp_port1=$1612\r\nSocket_Port=2000\r\n");
    EXPECT_EQ(bytes(), expected);
    EXPECT_EQ(read("Later", "X"), "1");
    EXPECT_EQ(read("Display", "UDP_Port1"), "keep");
}

TEST_F(ProfileFile, NewSectionFollowsTheFilesLineEnds)
{
    put("[Other]\r\nA=1");
    ASSERT_TRUE(write("SysInfo", "B", "2"));
    EXPECT_EQ(bytes(), "[Other]\r\nA=1\r\n\r\n[SysInfo]\r\nB=2\r\n");
}

TEST_F(ProfileFile, KeyAddedToUnterminatedLastLine)
{
    put("[SysInfo]\nA=1");
    ASSERT_TRUE(write("SysInfo", "B", "2"));
    EXPECT_EQ(bytes(), "[SysInfo]\nA=1\nB=2");
}

TEST_F(ProfileFile, UnwritablePlacesFail)
{
    const QString blocker = m_dir.filePath(QStringLiteral("plain-file"));
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(writeProfileString(blocker + QStringLiteral("/server.ini"), "SysInfo", "A", "1"));
    EXPECT_FALSE(writeProfileString(m_dir.filePath(QStringLiteral("missing/server.ini")), "SysInfo",
                                    "A", "1"));

    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("server.ini")));
    EXPECT_FALSE(write("SysInfo", "A", "1"));
    EXPECT_EQ(read("SysInfo", "A"), "<default>");
}

TEST_F(ProfileFile, ValuesThatWouldBreakTheFileAreRefused)
{
    put("[SysInfo]\nA=1\n");
    EXPECT_FALSE(write("SysInfo", "A", "1\n[Evil]"));
    EXPECT_FALSE(write("SysInfo", "A=B", "1"));
    EXPECT_FALSE(write("Sys]Info", "A", "1"));
    EXPECT_EQ(bytes(), "[SysInfo]\nA=1\n");
}

// A last line ended by a lone CR once had the next key glued onto it: the port the dialog
// reported as saved read back as the old value.
TEST_F(ProfileFile, ABareCarriageReturnEndsALine)
{
    put("[SysInfo]\r\nUDP_Port1=5650\r");
    ASSERT_TRUE(write("SysInfo", "Socket_Port", "2000"));
    EXPECT_EQ(read("SysInfo", "Socket_Port"), "2000");
    EXPECT_EQ(read("SysInfo", "UDP_Port1"), "5650");
    EXPECT_EQ(bytes(), "[SysInfo]\r\nUDP_Port1=5650\rSocket_Port=2000\r\n");

    put("[SysInfo]\rA=1\r[Other]\rA=2");
    ASSERT_TRUE(write("SysInfo", "B", "3"));
    ASSERT_TRUE(write("Third", "C", "4"));
    EXPECT_EQ(bytes(), "[SysInfo]\rA=1\rB=3\r[Other]\rA=2\r\r[Third]\rC=4\r");
    EXPECT_EQ(read("Other", "A"), "2");
}

TEST_F(ProfileFile, EveryStorableValueReadsBackAsWritten)
{
    put("[SysInfo]\nKeep=\xff\xfe bytes\n; note\n");
    const QStringList values = {
        " lead", "trail\t", "\"quoted\"",  "'x'",
        "\"",    "a;b ; c", "tab\tinside", QString::fromUtf8("\xe4\xb8\xad"),
        ""};
    for (const QString &value : values) {
        ASSERT_TRUE(writeProfileString(path(), "SysInfo", "V", value)) << value.toStdString();
        EXPECT_EQ(readProfileString(path(), "SysInfo", "V", "<default>"), value);
    }
    EXPECT_TRUE(bytes().startsWith("[SysInfo]\nKeep=\xff\xfe bytes\n; note\n"));
    // A lone surrogate has no UTF-8 form: refused rather than stored as something else.
    EXPECT_FALSE(writeProfileString(path(), "SysInfo", "V", QString(QChar(0xD800))));
    EXPECT_FALSE(writeProfileString(path(), "SysInfo", "V", "cr\rinside"));
}

// Root ignores permission bits, so the failure comes from a file-size limit instead.
TEST_F(ProfileFile, FailedWriteLeavesOldFileWhole)
{
    const QByteArray before = "[SysInfo]\nUDP_Port1=5650\n" + QByteArray(200, ';') + '\n';
    put(before);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = rlim_t(before.size());
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    const bool written = write("SysInfo", "UDP_Port1", "a-value-longer-than-before");

    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("server.ini")});
}

} // namespace
