// kv-export's core: the command line, the frames it walks against the replay thread's, its CSV
// against the window's multi-frame export of the replayed frames, PCD names, malformed
// captures and bad options (exit status and message), progress.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "capture_store.h"
#include "csv_export.h"
#include "export_fixtures.h"
#include "export_job.h"
#include "playback.h"
#include "readliveoffdata.h"

namespace {

using namespace kv::exporter;
using kvtest::TempDir;

// Runs the export in-process; `err` receives what it says.
int runExport(std::vector<std::string> args, std::string& err, std::string* out = nullptr,
              const std::string& config = {}, std::function<bool()> interrupted = {}) {
    args.insert(args.begin(), "kv-export");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    char* errBuf = nullptr;
    std::size_t errLen = 0;
    char* outBuf = nullptr;
    std::size_t outLen = 0;
    Environment env;
    env.err = open_memstream(&errBuf, &errLen);
    env.out = open_memstream(&outBuf, &outLen);
    env.configPath = config;
    env.interrupted = std::move(interrupted);
    const int rc = exportMain(int(argv.size()), argv.data(), env);
    std::fclose(env.err);
    std::fclose(env.out);
    err.assign(errBuf, errLen);
    if (out) out->assign(outBuf, outLen);
    std::free(errBuf);
    std::free(outBuf);
    return rc;
}

// The frames the capture replay thread hands to the window, from the first packet to the end.
std::vector<MuchLidarData> replayThreadFrames(const kv::capture::CaptureStore& store, int echo) {
    ReadLiveOffData replay;
    replay.channel.orders.replaySpeed = 2;  // the fastest pacing
    replay.setPacketStore(std::make_shared<const kv::capture::CaptureStore>(store));
    replay.setEchoSelection(echo);
    std::mutex m;
    std::vector<MuchLidarData> frames;
    std::atomic<bool> ended{false};
    QObject::connect(&replay, &ReadLiveOffData::SendData, [&](MuchLidarData f) {
        std::lock_guard<std::mutex> lock(m);
        frames.push_back(std::move(f));
    });
    QObject::connect(&replay, &ReadLiveOffData::SendBool, [&](bool) { ended = true; });
    replay.start();
    while (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    replay.stopAndWait();
    return frames;
}

// What the window's multi-frame export writes for frames handled after a confirmed dialog.
std::string windowExport(const std::string& path, const std::vector<MuchLidarData>& frames, std::size_t from,
                         std::size_t count, float minDeg, float maxDeg, std::array<int, 4> lines, int lineType) {
    kv::csv::CsvFile file;
    EXPECT_TRUE(file.open(path, kv::csv::Layout::kMultiFrame));
    const auto filter = kv::csv::RowFilter::multiFrame(minDeg, maxDeg, lines, false, false, kv::SelectionBox{});
    const auto geometry = kv::BeamGeometry::forLineType(lineType);
    for (std::size_t i = 0; i < count && from + i < frames.size(); ++i)
        EXPECT_TRUE(file.writeFrame(frames[from + i], geometry, filter, int(i + 1)));
    EXPECT_TRUE(file.close());
    return kvtest::readFile(path);
}

TEST(ExportOptions, ParsesEveryOptionAndRefusesBadOnes) {
    struct Case {
        std::vector<std::string> args;
        ParseOutcome outcome;
        std::string message;  // part of the message, for errors
        std::function<void(const ExportOptions&)> check;
    };
    const std::vector<Case> cases = {
        {{"--csv", "a.csv", "c.pcap"}, ParseOutcome::Run, "", [](const ExportOptions& o) {
             EXPECT_EQ(o.capturePath, "c.pcap");
             EXPECT_EQ(o.firstFrame, 1u);
             EXPECT_EQ(o.lastFrame, kOpenEnd);
             EXPECT_EQ(o.echo, kv::kDualEchoBoth);
             EXPECT_EQ(o.lineState, (std::array<int, 4>{{1, 1, 1, 1}}));
             EXPECT_EQ(o.minAngleDeg, 0.0f);
             EXPECT_EQ(o.maxAngleDeg, 180.0f);
             EXPECT_EQ(o.colourMode, kv::kColourIntensity);
             EXPECT_FALSE(o.lineTypeGiven);
             EXPECT_FALSE(o.binary);
         }},
        {{"c.pcap", "--pcd=d", "--binary", "--frames=3-7", "--echo", "second", "--lines", "3,1", "--min-angle",
          "-5.5", "--max-angle", "90", "--colour", "LaserID", "--line-type", "4"},
         ParseOutcome::Run, "", [](const ExportOptions& o) {
             EXPECT_EQ(o.pcdDir, "d");
             EXPECT_TRUE(o.binary);
             EXPECT_EQ(o.firstFrame, 3u);
             EXPECT_EQ(o.lastFrame, 7u);
             EXPECT_EQ(o.rangeCount(), 5u);
             EXPECT_EQ(o.echo, kv::kSecondEcho);
             EXPECT_EQ(o.lineState, (std::array<int, 4>{{0, 1, 0, 1}}));
             EXPECT_EQ(o.minAngleDeg, -5.5f);
             EXPECT_EQ(o.colourMode, kv::kColourLaserId);
             EXPECT_TRUE(o.lineTypeGiven);
             EXPECT_EQ(o.lineType, 4);
         }},
        {{"--csv", "a", "--frames", "4-", "c"}, ParseOutcome::Run, "",
         [](const ExportOptions& o) {
             EXPECT_EQ(o.firstFrame, 4u);
             EXPECT_EQ(o.lastFrame, kOpenEnd);
         }},
        {{"--csv", "a", "--frames", "9", "c"}, ParseOutcome::Run, "",
         [](const ExportOptions& o) { EXPECT_EQ(o.rangeCount(), 1u); }},
        {{"--csv", "a", "--", "-odd name.pcap"}, ParseOutcome::Run, "",
         [](const ExportOptions& o) { EXPECT_EQ(o.capturePath, "-odd name.pcap"); }},
        {{"--help"}, ParseOutcome::Help, "", nullptr},
        {{}, ParseOutcome::Error, "no capture file", nullptr},
        {{"c"}, ParseOutcome::Error, "nothing to write", nullptr},
        {{"--csv", "a", "c", "d"}, ParseOutcome::Error, "more than one capture", nullptr},
        {{"--csv"}, ParseOutcome::Error, "--csv needs a value", nullptr},
        {{"--csv=", "c"}, ParseOutcome::Error, "non-empty path", nullptr},
        {{"--bogus", "c"}, ParseOutcome::Error, "unknown option '--bogus'", nullptr},
        {{"--binary=yes", "--pcd", "d", "c"}, ParseOutcome::Error, "takes no value", nullptr},
        {{"--ply", "p", "--binary", "c"}, ParseOutcome::Run, "",
         [](const ExportOptions& o) {
             EXPECT_EQ(o.plyDir, "p");
             EXPECT_TRUE(o.pcdDir.empty());
             EXPECT_TRUE(o.binary);
         }},
        {{"c", "--ply"}, ParseOutcome::Error, "--ply needs a value", nullptr},
        {{"--ply=", "c"}, ParseOutcome::Error, "--ply needs a non-empty path", nullptr},
        {{"--csv", "a", "--binary", "c"}, ParseOutcome::Error, "give --pcd DIR or --ply DIR with it", nullptr},
        {{"--plys", "p", "c"}, ParseOutcome::Error, "unknown option '--plys'", nullptr},
        {{"--csv", "a", "--frames", "0-3", "c"}, ParseOutcome::Error, "bad value '0-3' for --frames", nullptr},
        {{"--csv", "a", "--frames", "5-2", "c"}, ParseOutcome::Error, "for --frames", nullptr},
        {{"--csv", "a", "--frames", "x", "c"}, ParseOutcome::Error, "for --frames", nullptr},
        {{"--csv", "a", "--frames", "99999999999", "c"}, ParseOutcome::Error, "for --frames", nullptr},
        {{"--csv", "a", "--echo", "both", "c"}, ParseOutcome::Error, "dual, first or second", nullptr},
        {{"--csv", "a", "--lines", "4", "c"}, ParseOutcome::Error, "lines 0-3", nullptr},
        {{"--csv", "a", "--lines", "0,,1", "c"}, ParseOutcome::Error, "lines 0-3", nullptr},
        {{"--csv", "a", "--lines", "", "c"}, ParseOutcome::Error, "lines 0-3", nullptr},
        {{"--csv", "a", "--min-angle", "abc", "c"}, ParseOutcome::Error, "degrees", nullptr},
        {{"--csv", "a", "--max-angle", "nan", "c"}, ParseOutcome::Error, "degrees", nullptr},
        {{"--csv", "a", "--max-angle", "1e400", "c"}, ParseOutcome::Error, "degrees", nullptr},
        {{"--csv", "a", "--min-angle", "100", "--max-angle", "10", "c"}, ParseOutcome::Error, "above", nullptr},
        {{"--pcd", "d", "--colour", "pink", "c"}, ParseOutcome::Error, "laserid", nullptr},
        // The line types the viewer knows, named in the refusal.
        {{"--csv", "a", "--line-type", "1.5", "c"}, ParseOutcome::Error, "give 1 (four flat lines), 2, 3 or 4", nullptr},
        {{"--csv", "a", "--line-type", "0", "c"}, ParseOutcome::Error, "bad value '0' for --line-type: give 1", nullptr},
        {{"--csv", "a", "--line-type=5", "c"}, ParseOutcome::Error, "bad value '5' for --line-type: give 1", nullptr},
        {{"--csv", "a", "--line-type", "-1", "c"}, ParseOutcome::Error, "bad value '-1' for --line-type: give 1", nullptr},
        {{"--csv", "a", "--line-type", "99999999999", "c"}, ParseOutcome::Error, "for --line-type: give 1", nullptr},
        {{"--csv", "a", "--line-type=1", "c"}, ParseOutcome::Run, "",
         [](const ExportOptions& o) { EXPECT_EQ(o.lineType, 1); }},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv{"kv-export"};
        for (const std::string& a : c.args) argv.push_back(a.c_str());
        ExportOptions o;
        std::string message;
        const std::string shown = ::testing::PrintToString(c.args);
        ASSERT_EQ(parseOptions(int(argv.size()), argv.data(), o, message), c.outcome) << shown << " " << message;
        if (c.outcome == ParseOutcome::Error) {
            EXPECT_NE(message.find(c.message), std::string::npos) << shown << ": " << message;
        }
        if (c.check) c.check(o);
    }
}

// The CSV of kv-export against the window's multi-frame export of the frames the replay thread
// hands over, for both layouts and a range of options.
TEST(ExportCsv, EqualsTheWindowsMultiFrameExportOfTheReplayedFrames) {
    TempDir dir;
    struct Case {
        const char* simArgs;
        std::vector<std::string> options;
        int echo;
        std::size_t from, count;  // replayed frames exported, counted from 0
        float minDeg, maxDeg;
        std::array<int, 4> lines;
        int lineType;
    };
    const std::vector<Case> cases = {
        {"--seconds 1 --seed 4", {}, kv::kDualEchoBoth, 0, 1000, 0, 180, {{1, 1, 1, 1}}, 1},
        {"--seconds 1 --seed 4",
         {"--frames", "3-6", "--lines", "1,2", "--min-angle", "10.5", "--max-angle", "90", "--line-type", "2"},
         kv::kDualEchoBoth, 2, 4, 10.5f, 90, {{0, 1, 1, 0}}, 2},
        {"--seconds 1 --seed 6 --dual", {}, kv::kDualEchoBoth, 0, 1000, 0, 180, {{1, 1, 1, 1}}, 1},
        {"--seconds 1 --seed 6 --dual", {"--echo", "first", "--frames", "2-"}, kv::kFirstEcho, 1, 1000, 0, 180,
         {{1, 1, 1, 1}}, 1},
        {"--seconds 1 --seed 6 --dual", {"--echo", "second", "--lines", "0", "--line-type", "4"}, kv::kSecondEcho, 0,
         1000, 0, 180, {{1, 0, 0, 0}}, 4},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.simArgs) + " " + ::testing::PrintToString(c.options));
        const std::string capture = kvtest::simCapture(dir, "c" + std::to_string(n) + ".pcap", c.simArgs);
        ASSERT_FALSE(capture.empty());
        const auto load = kv::capture::loadCapture(capture);
        ASSERT_TRUE(load.opened && !load.damaged);
        const std::vector<MuchLidarData> frames = replayThreadFrames(load.store, c.echo);
        ASSERT_GE(frames.size(), 8u);
        const std::string want = windowExport(dir / ("w" + std::to_string(n) + ".csv"), frames, c.from, c.count,
                                              c.minDeg, c.maxDeg, c.lines, c.lineType);
        std::vector<std::string> args = c.options;
        const std::string got = dir / ("e" + std::to_string(n) + ".csv");
        args.insert(args.end(), {"--csv", got, capture});
        std::string err;
        ASSERT_EQ(runExport(args, err), kExitOk) << err;
        EXPECT_TRUE(kvtest::readFile(got) == want) << "the exports differ";
        EXPECT_GT(want.size(), 1000u);
        // The frames the core walks are the replay thread's.
        std::vector<MuchLidarData> walked;
        walkFrames(load.store, c.echo, kOpenEnd, [&](std::uint32_t, MuchLidarData&& f, const std::uint8_t*) {
            walked.push_back(std::move(f));
            return true;
        });
        EXPECT_TRUE(walked == frames);
        ++n;
    }
}

