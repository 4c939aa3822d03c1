#include "ServerHarness.h"
#include "RawStudent.h"

#include <QFile>
#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using servertest::waitUntil;
using Kind = ServerHarness::Kind;

namespace {

constexpr qint64 kMiB = 1024 * 1024;
constexpr qint64 kFloodBytes = 256 * kMiB;

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    statm.open(QIODevice::ReadOnly);
    return statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
}

// Sends as fast as the console takes the bytes, from a thread of its own so that the
// console's event loop is what limits it.
class Flood
{
public:
    explicit Flood(int handle) : m_thread([this, handle] { run(handle); }) {}
    ~Flood()
    {
        m_stop = true;
        waitUntil([this] { return m_done.load(); }, 10000);
        m_thread.join();
    }
    qint64 sent() const { return m_sent; }

private:
    void run(int handle)
    {
        ::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) & ~O_NONBLOCK);
        const timeval patience{1, 0};
        ::setsockopt(handle, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
        const QByteArray chunk(64 * 1024, 'x');
        while (!m_stop) {
            const ssize_t count = ::send(handle, chunk.constData(), size_t(chunk.size()),
                                         MSG_NOSIGNAL);
            if (count > 0)
                m_sent += count;
            else if (errno != EAGAIN)
                break;
        }
        m_done = true;
    }

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::atomic<qint64> m_sent{0};
    std::thread m_thread;
};

TEST(ServerRead, AFloodingStudentIsReadAndDiscardedStaysConnectedAndStarvesNobody)
{
    ServerHarness harness;
    RawStudent flooder("127.0.0.6", harness.port());
    ASSERT_TRUE(waitUntil([&] { return harness.server().ConnectionCount() == 1; }));
    Flood flood(flooder.handle());
    ASSERT_TRUE(waitUntil([&] { return flood.sent() > 16 * kMiB; }));
    const qint64 residentBefore = residentBytes();

    RawStudent latecomer("127.0.0.7", harness.port());
    EXPECT_TRUE(waitUntil([&] { return harness.count(Kind::Connect) == 2; }));
    ASSERT_TRUE(waitUntil([&] { return flood.sent() > kFloodBytes; }, 30000));

    EXPECT_LT(residentBytes() - residentBefore, 8 * kMiB);
    EXPECT_TRUE(harness.server().ConnectionAt(0)->IsOpen());
    EXPECT_EQ(harness.events().size(), 2);
    EXPECT_TRUE(harness.reports().isEmpty());
}

} // namespace
