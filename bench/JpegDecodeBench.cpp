#include "bench/DesktopPicture.h"
#include "bench/PairedTiming.h"
#include "bench/ReferenceJpeg.h"
#include "protocol/JpegDecoder.h"
#include "protocol/JpegEncoder.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace {

constexpr int quality = 50;
constexpr int width = 1920;
constexpr int height = 1080;

// One monitored student frame of 1920x1080, against a plain libjpeg-turbo decode.
void decodeStudentFrame(benchmark::State &state)
{
    const DesktopPicture desktop(width, height);
    JpegEncoder encoder;
    const auto encoded = encoder.encode(desktop.pixels(), width, height, desktop.stride(), quality);
    const std::vector<std::uint8_t> file(encoded.begin(), encoded.end());
    JpegDecoder decoder;
    ReferenceJpeg referenceJpeg;
    const auto ours = [&] {
        if (!decoder.decode(file.data(), file.size()))
            state.SkipWithError("our decoder refused the frame");
    };
    const auto reference = [&] {
        benchmark::DoNotOptimize(referenceJpeg.decode(file.data(), file.size()));
    };
    ours();
    reference();

    PairedTiming timing;
    for (auto _ : state)
        timing.run(state, ours, reference);
    timing.report(state);
    state.counters["jpeg_kB"] = static_cast<double>(file.size()) / 1024;
}

} // namespace

BENCHMARK(decodeStudentFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);
