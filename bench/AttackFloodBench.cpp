// The attacks one host of the LAN can make on the console, each while a student comes: a storm
// of connect-and-reset, connections held from a few sources or from many, a crafted monitored
// frame, and a name server that never answers. What a teacher would feel is reported
// (AttackWatch): the newcomer's wait for its row, error boxes, the window's 100 ms timer, and
// the memory before, at the peak and after.
#include "bench/AttackWatch.h"
#include "bench/Attackers.h"
#include "bench/ConsoleParts.h"
#include "bench/Loopback.h"
#include "classroom/Monitoring.h"
#include "classroom/RosterModel.h"
#include "net/ReverseLookup.h"
#include "net/TUDPEndpoint.h"
#include "protocol/JpegEncoder.h"
#include "ui/Tfrm_main.h"

#include <QAction>
#include <QFile>
#include <QHostAddress>
#include <QItemSelectionModel>
#include <QProcess>
#include <QRandomGenerator>
#include <QTreeView>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr int kAttackMs = 10000;
constexpr int kSettleMs = 3000;
constexpr quint32 kNewcomer = 0x7F000046;
constexpr quint32 kLateComer = 0x7F000047;
constexpr quint32 kMonitored = 0x7F000050;

// Every name answered at once, but for the name server's own benchmark.
void prepare()
{
    reverse_lookup::install([](quint32) { return QByteArray("pc"); });
}

// 1,000 connect-and-reset a second for 10 s from ever new addresses; a student comes in the
// middle and another as soon as the storm ends.
void resetStorm(benchmark::State &state)
{
    prepare();
    for (auto _ : state) {
        AttackWatch watch;
        attackers::ResetStorm storm(watch.commandPort(), 1000, 1);
        watch.run(kAttackMs / 2);
        state.counters["newcomer_listed_ms"] = watch.newcomerListedMs(kNewcomer);
        watch.run(kAttackMs / 2);
        storm.stop();
        state.counters["resets_sent"] = double(storm.sent());
        state.counters["after_storm_listed_ms"] = watch.newcomerListedMs(kLateComer);
        watch.settleAfter(kSettleMs);
        watch.report(state);
        state.SetIterationTime(kAttackMs / 1000.0);
    }
    reverse_lookup::install({});
}

// Held connections: 125 sources x 16 (range 0), or 2,000 sources x 1, idle (1) or each
// sending a byte a second (2). The holders connect again whenever the console closes one.
void heldConnections(benchmark::State &state)
{
    prepare();
    const int kind = int(state.range(0));
    const int sources = kind == 0 ? 125 : 2000;
    const int perSource = kind == 0 ? 16 : 1;
    for (auto _ : state) {
        AttackWatch watch;
        attackers::Holders holders(watch.commandPort(), sources, perSource, 2, kind == 2);
        watch.run(kAttackMs / 2);
        state.counters["attacker_held"] = holders.held();
        state.counters["newcomer_listed_ms"] = watch.newcomerListedMs(kNewcomer);
        watch.run(kAttackMs / 2);
        holders.stop();
        watch.settleAfter(kSettleMs);
        watch.report(state);
        state.SetIterationTime(kAttackMs / 1000.0);
    }
    reverse_lookup::install({});
}

// A baseline file declaring 8000 x 8000 pixels of noise, cut at 15 MB.
QByteArray craftedFrame()
{
    constexpr int kSide = 8000;
    constexpr qsizetype kBytes = 15 * 1024 * 1024;
    std::vector<quint32> noise(std::size_t(kSide) * kSide);
    QRandomGenerator generator(17);
    generator.fillRange(noise.data(), noise.size());
    JpegEncoder encoder;
    const auto file = encoder.encode(reinterpret_cast<const std::uint8_t *>(noise.data()), kSide,
                                     kSide, kSide * 4, 75);
    return QByteArray(reinterpret_cast<const char *>(file.data()),
                      std::min<qsizetype>(kBytes, qsizetype(file.size())));
}