// Frames after a damaged record are lost, the ones before it are all written, and the program
// says where it stopped.
TEST(ExportCsv, DamagedCaptureKeepsTheFramesBeforeTheDamage) {
    TempDir dir;
    const std::string capture = kvtest::simCapture(dir, "whole.pcap", "--seconds 1 --seed 8");
    ASSERT_FALSE(capture.empty());
    const std::string bytes = kvtest::readFile(capture);
    const std::string cut = dir / "cut.pcap";
    kvtest::writeFile(cut, bytes.substr(0, bytes.size() * 2 / 3 + 100));  // ends inside a record

    const auto whole = kv::capture::loadCapture(capture), damaged = kv::capture::loadCapture(cut);
    ASSERT_TRUE(damaged.damaged);
    std::vector<MuchLidarData> frames;
    walkFrames(whole.store, kv::kDualEchoBoth, kOpenEnd, [&](std::uint32_t, MuchLidarData&& f, const std::uint8_t*) {
        frames.push_back(std::move(f));
        return true;
    });
    const std::uint32_t before = walkFrames(damaged.store, kv::kDualEchoBoth, kOpenEnd,
                                            [](std::uint32_t, MuchLidarData&&, const std::uint8_t*) { return true; });
    ASSERT_GE(before, 4u);
    ASSERT_LT(before, frames.size());

    std::string err;
    const std::string got = dir / "cut.csv";
    EXPECT_EQ(runExport({"--csv", got, cut}, err), kExitDamaged);
    EXPECT_NE(err.find("is damaged after record " + std::to_string(damaged.recordsRead)), std::string::npos) << err;
    EXPECT_NE(err.find("stopped there, after frames 1-" + std::to_string(before)), std::string::npos) << err;
    EXPECT_TRUE(kvtest::readFile(got) ==
                windowExport(dir / "w.csv", frames, 0, before, 0, 180, {{1, 1, 1, 1}}, 1));
}

