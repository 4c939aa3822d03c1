#include "bench/BenchApplication.h"
#include "bench/BenchSettings.h"
#include "bench/ConsoleParts.h"
#include "bench/Loopback.h"
#include "classroom/RosterModel.h"
#include "net/ReverseLookup.h"
#include "protocol/Commands.h"
#include "tools/student-sim/StudentAgent.h"
#include "ui/ConsoleOptions.h"
#include "ui/Tfrm_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <memory>
#include <vector>

namespace {
using loopback::residentMiB;
constexpr int kStudents = 250;
constexpr int kSendRounds = 21;

void spin(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A full classroom and then some: 250 students connect from their own addresses, every one must
// appear; then one command to all of them. The process's resident memory (console and the
// simulated students together, so an upper bound for the console) is reported last.
void classroomOf250(benchmark::State &state)
{
    benchApplication();
    // Names come from a table, as a classroom's hosts file would give them at once; a slow name
    // service would measure the network, not the console.
    reverse_lookup::install(
        [](quint32 address) { return "pc-" + QByteArray::number(address & 0xffff); });
    const BenchSettings settings;

    for (auto _ : state) {
        Tfrm_main console(settings.options());
        console.show();
        const quint16 port = console_parts::commandPort(console);
        std::vector<std::unique_ptr<StudentAgent>> students;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kStudents; ++i) {
            const QHostAddress source(
                QStringLiteral("127.0.%1.%2").arg(1 + i / 250).arg(2 + i % 250));
            students.push_back(
                std::make_unique<StudentAgent>(QStringLiteral("s%1").arg(i), source));
            students.back()->connectToConsole(QHostAddress::LocalHost, port);
            // Students arrive one after another, as computers in a room usually do; a room
            // connecting in one instant is roomConnectingAtOnce.
            QCoreApplication::processEvents();
        }
        spin([&] { return console_parts::roster(console).rowCount() == kStudents; }, 10000);
        const double connectSeconds = double(clock.nsecsElapsed()) / 1e9;
        const int rows = console_parts::roster(console).rowCount();

        // The median of several rounds, each delivered before the next.
        std::vector<double> sends;
        for (int round = 1; round <= kSendRounds; ++round) {
            clock.restart();
            console_parts::session(console).SendToAll(command::Restart);
            sends.push_back(double(clock.nsecsElapsed()) / 1e6);
            spin([&] { return students.back()->receivedBytes().size() == 2 * round; }, 5000);
        }
        std::sort(sends.begin(), sends.end());
        const double sendMs = sends[sends.size() / 2];

        state.SetIterationTime(connectSeconds);
        state.counters["rows"] = rows;
        state.counters["connect_all_s"] = connectSeconds;
        state.counters["send_to_all_ms"] = sendMs;
        state.counters["rss_MiB"] = residentMiB();
        students.clear();
        console.close();
    }
}
} // namespace

BENCHMARK(classroomOf250)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
