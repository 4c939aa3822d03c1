#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "bench/BenchSettings.h"

class Tfrm_main;
namespace benchmark {
class State;
}

// The console under attack and what a teacher would feel of it: how late the window's 100 ms
// timer runs, whether any error box would open, the memory, and how long a student that comes
// meanwhile waits for its row (or its name).
class AttackWatch
{
public:
    AttackWatch();
    ~AttackWatch();

    Tfrm_main &console() { return *m_console; }
    quint16 commandPort() const;
    // Runs the window's event loop for this long.
    void run(int ms);
    // A student connects from address (kept until the watch ends); the time until its row is
    // listed, -1 past timeoutMs.
    double newcomerListedMs(quint32 address, int timeoutMs = 5000);
    // The time until the row from address shows name as its caption, -1 past timeoutMs.
    double captionMs(quint32 address, const QByteArray &name, int timeoutMs = 30000);
    // The attacker is gone (its connections closing at once): lets the console settle, then
    // takes the memory it came back to. The timer's lateness from here on is counted apart.
    void settleAfter(int ms);
    // Boxes, timer lateness and memory (before, peak, after) as the state's counters.
    void report(benchmark::State &state) const;

private:
    // True once done holds (looked at every few ms); false when ms ran out first.
    bool runUntil(int ms, const std::function<bool()> &done);
    int rowOf(quint32 address) const;

    BenchSettings m_settings;
    std::unique_ptr<Tfrm_main> m_console;
    QTimer m_tick;
    QElapsedTimer m_clock;
    qint64 m_lastTick = 0;
    qint64 m_worstLateMs = 0;
    qint64 m_worstLateAfterMs = 0;
    bool m_attackOver = false;
    int m_boxes = 0;
    double m_rssBefore = 0;
    double m_rssPeak = 0;
    double m_rssAfter = 0;
    std::vector<int> m_students;
};
