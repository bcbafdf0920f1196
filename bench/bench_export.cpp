// kv-export over a capture of about 1 GB from the simulated sensor: to CSV (rows per second and
// peak memory against the packet store) and to binary PCD files (frames and points per second).
// The program runs as a child process, as a user runs it; its own summary gives the rows, the
// packets and the time of each phase, and the kernel gives its peak resident memory and the
// processor time it used (rows_per_cpu_s: the rate on an otherwise idle machine, less I/O waits).
//
// The capture is written under /tmp when the benchmark starts and deleted, with everything the
// program wrote, when it ends; $KV_BENCH_EXPORT_CAPTURE names an existing capture to use instead
// (kept).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr double kPayloadBytes = 1206;

struct Child {
    bool ok = false;
    double maxRssMb = 0;
    double cpuSeconds = 0;  // user and system time of the child
    std::string err;
};

// Runs a program with standard output thrown away and standard error kept.
Child run(std::vector<std::string> args, const std::string& errPath) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t io;
    posix_spawn_file_actions_init(&io);
    posix_spawn_file_actions_addopen(&io, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&io, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    Child c;
    const bool spawned = posix_spawn(&pid, argv[0], &io, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&io);
    int status = 0;
    rusage use{};
    c.ok = spawned && ::wait4(pid, &status, 0, &use) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    c.maxRssMb = double(use.ru_maxrss) * 1024.0 / 1e6;
    c.cpuSeconds = double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
                   double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
    std::ifstream in(errPath);
    std::ostringstream s;
    s << in.rdbuf();
    c.err = s.str();
    return c;
}

// The scratch files of this run, removed when the program ends.
struct Scratch {
    std::string dir;
    std::string capture;
    bool ownCapture = false;
    Scratch() {
        dir = "/tmp/kv_bench_export_" + std::to_string(::getpid());
        fs::create_directories(dir);
        const char* given = std::getenv("KV_BENCH_EXPORT_CAPTURE");
        if (given != nullptr && given[0] != '\0') {
            capture = given;
            return;
        }
        capture = dir + "/capture_1g.pcap";
        ownCapture = true;
        std::fprintf(stderr, "writing %s with the simulated sensor...\n", capture.c_str());
        // 80,000 packets a simulated second for 10 seconds: 800,000 frames of 1248 bytes.
        if (!run({std::string(KV_BIN_DIR) + "/kv-sensor-sim", "--pcap", capture, "--pps", "80000", "--seconds", "10",
                  "--seed", "1"},
                 dir + "/sim.err")
                 .ok)
            capture.clear();
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

Scratch& scratch() {
    static Scratch s;
    return s;
}

// A number that follows `key` in the program's summary.
double after(const std::string& text, const std::string& key, bool before = false) {
    const std::size_t at = text.rfind(key);
    if (at == std::string::npos) return 0;
    if (!before) return std::strtod(text.c_str() + at + key.size(), nullptr);
    std::size_t start = at;
    while (start > 0 && (std::isdigit(static_cast<unsigned char>(text[start - 1])) != 0)) --start;
    return std::strtod(text.c_str() + start, nullptr);
}

void report(benchmark::State& state, const Child& c, double rows) {
    const double packets = after(c.err, " data packets in", true);
    const double readS = after(c.err, "data packets in ");
    const double exportS = after(c.err, "exported in ");
    const double storeMb = packets * kPayloadBytes / 1e6;
    state.counters["packets"] = packets;
    state.counters["read_s"] = readS;
    state.counters["export_s"] = exportS;
    state.counters["peak_MB"] = c.maxRssMb;
    state.counters["store_MB"] = storeMb;
    state.counters["peak_over_store_MB"] = c.maxRssMb - storeMb;
    state.counters["cpu_s"] = c.cpuSeconds;
    if (rows > 0) {
        state.counters["rows"] = rows;
        state.counters["rows_per_s"] = exportS > 0 ? rows / exportS : 0;
        state.counters["rows_per_s_with_read"] = readS + exportS > 0 ? rows / (readS + exportS) : 0;
        // On a machine shared with other work the wall clock undersells the program.
        state.counters["rows_per_cpu_s"] = c.cpuSeconds > 0 ? rows / c.cpuSeconds : 0;
    }
}

void BM_ExportCsv(benchmark::State& state) {
    Scratch& s = scratch();
    if (s.capture.empty()) {
        state.SkipWithError("no benchmark capture: kv-sensor-sim could not write it");
        return;
    }
    const std::string csv = s.dir + "/out.csv";
    for (auto _ : state) {
        const Child c = run({std::string(KV_BIN_DIR) + "/kv-export", "--csv", csv, s.capture}, s.dir + "/csv.err");
        state.PauseTiming();
        if (!c.ok) {
            state.SkipWithError(("kv-export failed: " + c.err).c_str());
            break;
        }
        report(state, c, after(c.err, " rows to", true));
        std::error_code ec;
        state.counters["csv_MB"] = double(fs::file_size(csv, ec)) / 1e6;
        fs::remove(csv, ec);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ExportCsv)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ExportBinaryPcd(benchmark::State& state) {
    Scratch& s = scratch();
    if (s.capture.empty()) {
        state.SkipWithError("no benchmark capture: kv-sensor-sim could not write it");
        return;
    }
    const std::string dir = s.dir + "/pcd";
    for (auto _ : state) {
        const Child c =
            run({std::string(KV_BIN_DIR) + "/kv-export", "--pcd", dir, "--binary", s.capture}, s.dir + "/pcd.err");
        state.PauseTiming();
        if (!c.ok) {
            state.SkipWithError(("kv-export failed: " + c.err).c_str());
            break;
        }
        report(state, c, 0);
        const double files = after(c.err, " binary PCD file", true);
        const double exportS = after(c.err, "exported in ");
        double bytes = 0;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec)) bytes += double(e.file_size(ec));
        state.counters["files"] = files;
        state.counters["files_per_s"] = exportS > 0 ? files / exportS : 0;
        state.counters["pcd_MB"] = bytes / 1e6;
        state.counters["pcd_MB_per_s"] = exportS > 0 ? bytes / 1e6 / exportS : 0;
        fs::remove_all(dir, ec);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ExportBinaryPcd)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