// A long stretch without markers is cut at the frame bound, as the replay cuts it, and said.
TEST(ExportCsv, FrameWithoutMarkersStopsAtTheBound) {
    TempDir dir;
    kvtest::PacketStream s;
    s.marker();
    const std::size_t points = kv::kMaxFramePoints + 5000;
    for (std::size_t i = 0; i < points; ++i) s.point(int(i % 4), std::uint32_t(i % 18000), 25600, 7);
    s.marker().marker().marker().marker();
    kvtest::writeFile(dir / "no_markers.pcap", kvtest::captureBytes(s.packets()));
    std::string err;
    ASSERT_EQ(runExport({"--csv", dir / "out.csv", "--max-angle", "360", dir / "no_markers.pcap"}, err), kExitOk) << err;
    EXPECT_NE(err.find("frame 1 (1 frame); " + std::to_string(kv::kMaxFramePoints) + " rows"), std::string::npos) << err;
    EXPECT_NE(err.find("5000 points dropped"), std::string::npos) << err;
}

// An interrupted export closes its file on the frames written before.
TEST(ExportCsv, InterruptedExportKeepsTheFramesWritten) {
    TempDir dir;
    const std::string capture = kvtest::simCapture(dir, "c.pcap", "--seconds 1 --seed 8");
    const auto load = kv::capture::loadCapture(capture);
    std::vector<MuchLidarData> frames;
    walkFrames(load.store, 0, kOpenEnd, [&](std::uint32_t, MuchLidarData&& f, const std::uint8_t*) {
        frames.push_back(std::move(f));
        return true;
    });
    for (int polls : {1, 4}) {
        int n = 0;
        std::string err;
        const std::string got = dir / "got.csv";
        EXPECT_EQ(runExport({"--csv", got, capture}, err, nullptr, {}, [&] { return ++n > polls; }), kExitInterrupted);
        EXPECT_NE(err.find(polls == 1 ? "interrupted after frame 1;" : "interrupted after frames 1-4;"),
                  std::string::npos) << err;
        EXPECT_TRUE(kvtest::readFile(got) ==
                    windowExport(dir / "w.csv", frames, 0, std::size_t(polls), 0, 180, {{1, 1, 1, 1}}, 1));
    }
}

