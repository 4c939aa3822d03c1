#include "bench/BenchApplication.h"
#include "bench/DesktopPicture.h"
#include "bench/MinimalSender.h"
#include "classroom/RosterModel.h"
#include "classroom/ScreenFrameSource.h"
#include "net/TServerSocket.h"
#include "net/TUDPEndpoint.h"
#include "ui/ConsoleOptions.h"
#include "ui/Tfrm_main.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr int kMilliseconds = 5000;
constexpr int kWarmUpMilliseconds = 1000;
constexpr int kQuality = 50;
constexpr int kChunk = 2048;

void runEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// A loopback port whose datagrams a thread of its own counts (cursor datagrams and chunks), so
// counting costs neither side anything.
class CountingSink
{
public:
    CountingSink() : m_socket(socket(AF_INET, SOCK_DGRAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const timeval wake{0, 50'000};
        setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &wake, sizeof wake);
        bind(m_socket, reinterpret_cast<const sockaddr *>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { count(); });
    }
    ~CountingSink()
    {
        m_stop = true;
        m_thread.join();
        close(m_socket);
    }
    quint16 port() const { return m_port; }
    // Starts counting afresh.
    void reset()
    {
        m_cursors = 0;
        m_chunks = 0;
    }
    long cursors() const { return m_cursors; }
    long chunks() const { return m_chunks; }

private:
    void count()
    {
        char buffer[kChunk + 1];
        while (!m_stop) {
            const ssize_t n = recv(m_socket, buffer, sizeof buffer, 0);
            if (n >= 2 && n <= 20 && buffer[0] == '1' && buffer[1] == '1')
                ++m_cursors;
            else if (n > 0)
                ++m_chunks;
        }
    }

    int m_socket;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<long> m_cursors{0};
    std::atomic<long> m_chunks{0};
    std::thread m_thread;
};

// The real console demonstrating the (virtual) 1920x1080 screen for five seconds, then the
// minimal sender doing the same work in a thread of its own at the same time: the ratio of their
// threads' processor times is the console's overhead. Each sends to its own counting sink.
void demonstrationCpu(benchmark::State &state)
{
    benchApplication();
    DesktopPicture picture(1920, 1080);
    if (!picture.paintOnRootWindow()) {
        state.SkipWithError("no X display: run under tests/isolate.sh --xvfb");
        return;
    }
    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("server.ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write("[SysInfo]\nSocket_Port=0\nUDP_Port1=0\nUDP_Port2=0\nImageSpeed=50\n");
    ini.close();
    CountingSink sink;
    CountingSink minimalSink;

    for (auto _ : state) {
        Tfrm_main console(ConsoleOptions{ini.fileName(), QString(), dir.path(),
                                         std::make_shared<ScreenFrameSource>()});
        console.show();
        for (TUDPEndpoint *endpoint : {console.ComUdp(), console.MouseUDP()}) {
            endpoint->setRemoteHost(QStringLiteral("127.0.0.1"));
            endpoint->setRemotePort(sink.port());
        }
        QTcpSocket student;
        student.connectToHost(QHostAddress::LocalHost,
                              quint16(console.ServerSocket1()->Socket()->ListenPort()));
        while (console.rosterModel()->rowCount() == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        MinimalSender sender(minimalSink.port(), kQuality);
        if (!sender.ready()) {
            state.SkipWithError("the minimal sender cannot capture");
            return;
        }
        // Both sides run at the same time, so both see the same load on a shared machine; each
        // first runs a second unmeasured, so one-time costs (first frame, fonts of the toolbar's
        // new caption, lazy symbol binding) stay out of the steady state compared.
        QToolButton *demo = console.findChild<QToolButton *>(QStringLiteral("SpeedButton1"));
        demo->click();
        double minimalCpu = 0;
        MinimalSender::Counts minimal;
        std::thread minimalThread([&] {
            sender.run(kWarmUpMilliseconds);
            const double start = threadCpuSeconds();
            minimal = sender.run(kMilliseconds);
            minimalCpu = threadCpuSeconds() - start;
        });
        runEventLoop(kWarmUpMilliseconds);
        sink.reset();
        const double consoleStart = threadCpuSeconds();
        runEventLoop(kMilliseconds);
        const double consoleCpu = threadCpuSeconds() - consoleStart;
        demo->click();
        const long consoleCursors = sink.cursors();
        const long consoleChunks = sink.chunks();
        minimalThread.join();

        state.SetIterationTime(2.0 * (kMilliseconds + kWarmUpMilliseconds) / 1000);
        state.counters["console_cpu_ms"] = consoleCpu * 1000;
        state.counters["minimal_cpu_ms"] = minimalCpu * 1000;
        state.counters["ratio"] = minimalCpu > 0 ? consoleCpu / minimalCpu : 0;
        // The console's timer may drop a tick that a long capture overran; per chunk, the same
        // work is compared.
        state.counters["ratio_per_chunk"] =
            minimalCpu > 0 && consoleChunks > 0 && minimal.ticks > 0
                ? (consoleCpu / double(consoleChunks)) / (minimalCpu / double(minimal.ticks))
                : 0;
        state.counters["console_cursors"] = double(consoleCursors);
        state.counters["console_chunks"] = double(consoleChunks);
        state.counters["minimal_chunks"] = double(minimal.ticks);
        state.counters["minimal_frames"] = double(minimal.frames);
        console.close();
    }
}
} // namespace

BENCHMARK(demonstrationCpu)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);
