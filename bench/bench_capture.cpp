// Loading a capture into the packet store: a capture of about 1 GB written by the simulated
// sensor, read from the page cache. Reports the load's throughput over the file's bytes and its
// peak memory against the payloads it stores; when `capinfos` is installed, the same file read
// by it, for comparison.
//
// The file is $KV_BENCH_CAPTURE, or /tmp/kv_bench_capture_1g.pcap; it is written once (about
// 800,000 data packets) and reused while it exists.
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

extern char** environ;

namespace {

constexpr const char* kDefaultPath = "/tmp/kv_bench_capture_1g.pcap";

std::string capturePath() {
    const char* env = std::getenv("KV_BENCH_CAPTURE");
    return env != nullptr && env[0] != '\0' ? env : kDefaultPath;
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

// 80,000 packets a simulated second for 10 seconds: 800,000 frames of 1248 bytes, ~1.01 GB.
const std::string& benchCapture() {
    static const std::string path = [] {
        const std::string p = capturePath();
        if (fileBytes(p) == 0) {
            const std::string partial = p + ".partial";
            std::fprintf(stderr, "writing %s with the simulated sensor...\n", p.c_str());
            if (!run({std::string(KV_BIN_DIR) + "/kv-sensor-sim", "--pcap", partial, "--pps", "80000",
                      "--seconds", "10", "--seed", "1"}) ||
                std::rename(partial.c_str(), p.c_str()) != 0) {
                std::remove(partial.c_str());
                return std::string();
            }
        }
        return p;
    }();
    return path;
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

void loadBenchmark(benchmark::State& state) {
    const std::string& path = benchCapture();
    if (path.empty()) {
        state.SkipWithError("no benchmark capture: kv-sensor-sim could not write it");
        return;
    }
    const std::uint64_t bytes = fileBytes(path);
    double worstPeakRatio = 0, peakMb = 0, payloadMb = 0, packets = 0, markers = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const bool peakKnown = resetPeak();
        const std::uint64_t baseKb = statusKb("VmRSS");
        state.ResumeTiming();

        kv::capture::CaptureLoad load = kv::capture::loadCapture(path);

        state.PauseTiming();
        if (!load.opened || load.damaged) {
            state.SkipWithError((load.error + load.damage).c_str());
            break;
        }
        const std::uint64_t peakKb = statusKb("VmHWM");
        const double payload = double(load.store.payloads.size());
        if (peakKnown && peakKb > baseKb && payload > 0) {
            const double peak = double(peakKb - baseKb) * 1024.0;
            if (peak / payload > worstPeakRatio) worstPeakRatio = peak / payload, peakMb = peak / 1e6;
        }
        payloadMb = payload / 1e6;
        packets = load.store.packetCount;
        markers = load.store.markerTotal;
        benchmark::DoNotOptimize(load.store.payloads.data());
        { kv::capture::CaptureLoad freed = std::move(load); }  // freeing is not part of a load
        state.ResumeTiming();
    }
    state.SetBytesProcessed(std::int64_t(bytes) * state.iterations());
    state.counters["file_MB"] = double(bytes) / 1e6;
    state.counters["payload_MB"] = payloadMb;
    state.counters["peak_MB"] = peakMb;
    state.counters["peak_per_payload"] = worstPeakRatio;
    state.counters["packets"] = packets;
    state.counters["markers"] = markers;
}

// The first load of a process also pays for memory the system has not handed it before (on a
// virtual machine that can be most of the time); later loads reuse what the first one freed.
void BM_LoadCapture_FirstInProcess(benchmark::State& state) { loadBenchmark(state); }
BENCHMARK(BM_LoadCapture_FirstInProcess)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_LoadCapture(benchmark::State& state) { loadBenchmark(state); }
BENCHMARK(BM_LoadCapture)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

// The same file through capinfos (Wireshark's summary tool), when it is installed.
void BM_Capinfos(benchmark::State& state) {
    const std::string& path = benchCapture();
    if (path.empty() || !run({"sh", "-c", "command -v capinfos"})) {
        state.SkipWithError("capinfos is not installed (Debian: wireshark-common)");
        return;
    }
    for (auto _ : state)
        if (!run({"capinfos", path})) {
            state.SkipWithError("capinfos failed");
            break;
        }
    state.SetBytesProcessed(std::int64_t(fileBytes(path)) * state.iterations());
}
BENCHMARK(BM_Capinfos)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
