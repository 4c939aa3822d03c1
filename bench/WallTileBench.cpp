#include "bench/DesktopPicture.h"
#include "protocol/ChannelMessage.h"
#include "protocol/WallTile.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

namespace {

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;
constexpr int kSeconds = 60;
// What a message costs on the wire beyond its bytes: a TLS 1.3 record's header, type and tag per
// 16 KiB, and Ethernet, IPv4 and TCP (with timestamps) headers per segment of 1,448 bytes.
constexpr qsizetype kTlsRecord = 16384;
constexpr qsizetype kTlsOverhead = 5 + 1 + 16;
constexpr qsizetype kSegment = 1448;
constexpr qsizetype kSegmentOverhead = 14 + 20 + 32;

qsizetype onTheWire(qsizetype message)
{
    const qsizetype tls = message + kTlsOverhead * ((message + kTlsRecord - 1) / kTlsRecord);
    return tls + kSegmentOverhead * ((tls + kSegment - 1) / kSegment);
}

// A minute of a channel student's wall, one look a second, at the largest tile an agent makes
// (fewer students, larger tiles, costlier pictures) and at a class of 40's tile on a 1920x1080
// wall. Changing: the desktop scrolls under the look, every pixel different each second; still:
// the same desktop all minute (its first picture not counted: it is the tile's first).
void wallTileBytes(benchmark::State &state)
{
    const bool changing = state.range(0) != 0;
    const QSize tile(int(state.range(1)), int(state.range(2)));
    const DesktopPicture desktop(kScreenWidth, kScreenHeight);
    const int stride = desktop.stride();
    std::vector<std::uint8_t> screen(desktop.pixels(),
                                     desktop.pixels() + std::size_t(stride) * kScreenHeight);
    qsizetype wire = 0;
    qsizetype tiles = 0;
    for (auto _ : state) {
        WallTile maker;
        maker.make({screen.data(), kScreenWidth, kScreenHeight, stride}, tile);
        wire = 0;
        tiles = 0;
        for (int second = 1; second <= kSeconds; ++second) {
            if (changing) {
                const std::size_t shift = std::size_t(second % 64 + 1) * 16 * std::size_t(stride);
                std::memcpy(screen.data(), desktop.pixels() + shift, screen.size() - shift);
                std::memcpy(screen.data() + screen.size() - shift, desktop.pixels(), shift);
            }
            ChannelMessage message;
            message.kind = ChannelMessage::Kind::Tile;
            message.jpeg = maker.make({screen.data(), kScreenWidth, kScreenHeight, stride}, tile);
            if (message.jpeg.isEmpty())
                continue;
            ++tiles;
            wire += onTheWire(message.encode().size());
        }
    }
    state.counters["wire_KiB_per_s"] = double(wire) / kSeconds / 1024.0;
    state.counters["tiles_per_s"] = double(tiles) / kSeconds;
    state.counters["target_KiB_per_s"] = changing ? 30.0 : 1.0;
}

} // namespace

BENCHMARK(wallTileBytes)
    ->ArgNames({"changing", "tile_w", "tile_h"})
    ->Args({1, WallTile::kMaxWidth, WallTile::kMaxHeight})
    ->Args({1, 264, 149})
    ->Args({0, WallTile::kMaxWidth, WallTile::kMaxHeight})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
