// Capture recording from the loopback adapter while the simulated sensor streams, read back
// with libpcap; stop requests with and without traffic; set-up failures.
#include <gtest/gtest.h>

#include <pcap/pcap.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "byte_order.h"
#include "capture_recorder.h"
#include "data_packet.h"
#include "frame_rule.h"
#include "status_packet.h"
#include "capture_permission.h"
#include "udp_socket.h"
#include "wire_frame.h"

extern char** environ;

namespace {

namespace wire = kv::sim::wire;
using Clock = std::chrono::steady_clock;

// Capturing needs CAP_NET_RAW (root has it, unless the container took it away).
class CaptureRecording : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kvtest::mayCapture()) GTEST_SKIP() << kvtest::kNoCaptureReason;
    }
    const std::string path_ = ::testing::TempDir() + "kv_rec_" + std::to_string(::getpid()) + ".pcap";
    void TearDown() override { std::remove(path_.c_str()); }
};

template <class Pred>
bool within(Clock::duration bound, Pred done) {
    for (const auto end = Clock::now() + bound; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(5)))
        if (Clock::now() > end) return false;
    return true;
}

// The thread ended by itself within a generous bound (then joined), or the test fails.
void expectEnds(kv::CaptureRecorder& rec) {
    ASSERT_TRUE(within(std::chrono::seconds(5), [&] { return !rec.running(); })) << "recording thread did not end";
    rec.wait();
}

// The records of a capture file; fails the test unless it reads to a clean end.
std::vector<std::vector<std::uint8_t>> readCapture(const std::string& path) {
    std::vector<std::vector<std::uint8_t>> frames;
    char err[PCAP_ERRBUF_SIZE];
    pcap_t* cap = pcap_open_offline(path.c_str(), err);
    EXPECT_NE(cap, nullptr) << err;
    if (cap == nullptr) return frames;
    EXPECT_EQ(pcap_datalink(cap), DLT_EN10MB);
    pcap_pkthdr* h = nullptr;
    const u_char* bytes = nullptr;
    while (pcap_next_ex(cap, &h, &bytes) == 1) {
        EXPECT_EQ(h->caplen, h->len);
        frames.emplace_back(bytes, bytes + h->caplen);
    }
    pcap_close(cap);
    return frames;
}

// A UDP port of our own: nothing else takes it while the socket lives.
kv::UdpSocket boundSocket() {
    kv::UdpSocket s;
    EXPECT_TRUE(s.open() && s.bindAny(0) && s.setReceiveTimeoutMs(20));
    return s;
}

std::string portFilter(const kv::UdpSocket& s) { return "port " + std::to_string(s.localPort()); }

}  // namespace

