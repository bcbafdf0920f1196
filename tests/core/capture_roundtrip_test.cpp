// Round trips between the live path and the replay path: the simulated sensor's capture file
// replays into the frames the live receiver makes of the same stream, and a recording taken
// from the loopback adapter while the sensor streams replays into those frames too.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "capture_permission.h"
#include "capture_recorder.h"
#include "capture_store.h"
#include "getmuch.h"
#include "frame_rule.h"
#include "udp_socket.h"

namespace {

using namespace std::chrono_literals;

std::string sim() { return std::string(KV_BIN_DIR) + "/kv-sensor-sim"; }

int freePort() {
    kv::UdpSocket s;
    return s.open() && s.bindAny(0) ? s.localPort() : -1;
}

std::vector<MuchLidarData> replayFrames(const kv::capture::CaptureStore& store) {
    kv::FrameRule a(kv::FramePolicy::kReplay);
    std::vector<MuchLidarData> frames;
    kv::capture::PacketReader reader(store);
    for (std::size_t i = 0; i < store.packetCount; ++i)
        a.feed(reader.packet(i), [] { return 0; }, [&](MuchLidarData&& f) { frames.push_back(std::move(f)); });
    return frames;
}

// Receives the sensor's live stream on `port` while `streamCommand` runs; returns the frames.
std::vector<MuchLidarData> liveFrames(int port, const std::string& streamCommand) {
    GetMuch rx;
    rx.dataPort = port;
    std::mutex m;
    std::vector<MuchLidarData> frames;
    QObject::connect(&rx, &GetMuch::SendLidarData, &rx, [&](MuchLidarData f) {
        std::lock_guard<std::mutex> lock(m);
        frames.push_back(std::move(f));
    }, Qt::DirectConnection);
    rx.start();
    while (!rx.listening) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(std::system(streamCommand.c_str()), 0) << streamCommand;
    std::this_thread::sleep_for(200ms);
    rx.stopRequested = true;
    rx.wait();
    return frames;
}

std::string tempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / (name + std::to_string(::getpid()) + ".pcap")).string();
}

}  // namespace

TEST(CaptureRoundTrip, SimulatedCaptureReplaysIntoTheLiveFrames) {
    for (const char* layout : {"", " --dual"}) {
        const std::string file = tempPath("roundtrip");
        ASSERT_EQ(std::system((sim() + " --seed 5 --seconds 1 --pcap " + file + layout + " 2>/dev/null").c_str()), 0);
        const kv::capture::CaptureLoad load = kv::capture::loadCapture(file);
        std::filesystem::remove(file);
        ASSERT_TRUE(load.opened) << load.error;
        const auto replayed = replayFrames(load.store);
        ASSERT_GE(replayed.size(), 8u) << layout;

        const int port = freePort();
        const auto live = liveFrames(port, sim() + " --seed 5 --seconds 1 --bind-port 0 --data-port " +
                                               std::to_string(port) + " --equip-port " + std::to_string(freePort()) +
                                               layout + " 2>/dev/null");
        ASSERT_GE(live.size(), 8u) << layout;
        const std::size_t common = std::min(live.size(), replayed.size());
        for (std::size_t i = 0; i < common; ++i) EXPECT_TRUE(live[i] == replayed[i]) << "frame " << i << layout;
    }
}

// The simulated sensor starts every sweep with a marker, so frame k, reached through the index,
// is four whole sweeps, one of each line from line 0 to line 3.
TEST(CaptureRoundTrip, SeekToFrameKShowsFourWholeSweeps) {
    const std::string file = tempPath("seek");
    ASSERT_EQ(std::system((sim() + " --seed 2 --seconds 2 --pcap " + file + " 2>/dev/null").c_str()), 0);
    const kv::capture::CaptureLoad load = kv::capture::loadCapture(file);
    std::filesystem::remove(file);
    ASSERT_TRUE(load.opened) << load.error;
    const kv::capture::CaptureStore& store = load.store;
    ASSERT_EQ(store.frameCount(), 20u);
    kv::capture::PacketReader reader(store);
    for (std::uint32_t k : {1u, 8u, 20u}) {
        MuchLidarData frame;
        ASSERT_TRUE(kv::capture::readFrame(store, k, 0, reader, frame)) << k;
        EXPECT_EQ(frame.size(), 4u * 1801u) << k;
        EXPECT_EQ(frame.channel.front(), 0) << k;
        EXPECT_EQ(frame.azimuth.front(), 0.0f) << k;
        EXPECT_EQ(frame.channel.back(), 3) << k;
    }
}

TEST(CaptureRoundTrip, RecordingFromLoopbackReplaysIntoTheSentFrames) {
    if (!kvtest::mayCapture()) GTEST_SKIP() << kvtest::kNoCaptureReason;
    const std::string recording = tempPath("recorded");
    const int port = freePort();
    kv::CaptureRecorder recorder;
    ASSERT_TRUE(recorder.start(recording, "port " + std::to_string(port), "lo"));
    for (int i = 0; i < 2000 && !recorder.capturing() && recorder.running(); ++i) std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(recorder.capturing()) << recorder.lastError();
    const auto live = liveFrames(port, sim() + " --seed 9 --seconds 1 --bind-port 0 --data-port " +
                                           std::to_string(port) + " --equip-port " + std::to_string(freePort()) +
                                           " 2>/dev/null");
    recorder.requestStop();
    recorder.wait();
    EXPECT_TRUE(recorder.lastError().empty()) << recorder.lastError();

    const kv::capture::CaptureLoad load = kv::capture::loadCapture(recording);
    std::filesystem::remove(recording);
    ASSERT_TRUE(load.opened) << load.error;
    EXPECT_FALSE(load.damaged) << load.damage;
    const auto replayed = replayFrames(load.store);
    ASSERT_GE(replayed.size(), 8u);
    ASSERT_GE(live.size(), replayed.size());
    for (std::size_t i = 0; i < replayed.size(); ++i) EXPECT_TRUE(live[i] == replayed[i]) << "frame " << i;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
