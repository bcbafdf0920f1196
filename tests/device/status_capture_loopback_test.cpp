// Capturing one status packet from the loopback adapter, as "Save set file" does: found among
// other traffic, not found within the limits, cancelled, and adapters that cannot be opened.
// Needs root or CAP_NET_RAW; skips otherwise. Sends only to 127.0.0.1, and runs in a network
// namespace of its own so that no other program's traffic on the loopback adapter is seen.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "capture_device.h"
#include "capture_permission.h"
#include "status_capture.h"
#include "udp_socket.h"

namespace {

namespace sc = kv::statuscapture;
using Payload = std::array<std::uint8_t, kv::statuspkt::kPacketBytes>;

Payload statusPayload(std::uint32_t seed) {
    Payload p{};
    std::mt19937 rng(seed);
    for (auto& b : p) b = std::uint8_t(rng());
    kv::statuspkt::writeHeader(p.data());
    return p;
}

// Sends `packets` in turn to 127.0.0.1:`port` every 10 ms until stopped.
class Sender {
public:
    Sender(std::vector<std::vector<std::uint8_t>> packets, int port) {
        thread_ = std::thread([this, packets = std::move(packets), port] {
            kv::UdpSocket s;
            s.open();
            std::size_t i = 0;
            while (!stop_) {
                const auto& p = packets[i++ % packets.size()];
                s.sendTo("127.0.0.1", port, p.data(), p.size());
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~Sender() {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A listener on the port, so that the kernel does not answer each datagram with an ICMP error.
struct Sink {
    kv::UdpSocket socket;
    int port = 0;
    Sink() {
        socket.open();
        socket.bindAny(0);
        port = socket.localPort();
    }
};

class StatusCaptureLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kvtest::mayCapture()) GTEST_SKIP() << kvtest::kNoCaptureReason;
        device_ = kv::chooseCaptureDevice(kv::listCaptureDevices(nullptr), 0x7F000002u);
        ASSERT_FALSE(device_.empty()) << "no adapter holds 127.0.0.2";
    }
    std::string device_;
};

TEST_F(StatusCaptureLoopback, TheAdapterTheStatusPacketsArriveOnIsChosen) {
    std::vector<kv::CaptureDeviceInfo> devices = kv::listCaptureDevices(nullptr);
    bool loopback = false;
    for (const auto& d : devices) loopback = loopback || (d.name == device_ && d.loopback);
    EXPECT_TRUE(loopback) << device_;
}

TEST_F(StatusCaptureLoopback, FindsTheStatusPacketAmongOtherTraffic) {
    Sink sink;
    const Payload status = statusPayload(5);
    std::vector<std::uint8_t> data(kv::statuspkt::kPacketBytes, 0x11), longer(1210, 0x22);
    std::vector<std::uint8_t> wrongHeader(status.begin(), status.end());
    wrongHeader[3] = 0x5B;
    Sender sender({data, longer, wrongHeader, std::vector<std::uint8_t>(status.begin(), status.end())}, sink.port);
    std::atomic<bool> cancel{false};
    std::atomic<int> seen{0};
    const sc::Result r = sc::captureStatusFrame(device_, {5000, 5000}, cancel, &seen);
    ASSERT_EQ(r.outcome, sc::Outcome::Found) << r.error;
    EXPECT_EQ(r.payload, status);
    EXPECT_EQ(seen.load(), r.framesSeen);
    EXPECT_GE(r.framesSeen, 1);
}

TEST_F(StatusCaptureLoopback, GivesUpAtTheLimitsOrWhenCancelled) {
    Sink sink;
    std::vector<std::uint8_t> data(kv::statuspkt::kPacketBytes, 0x11);
    std::atomic<bool> cancel{false};
    {
        Sender sender({data}, sink.port);
        const sc::Result byFrames = sc::captureStatusFrame(device_, {3, 10000}, cancel);
        EXPECT_EQ(byFrames.outcome, sc::Outcome::NotFound);
        EXPECT_EQ(byFrames.framesSeen, 3);
    }
    // Nothing on the adapter from us: the time bound ends it.
    const sc::Result byTime = sc::captureStatusFrame(device_, {5000, 300}, cancel);
    EXPECT_EQ(byTime.outcome, sc::Outcome::NotFound);

    std::atomic<bool> cancelled{true};
    EXPECT_EQ(sc::captureStatusFrame(device_, {5000, 60000}, cancelled).outcome, sc::Outcome::Cancelled);
}

TEST(StatusCapture, AdaptersThatCannotBeOpened) {
    std::atomic<bool> cancel{false};
    EXPECT_EQ(sc::captureStatusFrame("", {}, cancel).outcome, sc::Outcome::NoDevice);
    const sc::Result r = sc::captureStatusFrame("kvnosuchdev0", {}, cancel);
    EXPECT_TRUE(r.outcome == sc::Outcome::OpenFailed || r.outcome == sc::Outcome::NoPermission);
    EXPECT_FALSE(r.error.empty());
}

}  // namespace
