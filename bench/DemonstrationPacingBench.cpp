#include "bench/BenchApplication.h"
#include "bench/BenchSettings.h"
#include "bench/ConsoleParts.h"
#include "bench/DesktopPicture.h"
#include "classroom/RosterModel.h"
#include "classroom/ScreenFrameSource.h"
#include "net/TUDPEndpoint.h"
#include "ui/ConsoleOptions.h"
#include "ui/Tfrm_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUdpSocket>
#include <benchmark/benchmark.h>

namespace {
constexpr int kSeconds = 10;
constexpr int kChunk = 2048;

// The real console demonstrating the real (virtual) screen for ten seconds, counted by a
// receiver on the image port: chunks per second, the largest chunk, and whether every frame
// arrived whole and in order (starting with SOI, ending with EOI).
void demonstrationPacing(benchmark::State &state)
{
    benchApplication();
    DesktopPicture picture(1920, 1080);
    if (!picture.paintOnRootWindow()) {
        state.SkipWithError("no X display: run under tests/isolate.sh --xvfb");
        return;
    }
    const BenchSettings settings;
    QUdpSocket receiver;
    receiver.bind(QHostAddress::LocalHost, 0);
    receiver.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 8 << 20);

    for (auto _ : state) {
        Tfrm_main console(settings.options(std::make_shared<ScreenFrameSource>()));
        console.show();
        console_parts::endpoint(console, "ComUdp").setRemoteHost(QStringLiteral("127.0.0.1"));
        console_parts::endpoint(console, "ComUdp").setRemotePort(receiver.localPort());
        QTcpSocket student;
        student.connectToHost(QHostAddress::LocalHost, console_parts::commandPort(console));
        while (console_parts::roster(console).rowCount() == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        console.findChild<QToolButton *>(QStringLiteral("SpeedButton1"))->click();

        qint64 chunks = 0;
        qint64 largest = 0;
        qint64 frames = 0;
        qint64 broken = 0;
        QByteArray frame;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kSeconds * 1000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            while (receiver.hasPendingDatagrams()) {
                const QByteArray d = receiver.receiveDatagram(kChunk + 1).data();
                ++chunks;
                largest = std::max<qint64>(largest, d.size());
                frame += d;
                if (d.size() < kChunk) {
                    ++frames;
                    if (!frame.startsWith("\xff\xd8") || !frame.endsWith("\xff\xd9"))
                        ++broken;
                    frame.clear();
                }
            }
        }
        state.SetIterationTime(double(clock.elapsed()) / 1000);
        state.counters["chunks_per_s"] = double(chunks) * 1000 / double(clock.elapsed());
        state.counters["largest_chunk"] = double(largest);
        state.counters["frames"] = double(frames);
        state.counters["broken_frames"] = double(broken);
        console.close();
    }
}
} // namespace

BENCHMARK(demonstrationPacing)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);
