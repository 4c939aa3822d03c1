#include "bench/BenchApplication.h"
#include "bench/BenchSettings.h"
#include "bench/ConsoleParts.h"
#include "bench/CpuClock.h"
#include "bench/DesktopPicture.h"
#include "bench/DrainingSink.h"
#include "bench/MinimalSender.h"
#include "classroom/FrameSource.h"
#include "classroom/RosterModel.h"
#include "classroom/ScreenFrameSource.h"
#include "net/TUDPEndpoint.h"
#include "ui/ConsoleOptions.h"
#include "ui/Tfrm_main.h"

#include <QApplication>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace {
constexpr int kRounds = 9;
// The bench picture makes frames of about 100 chunks, one a second: a round spans two or three.
constexpr int kWarmUpMilliseconds = 500;
constexpr int kMeasuredMilliseconds = 3200;
constexpr int kMarginMilliseconds = 300;
constexpr int kQuality = 50;
// The minimal sender ticks half a tick after the console: a real console has no twin waking at
// its very moments to compete for the processors and the X server.
constexpr int kHalfTickMicroseconds = 5000;
constexpr std::size_t kMarksReserved = 1024;

using cpu_clock::Mark;

void runEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The real screen, marking the console's processor time as each capture begins.
class MarkingFrameSource : public FrameSource
{
public:
    MarkingFrameSource() { m_marks.reserve(kMarksReserved); }

    // consoleCpu tells the console's processor time so far; marks are kept only while it is set.
    void markWith(std::function<double()> consoleCpu)
    {
        m_consoleCpu = std::move(consoleCpu);
        m_marks.clear();
    }
    const std::vector<Mark> &marks() const { return m_marks; }

    void prepare() override { m_screen.prepare(); }
    std::span<const std::uint8_t> captureFrame(std::int32_t qualitySetting) override
    {
        if (m_consoleCpu && m_marks.size() < m_marks.capacity())
            m_marks.push_back({cpu_clock::wallSeconds(), m_consoleCpu()});
        return m_screen.captureFrame(qualitySetting);
    }
    std::optional<QPoint> pointerPosition() override { return m_screen.pointerPosition(); }

private:
    ScreenFrameSource m_screen;
    std::function<double()> m_consoleCpu;
    std::vector<Mark> m_marks;
};

// The processor time each side spent on the same whole frames: from its first capture after
// `from` to the capture as many frames later on both sides. Each span then holds the same
// captures, encodes, chunks and ticks, wherever the frames fell in the round.
struct SameFrames
{
    double console;
    double minimal;
    long frames;
};

// None when either side finished no frame after `from`.
std::optional<SameFrames> sameFramesCost(const std::vector<Mark> &console,
                                         const std::vector<Mark> &minimal, double from)
{
    const auto firstAfter = [from](const std::vector<Mark> &marks) {
        return std::find_if(marks.begin(), marks.end(),
                            [from](const Mark &m) { return m.wall >= from; });
    };
    const auto consoleStart = firstAfter(console);
    const auto minimalStart = firstAfter(minimal);
    const long frames = std::min(console.end() - consoleStart, minimal.end() - minimalStart) - 1;
    if (frames < 1)
        return std::nullopt;
    return SameFrames{consoleStart[frames].cpu - consoleStart->cpu,
                      minimalStart[frames].cpu - minimalStart->cpu, frames};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The real console demonstrating the (virtual) 1920x1080 screen while the minimal sender does the
// same work in a thread of its own, each to its own sink: the ratio of their processor times over
// the same whole frames is the console's overhead. The console is the whole process but the
// minimal sender's thread and the sinks', so Qt's helper threads count for it as they would when
// measured from outside. Both run at the same time, so both meet the same load on a shared
// machine, in rounds whose median is kept; each round first runs unmeasured, so one-time costs
// (first frame, fonts of the toolbar's new caption, lazy symbol binding) stay out.
void demonstrationCpu(benchmark::State &state)
{
    benchApplication();
    DesktopPicture picture(1920, 1080);
    if (!picture.paintOnRootWindow()) {
        state.SkipWithError("no X display: run under tests/isolate.sh --xvfb");
        return;
    }
    const BenchSettings settings("ImageSpeed=50\n");
    DrainingSink sink;
    DrainingSink minimalSink;
    const auto screen = std::make_shared<MarkingFrameSource>();

    for (auto _ : state) {
        Tfrm_main console(settings.options(screen));
        console.show();
        for (TUDPEndpoint *endpoint : {&console_parts::endpoint(console, "ComUdp"),
                                       &console_parts::endpoint(console, "MouseUDP")}) {
            endpoint->setRemoteHost(QStringLiteral("127.0.0.1"));
            endpoint->setRemotePort(sink.port());
        }
        QTcpSocket student;
        student.connectToHost(QHostAddress::LocalHost, console_parts::commandPort(console));
        while (console_parts::roster(console).rowCount() == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        MinimalSender sender(minimalSink.port(), kQuality);
        if (!sender.ready()) {
            state.SkipWithError("the minimal sender cannot capture");
            return;
        }
        QToolButton *demo = console.findChild<QToolButton *>(QStringLiteral("SpeedButton1"));
        std::vector<double> ratios;
        double consoleCpu = 0;
        double minimalCpu = 0;
        long measuredFrames = 0;
        for (int round = 0; round < kRounds; ++round) {
            demo->click();
            std::thread minimal([&] {
                std::this_thread::sleep_for(std::chrono::microseconds(kHalfTickMicroseconds));
                sender.run(kWarmUpMilliseconds + kMeasuredMilliseconds + kMarginMilliseconds);
            });
            screen->markWith([&] {
                return cpu_clock::processSeconds() -
                       cpu_clock::threadSeconds(minimal.native_handle()) - sink.cpuSeconds() -
                       minimalSink.cpuSeconds();
            });
            const double measuredFrom = cpu_clock::wallSeconds() + kWarmUpMilliseconds / 1000.0;
            runEventLoop(kWarmUpMilliseconds + kMeasuredMilliseconds);
            demo->click();
            minimal.join();
            const auto costs = sameFramesCost(screen->marks(), sender.captures(), measuredFrom);
            screen->markWith(nullptr);
            if (!costs)
                continue;
            ratios.push_back(costs->console / costs->minimal);
            consoleCpu += costs->console;
            minimalCpu += costs->minimal;
            measuredFrames += costs->frames;
        }
        if (ratios.empty()) {
            state.SkipWithError("no whole frame was sent in a round");
            return;
        }
        state.SetIterationTime(double(kRounds) * (kWarmUpMilliseconds + kMeasuredMilliseconds) /
                               1000);
        state.counters["ratio"] = median(ratios);
        state.counters["console_cpu_ms"] = consoleCpu * 1000;
        state.counters["minimal_cpu_ms"] = minimalCpu * 1000;
        state.counters["frames"] = double(measuredFrames);
        console.close();
    }
}
} // namespace

BENCHMARK(demonstrationCpu)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);
