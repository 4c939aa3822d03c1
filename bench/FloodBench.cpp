#include "bench/BenchApplication.h"
#include "bench/BenchSettings.h"
#include "bench/ConsoleParts.h"
#include "bench/Loopback.h"
#include "classroom/RosterModel.h"
#include "net/ReverseLookup.h"
#include "net/TUDPEndpoint.h"
#include "ui/ConsoleOptions.h"
#include "ui/Tfrm_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
using loopback::ipv4;
using loopback::residentMiB;
constexpr qint64 kJunkBytes = qint64(1) << 30;
constexpr int kDatagramsPerSecond = 50000;
constexpr int kFloodSeconds = 10;
constexpr int kTickMs = 100;

int socketFrom(int type, quint32 source)
{
    const int handle = ::socket(AF_INET, type, 0);
    const sockaddr_in local = ipv4(source, 0);
    ::bind(handle, reinterpret_cast<const sockaddr *>(&local), sizeof local);
    return handle;
}

bool hasRowFrom(const RosterModel &roster, const QByteArray &address)
{
    for (int row = 0; row < roster.rowCount(); ++row) {
        if (roster.subItem(row, RosterModel::AddressColumn - 1) == address)
            return true;
    }
    return false;
}

// One host sends 1 GiB of junk on its command connection while another sends 50,000 junk
// datagrams a second to the mouse port, for 10 s. Reported: the console's memory before,
// at its peak and after; the worst lateness of a 100 ms timer during the flood; how long a
// student connecting in the middle of it waits for its row.
void floodedConsole(benchmark::State &state)
{
    benchApplication();
    reverse_lookup::install([](quint32) { return QByteArray("pc"); });
    const BenchSettings settings;

    for (auto _ : state) {
        Tfrm_main console(settings.options());
        console.show();
        const quint16 commandPort = console_parts::commandPort(console);
        const quint16 mousePort = console_parts::mousePort(console);
        const double rssBefore = residentMiB();
        std::atomic<bool> stop{false};
        std::atomic<qint64> junkSent{0};
        std::atomic<qint64> datagramsSent{0};

        std::thread junk([&] {
            const int handle = socketFrom(SOCK_STREAM, 0x7F000032);
            const sockaddr_in console = ipv4(0x7F000001, commandPort);
            if (::connect(handle, reinterpret_cast<const sockaddr *>(&console), sizeof console) !=
                0)
                return;
            std::vector<char> chunk(64 * 1024, 'j');
            while (!stop && junkSent < kJunkBytes) {
                const ssize_t sent = ::send(handle, chunk.data(), chunk.size(), MSG_NOSIGNAL);
                if (sent <= 0)
                    break;
                junkSent += sent;
            }
            ::close(handle);
        });
        std::thread datagrams([&] {
            const int handle = socketFrom(SOCK_DGRAM, 0x7F00003C);
            const sockaddr_in mouse = ipv4(0x7F000001, mousePort);
            char junkBytes[2048];
            for (int i = 0; i < 2048; ++i)
                junkBytes[i] = char(i * 31);
            const auto start = std::chrono::steady_clock::now();
            for (qint64 n = 0; !stop; ++n) {
                const auto due =
                    start + std::chrono::microseconds(n * 1000000 / kDatagramsPerSecond);
                if (due > std::chrono::steady_clock::now())
                    std::this_thread::sleep_until(due);
                const size_t size = n % 8 == 7 ? size_t(n % 1500) : sizeof junkBytes;
                ::sendto(handle, junkBytes, size, 0, reinterpret_cast<const sockaddr *>(&mouse),
                         sizeof mouse);
                ++datagramsSent;
            }
            ::close(handle);
        });

        QElapsedTimer clock;
        clock.start();
        qint64 worstLateMs = 0;
        qint64 lastTick = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            worstLateMs = std::max(worstLateMs, now - lastTick - kTickMs);
            lastTick = now;
        });
        tick.start(kTickMs);
        double peak = rssBefore;
        // The junk sender's row goes once it has sent everything, maybe before the newcomer's
        // comes: the newcomer is found by its address.
        int newcomer = -1;
        qint64 newcomerStart = -1;
        qint64 newcomerListedMs = -1;
        while (clock.elapsed() < kFloodSeconds * 1000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            peak = std::max(peak, residentMiB());
            if (newcomer < 0 && clock.elapsed() > kFloodSeconds * 500) {
                newcomer = socketFrom(SOCK_STREAM | SOCK_NONBLOCK, 0x7F000046);
                const sockaddr_in target = ipv4(0x7F000001, commandPort);
                ::connect(newcomer, reinterpret_cast<const sockaddr *>(&target), sizeof target);
                newcomerStart = clock.elapsed();
            }
            if (newcomerStart >= 0 && newcomerListedMs < 0 &&
                hasRowFrom(console_parts::roster(console), "127.0.0.70"))
                newcomerListedMs = clock.elapsed() - newcomerStart;
        }
        stop = true;
        junk.join();
        datagrams.join();
        tick.stop();

        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        state.counters["junk_MiB"] = double(junkSent) / (1 << 20);
        state.counters["datagrams_per_s"] = double(datagramsSent) / kFloodSeconds;
        state.counters["rss_before_MiB"] = rssBefore;
        state.counters["rss_peak_MiB"] = peak;
        state.counters["rss_after_MiB"] = residentMiB();
        state.counters["tick_worst_late_ms"] = double(worstLateMs);
        state.counters["newcomer_listed_ms"] = double(newcomerListedMs);
        if (newcomer >= 0)
            ::close(newcomer);
        console.close();
    }
}
} // namespace

BENCHMARK(floodedConsole)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
