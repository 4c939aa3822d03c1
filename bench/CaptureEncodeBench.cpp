#include "bench/DesktopPicture.h"
#include "bench/PairedTiming.h"
#include "bench/ReferenceJpeg.h"
#include "bench/ReferenceShmCapture.h"
#include "capture/ScreenCapture.h"
#include "protocol/JpegEncoder.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

constexpr int quality = 50;
constexpr int wantedWidth = 1920;
constexpr int wantedHeight = 1080;

// One demonstration frame: capture of the whole screen and its JPEG file, against shared-memory
// capture plus plain libjpeg-turbo written directly here.
void captureAndEncodeScreen(benchmark::State &state)
{
    ReferenceShmCapture referenceCapture;
    if (!referenceCapture.ready()) {
        state.SkipWithError("no X display with MIT-SHM: run under tests/isolate.sh --xvfb");
        return;
    }
    const int width = referenceCapture.width();
    const int height = referenceCapture.height();
    DesktopPicture(width, height).paintOnRootWindow();
    ScreenCapture capture;
    JpegEncoder encoder;
    ReferenceJpeg referenceJpeg;
    std::size_t ourBytes = 0;
    std::size_t referenceBytes = 0;
    const auto ours = [&] {
        const ScreenCapture::Frame &frame = capture.capture();
        ourBytes =
            encoder.encode(frame.pixels, frame.width, frame.height, frame.stride, quality).size();
    };
    const auto reference = [&] {
        referenceBytes = referenceJpeg.encode(referenceCapture.capture(), width, height, quality);
    };
    ours();
    reference();

    PairedTiming timing;
    for (auto _ : state)
        timing.run(state, ours, reference);
    timing.report(state);
    state.counters["jpeg_kB"] = static_cast<double>(ourBytes) / 1024;
    state.counters["ref_jpeg_kB"] = static_cast<double>(referenceBytes) / 1024;
    std::string label = std::to_string(width) + "x" + std::to_string(height);
    if (width != wantedWidth || height != wantedHeight)
        label +=
            " (figures are for 1920x1080: VELMORA_XVFB_SCREEN=1920x1080x24, as make bench sets)";
    state.SetLabel(label);
}

} // namespace

BENCHMARK(captureAndEncodeScreen)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);

namespace {

// The capture alone, to tell the two halves of a frame's cost apart.
void captureScreenOnly(benchmark::State &state)
{
    ReferenceShmCapture referenceCapture;
    if (!referenceCapture.ready()) {
        state.SkipWithError("no X display with MIT-SHM: run under tests/isolate.sh --xvfb");
        return;
    }
    DesktopPicture(referenceCapture.width(), referenceCapture.height()).paintOnRootWindow();
    ScreenCapture capture;
    PairedTiming timing;
    for (auto _ : state) {
        timing.run(
            state, [&] { benchmark::DoNotOptimize(capture.capture().pixels); },
            [&] { benchmark::DoNotOptimize(referenceCapture.capture()); });
    }
    timing.report(state);
}

} // namespace

BENCHMARK(captureScreenOnly)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
