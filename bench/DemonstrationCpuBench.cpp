#include "bench/BenchApplication.h"
#include "bench/BenchSettings.h"
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
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <ctime>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
constexpr int kRounds = 5;
constexpr int kMilliseconds = 2000;
constexpr int kWarmUpMilliseconds = 500;
constexpr int kMarginMilliseconds = 300;
constexpr int kQuality = 50;
constexpr int kChunk = 2048;

void runEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Processor time of another thread of this process.
double threadCpuSeconds(std::thread &thread)
{
    clockid_t clock{};
    timespec now{};
    if (pthread_getcpuclockid(thread.native_handle(), &clock) != 0 ||
        clock_gettime(clock, &now) != 0)
        return 0;
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// A loopback port whose chunks a thread of its own counts (cursor datagrams are shorter), so
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
    long chunks() const { return m_chunks; }
    // Processor time of the counting thread so far.
    double cpuSeconds() { return threadCpuSeconds(m_thread); }

private:
    void count()
    {
        char buffer[kChunk + 1];
        while (!m_stop) {
            const ssize_t n = recv(m_socket, buffer, sizeof buffer, 0);
            if (n > 20)
                ++m_chunks;
        }
    }

    int m_socket;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<long> m_chunks{0};
    std::thread m_thread;
};

// Where both sides stand at one moment: the console is the whole process but the minimal
// sender's thread and the counting threads, so Qt's helper threads count for it as they would
// when measured from outside.
struct Snapshot
{
    Snapshot(std::thread &minimalThread, CountingSink &consoleSink, CountingSink &minimalSink)
        : process(processCpuSeconds()), minimal(threadCpuSeconds(minimalThread)),
          sinks(consoleSink.cpuSeconds() + minimalSink.cpuSeconds()),
          consoleChunks(consoleSink.chunks()), minimalChunks(minimalSink.chunks())
    {
    }
    double process;
    double minimal;
    double sinks;
    long consoleChunks;
    long minimalChunks;
};

// One measured span of both sides.
struct Round
{
    double consoleCpu = 0;
    double minimalCpu = 0;
    long consoleChunks = 0;
    long minimalChunks = 0;
    void add(const Round &r)
    {
        consoleCpu += r.consoleCpu;
        minimalCpu += r.minimalCpu;
        consoleChunks += r.consoleChunks;
        minimalChunks += r.minimalChunks;
    }
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The real console demonstrating the (virtual) 1920x1080 screen while the minimal sender does the
// same work in a thread of its own: the ratio of their threads' processor times is the console's
// overhead. Each sends to its own counting sink.
void demonstrationCpu(benchmark::State &state)
{
    benchApplication();
    DesktopPicture picture(1920, 1080);
    if (!picture.paintOnRootWindow()) {
        state.SkipWithError("no X display: run under tests/isolate.sh --xvfb");
        return;
    }
    const BenchSettings settings("ImageSpeed=50\n");
    CountingSink sink;
    CountingSink minimalSink;

    for (auto _ : state) {
        Tfrm_main console(settings.options(std::make_shared<ScreenFrameSource>()));
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
        // Both sides run at the same time, so both see the same load on a shared machine, in
        // rounds whose median is kept; each round first runs unmeasured, so one-time costs (first
        // frame, fonts of the toolbar's new caption, lazy symbol binding) stay out.
        QToolButton *demo = console.findChild<QToolButton *>(QStringLiteral("SpeedButton1"));
        std::vector<double> ratios;
        std::vector<double> perChunk;
        Round total;
        for (int round = 0; round < kRounds; ++round) {
            Round r;
            demo->click();
            std::thread minimalThread(
                [&] { sender.run(kWarmUpMilliseconds + kMilliseconds + kMarginMilliseconds); });
            runEventLoop(kWarmUpMilliseconds);
            const Snapshot start{minimalThread, sink, minimalSink};
            runEventLoop(kMilliseconds);
            const Snapshot end{minimalThread, sink, minimalSink};
            demo->click();
            minimalThread.join();
            r.minimalCpu = end.minimal - start.minimal;
            r.consoleCpu = (end.process - start.process) - r.minimalCpu - (end.sinks - start.sinks);
            r.consoleChunks = end.consoleChunks - start.consoleChunks;
            r.minimalChunks = end.minimalChunks - start.minimalChunks;
            ratios.push_back(r.consoleCpu / r.minimalCpu);
            perChunk.push_back((r.consoleCpu / double(r.consoleChunks)) /
                               (r.minimalCpu / double(r.minimalChunks)));
            total.add(r);
        }
        state.SetIterationTime(double(kRounds) * (kMilliseconds + kWarmUpMilliseconds) / 1000);
        state.counters["ratio"] = median(ratios);
        // The console's timer may drop a tick that a long capture overran; per chunk, the same
        // work is compared.
        state.counters["ratio_per_chunk"] = median(perChunk);
        state.counters["console_cpu_ms"] = total.consoleCpu * 1000;
        state.counters["minimal_cpu_ms"] = total.minimalCpu * 1000;
        state.counters["console_chunks"] = double(total.consoleChunks);
        state.counters["minimal_chunks"] = double(total.minimalChunks);
        console.close();
    }
}
} // namespace

BENCHMARK(demonstrationCpu)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);