// Every malformed input and bad option: exit status, message, and nothing already on disk lost.
TEST(ExportProgram, MalformedInputsAndBadOptions) {
    TempDir dir;
    const std::string good = kvtest::simCapture(dir, "good.pcap", "--seconds 1 --seed 2");
    ASSERT_FALSE(good.empty());
    const std::string goodBytes = kvtest::readFile(good);
    kvtest::PacketStream fewMarkers;
    fewMarkers.marker().point(0, 100, 2560, 9).marker().marker().point(1, 200, 2560, 9);
    kvtest::writeFile(dir / "few_markers.pcap", kvtest::captureBytes(fewMarkers.packets()));
    kvtest::writeFile(dir / "not_ethernet.pcap", kvtest::captureBytes(fewMarkers.packets(), 101));
    kvtest::writeFile(dir / "wireless.pcap", kvtest::captureBytes(fewMarkers.packets(), 105));
    kvtest::writeFile(dir / "wireless_no_records.pcap", kvtest::captureBytes({}, 105));
    kvtest::writeFile(dir / "empty.pcap", "");
    kvtest::writeFile(dir / "text.pcap", "FrameNumbers,Laser_id\n1,2\n");
    kvtest::writeFile(dir / "truncated_header.pcap", goodBytes.substr(0, 10));
    kvtest::writeFile(dir / "truncated_first_record.pcap", goodBytes.substr(0, 24 + 16 + 500));
    kvtest::writeFile(dir / "truncated_record.pcap", goodBytes.substr(0, goodBytes.size() - 700));
    kvtest::writeFile(dir / "a_file", "x");
    const std::string kept = dir / "kept.csv";
    const std::string keptText = "an earlier export\n";

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--bogus", good}, kExitBadOption, "unknown option '--bogus'"},
        {{good}, kExitBadOption, "nothing to write"},
        {{"--csv", kept, "--frames", "0-2", good}, kExitBadOption, "--frames"},
        {{"--csv", kept, "--line-type", "7", good}, kExitBadOption, "bad value '7' for --line-type: give 1 (four flat lines), 2, 3 or 4"},
        {{"--csv", good, good}, kExitBadOption, "is the capture file itself"},
        {{"--csv", kept, dir / "missing.pcap"}, kExitFailed, "missing.pcap"},
        {{"--csv", kept, dir.path.string()}, kExitFailed, "is a directory"},
        {{"--csv", kept, dir / "empty.pcap"}, kExitFailed, "the file is empty"},
        {{"--csv", kept, dir / "text.pcap"}, kExitFailed, dir / "text.pcap: not a capture file (unknown file format)"},
        {{"--csv", kept, dir / "truncated_header.pcap"}, kExitFailed,
         dir / "truncated_header.pcap: not a capture file (truncated"},
        {{"--csv", kept, dir / "not_ethernet.pcap"}, kExitFailed,
         "not_ethernet.pcap: no UDP payload of 1206 bytes: 1 record skipped (1 not IPv4)"},
        {{"--csv", kept, dir / "wireless.pcap"}, kExitFailed,
         "wireless.pcap: a capture of an unsupported link type: IEEE802_11 (802.11)"},
        {{"--csv", kept, dir / "wireless_no_records.pcap"}, kExitFailed, "unsupported link type: IEEE802_11"},
        {{"--csv", kept, "--stream", "10.0.0.1:2368", good}, kExitBadOption, "give ADDR:PORT>PORT"},
        {{"--csv", kept, "--stream", "10.0.0.1:1>2", "--port", "3", good}, kExitBadOption, "not both"},
        {{"--csv", kept, "--port", "2380", good}, kExitFailed,
         "no data packets of port 2380; its streams (data packets): 127.0.0.2:2368>2368 ("},
        {{"--csv", kept, dir / "truncated_first_record.pcap"}, kExitDamaged, "no data packet came before the damage"},
        {{"--csv", dir / "few.csv", dir / "few_markers.pcap"}, kExitFailed, "holds no complete frame"},
        {{"--csv", dir / "range.csv", "--frames", "50-60", good}, kExitFailed, "no frame in the range"},
        {{"--csv", dir / "no_dir/x.csv", good}, kExitFailed, "Cannot create " + dir / "no_dir/x.csv"},
        {{"--csv", "/dev/full", good}, kExitFailed, "Cannot write /dev/full"},
        {{"--pcd", dir / "a_file", good}, kExitFailed, "is not a directory"},
        {{"--pcd", dir / "p", good}, kExitFailed, "this build writes no PCD files"},
        {{"--ply", dir / "a_file", good}, kExitFailed, "--ply " + dir / "a_file is not a directory"},
        {{"--ply", dir / "p", good}, kExitFailed, "this build writes no PLY files"},
        {{"--csv", kept, "--binary", good}, kExitBadOption, "--binary is the layout of PCD and PLY files"},
        {{"--csv", dir / "t.csv", dir / "truncated_record.pcap"}, kExitDamaged, "is damaged after record"},
        {{"--csv", dir / "ok.csv", "--frames", "2-3", good}, kExitOk, "frames 2-3 (2 frames);"},
    };
    for (const Case& c : cases) {
        kvtest::writeFile(kept, keptText);
        std::string err;
        const std::string shown = ::testing::PrintToString(c.args);
        EXPECT_EQ(runExport(c.args, err), c.status) << shown << "\n" << err;
        EXPECT_NE(err.find(c.message), std::string::npos) << shown << "\n" << err;
        if (c.status != kExitOk) {
            EXPECT_EQ(kvtest::readFile(kept), keptText) << shown << ": an earlier file was lost";
        }
        EXPECT_EQ(kvtest::readFile(good), goodBytes) << shown;
    }
    std::string err, out;
    EXPECT_EQ(runExport({"--help"}, err, &out), kExitOk);
    EXPECT_NE(out.find("Usage: kv-export [options] CAPTURE"), std::string::npos);
    EXPECT_TRUE(err.empty());
}

