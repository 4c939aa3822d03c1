#include "bench/BenchApplication.h"
#include "bench/BenchSettings.h"
#include "bench/ConsoleParts.h"
#include "bench/CpuClock.h"
#include "bench/DesktopPicture.h"
#include "bench/ReferenceJpeg.h"
#include "bench/ReferenceShmCapture.h"
#include "bench/XProbe.h"
#include "classroom/ClassroomSession.h"
#include "classroom/RosterModel.h"
#include "classroom/ScreenFrameSource.h"
#include "classroom/ScreenPictureSource.h"
#include "classroom/StreamSender.h"
#include "net/TUDPEndpoint.h"
#include "protocol/StreamDatagram.h"
#include "system/HeapPolicy.h"
#include "ui/Tfrm_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QToolButton>
#include <QUdpSocket>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <set>
#include <thread>

namespace {
constexpr int kSeconds = 10;
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
// How far the moving picture slides each frame, and the room it slides in.
constexpr int kSlide = 7;
constexpr int kRoom = 700;
constexpr int kWireOverhead = 42;
// The changed area of the processor benchmark: a page scrolled in a window, ten times a second.
constexpr int kPageX = 400;
constexpr int kPageY = 300;
constexpr int kPageWidth = 640;
constexpr int kPageHeight = 400;
constexpr int kScroll = 16;
constexpr int kPageFps = 10;

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::size_t(share * double(values.size() - 1))];
}

// A picture that changes everywhere at every frame, as a film would: a desktop sliding by.
void slidePicture(std::atomic<bool> &stop, std::atomic<int> &painted)
{
    XProbe screen;
    const DesktopPicture picture(kWidth + kRoom, kHeight);
    for (int frame = 0; !stop; ++frame) {
        const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(33);
        const int offset = (frame * kSlide) % kRoom;
        screen.put(picture.pixels() + offset * 4, picture.stride(), 0, 0, kWidth, kHeight);
        ++painted;
        std::this_thread::sleep_until(due);
    }
}

// The real console demonstrating the real (virtual) screen while it changes everywhere, with
// students connected; receivers on ImagePort and StreamPort count what goes on the wire.
// Pictures a second are the distinct captures whose pieces arrived, second by second.
void streamBesideTheOlderStream(benchmark::State &state)
{
    benchApplication();
    if (!XProbe().connected()) {
        state.SkipWithError("no X display: run under tests/isolate.sh --xvfb");
        return;
    }
    QUdpSocket part;
    QUdpSocket stream;
    part.bind(QHostAddress::LocalHost, 0);
    stream.bind(QHostAddress::LocalHost, 0);
    for (QUdpSocket *socket : {&part, &stream})
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 16 << 20);
    const BenchSettings settings("[Agent]\nStreamPort=" + QByteArray::number(stream.localPort()) +
                                 "\n");
    const int students = int(state.range(0));

    for (auto _ : state) {
        Tfrm_main console(settings.options(std::make_shared<ScreenFrameSource>()));
        console.show();
        console_parts::endpoint(console, "ComUdp").setRemoteHost(QStringLiteral("127.0.0.1"));
        console_parts::endpoint(console, "ComUdp").setRemotePort(part.localPort());
        std::vector<std::unique_ptr<QTcpSocket>> crowd;
        for (int i = 0; i < students; ++i) {
            // One address each: the console takes only a few connections from one address.
            crowd.push_back(std::make_unique<QTcpSocket>());
            crowd.back()->bind(QHostAddress(quint32(0x7f00000a + i)));
            crowd.back()->connectToHost(QHostAddress::LocalHost,
                                        console_parts::commandPort(console));
        }
        while (console_parts::roster(console).rowCount() < students)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::atomic<bool> stop{false};
        std::atomic<int> painted{0};
        std::thread painter(slidePicture, std::ref(stop), std::ref(painted));
        console.findChild<QToolButton *>(QStringLiteral("SpeedButton1"))->click();

        qint64 chunks = 0;
        std::vector<double> fps;
        std::vector<double> megabytes;
        std::set<quint32> captures;
        qint64 wireBytes = 0;
        QElapsedTimer clock;
        clock.start();
        qint64 secondEnds = 1000;
        while (clock.elapsed() < kSeconds * 1000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            while (part.hasPendingDatagrams()) {
                part.receiveDatagram(4096);
                ++chunks;
            }
            while (stream.hasPendingDatagrams()) {
                const QByteArray bytes = stream.receiveDatagram(2048).data();
                wireBytes += bytes.size() + kWireOverhead;
                StreamDatagram d;
                if (StreamDatagram::parse(bytes, d) == StreamDatagram::Parse::Ok &&
                    d.kind == StreamDatagram::Kind::Piece && d.scale == 0)
                    captures.insert(d.captureMs);
            }
            if (clock.elapsed() >= secondEnds) {
                // The first second fills the screen once: the steady state comes after it.
                if (secondEnds > 1000) {
                    fps.push_back(double(captures.size()));
                    megabytes.push_back(double(wireBytes) / 1e6);
                }
                captures.clear();
                wireBytes = 0;
                secondEnds += 1000;
            }
        }
        const StreamSender::Counts counts = console_parts::session(console).streamSender().counts();
        stop = true;
        painter.join();
        state.SetIterationTime(double(clock.elapsed()) / 1000);
        state.counters["fps_median"] = percentile(fps, 0.5);
        state.counters["fps_p5"] = percentile(fps, 0.05);
        state.counters["wire_MBps_max"] = percentile(megabytes, 1);
        state.counters["wire_MBps_median"] = percentile(megabytes, 0.5);
        state.counters["part_chunks_per_s"] = double(chunks) * 1000 / double(clock.elapsed());
        state.counters["painted_fps"] = double(painted) * 1000 / double(clock.elapsed());
        state.counters["quality"] = counts.quality;
        console.close();
    }
}

