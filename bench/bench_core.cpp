// Core hot paths: decoding and frame assembly of a live packet stream, and the display pass
// that turns a frame into coloured, filtered points.
#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

#include "data_packet.h"
#include "frame_rule.h"
#include "frame_display.h"

namespace {

using Packet = std::array<std::uint8_t, kv::datapkt::kPacketBytes>;

// A stream as the sensor sends it: full packets of points on lines 0-3 with a rising azimuth,
// one marker about every ten packets, now and then a void record.
std::vector<Packet> liveStream(bool dual, std::size_t packets) {
    namespace dp = kv::datapkt;
    std::mt19937 rng(7);
    const std::size_t records = dual ? dp::dual::kRecordCount : dp::single::kRecordCount;
    const std::size_t bytes = dual ? dp::dual::kRecordBytes : dp::single::kRecordBytes;
    const std::uint32_t turn = dual ? 360000u : 36000u;
    std::vector<Packet> out(packets);
    std::uint32_t az = 0;
    for (std::size_t p = 0; p < packets; ++p) {
        out[p].fill(0);
        for (std::size_t r = 0; r < records; ++r) {
            std::uint8_t* rec = out[p].data() + r * bytes;
            if (p % 10 == 3 && r == records / 2) { dp::writeMarker(rec); continue; }
            if (rng() % 50 == 0) { dp::writeVoid(rec); continue; }
            const std::uint32_t d = rng() % (dual ? 0x800000u : 0x400000u);
            if (dual) dp::writeDual(rec, int(r % 4), az, d, int(rng() % 256), d + 1000, int(rng() % 256));
            else dp::writeSingle(rec, int(r % 4), az, d, int(rng() % 256));
            if (r % 4 == 3) az = (az + (dual ? 200u : 20u)) % turn;
        }
        dp::setEchoFlag(out[p].data(), dual);
    }
    return out;
}

void BM_DecodeAndAssemble(benchmark::State& state) {
    const bool dual = state.range(0) != 0;
    const auto stream = liveStream(dual, 1000);
    kv::FrameRule assembler;
    std::vector<MuchLidarData> frames;
    std::size_t i = 0, points = 0;
    for (auto _ : state) {
        assembler.feed(stream[i].data(), kv::kDualEchoBoth, frames);
        if (++i == stream.size()) i = 0;
        for (const auto& f : frames) points += f.size();
        frames.clear();  // the receiver hands frames on by move
    }
    benchmark::DoNotOptimize(points);
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(dual ? "dual layout, packets" : "single layout, packets");
}
BENCHMARK(BM_DecodeAndAssemble)->Arg(0)->Arg(1);

// A 100k-point frame inside the default 0-180 degree range (so every point with a return is
// computed: a conservative figure), one in ten with no return, all lines shown, and a
// selection box over part of the front.
MuchLidarData bigFrame() {
    std::mt19937 rng(11);
    MuchLidarData f;
    const int n = 100000;
    f.reserve(n);
    for (int i = 0; i < n; ++i) {
        const float az = float(i) * 180.0f / float(n);
        const float d = rng() % 10 == 0 ? 0.0f : float(100 + rng() % 20000) * 0.5f;
        f.append(i % 4, az, d, int(rng() % 256));
    }
    return f;
}

void BM_FramePoints(benchmark::State& state) {
    const MuchLidarData frame = bigFrame();
    const kv::BeamGeometry g = kv::BeamGeometry::forLineType(2);
    kv::DisplayFilter filter;
    filter.lineShown = {{true, true, true, true}};
    filter.colourMode = int(state.range(0));
    filter.box = {0.0f, 20.0f, -5.0f, 5.0f, -1.0f, 1.0f};
    kv::FramePoints out;
    for (auto _ : state) {
        kv::computeFramePoints(frame, g, filter, out);
        benchmark::DoNotOptimize(out.displayed.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(frame.size()));
    static const char* kNames[] = {"Intensity", "Solid", "Elevation", "Azimuth", "LaserID"};
    state.SetLabel(kNames[state.range(0)]);
}
BENCHMARK(BM_FramePoints)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

// The same frame as merged from four sensors, without poses (0) and with each sensor posed (1):
// the pose's share of the point computation. Goal: at most 5 % more time per point.
void BM_FramePointsPosed(benchmark::State& state) {
    MuchLidarData frame = bigFrame();
    frame.sensor.resize(frame.size());
    for (std::size_t i = 0; i < frame.size(); ++i) frame.sensor[i] = std::uint8_t(i * 4 / frame.size());
    const kv::BeamGeometry g = kv::BeamGeometry::forLineType(2);
    kv::DisplayFilter filter;
    filter.lineShown = {{true, true, true, true}};
    filter.box = {0.0f, 20.0f, -5.0f, 5.0f, -1.0f, 1.0f};
    if (state.range(0) == 1)
        for (int k = 0; k < 4; ++k) filter.poses.emplace_back(kv::Pose{1.0 * k, -0.5, 1.6, 1.0, -10.0, 90.0 * k});
    kv::FramePoints out;
    for (auto _ : state) {
        kv::computeFramePoints(frame, g, filter, out);
        benchmark::DoNotOptimize(out.displayed.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(frame.size()));
    state.SetLabel(state.range(0) == 1 ? "four posed sensors" : "four sensors, no pose");
}
BENCHMARK(BM_FramePointsPosed)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
