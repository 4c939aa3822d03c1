#include "bench/CpuClock.h"
#include "protocol/JpegDecoder.h"
#include "protocol/JpegEncoder.h"

#include <QFile>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <ctime>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kMaxInput = 64 * 1024;
constexpr int kRepeats = 5;

Bytes hostileFile(const char *name)
{
    QFile file(QStringLiteral(VELMORA_HOSTILE_FRAMES "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    return {data.begin(), data.end()};
}

void declareSize(Bytes &file, int width, int height)
{
    for (std::size_t i = 2; i + 9 < file.size(); ++i) {
        if (file[i] == 0xff && (file[i + 1] == 0xc0 || file[i + 1] == 0xca)) {
            file[i + 5] = std::uint8_t(height >> 8);
            file[i + 6] = std::uint8_t(height);
            file[i + 7] = std::uint8_t(width >> 8);
            file[i + 8] = std::uint8_t(width);
            return;
        }
    }
}

// Pads a file to exactly `total` bytes with a comment segment, so its header looks honest.
void padTo(Bytes &file, std::size_t total)
{
    const std::size_t bytes = total - file.size() - 4;
    Bytes comment{0xff, 0xfe, std::uint8_t((bytes + 2) >> 8), std::uint8_t(bytes + 2)};
    comment.resize(bytes + 4, 'x');
    file.insert(file.begin() + 2, comment.begin(), comment.end());
}

Bytes firstScans(const Bytes &file, int scans)
{
    int seen = 0;
    for (std::size_t i = 2; i + 1 < file.size(); ++i) {
        if (file[i] == 0xff && file[i + 1] == 0xda && ++seen == scans + 1) {
            Bytes cut(file.begin(), file.begin() + std::ptrdiff_t(i));
            cut.insert(cut.end(), {0xff, 0xd9});
            return cut;
        }
    }
    return file;
}

// The measured attacks and the worst inputs of at most 64 KB that the header checks let through
// (the largest size 64 KB may declare, the most scans its size allows), each decoded a few
// times: the slowest median and the most memory the decoder keeps afterwards.
void decodeHostileFrames(benchmark::State &state)
{
    std::vector<std::pair<std::string, Bytes>> inputs;
    for (const char *name :
         {"arithmetic-progressive-8000x8000-48-scans.jpg",
          "arithmetic-progressive-8000x8000-480-scans.jpg", "baseline-8000x8000-1536-bytes.jpg"})
        inputs.emplace_back(name, hostileFile(name));
    // A missing file would leave nothing for the crafted inputs below to be made from.
    for (const auto &[name, bytes] : inputs) {
        if (bytes.empty()) {
            state.SkipWithError(("cannot read " VELMORA_HOSTILE_FRAMES "/" + name).c_str());
            return;
        }
    }
    Bytes scans = hostileFile("arithmetic-progressive-8000x8000-48-scans.jpg");
    declareSize(scans, 1400, 1400);
    padTo(scans, kMaxInput);
    inputs.emplace_back("48 scans at 1400x1400", scans);
    inputs.emplace_back("allowed scans at 1400x1400",
                        firstScans(scans, JpegDecoder::allowedScans(1400, 1400)));
    JpegEncoder encoder;
    const Bytes grey(64 * 64 * 4, 0x80);
    const auto small = encoder.encode(grey.data(), 64, 64, 64 * 4, 50);
    Bytes largest(small.begin(), small.end());
    declareSize(largest, 5792, 5792);
    padTo(largest, kMaxInput);
    inputs.emplace_back("baseline 5792x5792 in 64 KB", largest);

    double worstMs = 0;
    std::size_t worstHeld = 0;
    for (auto _ : state) {
        for (const auto &[name, file] : inputs) {
            if (file.empty() || file.size() > kMaxInput) {
                state.SkipWithError(("missing or too large: " + name).c_str());
                return;
            }
            std::vector<double> times;
            for (int i = 0; i < kRepeats; ++i) {
                JpegDecoder decoder;
                const double start = cpu_clock::callingThreadSeconds() * 1e3;
                benchmark::DoNotOptimize(decoder.decode(file.data(), file.size()));
                times.push_back(cpu_clock::callingThreadSeconds() * 1e3 - start);
                worstHeld = std::max(worstHeld, decoder.heldBytes());
            }
            std::sort(times.begin(), times.end());
            worstMs = std::max(worstMs, times[kRepeats / 2]);
            state.counters[name + "_ms"] = times[kRepeats / 2];
        }
    }
    state.counters["worst_ms"] = worstMs;
    state.counters["worst_held_MB"] = double(worstHeld) / (1024 * 1024);
}

} // namespace

BENCHMARK(decodeHostileFrames)->Unit(benchmark::kMillisecond)->Iterations(1);