// A page scrolled ten times a second in a window of the teacher's screen: the stream's thread
// processor time per frame, against capturing that window's rectangle alone and coding it as
// one JPEG (the least any sender of the changes must do), ten times a second as the stream
// does, and back to back.
void streamProcessorPerFrame(benchmark::State &state)
{
    // As the console starts: its heap keeps what it freed below a megabyte.
    heappolicy::giveBackLargeBlocks();
    XProbe screen;
    ReferenceShmCapture reference;
    if (!screen.connected() || !reference.ready()) {
        state.SkipWithError("no X display: run under tests/isolate.sh --xvfb");
        return;
    }
    const DesktopPicture desktop(kWidth, kHeight);
    screen.put(desktop.pixels(), desktop.stride(), 0, 0, kWidth, kHeight);
    const DesktopPicture page(kPageWidth, kPageHeight * 4);
    const auto scroll = [&](int frame) {
        const int top = (frame * kScroll) % (kPageHeight * 3);
        screen.put(page.pixels() + std::ptrdiff_t(top) * page.stride(), page.stride(), kPageX,
                   kPageY, kPageWidth, kPageHeight);
    };
    QUdpSocket sink;
    sink.bind(QHostAddress::LocalHost, 0);

    for (auto _ : state) {
        StreamSender sender;
        StreamSender::Start start;
        start.host = QStringLiteral("127.0.0.1");
        start.port = sink.localPort();
        start.pictures = std::make_unique<ScreenPictureSource>();
        sender.start(std::move(start));
        // The first second sends the whole screen once: the frames are counted after it.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const StreamSender::Counts before = sender.counts();
        const int frames = kSeconds * kPageFps;
        for (int frame = 0; frame < frames; ++frame) {
            const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
            scroll(frame);
            while (sink.hasPendingDatagrams())
                sink.receiveDatagram(2048);
            std::this_thread::sleep_until(due);
        }
        const StreamSender::Counts after = sender.counts();
        sender.stop();
        const double streamMs = double(after.cpuNs - before.cpuNs) / 1e6 / frames;

        ReferenceJpeg jpeg;
        // At the stream's pace, as a sender of the changes would run (its caches as cold as
        // the stream's), and back to back (everything warm: the least it could cost).
        double pacedSeconds = 0;
        double backToBackSeconds = 0;
        for (int frame = 0; frame < 2 * frames; ++frame) {
            const bool paced = frame < frames;
            const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
            scroll(frame);
            const double started = cpu_clock::callingThreadSeconds();
            const std::uint8_t *pixels = reference.capture(kPageX, kPageY, kPageWidth, kPageHeight);
            benchmark::DoNotOptimize(
                jpeg.encode(pixels, kPageWidth, kPageHeight, std::max(after.quality, 1)));
            (paced ? pacedSeconds : backToBackSeconds) +=
                cpu_clock::callingThreadSeconds() - started;
            if (paced)
                std::this_thread::sleep_until(due);
        }
        const double directMs = pacedSeconds * 1000 / frames;
        const double backToBackMs = backToBackSeconds * 1000 / frames;
        state.counters["direct_back_to_back_ms_per_frame"] = backToBackMs;
        state.counters["ratio_to_back_to_back"] = streamMs / backToBackMs;
        state.counters["stream_ms_per_frame"] = streamMs;
        state.counters["direct_ms_per_frame"] = directMs;
        state.counters["ratio"] = streamMs / directMs;
        state.counters["stream_kB_per_frame"] = double(after.bytes - before.bytes) / 1000 / frames;
    }
}
} // namespace

BENCHMARK(streamBesideTheOlderStream)
    ->Arg(1)
    ->Arg(40)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK(streamProcessorPerFrame)->Unit(benchmark::kSecond)->Iterations(1);