// config.ini beside the program sets the line type, as it does for the viewer.
TEST(ExportProgram, LineTypeComesFromConfigUnlessGiven) {
    TempDir dir;
    const std::string capture = kvtest::simCapture(dir, "c.pcap", "--seconds 1 --seed 3");
    kvtest::writeFile(dir / "config.ini", "[Config]\nLidarLineType=3\n");
    const auto load = kv::capture::loadCapture(capture);
    std::vector<MuchLidarData> frames;
    walkFrames(load.store, 0, 2, [&](std::uint32_t, MuchLidarData&& f, const std::uint8_t*) {
        frames.push_back(std::move(f));
        return true;
    });
    for (const auto& [given, lineType] : std::vector<std::pair<std::string, int>>{{"", 3}, {"1", 1}, {"2", 2}}) {
        std::vector<std::string> args{"--csv", dir / "got.csv", "--frames", "1-2", capture};
        if (!given.empty()) args.insert(args.begin(), {"--line-type", given});
        std::string err;
        ASSERT_EQ(runExport(args, err, nullptr, dir / "config.ini"), kExitOk) << err;
        EXPECT_TRUE(kvtest::readFile(dir / "got.csv") ==
                    windowExport(dir / "w.csv", frames, 0, 2, 0, 180, {{1, 1, 1, 1}}, lineType))
            << "line type " << lineType;
    }
}

