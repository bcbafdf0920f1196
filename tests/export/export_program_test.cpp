// The kv-export program run as a process: its PCD and PLY files read back equal the replayed
// frames' clouds (ASCII and binary, the options that shape a cloud), named so that the PCD
// replay lists them in frame order; config.ini beside the program; what it says on standard
// error.
#include <gtest/gtest.h>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <pcl/io/ply_io.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "capture_store.h"
#include "export_fixtures.h"
#include "export_job.h"
#include "frame_display.h"
#include "pcd_io.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

using kvtest::TempDir;

struct ProgramRun {
    int status = -1;
    std::string out, err;
};

ProgramRun runProgram(const std::string& program, const std::string& args, const TempDir& dir) {
    const std::string out = dir / "stdout.txt", err = dir / "stderr.txt";
    const int rc = std::system((program + " " + args + " >" + out + " 2>" + err + " </dev/null").c_str());
    ProgramRun r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = kvtest::readFile(out);
    r.err = kvtest::readFile(err);
    return r;
}

std::string exportProgram() { return std::string(KV_BIN_DIR) + "/kv-export"; }

// The PCD files of `dir` in the order the PCD replay lists them (by name, code points).
// The frames a replay of `capture` shows from frame `first` to `last`, as the window computes
// them; frames with no displayed point are left out (they write no file).
std::vector<kv::FramePoints> replayedFrames(const std::string& capture, int echo, std::uint32_t first,
                                            std::uint32_t last, int lineType, const kv::DisplayFilter& filter) {
    const auto load = kv::capture::loadCapture(capture);
    std::vector<kv::FramePoints> want;
    kv::exporter::walkFrames(load.store, echo, last, [&](std::uint32_t k, MuchLidarData&& f, const std::uint8_t*) {
        if (k < first) return true;
        kv::FramePoints p;
        kv::computeFramePoints(f, kv::BeamGeometry::forLineType(lineType), filter, p);
        if (!p.displayed.empty()) want.push_back(std::move(p));
        return true;
    });
    return want;
}

// "<capture>_<number, 6 digits><ext>".
std::string numbered(const std::string& capture, std::uint32_t number, const char* ext) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "_%06u", number);
    return capture + digits + ext;
}

std::vector<std::string> pcdFiles(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".pcd") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool near(float want, float got, bool exact) {
    if (want == got) return true;
    return !exact && std::fabs(double(want) - double(got)) <= std::max(1e-6, std::fabs(double(want)) * 1e-7);
}

TEST(ExportPcd, FilesReadBackEqualTheReplayedFramesClouds) {
    TempDir dir;
    struct Case {
        const char* simArgs;
        std::string options;
        int echo;
        std::uint32_t first, last;
        kv::DisplayFilter filter;
        int lineType;
    };
    auto filter = [](std::array<bool, 4> lines, double minDeg, double maxDeg, int colour) {
        kv::DisplayFilter f;
        f.lineShown = lines;
        f.minAngleDeg = minDeg;
        f.maxAngleDeg = maxDeg;
        f.colourMode = colour;
        return f;
    };
    const std::vector<Case> cases = {
        {"--seconds 1 --seed 4", "", 0, 1, 1000, filter({{true, true, true, true}}, 0, 180, kv::kColourIntensity), 1},
        {"--seconds 1 --seed 4", "--binary --frames 2-5 --colour elevation --line-type 2", 0, 2, 5,
         filter({{true, true, true, true}}, 0, 180, kv::kColourElevation), 2},
        {"--seconds 1 --seed 6 --dual", "--binary --echo second --lines 0,3 --min-angle 20 --max-angle 100 --colour laserid",
         kv::kSecondEcho, 1, 1000, filter({{true, false, false, true}}, 20, 100, kv::kColourLaserId), 1},
        {"--seconds 1 --seed 6 --dual", "--frames 3 --echo first --colour azimuth --line-type 4", kv::kFirstEcho, 3, 3,
         filter({{true, true, true, true}}, 0, 180, kv::kColourAzimuth), 4},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.simArgs) + " " + c.options);
        const std::string capture = kvtest::simCapture(dir, "c" + std::to_string(n) + ".pcap", c.simArgs);
        const std::string out = dir / ("pcd" + std::to_string(n++));
        const ProgramRun r = runProgram(exportProgram(), c.options + " --pcd " + out + " " + capture, dir);
        ASSERT_EQ(r.status, 0) << r.err;

        const std::vector<kv::FramePoints> want = replayedFrames(capture, c.echo, c.first, c.last, c.lineType, c.filter);
        const std::vector<std::string> files = pcdFiles(out);
        ASSERT_EQ(files.size(), want.size());
        ASSERT_FALSE(files.empty());
        for (std::size_t i = 0; i < files.size(); ++i) {
            // Named by the capture and the frame number, a single frame too.
            EXPECT_EQ(files[i], numbered("c" + std::to_string(n - 1), c.first + std::uint32_t(i), ".pcd"));
            const kv::pcd::LoadResult got = kv::pcd::loadCloud(out + "/" + files[i]);
            ASSERT_TRUE(got.ok) << got.error;
            ASSERT_EQ(got.cloud->size(), want[i].displayed.size()) << files[i];
            const bool exact = c.options.find("--binary") != std::string::npos;
            std::size_t bad = 0;
            for (std::size_t j = 0; j < want[i].displayed.size(); ++j) {
                const kv::ColouredPoint& w = want[i].displayed[j];
                const pcl::PointXYZRGB& g = (*got.cloud)[j];
                if (!near(w.xM, g.x, exact) || !near(w.yM, g.y, exact) || !near(w.zM, g.z, exact) || w.rgb.r != g.r ||
                    w.rgb.g != g.g || w.rgb.b != g.b)
                    ++bad;
            }
            EXPECT_EQ(bad, 0u) << files[i];
        }
    }
}

