// Opening a capture: the one indexing pass over a capture of about 1 GB written by the
// simulated sensor, first with the page cache dropped (where this process may drop it) and
// then from the cache, each beside `capinfos -c` on the same file in the same run; and the
// peak memory of replaying a capture of about 4 GB, index included, against the process's
// baseline.
//
// The files are $KV_BENCH_CAPTURE (or /tmp/kv_bench_capture_1g.pcap) and
// $KV_BENCH_CAPTURE_4G (or /tmp/kv_bench_capture_4g.pcap); each is written once and reused while
// it exists. Delete them afterwards: together they take about 5 GB.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "capture_store.h"
#include "frame_rule.h"

extern char** environ;

namespace {

std::string envOr(const char* name, const char* fallback) {
    const char* env = std::getenv(name);
    return env != nullptr && env[0] != '\0' ? env : fallback;
}

std::uint64_t fileBytes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? std::uint64_t(st.st_size) : 0;
}

// Runs a program with its output thrown away; true when it exits with 0.
bool run(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const bool spawned = posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&quiet);
    int status = 0;
    return spawned && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// 80,000 packets a simulated second: 10 seconds make ~1.01 GB, 40 seconds ~4.04 GB.
std::string writeOnce(const std::string& p, int seconds) {
    if (fileBytes(p) == 0) {
        const std::string partial = p + ".partial";
        std::fprintf(stderr, "writing %s with the simulated sensor...\n", p.c_str());
        if (!run({std::string(KV_BIN_DIR) + "/kv-sensor-sim", "--pcap", partial, "--pps", "80000", "--seconds",
                  std::to_string(seconds), "--seed", "1"}) ||
            std::rename(partial.c_str(), p.c_str()) != 0) {
            std::remove(partial.c_str());
            return std::string();
        }
    }
    return p;
}

const std::string& benchCapture() {
    static const std::string path = writeOnce(envOr("KV_BENCH_CAPTURE", "/tmp/kv_bench_capture_1g.pcap"), 10);
    return path;
}

const std::string& bigCapture() {
    static const std::string path = writeOnce(envOr("KV_BENCH_CAPTURE_4G", "/tmp/kv_bench_capture_4g.pcap"), 40);
    return path;
}

// Drops the page cache (root, and a system that lets it); false where it cannot.
bool dropPageCache() {
    ::sync();
    return bool(std::ofstream("/proc/sys/vm/drop_caches") << "3");
}

// Peak resident memory since the last reset, and a reset of that peak (Linux 4.0 and later).
std::uint64_t statusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.compare(0, key.size(), key) == 0) return std::strtoull(line.c_str() + key.size(), nullptr, 10);
    return 0;
}
bool resetPeak() { return bool(std::ofstream("/proc/self/clear_refs") << "5"); }

// One open of the 1 GB capture per iteration, the page cache dropped before it when `cold`.
void openBenchmark(benchmark::State& state, bool cold) {
    const std::string& path = benchCapture();
    if (path.empty()) {
        state.SkipWithError("no benchmark capture: kv-sensor-sim could not write it");
        return;
    }
    bool dropped = cold;
    double packets = 0, indexMb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (cold) dropped = dropPageCache() && dropped;
        state.ResumeTiming();
        kv::capture::CaptureLoad load = kv::capture::loadCapture(path);
        state.PauseTiming();
        if (!load.opened || load.damaged) {
            state.SkipWithError((load.error + load.damage).c_str());
            break;
        }
        packets = load.store.packetCount;
        indexMb = double(load.store.indexBytes()) / 1e6;
        { kv::capture::CaptureLoad freed = std::move(load); }
        state.ResumeTiming();
    }
    state.SetBytesProcessed(std::int64_t(fileBytes(path)) * state.iterations());
    state.counters["file_MB"] = double(fileBytes(path)) / 1e6;
    state.counters["packets"] = packets;
    state.counters["index_MB"] = indexMb;
    // 1: every iteration began with the page cache dropped; 0: the cache could not be dropped
    // (not root, or a container), and the file came from the cache.
    if (cold) state.counters["cache_dropped"] = dropped ? 1 : 0;
}

// `capinfos -c` (Wireshark's summary tool, packet count only) on the same file.
void capinfosBenchmark(benchmark::State& state, bool cold) {
    const std::string& path = benchCapture();
    if (path.empty() || !run({"sh", "-c", "command -v capinfos"})) {
        state.SkipWithError("capinfos is not installed (Debian: wireshark-common)");
        return;
    }
    bool dropped = cold;
    for (auto _ : state) {
        state.PauseTiming();
        if (cold) dropped = dropPageCache() && dropped;
        state.ResumeTiming();
        if (!run({"capinfos", "-c", path})) {
            state.SkipWithError("capinfos failed");
            break;
        }
    }
    state.SetBytesProcessed(std::int64_t(fileBytes(path)) * state.iterations());
    if (cold) state.counters["cache_dropped"] = dropped ? 1 : 0;
}

void BM_OpenCold(benchmark::State& state) { openBenchmark(state, true); }
void BM_CapinfosCold(benchmark::State& state) { capinfosBenchmark(state, true); }
void BM_OpenWarm(benchmark::State& state) { openBenchmark(state, false); }
void BM_CapinfosWarm(benchmark::State& state) { capinfosBenchmark(state, false); }
BENCHMARK(BM_OpenCold)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CapinfosCold)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenWarm)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CapinfosWarm)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// Opens the 4 GB capture and replays every packet into frames as the replay thread does;
// reports the peak resident memory above the process's baseline (index included) and the
// index's own size. The payloads stay in the file: the peak is the index, a read block and
// one frame, not the file.
void BM_Replay4GPeakMemory(benchmark::State& state) {
    const std::string& path = bigCapture();
    if (path.empty()) {
        state.SkipWithError("no 4 GB capture: kv-sensor-sim could not write it");
        return;
    }
    double peakMb = 0, indexMb = 0, frames = 0;
    for (auto _ : state) {
        const bool peakKnown = resetPeak();
        const std::uint64_t baseKb = statusKb("VmRSS");
        kv::capture::CaptureLoad load = kv::capture::loadCapture(path);
        if (!load.opened || load.damaged) {
            state.SkipWithError((load.error + load.damage).c_str());
            break;
        }
        kv::FrameRule assembler(kv::FramePolicy::kReplay);
        kv::capture::PacketReader reader(load.store);
        std::uint64_t n = 0;
        for (std::size_t i = 0; i < load.store.packetCount; ++i) {
            const std::uint8_t* p = reader.packet(i);
            if (p == nullptr) break;
            assembler.feed(p, [] { return 0; }, [&](MuchLidarData&& f) {
                benchmark::DoNotOptimize(f.azimuth.data());
                ++n;
            });
        }
        frames = double(n);
        indexMb = double(load.store.indexBytes()) / 1e6;
        const std::uint64_t peakKb = statusKb("VmHWM");
        if (peakKnown && peakKb > baseKb) peakMb = double(peakKb - baseKb) / 1024.0;
    }
    state.SetBytesProcessed(std::int64_t(fileBytes(path)) * state.iterations());
    state.counters["file_MB"] = double(fileBytes(path)) / 1e6;
    state.counters["peak_above_baseline_MB"] = peakMb;
    state.counters["index_MB"] = indexMb;
    state.counters["frames"] = frames;
}
BENCHMARK(BM_Replay4GPeakMemory)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