// Exported files are named by what they hold: the capture and the frame number, the same on
// every run; sorted by name they come in frame order.
TEST(ExportPcdNames, NamedByCaptureAndFrameNumber) {
    const struct {
        const char* capture;
        std::uint32_t number;
        const char* ext;
        const char* name;
    } cases[] = {
        {"/data/run.pcap", 7, ".pcd", "run_000007.pcd"},
        {"run.pcapng", 1, ".ply", "run_000001.ply"},
        {"dir.v2/drive.2026.pcap", 123456, ".pcd", "drive.2026_123456.pcd"},
        {"noext", 42, ".pcd", "noext_000042.pcd"},
        {"/x/.pcap", 3, ".pcd", ".pcap_000003.pcd"},
        {"big.pcap", 1234567, ".pcd", "big_1234567.pcd"},
    };
    for (const auto& c : cases) EXPECT_EQ(exportFileName(c.capture, c.number, c.ext), c.name) << c.capture;
    EXPECT_LT(exportFileName("a.pcap", 99, ".pcd"), exportFileName("a.pcap", 100, ".pcd"));
}

TEST(ExportProgress, BarOnATerminalLinesOtherwise) {
    for (bool terminal : {true, false}) {
        char* buf = nullptr;
        std::size_t len = 0;
        std::FILE* f = open_memstream(&buf, &len);
        ProgressReport p(f, terminal);
        for (std::uint64_t i = 0; i <= 1000; ++i) p.update("reading", i, 1000);
        p.update("exporting", 5, 10);
        p.end();
        std::fclose(f);
        const std::string s(buf, len);
        std::free(buf);
        if (terminal) {
            EXPECT_EQ(std::count(s.begin(), s.end(), '\r'), 101 + 1);
            EXPECT_NE(s.find("reading   [##############################] 100%\n"), std::string::npos) << s;
            EXPECT_EQ(s.back(), '\n');
        } else {
            EXPECT_EQ(s.find('\r'), std::string::npos);
            EXPECT_EQ(std::count(s.begin(), s.end(), '\n'), 11 + 1) << s;
            EXPECT_NE(s.find("kv-export: reading 100%\nkv-export: exporting 50%\n"), std::string::npos) << s;
        }
    }
}