// The monitored student's address (which any host can forge) sends the crafted frame once a
// second, 20,000 datagrams a second.
void craftedMonitoredFrame(benchmark::State &state)
{
    prepare();
    const QByteArray frame = craftedFrame();
    for (auto _ : state) {
        AttackWatch watch;
        Tfrm_main &console = watch.console();
        watch.newcomerListedMs(kMonitored);
        auto *rows = console.findChild<QTreeView *>(QStringLiteral("ListView1"));
        rows->selectionModel()->select(console_parts::roster(console).index(0, 0),
                                       QItemSelectionModel::ClearAndSelect |
                                           QItemSelectionModel::Rows);
        console.findChild<QAction *>(QStringLiteral("N12"))->trigger();
        const quint16 mousePort = console_parts::mousePort(console);
        std::atomic<bool> stop{false};
        std::thread sender([&] {
            const int handle = ::socket(AF_INET, SOCK_DGRAM, 0);
            const sockaddr_in from = loopback::ipv4(kMonitored, 0);
            const sockaddr_in to = loopback::ipv4(0x7F000001, mousePort);
            ::bind(handle, reinterpret_cast<const sockaddr *>(&from), sizeof from);
            const auto start = std::chrono::steady_clock::now();
            qint64 n = 0;
            for (int second = 0; !stop; ++second) {
                while (!stop &&
                       std::chrono::steady_clock::now() < start + std::chrono::seconds(second))
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                for (qsizetype at = 0; at <= frame.size() && !stop; at += 2048, ++n) {
                    std::this_thread::sleep_until(start + std::chrono::microseconds(n * 50));
                    const qsizetype size = std::min<qsizetype>(2048, frame.size() - at);
                    ::sendto(handle, frame.constData() + at, size_t(size), 0,
                             reinterpret_cast<const sockaddr *>(&to), sizeof to);
                }
            }
            ::close(handle);
        });
        watch.run(kAttackMs / 2);
        state.counters["newcomer_listed_ms"] = watch.newcomerListedMs(kNewcomer);
        watch.run(kAttackMs / 2);
        stop = true;
        sender.join();
        watch.settleAfter(kSettleMs);
        watch.report(state);
        state.counters["frame_MiB"] = double(frame.size()) / (1 << 20);
        state.counters["picture_MiB"] =
            double(console_parts::session(console).monitoring().picture().rgb.size()) / (1 << 20);
        state.SetIterationTime(kAttackMs / 1000.0);
    }
    reverse_lookup::install({});
}

// The name servers of resolv.conf made local and silent: each gets an address on loopback
// (this namespace's own) and a socket that reads nothing. False outside a private namespace.
bool silenceNameServers(std::vector<int> &sockets)
{
    if (qgetenv("VELMORA_IN_NETNS") != "1")
        return false;
    QFile conf(QStringLiteral("/etc/resolv.conf"));
    QList<quint32> servers;
    if (conf.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : conf.readAll().split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            bool ok = false;
            const quint32 address =
                QHostAddress(QString::fromLatin1(words.value(1))).toIPv4Address(&ok);
            if (words.value(0) == "nameserver" && ok)
                servers.append(address);
        }
    }
    if (servers.isEmpty())
        servers.append(0x7F000001);
    for (const quint32 server : servers) {
        const QString dotted = QHostAddress(server).toString();
        if ((server >> 24) != 127)
            QProcess::execute(QStringLiteral("ip"), {"addr", "add", dotted + "/32", "dev", "lo"});
        const int handle = ::socket(AF_INET, SOCK_DGRAM, 0);
        const sockaddr_in local = loopback::ipv4(server, 53);
        if (::bind(handle, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0)
            return false;
        sockets.push_back(handle);
    }
    return true;
}

// 800 connections from addresses the silent name server is asked about; then a student whose
// name the hosts file holds (the loopback address's).
void silentNameServer(benchmark::State &state)
{
    reverse_lookup::install({});
    std::vector<int> silent;
    if (!silenceNameServers(silent)) {
        state.SkipWithError("needs a private network namespace (tests/isolate.sh)");
        return;
    }
    const QByteArray name = reverse_lookup::nameOf(0x7F000001);
    for (auto _ : state) {
        AttackWatch watch;
        attackers::Holders holders(watch.commandPort(), 800, 1, 3, false);
        watch.run(2000);
        state.counters["attacker_held"] = holders.held();
        state.counters["newcomer_listed_ms"] = watch.newcomerListedMs(0x7F000001);
        state.counters["newcomer_named_ms"] = watch.captionMs(0x7F000001, name);
        holders.stop();
        watch.settleAfter(kSettleMs);
        watch.report(state);
        state.SetIterationTime(kAttackMs / 1000.0);
    }
    reverse_lookup::waitForPending(60000);
    for (const int handle : silent)
        ::close(handle);
}
} // namespace

BENCHMARK(resetStorm)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(heldConnections)
    ->ArgName("sources125x16_2000x1_slow2000x1")
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK(craftedMonitoredFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(silentNameServer)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