// PLY files: one per frame, named as the PCD files are (ending in .ply), holding x y z and red
// green blue per vertex, read back by the point library's PLY reader equal to the replayed
// frames' clouds: binary files to the last bit, ASCII ones to the six significant digits the
// point library's PLY writer prints.
// Equal, or for ASCII equal to six significant digits (half a unit of the sixth digit, and the
// float the reader makes of it).
bool sixDigits(float want, float got, bool exact) {
    if (want == got) return true;
    return !exact && std::fabs(double(want) - double(got)) <= std::fabs(double(want)) * 6e-6;
}

TEST(ExportPly, FilesReadBackEqualTheReplayedFrames) {
    TempDir dir;
    struct Case {
        const char* simArgs;
        std::string options;
        int echo;
        std::uint32_t first, last;
        int colour;
        std::string format;  // of the header
    };
    const std::vector<Case> cases = {
        {"--seconds 1 --seed 4", "", 0, 1, 1000, kv::kColourIntensity, "ascii"},
        {"--seconds 1 --seed 4", "--binary --frames 2-5 --colour elevation", 0, 2, 5, kv::kColourElevation,
         "binary_little_endian"},
        {"--seconds 1 --seed 6 --dual", "--binary --frames 3 --echo second --colour laserid", kv::kSecondEcho, 3, 3,
         kv::kColourLaserId, "binary_little_endian"},
        {"--seconds 1 --seed 6 --dual", "--frames 4 --colour azimuth", kv::kDualEchoBoth, 4, 4, kv::kColourAzimuth, "ascii"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.simArgs) + " " + c.options);
        const std::string capture = kvtest::simCapture(dir, "c" + std::to_string(n) + ".pcap", c.simArgs);
        const std::string out = dir / ("ply" + std::to_string(n++));
        const ProgramRun r = runProgram(exportProgram(), c.options + " --line-type 1 --ply " + out + " " + capture, dir);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find(c.format == "ascii" ? " ASCII PLY file" : " binary PLY file"), std::string::npos) << r.err;

        kv::DisplayFilter filter;
        filter.lineShown = {{true, true, true, true}};
        filter.colourMode = c.colour;
        const std::vector<kv::FramePoints> want = replayedFrames(capture, c.echo, c.first, c.last, 1, filter);
        std::vector<std::string> files;
        for (const auto& e : fs::directory_iterator(out)) files.push_back(e.path().filename().string());
        std::sort(files.begin(), files.end());
        ASSERT_EQ(files.size(), want.size());
        ASSERT_FALSE(files.empty());
        for (std::size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(files[i], numbered("c" + std::to_string(n - 1), c.first + std::uint32_t(i), ".ply"));
            const std::string path = out + "/" + files[i];
            const std::string bytes = kvtest::readFile(path);
            EXPECT_EQ(bytes.rfind("ply\nformat " + c.format + " 1.0\n", 0), 0u) << path;
            const std::size_t vertex = bytes.find("\nelement vertex ");
            ASSERT_NE(vertex, std::string::npos) << path;
            EXPECT_EQ(bytes.substr(vertex + 1, bytes.find("\nelement ", vertex + 1) - vertex),
                      "element vertex " + std::to_string(want[i].displayed.size()) +
                          "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\n"
                          "property uchar green\nproperty uchar blue\n");
            const bool exact = c.format != "ascii";
            pcl::PointCloud<pcl::PointXYZRGB> got;
            pcl::PLYReader reader;
            ASSERT_EQ(reader.read(path, got), 0) << path;
            ASSERT_EQ(got.size(), want[i].displayed.size()) << files[i];
            std::size_t bad = 0;
            for (std::size_t j = 0; j < got.size(); ++j) {
                const kv::ColouredPoint& w = want[i].displayed[j];
                const pcl::PointXYZRGB& g = got[j];
                if (!sixDigits(w.xM, g.x, exact) || !sixDigits(w.yM, g.y, exact) || !sixDigits(w.zM, g.z, exact) ||
                    w.rgb.r != g.r || w.rgb.g != g.g || w.rgb.b != g.b)
                    ++bad;
            }
            EXPECT_EQ(bad, 0u) << files[i];
        }
    }
}

