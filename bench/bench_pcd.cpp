// PCD files: the recording step against a bare ASCII write of the same cloud, and loading a
// directory of 200 files of 20,000 points on every core against a bare sequential reader loop
// over the same files, with the peak memory of a load against the clouds' own size.
#include <benchmark/benchmark.h>
#include <pcl/io/pcd_io.h>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "frame_display.h"
#include "pcd_io.h"

namespace fs = std::filesystem;

namespace {

std::vector<kv::ColouredPoint> points(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> c(-80.f, 80.f);
    std::uniform_int_distribution<int> b(0, 255);
    std::vector<kv::ColouredPoint> p(n);
    for (auto& q : p) q = {c(rng), c(rng), c(rng) / 20.f, {std::uint8_t(b(rng)), std::uint8_t(b(rng)), std::uint8_t(b(rng))}};
    return p;
}

const fs::path& scratch() {
    static const fs::path dir = [] {
        char tmpl[] = "/tmp/kv_bench_pcd_XXXXXX";
        return fs::path(mkdtemp(tmpl));
    }();
    return dir;
}

// One frame of the simulated sensor is about 7,000 points.
constexpr std::size_t kFramePoints = 7000;

void BM_RecordingStep(benchmark::State& state) {
    const std::vector<kv::ColouredPoint> frame = points(kFramePoints, 1);
    kv::pcd::Cloud buffer;
    const std::string path = (scratch() / "step.pcd").string();
    for (auto _ : state) {
        kv::fillCloud(frame, buffer);
        const kv::pcd::WriteResult r = kv::pcd::writeCloud(buffer, path, kv::pcd::Encoding::Ascii, 8);
        if (!r.ok) state.SkipWithError(r.error.c_str());
        buffer.clear();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kFramePoints));
}
BENCHMARK(BM_RecordingStep)->Unit(benchmark::kMillisecond);

void BM_BareWriteAscii(benchmark::State& state) {
    kv::pcd::Cloud cloud;
    kv::fillCloud(points(kFramePoints, 1), cloud);
    const std::string path = (scratch() / "bare.pcd").string();
    pcl::PCDWriter writer;
    for (auto _ : state) benchmark::DoNotOptimize(writer.writeASCII(path, cloud, 8));
    state.SetItemsProcessed(state.iterations() * std::int64_t(kFramePoints));
}
BENCHMARK(BM_BareWriteAscii)->Unit(benchmark::kMillisecond);

constexpr int kFiles = 200;
constexpr std::size_t kFilePoints = 20000;

// The same 200 clouds in each layout: 0 ASCII, 1 binary, 2 binary_compressed.
const std::vector<std::string>& directoryFiles(int layout = 0) {
    static std::vector<std::string> files[3];
    std::vector<std::string>& f = files[layout];
    if (!f.empty()) return f;
    static const char* const names[3] = {"ascii", "binary", "compressed"};
    const fs::path dir = scratch() / names[layout];
    fs::create_directories(dir);
    kv::pcd::Cloud c;
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%03d.pcd", i);
        f.push_back((dir / name).string());
        kv::fillCloud(points(kFilePoints, unsigned(i)), c);
        if (layout == 2) pcl::PCDWriter().writeBinaryCompressed(f.back(), c);
        else kv::pcd::writeCloud(c, f.back(), layout == 1 ? kv::pcd::Encoding::Binary : kv::pcd::Encoding::Ascii);
    }
    return f;
}

long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string k;
    long v = 0;
    while (in >> k) {
        if (k == key) {
            in >> v;
            return v;
        }
        in.ignore(1 << 12, '\n');
    }
    return 0;
}

void BM_LoadDirectoryParallel(benchmark::State& state) {
    const auto& files = directoryFiles(int(state.range(0)));
    double peakOverMb = 0;
    for (auto _ : state) {
        std::ofstream("/proc/self/clear_refs") << "5";  // restart the peak at the current size
        const long before = statusKb("VmRSS:");
        std::vector<kv::pcd::CloudPtr> clouds;
        kv::pcd::loadClouds(files, 0, [&](std::size_t, kv::pcd::LoadResult&& r) {
            if (r.ok) clouds.push_back(std::move(r.cloud));
        });
        if (clouds.size() != files.size()) state.SkipWithError("a file did not load");
        // The first load is the fair one: later ones reuse the pages the first freed.
        peakOverMb = std::max(peakOverMb, double(statusKb("VmHWM:") - before) / 1024.0);
        benchmark::DoNotOptimize(clouds.data());
    }
    state.counters["peak_MB"] = peakOverMb;
    state.counters["clouds_MB"] = double(kFiles) * kFilePoints * sizeof(pcl::PointXYZRGB) / (1024.0 * 1024.0);
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_LoadDirectoryParallel)->ArgName("layout")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The same guarded load on one thread: what the checks cost over the bare reader.
void BM_LoadDirectoryOneThread(benchmark::State& state) {
    const auto& files = directoryFiles(int(state.range(0)));
    for (auto _ : state) {
        std::vector<kv::pcd::CloudPtr> clouds;
        kv::pcd::loadClouds(files, 1, [&](std::size_t, kv::pcd::LoadResult&& r) { clouds.push_back(std::move(r.cloud)); });
        benchmark::DoNotOptimize(clouds.data());
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_LoadDirectoryOneThread)->ArgName("layout")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_BareSequentialReader(benchmark::State& state) {
    const auto& files = directoryFiles(int(state.range(0)));
    for (auto _ : state) {
        std::vector<pcl::PointCloud<pcl::PointXYZRGB>::Ptr> clouds;
        pcl::PCDReader reader;
        for (const std::string& f : files) {
            pcl::PointCloud<pcl::PointXYZRGB>::Ptr c(new pcl::PointCloud<pcl::PointXYZRGB>);
            reader.read(f, *c);
            clouds.push_back(c);
        }
        benchmark::DoNotOptimize(clouds.data());
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_BareSequentialReader)->ArgName("layout")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(scratch(), ec);
    return 0;
}