// The replay thread's frames, whichever way it gets to them, are the frames of the capture
// index with their numbers: playing on from the start or from a seek, playing backwards down to
// the first frame (which ends the run there), and after a rewind, which shows frame 1 and waits.
TEST(ReplayThread, EveryWayToAFrameGivesTheIndexFrameWithItsNumber) {
    TempDir dir;
    const std::string capture = kvtest::simCapture(dir, "sim.pcap", "--seconds 1 --seed 3 --dual");
    ASSERT_FALSE(capture.empty());
    const auto load = kv::capture::loadCapture(capture);
    ASSERT_TRUE(load.opened && !load.damaged);
    const std::uint32_t count = load.store.frameCount();
    ASSERT_GE(count, 8u);
    struct Case {
        const char* name;
        int seek;            // 0: none
        int step;            // +1 or -1
        bool rewindAfter3;   // a rewind once three frames are shown
        std::vector<std::uint32_t> numbers;  // the frames shown until the thread waits
    };
    std::vector<std::uint32_t> all(count), fromSeek, back = {6, 5, 4, 3, 2, 1};
    for (std::uint32_t k = 1; k <= count; ++k) all[k - 1] = k;
    for (std::uint32_t k = count - 2; k <= count; ++k) fromSeek.push_back(k);
    const Case cases[] = {
        {"from the start", 0, 1, false, all},
        {"from a seek near the end", int(count) - 2, 1, false, fromSeek},
        {"backwards from a seek", 6, -1, false, back},
        {"a rewind", 0, 1, true, {1, 2, 3, 1}},
    };
    kv::capture::PacketReader reader(load.store);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReadLiveOffData replay;
        replay.channel.orders.replaySpeed = 2;  // the fastest pacing
        replay.channel.orders.replayStep = c.step;
        replay.setPacketStore(std::make_shared<const kv::capture::CaptureStore>(load.store));
        if (c.seek > 0) replay.getProgressChangeValue(c.seek);
        std::mutex m;
        std::vector<MuchLidarData> frames;
        std::atomic<int> reports{0};
        QObject::connect(&replay, &ReadLiveOffData::SendData, [&](MuchLidarData f) {
            std::lock_guard<std::mutex> lock(m);
            frames.push_back(std::move(f));
            if (c.rewindAfter3 && frames.size() == 3) replay.channel.orders.replayRewind = 1;
        });
        QObject::connect(&replay, &ReadLiveOffData::SendBool, [&](bool) { ++reports; });
        replay.start();
        // The thread waits at an end it reported (or, after a rewind, at frame 1).
        for (int i = 0; i < 2000 && !replay.channel.gate.threadWaiting(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(replay.channel.gate.threadWaiting());
        replay.stopAndWait();
        EXPECT_EQ(reports.load(), 2) << "one end report while waiting, one as the thread ends";
        ASSERT_EQ(frames.size(), c.numbers.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].number, c.numbers[i]) << i;
            MuchLidarData want;
            ASSERT_TRUE(kv::capture::readFrame(load.store, c.numbers[i], 0, reader, want));
            EXPECT_TRUE(frames[i] == want) << "frame " << c.numbers[i];
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);  // the replay thread is a QThread
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
