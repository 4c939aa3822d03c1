#include "bench/AttackWatch.h"

#include "bench/BenchApplication.h"
#include "bench/ConsoleParts.h"
#include "bench/Loopback.h"
#include "classroom/RosterModel.h"
#include "system/DescriptorLimit.h"
#include "system/Guard.h"
#include "system/HeapPolicy.h"
#include "ui/Tfrm_main.h"

#include <QEventLoop>
#include <QHostAddress>
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int kTickMs = 100;
// How often a newcomer's row is looked for, and the memory read.
constexpr int kCheckMs = 2;
constexpr int kSampleMs = 25;
} // namespace

AttackWatch::AttackWatch()
{
    benchApplication();
    // As the console starts; the attackers share this process's descriptors.
    descriptorlimit::raiseToHard();
    heappolicy::giveBackLargeBlocks();
    guard::setReporter([this](const QString &) { ++m_boxes; });
    m_console = std::make_unique<Tfrm_main>(m_settings.options());
    m_console->show();
    m_clock.start();
    m_tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_tick, &QTimer::timeout, [this] {
        const qint64 now = m_clock.elapsed();
        qint64 &worst = m_attackOver ? m_worstLateAfterMs : m_worstLateMs;
        worst = std::max(worst, now - m_lastTick - kTickMs);
        m_lastTick = now;
    });
    run(300);
    m_rssBefore = m_rssPeak = loopback::residentMiB();
    m_lastTick = m_clock.elapsed();
    m_tick.start(kTickMs);
}

AttackWatch::~AttackWatch()
{
    m_tick.stop();
    for (const int handle : m_students)
        ::close(handle);
    m_console->close();
    m_console.reset();
    guard::setReporter({});
}

quint16 AttackWatch::commandPort() const
{
    return console_parts::commandPort(*m_console);
}

void AttackWatch::run(int ms)
{
    runUntil(ms, {});
}

// The window's own event loop, sleeping while nothing happens, as the console's does.
bool AttackWatch::runUntil(int ms, const std::function<bool()> &done)
{
    QEventLoop loop;
    bool met = false;
    QTimer check;
    QElapsedTimer sampled;
    sampled.start();
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (sampled.elapsed() >= kSampleMs) {
            m_rssPeak = std::max(m_rssPeak, loopback::residentMiB());
            sampled.restart();
        }
        if (done && done()) {
            met = true;
            loop.quit();
        }
    });
    check.start(kCheckMs);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return met;
}

int AttackWatch::rowOf(quint32 address) const
{
    const QByteArray dotted = QHostAddress(address).toString().toLatin1();
    const RosterModel &roster = console_parts::roster(*m_console);
    for (int row = 0; row < roster.rowCount(); ++row) {
        if (roster.subItem(row, RosterModel::AddressColumn - 1) == dotted)
            return row;
    }
    return -1;
}

double AttackWatch::newcomerListedMs(quint32 address, int timeoutMs)
{
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const sockaddr_in local = loopback::ipv4(address, 0);
    const sockaddr_in console = loopback::ipv4(0x7F000001, commandPort());
    ::bind(handle, reinterpret_cast<const sockaddr *>(&local), sizeof local);
    ::connect(handle, reinterpret_cast<const sockaddr *>(&console), sizeof console);
    m_students.push_back(handle);
    QElapsedTimer waited;
    waited.start();
    if (!runUntil(timeoutMs, [&] { return rowOf(address) >= 0; }))
        return -1;
    return double(waited.nsecsElapsed()) / 1e6;
}

double AttackWatch::captionMs(quint32 address, const QByteArray &name, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    const auto named = [&] {
        const int row = rowOf(address);
        return row >= 0 && console_parts::roster(*m_console).caption(row) == name;
    };
    if (!runUntil(timeoutMs, named))
        return -1;
    return double(waited.nsecsElapsed()) / 1e6;
}

void AttackWatch::settleAfter(int ms)
{
    m_attackOver = true;
    run(ms);
    m_rssAfter = loopback::residentMiB();
}

void AttackWatch::report(benchmark::State &state) const
{
    state.counters["boxes"] = m_boxes;
    state.counters["tick_worst_late_ms"] = double(m_worstLateMs);
    state.counters["tick_worst_late_after_ms"] = double(m_worstLateAfterMs);
    state.counters["rss_before_MiB"] = m_rssBefore;
    state.counters["rss_peak_MiB"] = m_rssPeak;
    state.counters["rss_after_MiB"] = m_rssAfter;
    state.counters["rss_after_vs_before"] = m_rssAfter / m_rssBefore;
}