TEST_F(CaptureRecording, RecordsTheDataPortFromLoopbackWhileTheSensorStreams) {
    kv::UdpSocket data = boundSocket(), status = boundSocket();
    kv::CaptureRecorder rec;
    ASSERT_TRUE(rec.start(path_, portFilter(data), "lo"));
    ASSERT_TRUE(within(std::chrono::seconds(5), [&] { return rec.capturing() || !rec.running(); }));
    ASSERT_TRUE(rec.capturing()) << rec.lastError();

    std::vector<std::string> args = {std::string(KV_BIN_DIR) + "/kv-sensor-sim", "--dest", "127.0.0.1",
                                     "--data-port", std::to_string(data.localPort()), "--equip-port",
                                     std::to_string(status.localPort()), "--bind-port", "0", "--seconds", "1.5"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t sim = -1;
    int exit = 0;
    ASSERT_EQ(posix_spawn(&sim, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    ASSERT_EQ(::waitpid(sim, &exit, 0), sim);
    ASSERT_TRUE(WIFEXITED(exit) && WEXITSTATUS(exit) == 0);

    // The status stream really ran beside the data, so its absence below means something.
    std::vector<std::uint8_t> buf(2048);
    kv::UdpSocket::Datagram got[1];
    ASSERT_EQ(status.receiveBatch(buf.data(), buf.size(), got, 1), 1);
    ASSERT_TRUE(kv::statuspkt::hasHeader(buf.data()));

    // Let the frames already on the adapter reach the file, then stop (twice does no harm).
    for (std::uint64_t seen = 0; within(std::chrono::milliseconds(200), [&] { return rec.framesWritten() != seen; });)
        seen = rec.framesWritten();
    rec.requestStop();
    rec.requestStop();
    expectEnds(rec);
    EXPECT_EQ(rec.lastError(), "");

    const auto records = readCapture(path_);
    ASSERT_GT(records.size(), 100u);
    EXPECT_EQ(records.size(), rec.framesWritten());
    kv::FrameRule assembler;
    std::vector<MuchLidarData> frames;
    for (const std::vector<std::uint8_t>& f : records) {
        ASSERT_EQ(f.size(), wire::kFrameBytes);
        ASSERT_EQ(kv::readBe16(&f[wire::kEtherType]), wire::kEtherTypeIpv4);
        ASSERT_EQ(f[wire::kIpProtocol], wire::kIpProtocolUdp);
        ASSERT_EQ(kv::readBe16(&f[wire::kUdpDestPort]), std::uint32_t(data.localPort()));
        const std::uint8_t* payload = &f[wire::kPayloadStart];
        ASSERT_FALSE(kv::statuspkt::hasHeader(payload));
        EXPECT_FALSE(kv::datapkt::isDualEcho(payload));  // byte 1205: the simulated sensor sends single echo
        assembler.feed(payload, kv::kFirstEcho, frames);
    }
    EXPECT_FALSE(frames.empty() || frames.front().channel.empty());
}

TEST_F(CaptureRecording, StopIsPromptWithNoTrafficAndEvenRightAfterStart) {
    const kv::UdpSocket quiet = boundSocket();
    kv::CaptureRecorder rec;  // one recorder, started again and again
    for (int round = 0; round < 24; ++round) {
        // Rounds 0-3 stop while waiting for a frame that never comes, the rest while still setting up.
        const bool waitUntilCapturing = round < 4;
        SCOPED_TRACE(round);
        ASSERT_TRUE(rec.start(path_, portFilter(quiet), "lo"));
        if (waitUntilCapturing) {
            ASSERT_TRUE(within(std::chrono::seconds(5), [&] { return rec.capturing(); }));
            EXPECT_FALSE(rec.start(path_, portFilter(quiet), "lo")) << "a second recording while one runs";
        }
        rec.requestStop();
        expectEnds(rec);
        EXPECT_EQ(rec.lastError(), "");  // the refused second start left the running one untouched
        EXPECT_TRUE(readCapture(path_).empty());  // a whole file with no frames
    }
}

TEST_F(CaptureRecording, SetUpFailuresAreReportedAndEndTheThread) {
    const std::string quiet = portFilter(boundSocket()), dir = ::testing::TempDir();
    struct Case {
        std::string path, filter, device, message;  // the message starts so
    } cases[] = {
        {path_, quiet, "", "Cannot record: no capture device found"},
        {path_, quiet, "kv-no-such-adapter", "Cannot record from kv-no-such-adapter: "},
        {path_, "port nonsense", "lo", "Cannot record: the capture filter \"port nonsense\" is not valid: "},
        {path_, "port 70000", "lo", "Cannot record: the capture filter \"port 70000\" is not valid: "},
        {"/kv-no-such-directory/x.pcap", quiet, "lo", "Cannot record into /kv-no-such-directory/x.pcap: "},
        {dir, quiet, "lo", "Cannot record into " + dir + ": "},
    };
    for (const Case& c : cases) {
        kv::CaptureRecorder rec;
        std::vector<std::string> messages;  // written on the recording thread, read after it ended
        rec.setErrorHandler([&](const std::string& s) { messages.push_back(s); });
        ASSERT_TRUE(rec.start(c.path, c.filter, c.device));
        expectEnds(rec);
        ASSERT_EQ(messages.size(), 1u) << c.message;
        EXPECT_EQ(messages[0].rfind(c.message, 0), 0u) << messages[0];
        EXPECT_EQ(rec.lastError(), messages[0]);
        EXPECT_NE(::access(path_.c_str(), F_OK), 0) << c.message << ": a capture file was left behind";
    }
}

// A second start during a recording is refused and touches nothing: not the running
// recording, not its error handler (which the window takes as "the recording ended"), not its
// last error; the adapter is chosen on the recording thread from the sender's address.
TEST_F(CaptureRecording, ASecondStartIsRefusedWithoutTouchingTheRunningOne) {
    kv::UdpSocket data = boundSocket(), tx = boundSocket();
    const std::string second = path_ + ".second";
    std::atomic<int> firstReports{0}, secondReports{0};
    kv::CaptureRecorder rec;
    rec.setErrorHandler([&](const std::string&) { ++firstReports; });
    std::uint32_t loopback = 0;
    ASSERT_TRUE(kv::parseIpv4("127.0.0.1", loopback));
    ASSERT_TRUE(rec.startOnSensorAdapter(path_, portFilter(data), loopback));
    ASSERT_TRUE(within(std::chrono::seconds(10), [&] { return rec.capturing() || !rec.running(); }));
    ASSERT_TRUE(rec.capturing()) << rec.lastError();

    rec.setErrorHandler([&](const std::string&) { ++secondReports; });
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(rec.start(second, portFilter(data), "lo"));
    EXPECT_FALSE(rec.startOnSensorAdapter(second, portFilter(data), loopback));
    EXPECT_TRUE(rec.capturing());
    EXPECT_EQ(rec.lastError(), "");
    EXPECT_FALSE(std::ifstream(second).good()) << "the refused recording made a file";

    // The first recording goes on recording.
    const std::uint8_t payload[4] = {1, 2, 3, 4};
    for (int i = 0; i < 5; ++i) ASSERT_EQ(tx.sendTo("127.0.0.1", data.localPort(), payload, sizeof payload), 4);
    EXPECT_TRUE(within(std::chrono::seconds(5), [&] { return rec.framesWritten() >= 5; }));
    rec.requestStop();
    expectEnds(rec);
    EXPECT_EQ(firstReports.load(), 0);
    EXPECT_EQ(secondReports.load(), 0);
    EXPECT_EQ(readCapture(path_).size(), rec.framesWritten());
}
