#include "bench/BenchApplication.h"
#include "bench/BenchSettings.h"
#include "bench/ConsoleParts.h"
#include "bench/CpuClock.h"
#include "bench/Loopback.h"
#include "classroom/ClassroomSession.h"
#include "classroom/RosterModel.h"
#include "ui/Tfrm_main.h"

#include <QAction>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTimer>
#include <benchmark/benchmark.h>

namespace {
constexpr int kTickMs = 100;
constexpr int kJoinMs = 20000;
// The simulated students draw their few screens while they first send; then the wall runs as
// it would all lesson long.
constexpr int kWarmUpMs = 8000;
constexpr int kMeasureMs = 20000;
// A maximised console on a 1920x1080 desktop.
constexpr QSize kWindow(1920, 1040);

// The console's window as the teacher feels it: how late a 100 ms timer runs.
class Lateness
{
public:
    Lateness()
    {
        m_tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_tick, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            m_worstMs = std::max(m_worstMs, now - m_lastTick - kTickMs);
            m_lastTick = now;
        });
        m_clock.start();
        m_tick.start(kTickMs);
    }
    qint64 worstMs() const { return m_worstMs; }

private:
    QTimer m_tick;
    QElapsedTimer m_clock;
    qint64 m_lastTick = 0;
    qint64 m_worstMs = 0;
};

// Datagrams this network namespace dropped for want of room in a receiver's buffer.
double receiveBufferDrops()
{
    QFile snmp(QStringLiteral("/proc/net/snmp"));
    if (!snmp.open(QIODevice::ReadOnly))
        return -1;
    QList<QByteArray> names;
    for (const QByteArray &line : snmp.readAll().split('\n')) {
        if (!line.startsWith("Udp: "))
            continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (names.isEmpty()) {
            names = fields;
            continue;
        }
        const qsizetype at = names.indexOf("RcvbufErrors");
        return at > 0 && at < fields.size() ? fields[at].toDouble() : -1;
    }
    return -1;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The largest wait, over every tile, for its next picture within the window measured.
double slowestGap(const QHash<quint64, QList<double>> &arrivals, double from, double to)
{
    double slowest = 0;
    for (const QList<double> &times : arrivals) {
        double last = from;
        for (const double time : times) {
            slowest = std::max(slowest, time - last);
            last = time;
        }
        slowest = std::max(slowest, to - last);
    }
    return slowest;
}

// Students (another process, so that their work is not the console's) each send a changing
// 1920x1080 screen twice a second when asked, as the agent does by default; the wall is shown
// in a maximised window. Measured over 20 s once every tile has had its pictures: the console's
// processor time (all its threads: datagrams, reassembly, decoding, painting), the lateness
// of its event loop (from its start, the students' arrival included), and how long any tile
// waited for its next picture.
void screenWall(benchmark::State &state)
{
    benchApplication();
    const int students = int(state.range(0));
    const BenchSettings settings;
    for (auto _ : state) {
        Lateness lateness;
        Tfrm_main console(settings.options());
        console.resize(kWindow);
        console.show();
        ClassroomSession &session = console_parts::session(console);
        QProcess room;
        room.setProcessChannelMode(QProcess::ForwardedChannels);
        room.start(QStringLiteral(VELMORA_STUDENT_SIM),
                   {QStringLiteral("--console=127.0.0.1"),
                    QStringLiteral("--port=%1").arg(console_parts::commandPort(console)),
                    QStringLiteral("--mouse-port=%1").arg(console_parts::mousePort(console)),
                    QStringLiteral("--students=%1").arg(students),
                    QStringLiteral("--source-base=127.0.1.1"), QStringLiteral("--size=1920x1080"),
                    QStringLiteral("--fps=2"), QStringLiteral("--cycle=4"),
                    QStringLiteral("--quiet")});
        QElapsedTimer joining;
        joining.start();
        while (session.rosterModel().rowCount() < students && joining.elapsed() < kJoinMs)
            runFor(50);
        console.findChild<QAction *>(QStringLiteral("WallItem"))->trigger();

        QHash<quint64, QList<double>> arrivals;
        QObject::connect(&session, &ClassroomSession::tilePictureChanged, &console,
                         [&](quint64 key) { arrivals[key].append(cpu_clock::wallSeconds()); });
        runFor(kWarmUpMs);
        arrivals.clear();
        const double dropsBefore = receiveBufferDrops();
        const cpu_clock::Mark start{cpu_clock::wallSeconds(), cpu_clock::processSeconds()};
        runFor(kMeasureMs);
        const cpu_clock::Mark end{cpu_clock::wallSeconds(), cpu_clock::processSeconds()};
        state.SetIterationTime(end.wall - start.wall);

        int pictures = 0;
        for (const QList<double> &times : std::as_const(arrivals))
            pictures += int(times.size());
        state.counters["students"] = session.rosterModel().rowCount();
        state.counters["tiles_refreshed"] = double(arrivals.size());
        state.counters["pictures_per_tile_s"] =
            double(pictures) / std::max<qsizetype>(1, arrivals.size()) / (end.wall - start.wall);
        state.counters["slowest_tile_gap_s"] = slowestGap(arrivals, start.wall, end.wall);
        state.counters["console_cpu_percent"] =
            100 * (end.cpu - start.cpu) / (end.wall - start.wall);
        state.counters["loop_worst_late_ms"] = double(lateness.worstMs());
        state.counters["rss_MiB"] = loopback::residentMiB();
        state.counters["datagrams_dropped"] = receiveBufferDrops() - dropsBefore;
        room.kill();
        room.waitForFinished();
    }
}
} // namespace

BENCHMARK(screenWall)
    ->Arg(40)
    ->Arg(60)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);
