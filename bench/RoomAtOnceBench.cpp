#include "bench/BenchApplication.h"
#include "bench/BenchSettings.h"
#include "bench/ConsoleParts.h"
#include "bench/Loopback.h"
#include "classroom/RosterModel.h"
#include "net/ReverseLookup.h"
#include "ui/ConsoleOptions.h"
#include "ui/Tfrm_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
using loopback::ipv4;
constexpr int kStudents = 250;

// A whole room switched on together: 250 students connect before the console's loop runs
// even once, so they all wait in its listen queue; the figure is the time until every one
// of them has its row (goal: all of them, within 2 s).
void roomConnectingAtOnce(benchmark::State &state)
{
    benchApplication();
    reverse_lookup::install(
        [](quint32 address) { return "pc-" + QByteArray::number(address & 0xffff); });
    const BenchSettings settings;

    for (auto _ : state) {
        Tfrm_main console(settings.options());
        console.show();
        const quint16 port = console_parts::commandPort(console);
        const sockaddr_in target = ipv4(0x7F000001, port);
        std::vector<int> students;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kStudents; ++i) {
            const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            const sockaddr_in source =
                ipv4(0x7F000000 | quint32((1 + i / 250) << 8) | quint32(2 + i % 250), 0);
            ::bind(handle, reinterpret_cast<const sockaddr *>(&source), sizeof source);
            ::connect(handle, reinterpret_cast<const sockaddr *>(&target), sizeof target);
            students.push_back(handle);
        }
        const double connectMs = double(clock.nsecsElapsed()) / 1e6;
        while (console_parts::roster(console).rowCount() < kStudents && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const double listedSeconds = double(clock.nsecsElapsed()) / 1e9;

        state.SetIterationTime(listedSeconds);
        state.counters["rows"] = console_parts::roster(console).rowCount();
        state.counters["connects_issued_ms"] = connectMs;
        state.counters["all_listed_s"] = listedSeconds;
        for (const int handle : students)
            ::close(handle);
        console.close();
    }
}
} // namespace

BENCHMARK(roomConnectingAtOnce)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
