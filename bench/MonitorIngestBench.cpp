#include "bench/BenchApplication.h"
#include "bench/BenchSettings.h"
#include "bench/ConsoleParts.h"
#include "bench/CpuClock.h"
#include "classroom/Monitoring.h"
#include "classroom/RosterModel.h"
#include "net/TUDPEndpoint.h"
#include "ui/ConsoleOptions.h"
#include "ui/Tfrm_main.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QItemSelectionModel>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QUdpSocket>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <semaphore>
#include <thread>

namespace {
constexpr int kDatagrams = 100000;
// Datagrams sent but not yet handled: few enough for the console's default socket buffer
// (about 45 of these datagrams), so none is dropped and the figure is the console's pace, not
// the sender's sleep granularity or the machine's scheduling.
constexpr std::ptrdiff_t kInFlight = 32;
constexpr auto kStall = std::chrono::milliseconds(50);
constexpr int kLossCheckMs = 100;

// A student on another thread sending as fast as the console takes them.
void sendScreens(quint16 port, std::counting_semaphore<> &credits)
{
    QUdpSocket student;
    student.bind(QHostAddress(QStringLiteral("127.0.0.9")), 0);
    const QByteArray chunk(2048, '\x11');
    const QByteArray last(100, '\x22');
    for (qint64 sent = 0; sent < kDatagrams; ++sent) {
        // Lost all the same, a datagram would hold its credit for good: past a while, send on.
        credits.try_acquire_for(kStall);
        student.writeDatagram(sent % 16 == 15 ? last : chunk, QHostAddress::LocalHost, port);
    }
}

// Monitored-screen datagrams through the console's whole datagram path: the endpoint's read,
// the test of the monitored student's address, the own-address test (against the interface
// addresses, read again every few seconds), reassembly, and a decode attempt at every frame end
// (one short datagram in sixteen).
void monitorIngest(benchmark::State &state)
{
    benchApplication();
    const BenchSettings settings;
    Tfrm_main console(settings.options());
    console.show();
    const quint16 port = console_parts::mousePort(console);

    // The console takes only the monitored student's datagrams: the sender's address is a
    // student of the roster, and the teacher monitors it.
    QTcpSocket student;
    student.bind(QHostAddress(QStringLiteral("127.0.0.9")), 0);
    student.connectToHost(QHostAddress::LocalHost, console_parts::commandPort(console));
    QElapsedTimer joining;
    joining.start();
    while (console_parts::roster(console).rowCount() == 0 && joining.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    auto *rows = console.findChild<QTreeView *>(QStringLiteral("ListView1"));
    rows->selectionModel()->select(console_parts::roster(console).index(0, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    console.findChild<QAction *>(QStringLiteral("N12"))->trigger();

    // Counts what reaches the console's handler, not what was sent.
    std::atomic<qint64> handled = 0;
    qint64 target = 0;
    std::counting_semaphore<> *credits = nullptr;
    QEventLoop loop;
    // Connected after the console's own handler, so it runs once that one has returned.
    QObject::connect(&console_parts::endpoint(console, "MouseUDP"), &TUDPEndpoint::dataReceived,
                     [&] {
                         credits->release();
                         if (++handled == target)
                             loop.quit();
                     });
    double seconds = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        const qint64 start = handled.load();
        target = start + kDatagrams;
        std::atomic<bool> done = false;
        std::counting_semaphore<> iterationCredits(kInFlight);
        credits = &iterationCredits;
        QElapsedTimer clock;
        clock.start();
        std::thread sender([&] {
            sendScreens(port, iterationCredits);
            done = true;
        });
        // The console waits for its socket as it does when running; should a datagram have been
        // lost, the run ends once the sender is done and nothing more arrives.
        QTimer lossCheck;
        qint64 seen = -1;
        QObject::connect(&lossCheck, &QTimer::timeout, [&] {
            if (done && seen == handled.load())
                loop.quit();
            seen = handled.load();
        });
        lossCheck.start(kLossCheckMs);
        const double cpuBefore = cpu_clock::callingThreadSeconds();
        loop.exec();
        const double elapsed = double(clock.nsecsElapsed()) / 1e9;
        cpuSeconds += cpu_clock::callingThreadSeconds() - cpuBefore;
        sender.join();
        seconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    state.counters["handled"] = double(handled);
    state.counters["datagrams_per_s"] = double(handled) / seconds;
    // What the console's thread could take if it had a core to itself: the figure above also
    // counts the time other programs on a busy machine keep it waiting.
    state.counters["per_cpu_s"] = double(handled) / cpuSeconds;
}
} // namespace

BENCHMARK(monitorIngest)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