// config.ini beside the program gives the line type: the tilted geometry of line type 4 (points
// off the plane z = 0).
TEST(ExportPcd, ConfigBesideTheProgramSetsTheLineType) {
    TempDir dir;
    const std::string capture = kvtest::simCapture(dir, "c.pcap", "--seconds 1 --seed 5");
    fs::create_directory(dir.path / "bin");
    fs::copy_file(exportProgram(), dir / "bin/kv-export");
    kvtest::writeFile(dir / "bin/config.ini", "[Config]\nLidarLineType=4\n");
    const ProgramRun r = runProgram(dir / "bin/kv-export", "--frames 2 --pcd " + dir / "out " + capture, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(pcdFiles(dir / "out"), std::vector<std::string>{"c_000002.pcd"});
    const auto got = kv::pcd::loadCloud(dir / "out/c_000002.pcd");
    ASSERT_TRUE(got.ok) << got.error;
    EXPECT_TRUE(std::any_of(got.cloud->begin(), got.cloud->end(), [](const pcl::PointXYZRGB& p) { return p.z != 0; }));
}

TEST(ExportPcd, WhatTheProgramSays) {
    TempDir dir;
    const std::string capture = kvtest::simCapture(dir, "c.pcap", "--seconds 1 --seed 5");
    struct Case {
        std::string args;
        int status;
        std::vector<std::string> said;
        std::string out;        // standard output, all of it
        std::string kept;       // a file there before, which must be there after as it was
        std::string notMade;    // a file that must not be there after
    };
    fs::create_directories(dir.path / "blocked/c_000001.pcd");  // directories where the first files go
    fs::create_directories(dir.path / "blocked/c_000001.ply");
    const std::string earlier = dir / "earlier.csv", missing = dir / "missing.pcap";
    const std::vector<Case> cases = {
        {"--csv " + dir / "a.csv" + " --pcd " + dir / "p --frames 1-3 " + capture, 0,
         {"kv-export: reading 100%\n", "kv-export: exporting 100%\n", "kv-export: frames 1-3 (3 frames); ",
          " rows to " + dir / "a.csv" + "; 3 ASCII PCD files in " + dir / "p", " rows/s)\n"}, "", "", ""},
        {"--frames 1 --pcd " + dir / "blocked " + capture, 1, {"stopped before the first frame was written"}, "", "", ""},
        {"--frames 1 --ply " + dir / "blocked " + capture, 1,
         {"kv-export: Couldn't write " + dir / "blocked/c_000001.ply: Is a directory\n",
          "stopped before the first frame was written"},
         "", "", ""},
        {"--lines 9 --csv x " + capture, 2, {"kv-export: bad value '9' for --lines"}, "", "", ""},
        {"--help", 0, {}, "", "", ""},
        {"--version", 0, {}, "kv-export " KV_VERSION "\n", "", ""},
        // No frame in the range: an earlier export stays, a new name is not left behind empty.
        {"--csv " + earlier + " --frames 60-70 " + capture, 1,
         {"no frame in the range: " + capture + " holds 10 frames; nothing written to " + earlier +
          ", which is left as it was\n"},
         "", earlier, ""},
        {"--csv " + dir / "new.csv" + " --frames 60-70 " + capture, 1,
         {"; nothing written to " + dir / "new.csv" + ", which was not created\n"}, "", "", dir / "new.csv"},
        // The output's folder is checked before the capture is read.
        {"--csv " + dir / "no_dir/x.csv " + missing, 1, {"kv-export: Cannot create " + dir / "no_dir/x.csv"}, "", "",
         ""},
        {"--csv " + dir / "m.csv " + missing, 1, {missing}, "", "", dir / "m.csv"},
        {"--csv " + dir / "e.csv '' " + capture, 2, {"an empty argument"}, "", "", dir / "e.csv"},
        {"--csv " + dir / "e.csv -- '' ", 2, {"an empty argument"}, "", "", dir / "e.csv"},
    };
    std::string earlierBytes = "FrameNumbers,Laser_id,Points_X,Points_Y,Points_Z,Distance,Azimuth,Intensity,\n";
    for (int i = 0; i < 20000; ++i) earlierBytes += "1,2,1.41421,1.41421,0,2,45,9,\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        if (!c.kept.empty()) kvtest::writeFile(c.kept, earlierBytes);
        const ProgramRun r = runProgram(exportProgram(), c.args, dir);
        EXPECT_EQ(r.status, c.status) << r.err;
        for (const std::string& s : c.said) EXPECT_NE(r.err.find(s), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no bar when standard error is a file";
        if (c.args == "--help") {
            EXPECT_NE(r.out.find("--line-type N"), std::string::npos);
        } else {
            EXPECT_EQ(r.out, c.out);
        }
        if (!c.kept.empty()) {
            EXPECT_TRUE(kvtest::readFile(c.kept) == earlierBytes) << "the earlier file was replaced";
        }
        if (!c.notMade.empty()) {
            EXPECT_FALSE(fs::exists(c.notMade));
        }
    }
}

// kv-export killed with SIGKILL part way through a long export, at several points: the file
// holds whole lines only, never a zero byte, and they are the first lines of the finished
// export. The one cut the kernel can make: it notices a kill between the two pages of the
// write of a line that crosses a page end, and then leaves the head of that line, up to the
// page end.
TEST(ExportCsv, AKillPartWayLeavesTheFirstWholeLinesOfTheExport) {
    TempDir dir;
    const std::string capture = kvtest::simCapture(dir, "long.pcap", "--seconds 40 --seed 9");
    ASSERT_FALSE(capture.empty());
    const std::string full = dir / "full.csv";
    ASSERT_EQ(runProgram(exportProgram(), "--csv " + full + " " + capture, dir).status, 0);
    const std::string finished = kvtest::readFile(full);
    fs::remove(full);
    for (const off_t killAt : {off_t(1000003), off_t(9437001), off_t(41000017)}) {
        SCOPED_TRACE(killAt);
        ASSERT_LT(killAt * 2, off_t(finished.size()));
        const std::string out = dir / "killed.csv";
        std::vector<std::string> args{exportProgram(), "--csv", out, capture};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        struct stat st {};
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!(::stat(out.c_str(), &st) == 0 && st.st_size >= killAt) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the export ended before the kill";

        const std::string kept = kvtest::readFile(out);
        ASSERT_GE(kept.size(), std::size_t(killAt));
        EXPECT_LT(kept.size(), finished.size());
        EXPECT_EQ(std::count(kept.begin(), kept.end(), '\0'), 0);
        const std::size_t lastLine = kept.size() - (kept.rfind('\n') + 1);
        const bool atPageEnd = kept.size() % std::size_t(::sysconf(_SC_PAGESIZE)) == 0;
        EXPECT_TRUE(lastLine == 0 || (atPageEnd && lastLine < 200))
            << "a cut " << lastLine << " bytes into a line at byte " << kept.size();
        EXPECT_TRUE(finished.compare(0, kept.size(), kept) == 0) << "not the first " << kept.size() << " bytes";
        fs::remove(out);
    }
}

}  // namespace

