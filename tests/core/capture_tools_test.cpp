// Captures made by the standard tools (tcpdump on the loopback adapter and on "any", editcap,
// mergecap, tcprewrite) while two simulated sensors and a sender of stray datagrams stream
// to this machine, against the recording our own recorder takes at the same time: each file,
// each stream, gives the same frames point for point. A tool that is missing skips its case.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "capture_permission.h"
#include "capture_recorder.h"
#include "capture_store.h"
#include "frame_rule.h"
#include "udp_socket.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

bool haveTool(const std::string& name) { return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0; }

int freePort() {
    kv::UdpSocket s;
    return s.open() && s.bindAny(0) ? s.localPort() : -1;
}

std::vector<MuchLidarData> framesOf(const kv::capture::CaptureStore& store) {
    kv::FrameRule a(kv::FramePolicy::kReplay);
    std::vector<MuchLidarData> frames;
    kv::capture::PacketReader reader(store);
    for (std::size_t i = 0; i < store.packetCount; ++i) {
        const std::uint8_t* p = reader.packet(i);
        if (p == nullptr) {
            ADD_FAILURE() << reader.error();
            break;
        }
        a.feed(p, [] { return 0; }, [&](MuchLidarData&& f) { frames.push_back(std::move(f)); });
    }
    return frames;
}

// A tcpdump run in the background until stop().
struct Tcpdump {
    std::string pidFile, errFile;
    bool start(const std::string& args, const std::string& out) {
        pidFile = out + ".pid";
        errFile = out + ".err";
        const std::string cmd = "tcpdump -U -n --immediate-mode -B 32768 " + args + " -w " + out + " 2>" + errFile + " & echo $! >" + pidFile;
        if (std::system(cmd.c_str()) != 0) return false;
        for (int i = 0; i < 500; ++i) {  // tcpdump says so once it listens (immediate mode: it
            // hands over every packet before it ends, none left in a half-filled buffer)
            std::stringstream s;
            s << std::ifstream(errFile).rdbuf();
            if (s.str().find("listening on") != std::string::npos) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    void stop() {
        int pid = 0;
        std::ifstream(pidFile) >> pid;
        if (pid > 0) {
            ::kill(pid, SIGINT);
            for (int i = 0; i < 300 && ::kill(pid, 0) == 0; ++i) std::this_thread::sleep_for(10ms);
        }
    }
};

class ToolCaptures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!kvtest::mayCapture()) return skip(kvtest::kNoCaptureReason);
        if (!haveTool("tcpdump")) return skip("tcpdump is not installed (Debian: tcpdump)");
        dir_ = fs::temp_directory_path() / ("kv_tools_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        portA_ = freePort(), portB_ = freePort(), portStray_ = freePort();
        const std::string ports = "udp and (port " + std::to_string(portA_) + " or port " + std::to_string(portB_) +
                                  " or port " + std::to_string(portStray_) + ")";
        kv::CaptureRecorder own;
        Tcpdump lo, any2, any1;
        if (!own.start(path("own.pcap"), ports, "lo")) return skip("our recorder does not start: " + own.lastError());
        for (int i = 0; i < 2000 && !own.capturing() && own.running(); ++i) std::this_thread::sleep_for(1ms);
        const bool started = lo.start("-i lo -s 1500 '" + ports + "'", path("lo.pcap")) &&
                             any2.start("-i any '" + ports + "'", path("any_sll2.pcap")) &&
                             any1.start("-i any -y LINUX_SLL '" + ports + "'", path("any_sll.pcap"));
        // Two sensors and stray 1206-byte datagrams of random bytes to a third port.
        const std::string sim = std::string(KV_BIN_DIR) + "/kv-sensor-sim --seconds 1 --bind-port 0 --dest 127.0.0.1";
        std::thread a([&] {
            std::system((sim + " --seed 3 --data-port " + std::to_string(portA_) + " --equip-port " +
                         std::to_string(freePort()) + " 2>/dev/null").c_str());
        });
        std::thread b([&] {
            std::system((sim + " --seed 4 --dual --data-port " + std::to_string(portB_) + " --equip-port " +
                         std::to_string(freePort()) + " 2>/dev/null").c_str());
        });
        kv::UdpSocket stray;
        stray.open();
        std::mt19937 rng(5001);
        std::vector<std::uint8_t> junk(1206);
        for (int i = 0; i < 200; ++i) {
            for (auto& x : junk) x = std::uint8_t(rng());
            stray.sendTo("127.0.0.1", portStray_, junk.data(), junk.size());
            std::this_thread::sleep_for(4ms);
        }
        a.join();
        b.join();
        std::this_thread::sleep_for(300ms);
        lo.stop(), any2.stop(), any1.stop();
        own.requestStop();
        own.wait();
        if (!started) return skip("tcpdump did not start listening");
        ready_ = true;
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        if (!dir_.empty() && !std::getenv("KV_KEEP_FIXTURES")) fs::remove_all(dir_, ec);
    }
    void SetUp() override {
        if (!ready_) GTEST_SKIP() << skipReason_;
    }
    static void skip(const std::string& why) { skipReason_ = why; }
    static std::string path(const std::string& name) { return (dir_ / name).string(); }
    // Runs a tool's command line; false (and the case skips) where the tool is missing.
    // Whether the kernel dropped packets of tcpdump's capture `name` (a loaded machine): such a
    // file cannot equal our recording, and the cases made from it skip.
    static bool lostPackets(const std::string& name) {
        std::stringstream s;
        s << std::ifstream(path(name) + ".err").rdbuf();
        return s.str().find(" 0 packets dropped by kernel") == std::string::npos;
    }
    static bool run(const std::string& tool, const std::string& args) {
        if (!haveTool(tool)) return false;
        return std::system((tool + " " + args + " >/dev/null 2>&1").c_str()) == 0;
    }

