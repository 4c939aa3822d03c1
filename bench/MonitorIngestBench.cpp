#include "bench/BenchApplication.h"
#include "classroom/Monitoring.h"
#include "net/TUDPEndpoint.h"
#include "ui/ConsoleOptions.h"
#include "ui/Tfrm_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <thread>

namespace {
constexpr int kDatagrams = 100000;
constexpr int kBurst = 48;

// A student on another thread sending as fast as it can, in small bursts so the console's
// socket buffer is not simply overrun.
void sendScreens(quint16 port)
{
    QUdpSocket student;
    student.bind(QHostAddress(QStringLiteral("127.0.0.9")), 0);
    const QByteArray chunk(2048, '\x11');
    const QByteArray last(100, '\x22');
    for (int sent = 0; sent < kDatagrams;) {
        for (int i = 0; i < kBurst; ++i, ++sent)
            student.writeDatagram(sent % 16 == 15 ? last : chunk, QHostAddress::LocalHost, port);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

// Monitored-screen datagrams through the console's whole datagram path: the endpoint's read,
// the own-address test (a fresh address lookup each time), reassembly, and a decode attempt at
// every frame end (one short datagram in sixteen).
void monitorIngest(benchmark::State &state)
{
    benchApplication();
    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("server.ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write("[SysInfo]\nSocket_Port=0\nUDP_Port1=0\nUDP_Port2=0\n");
    ini.close();
    Tfrm_main console(ConsoleOptions{ini.fileName(), QString(), dir.path(), nullptr});
    console.show();
    const quint16 port = quint16(console.MouseUDP()->BoundPort());

    // Counts what reaches the console's handler, not what was sent.
    qint64 handled = 0;
    TUDPEndpoint::ReceiveEvent handler = console.MouseUDP()->OnDataReceived;
    console.MouseUDP()->OnDataReceived = [&](TUDPEndpoint *sender, int n, const QString &from,
                                             int fromPort) {
        ++handled;
        handler(sender, n, from, fromPort);
    };
    double seconds = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        std::atomic<bool> done = false;
        std::thread sender([&] {
            sendScreens(port);
            done = true;
        });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // What is still queued in the socket is drained before the clock stops.
        qint64 last = -1;
        while (last != handled) {
            last = handled;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        sender.join();
        const double elapsed = double(clock.nsecsElapsed()) / 1e9;
        seconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    state.counters["handled"] = double(handled);
    state.counters["datagrams_per_s"] = double(handled) / seconds;
}
} // namespace

BENCHMARK(monitorIngest)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
