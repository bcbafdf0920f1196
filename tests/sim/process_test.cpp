// kv-sensor-sim as a program: a capture file read back with libpcap, and a live run on
// loopback that takes a configuration packet and stops on SIGTERM.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "byte_order.h"
#include "config_fixture.h"
#include "data_packet.h"
#include "frame_rule.h"
#include "status_packet.h"
#include "udp_socket.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string tempPath(const std::string& name) {
    return ::testing::TempDir() + "kv_sim_" + std::to_string(::getpid()) + "_" + name;
}

pid_t spawnSim(std::vector<std::string> args, const std::string& stderrPath) {
    args.insert(args.begin(), std::string(KV_BIN_DIR) + "/kv-sensor-sim");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Exit code of the child, or -1 when it did not end normally within `seconds` (then killed).
int waitExit(pid_t pid, double seconds) {
    const auto end = Clock::now() + std::chrono::milliseconds(long(seconds * 1000));
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

kv::UdpSocket receiver() {
    kv::UdpSocket s;
    EXPECT_TRUE(s.open() && s.bindAny(0));
    s.setReceiveBufferBytes(4 << 20);
    s.setReceiveTimeoutMs(20);
    return s;
}

TEST(SimProgram, CaptureFileReadsBackThroughLibpcap) {
    const std::string pcapPath = tempPath("one_second.pcap"), errPath = tempPath("capture.err");
    const pid_t pid = spawnSim({"--pcap", pcapPath, "--seconds", "1", "--seed", "4"}, errPath);
    ASSERT_GT(pid, 0);
    ASSERT_EQ(waitExit(pid, 10), 0) << readText(errPath);

    char err[PCAP_ERRBUF_SIZE];
    pcap_t* cap = pcap_open_offline(pcapPath.c_str(), err);
    ASSERT_NE(cap, nullptr) << err;
    EXPECT_EQ(pcap_datalink(cap), DLT_EN10MB);
    kv::FrameRule assembler;
    std::vector<MuchLidarData> frames;
    int data = 0, status = 0;
    double firstStamp = -1, lastStamp = 0;
    pcap_pkthdr* h = nullptr;
    const u_char* bytes = nullptr;
    while (pcap_next_ex(cap, &h, &bytes) == 1) {
        ASSERT_EQ(h->caplen, 1248u);
        ASSERT_EQ(h->len, 1248u);
        const double stamp = double(h->ts.tv_sec) + h->ts.tv_usec / 1e6;
        ASSERT_GE(stamp, lastStamp);
        if (firstStamp < 0) firstStamp = stamp;
        lastStamp = stamp;
        ASSERT_EQ(kv::readBe16(bytes + 12), 0x0800u);
        const std::uint8_t* payload = bytes + 42;
        const std::uint32_t port = kv::readBe16(bytes + 36);
        if (port == 2369) {
            ASSERT_TRUE(kv::statuspkt::hasHeader(payload));
            // The frame's source address is the one the status packet reports.
            EXPECT_EQ(kv::readBe32(bytes + 26), kv::readBe32(payload + kv::statuspkt::kSensorIp));
            ++status;
        } else {
            ASSERT_EQ(port, 2368u);
            assembler.feed(payload, kv::kFirstEcho, frames);
            ++data;
        }
    }
    pcap_close(cap);
    std::remove(pcapPath.c_str());

    EXPECT_EQ(data, 422);  // 40 periods of 1802 records, 171 to a packet, in one second
    EXPECT_EQ(status, 1);
    EXPECT_EQ(frames.size(), 10u);
    EXPECT_LT(lastStamp - firstStamp, 1.0);
    EXPECT_GT(lastStamp - firstStamp, 0.99);
}

// Passes each datagram waiting on `s` to `use(bytes, length)`.
template <class Use>
void drain(kv::UdpSocket& s, Use use) {
    static std::vector<std::uint8_t> buf(2048 * 16);
    kv::UdpSocket::Datagram got[16];
    const int n = s.receiveBatch(buf.data(), 2048, got, 16);
    for (int i = 0; i < n; ++i) use(buf.data() + i * 2048, got[i].length);
}

TEST(SimProgram, LiveOnLoopbackTakesAConfigurationPacket) {
    kv::UdpSocket dataRx = receiver(), equipRx = receiver(), tx;
    ASSERT_TRUE(tx.open());
    const int configPort = receiver().localPort();  // free a moment ago
    const std::string errPath = tempPath("live.err");
    const pid_t pid = spawnSim({"--data-port", std::to_string(dataRx.localPort()), "--equip-port",
                                std::to_string(equipRx.localPort()), "--bind-port", std::to_string(configPort),
                                "--seconds", "1.4"},
                               errPath);
    ASSERT_GT(pid, 0);

    kv::FrameRule assembler;
    std::vector<MuchLidarData> frames;
    int statusCount = 0, wrongSize = 0, exitCode = -1, idle = 0;
    std::uint32_t lastSpeed = 0;
    bool exited = false;
    for (const auto end = Clock::now() + std::chrono::seconds(4); Clock::now() < end && idle < 3;) {
        pollfd fds[2] = {{dataRx.fd(), POLLIN, 0}, {equipRx.fd(), POLLIN, 0}};
        idle = (::poll(fds, 2, 20) == 0 && exited) ? idle + 1 : 0;  // drained after the end
        if (fds[0].revents & POLLIN) drain(dataRx, [&](const std::uint8_t* p, std::size_t len) {
            if (len != 1206) ++wrongSize;
            else assembler.feed(p, kv::kFirstEcho, frames);
        });
        if (fds[1].revents & POLLIN) drain(equipRx, [&](const std::uint8_t* p, std::size_t len) {
            ASSERT_TRUE(len == 1206 && kv::statuspkt::hasHeader(p));
            lastSpeed = kv::readBe16(p + kv::statuspkt::kMotorSpeedRpm);
            if (++statusCount > 1) return;
            kv::simtest::ConfigEdits e;  // answer the first status packet: double the speed
            e.rpm = 1200;
            e.dataPort = dataRx.localPort();
            e.equipPort = equipRx.localPort();
            const auto config = kv::simtest::configFromStatus(p, e);
            tx.sendTo("127.0.0.1", configPort, config.data(), 1205);  // one byte short: ignored
            tx.sendTo("127.0.0.1", configPort, config.data(), config.size());
        });
        int st = 0;
        if (!exited && ::waitpid(pid, &st, WNOHANG) == pid) {
            exited = true;
            exitCode = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        }
    }
    if (!exited) exitCode = waitExit(pid, 1);

    const std::string err = readText(errPath);
    EXPECT_EQ(exitCode, 0) << err;
    EXPECT_EQ(wrongSize, 0);
    EXPECT_EQ(statusCount, 2);
    EXPECT_EQ(lastSpeed, 1200u);
    // 600 rpm makes 10 frames a second; from the first moments on it turns at 1200.
    EXPECT_GT(frames.size(), 16u);
    for (const MuchLidarData& f : frames) EXPECT_EQ(f.size(), 4u * 1801u);
    EXPECT_NE(err.find("configuration packets: 1 applied, 1 ignored"), std::string::npos) << err;
}

TEST(SimProgram, StopsCleanlyOnSigterm) {
    kv::UdpSocket dataRx = receiver();
    const std::string errPath = tempPath("term.err");
    const pid_t pid = spawnSim({"--data-port", std::to_string(dataRx.localPort()), "--equip-port",
                                std::to_string(dataRx.localPort()), "--bind-port", "0", "--dual"},
                               errPath);
    ASSERT_GT(pid, 0);
    std::array<std::uint8_t, 2048> buf{};
    kv::UdpSocket::Datagram got[1];
    int received = 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
    while (received == 0 && Clock::now() < deadline) received = dataRx.receiveBatch(buf.data(), buf.size(), got, 1);
    EXPECT_GT(received, 0);
    ::kill(pid, SIGTERM);
    EXPECT_EQ(waitExit(pid, 2), 0);
    EXPECT_NE(readText(errPath).find("data packets"), std::string::npos);
}

}  // namespace