    static fs::path dir_;
    static int portA_, portB_, portStray_;
    static bool ready_;
    static std::string skipReason_;
};

fs::path ToolCaptures::dir_;
int ToolCaptures::portA_ = 0, ToolCaptures::portB_ = 0, ToolCaptures::portStray_ = 0;
bool ToolCaptures::ready_ = false;
std::string ToolCaptures::skipReason_;

TEST_F(ToolCaptures, EveryFileGivesEachStreamsFramesAsOurRecording) {
    auto own = kv::capture::loadCapture(path("own.pcap"));
    ASSERT_TRUE(own.opened) << own.error;
    ASSERT_EQ(own.streams.size(), 3u);  // two sensors and the stray datagrams
    std::vector<std::vector<MuchLidarData>> want;
    std::vector<std::uint16_t> ports = {std::uint16_t(portA_), std::uint16_t(portB_)};
    for (std::uint16_t port : ports) {
        ASSERT_TRUE(own.chooseStream(own.findPort(port))) << port;
        want.push_back(framesOf(own.store));
        ASSERT_GE(want.back().size(), 8u) << port;
    }
    ASSERT_FALSE(want[0] == want[1]);

    // The fixtures made from the tools' files, each by one tool; "" where it is missing.
    const std::string lo = path("lo.pcap");
    struct Fixture {
        const char* name;
        std::function<bool()> make;  // false: the tool is missing
        const char* format;
        std::vector<std::string> from;  // tcpdump's captures it is made of
    } fixtures[] = {
        {"lo.pcap", [] { return true; }, "pcap", {"lo.pcap"}},
        {"any_sll2.pcap", [] { return true; }, "pcap", {"any_sll2.pcap"}},
        {"any_sll.pcap", [] { return true; }, "pcap", {"any_sll.pcap"}},
        {"lo.pcapng", [&] { return run("editcap", "-F pcapng " + lo + " " + path("lo.pcapng")); }, "pcapng",
         {"lo.pcap"}},
        {"lo_nsec.pcap", [&] { return run("editcap", "-F nsecpcap " + lo + " " + path("lo_nsec.pcap")); }, "pcap",
         {"lo.pcap"}},
        {"vlan.pcap",
         [&] {
             return run("tcprewrite", "--enet-vlan=add --enet-vlan-tag=5 --enet-vlan-cfi=0 --enet-vlan-pri=0 --infile=" +
                                          lo + " --outfile=" + path("vlan.pcap"));
         },
         "pcap", {"lo.pcap"}},
        // Sensor A from the loopback adapter (Ethernet, snapshot length 1500) merged with sensor B
        // from "any" (SLL2, 262144): two interfaces that differ in both, which libpcap refuses.
        {"merged.pcapng",
         [&] {
             return run("tshark", "-r " + lo + " -Y udp.dstport==" + std::to_string(portA_) + " -w " + path("a.pcap") +
                                      " -F pcap") &&
                    run("tshark", "-r " + path("any_sll2.pcap") + " -Y udp.dstport==" + std::to_string(portB_) +
                                      " -w " + path("b.pcap") + " -F pcap") &&
                    run("mergecap", "-I none -F pcapng -w " + path("merged.pcapng") + " " + path("a.pcap") + " " +
                                        path("b.pcap"));
         },
         "pcapng", {"lo.pcap", "any_sll2.pcap"}},
    };
    for (const Fixture& f : fixtures) {
        SCOPED_TRACE(f.name);
        bool lost = false;
        for (const std::string& source : f.from) lost = lost || lostPackets(source);
        if (lost) {
            std::printf("[ SKIPPED  ] %s: tcpdump lost packets (the kernel dropped them on a loaded machine)\n",
                        f.name);
            continue;
        }
        if (!f.make()) {
            std::printf("[ SKIPPED  ] %s: the tool that makes it is missing or failed\n", f.name);
            continue;
        }
        auto load = kv::capture::loadCapture(path(f.name));
        ASSERT_TRUE(load.opened) << load.error;
        EXPECT_FALSE(load.damaged) << load.damage;
        EXPECT_EQ(load.format, f.format);
        for (std::size_t s = 0; s < ports.size(); ++s) {
            const std::size_t i = load.findPort(ports[s]);
            ASSERT_LT(i, load.streams.size()) << "port " << ports[s];
            ASSERT_TRUE(load.chooseStream(i));
            const auto got = framesOf(load.store);
            ASSERT_EQ(got.size(), want[s].size()) << "port " << ports[s];
            for (std::size_t k = 0; k < got.size(); ++k)
                EXPECT_TRUE(got[k] == want[s][k]) << "port " << ports[s] << ", frame " << k;
        }
    }
}

}  // namespace
