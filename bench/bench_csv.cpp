// CSV export and the per-frame selection update: rows per second through the export's own
// file writer (a frame's rows go out at its end in writes that end at line ends), against
// printf into a buffered stream; the display pass of a 100,000-point frame with and without
// 10,000 points in the box.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "csv_export.h"
#include "frame_display.h"
#include "selection.h"

namespace {

// 100,000 points over 0-180 degrees; one in ten lies within 1.1 m (inside the box below),
// the rest 5 m and further.
MuchLidarData frame100k() {
    std::mt19937 rng(5);
    MuchLidarData f;
    const int n = 100000;
    f.reserve(n);
    for (int i = 0; i < n; ++i) {
        const float az = float(i) * 180.0f / float(n);
        const float d = i % 10 == 0 ? float(20 + rng() % 90) : float(500 + rng() % 20000);
        f.append(i % 4, az, d, int(rng() % 256));
    }
    return f;
}

std::string benchPath() { return "/tmp/kv_bench_csv_" + std::to_string(::getpid()) + ".csv"; }

void BM_CsvExportRows(benchmark::State& state) {
    const MuchLidarData frame = frame100k();
    const kv::BeamGeometry g = kv::BeamGeometry::forLineType(2);
    const std::array<int, 4> lines{{1, 1, 1, 1}};
    const auto filter = kv::csv::RowFilter::multiFrame(0.0f, 180.0f, lines, false, false, kv::SelectionBox());
    const std::string path = benchPath();
    kv::csv::CsvFile file;
    std::uint64_t rows = 0;
    int frameNumber = 0;
    for (auto _ : state) {
        if (frameNumber % 20 == 0 && !file.open(path, kv::csv::Layout::kMultiFrame)) {  // keep the file small
            state.SkipWithError(file.error().c_str());
            break;
        }
        const std::uint64_t before = file.rows();
        if (!file.writeFrame(frame, g, filter, ++frameNumber)) {
            state.SkipWithError(file.error().c_str());
            break;
        }
        rows += file.rows() - before;
    }
    file.close();
    std::remove(path.c_str());
    state.SetItemsProcessed(std::int64_t(rows));
    state.counters["rows/s"] = benchmark::Counter(double(rows), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CsvExportRows)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reference: printf("%g") into a buffered stream, no flush per line.
void BM_PrintfRowsNoFlush(benchmark::State& state) {
    const MuchLidarData frame = frame100k();
    const kv::BeamGeometry g = kv::BeamGeometry::forLineType(2);
    const std::string path = benchPath();
    std::FILE* out = std::fopen(path.c_str(), "w");
    std::uint64_t rows = 0;
    int frameNumber = 0;
    for (auto _ : state) {
        if (frameNumber % 20 == 0) out = std::freopen(path.c_str(), "w", out);
        ++frameNumber;
        for (std::size_t i = 0; i < frame.size(); ++i) {
            const kv::PointM p = kv::computePoint(g, frame.channel[i], frame.azimuth[i], frame.distance[i]);
            std::fprintf(out, "%d,%d,%g,%g,%g,%g,%g,%d,\n", frameNumber, frame.channel[i], p.xM, p.yM, p.zM,
                         double(frame.distance[i] / 100.0f), double(frame.azimuth[i]), frame.intensity[i]);
        }
        rows += frame.size();
    }
    std::fclose(out);
    std::remove(path.c_str());
    state.SetItemsProcessed(std::int64_t(rows));
    state.counters["rows/s"] = benchmark::Counter(double(rows), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PrintfRowsNoFlush)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arg 0: no selection (the box holds nothing); arg 1: a followed selection with 10,000 points
// in the box, their rows and the selected-row window.
void BM_DisplayPassSelection(benchmark::State& state) {
    const MuchLidarData frame = frame100k();
    const kv::BeamGeometry g = kv::BeamGeometry::forLineType(2);
    kv::DisplayFilter filter;
    filter.lineShown = {{true, true, true, true}};
    const bool selection = state.range(0) != 0;
    if (selection) {
        filter.box = {-1.2f, 1.2f, -0.1f, 1.2f, -1.0f, 1.0f};
        filter.selectionActive = true;
    }
    kv::FramePoints out;
    std::size_t written = 0;
    for (auto _ : state) {
        kv::computeFramePoints(frame, g, filter, out);
        if (selection)
            kv::forEachSelectedRow(out.selectedIndex.size(), 10000, 40, [&](int row, std::size_t k) {
                written += std::size_t(kv::selectedRow(out, frame, k).intensity + row);
            });
        benchmark::DoNotOptimize(out.displayed.data());
        benchmark::DoNotOptimize(written);
    }
    state.counters["in box"] = double(out.selected.size());
    state.SetItemsProcessed(state.iterations() * std::int64_t(frame.size()));
    state.SetLabel(selection ? "10,000 in the box" : "no selection");
}
BENCHMARK(BM_DisplayPassSelection)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