namespace {

// The rows of a CSV export, grouped by frame (and by sensor, for a merged export), each row
// without its frame number and sensor columns.
using Rows = std::vector<std::string>;
std::map<std::pair<int, std::string>, Rows> rowsByFrame(const std::string& path, bool merged) {
    std::map<std::pair<int, std::string>, Rows> out;
    std::istringstream in(kvtest::readFile(path));
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
        const std::size_t comma = line.find(',');
        const int frame = std::stoi(line.substr(0, comma));
        std::string rest = line.substr(comma + 1), sensor;
        if (merged) {
            rest.pop_back();  // the trailing ","
            const std::size_t last = rest.rfind(',');
            sensor = rest.substr(last + 1);
            rest = rest.substr(0, last + 1);
        }
        out[{frame, sensor}].push_back(rest);
    }
    return out;
}

}  // namespace

// Every stream of a capture merged: in merged frame k, the lead's rows are its own frame k, and
// each other sensor's rows are one of its own frames, exported alone, never going back; poses
// move only their own sensor's points.
TEST(ExportAllStreams, EachSensorsRowsInAMergedFrameAreOneOfItsOwnFrames) {
    TempDir dir;
    if (std::system("command -v mergecap >/dev/null 2>&1") != 0) GTEST_SKIP() << "mergecap is not installed";
    const std::string a = kvtest::simCapture(dir, "a.pcap", "--seconds 2 --seed 1 --sensor-ip 127.0.0.2");
    const std::string b = kvtest::simCapture(dir, "b.pcap", "--seconds 2 --seed 2 --sensor-ip 127.0.0.3 --rpm 1200");
    const std::string c = kvtest::simCapture(dir, "c.pcap", "--seconds 2 --seed 3 --sensor-ip 127.0.0.4 --dual --rpm 900");
    ASSERT_EQ(std::system(("mergecap -F pcap -w " + dir / "two.pcap " + a + " " + b).c_str()), 0);
    ASSERT_EQ(std::system(("mergecap -F pcap -w " + dir / "three.pcap " + a + " " + b + " " + c).c_str()), 0);
    const struct {
        std::string capture, lead;
        std::vector<std::string> streams;  // the lead first
    } cases[] = {
        {dir / "two.pcap", "", {"127.0.0.3:2368>2368", "127.0.0.2:2368>2368"}},  // by default the largest
        {dir / "three.pcap", "127.0.0.2:2368>2368",
         {"127.0.0.2:2368>2368", "127.0.0.3:2368>2368", "127.0.0.4:2368>2368"}},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.capture);
        const std::string merged = dir / "merged.csv";
        const ProgramRun r = runProgram(exportProgram(),
                                        "--all-streams --csv " + merged + (t.lead.empty() ? "" : " --lead '" + t.lead + "'") +
                                            " " + t.capture,
                                        dir);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(kvtest::readFile(merged).rfind(
                      "FrameNumbers,Laser_id,Points_X,Points_Y,Points_Z,Distance,Azimuth,Intensity,Sensor,\n", 0),
                  0u);
        const auto got = rowsByFrame(merged, true);
        for (std::size_t s = 0; s < t.streams.size(); ++s) {
            SCOPED_TRACE(t.streams[s]);
            const std::string own = dir / ("own" + std::to_string(s) + ".csv");
            const ProgramRun alone = runProgram(exportProgram(), "--csv " + own + " --stream '" + t.streams[s] + "' " + t.capture, dir);
            ASSERT_EQ(alone.status, 0) << alone.err;
            const auto frames = rowsByFrame(own, false);
            int previous = 0, found = 0;
            for (const auto& [key, rows] : got) {
                if (key.second != t.streams[s]) continue;
                int j = 0;
                for (const auto& [ownKey, ownRows] : frames)
                    if (ownRows == rows && ownKey.first >= previous) {
                        j = ownKey.first;
                        break;
                    }
                ASSERT_NE(j, 0) << "merged frame " << key.first << " holds no frame of its own";
                if (s == 0) {
                    EXPECT_EQ(j, key.first);
                }
                previous = j;
                ++found;
            }
            EXPECT_GT(found, 10);
        }
    }
    // A pose moves its sensor's points and no other's.
    const ProgramRun posed = runProgram(exportProgram(),
                                        "--all-streams --frames 5 --csv " + dir / "posed.csv" +
                                            " --pose '127.0.0.2:2368>2368=10,0,0,0,0,0' " + dir / "two.pcap",
                                        dir);
    ASSERT_EQ(posed.status, 0) << posed.err;
    ASSERT_EQ(runProgram(exportProgram(), "--all-streams --frames 5 --csv " + dir / "plain.csv " + dir / "two.pcap", dir).status, 0);
    const auto p = rowsByFrame(dir / "posed.csv", true), q = rowsByFrame(dir / "plain.csv", true);
    // (The CSV numbers the frames it holds from 1.)
    EXPECT_EQ(p.at({1, "127.0.0.3:2368>2368"}), q.at({1, "127.0.0.3:2368>2368"}));
    EXPECT_NE(p.at({1, "127.0.0.2:2368>2368"}), q.at({1, "127.0.0.2:2368>2368"}));
    // What cannot be posed is refused with exit 2, naming the option.
    for (const std::string& bad : {std::string("--pose 1,2,3"), std::string("--pose 1,2,3,4,5,6"),
                                   std::string("--pose '127.0.0.9:1>2=0,0,0,0,0,0'"), std::string("--lead '127.0.0.9:1>2'")}) {
        const ProgramRun refused = runProgram(exportProgram(), "--all-streams --csv " + dir / "x.csv " + bad + " " + dir / "two.pcap", dir);
        EXPECT_EQ(refused.status, 2) << bad;
        EXPECT_NE(refused.err.find(bad.substr(0, bad.find(' '))), std::string::npos) << refused.err;
    }
}
