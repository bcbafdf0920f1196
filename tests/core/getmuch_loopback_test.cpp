// The data receiver over real loopback UDP: frames out of a packet stream, the exact-size
// rule, bind errors, stopping and restarting, multicast, and the kernel drop counter.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "getmuch.h"
#include "packet_builder.h"
#include "socket_fd.h"
#include "udp_socket.h"

namespace {

using namespace std::chrono_literals;
using kvtest::PacketStream;

// Polls until `done` holds; the deadline only bounds a failing test and is no speed claim.
template <class F>
bool eventually(F done, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

int freePort() {
    kv::UdpSocket s;
    return s.open() && s.bindAny(0) ? s.localPort() : -1;
}

// Whether some socket is bound to `port`, read from the kernel's table so that asking does not
// itself take the port.
bool portBound(int port) {
    std::ifstream in("/proc/net/udp");
    std::string line;
    char needle[8];
    std::snprintf(needle, sizeof needle, ":%04X ", port);
    while (std::getline(in, line))
        if (line.find(needle) != std::string::npos && line.find(needle) < 30) return true;
    return false;
}

// Memberships of 224.1.1.1 on this host, summed over the adapters; -1 when the kernel's table
// cannot be read.
int groupMembers() {
    std::ifstream in("/proc/net/igmp");
    if (!in) return -1;
    int users = 0;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string group;
        int n = 0;
        if (fields >> group >> n && group == "010101E0") users += n;  // 224.1.1.1, little-endian hex
    }
    return users;
}

// A stream of `frames` whole frames after a few pre-marker points, plus half a frame.
PacketStream streamOf(std::uint8_t flag, int frames) {
    PacketStream s(flag);
    std::uint32_t id = 1;
    auto period = [&](int n) {
        for (int k = 0; k < n; ++k, ++id) s.point(int(id % 4), id, 256 * (id % 3000), int(id % 256), 512 * id, 9);
        s.marker();
    };
    period(5);
    for (int p = 0; p < 4 * frames + 2; ++p) period(120);
    return s;
}

class Receiver : public ::testing::Test {
protected:
    void SetUp() override {
        QObject::connect(&rx, &GetMuch::SendLidarData, &rx, [this](MuchLidarData f) {
            std::lock_guard<std::mutex> l(m);
            frames.push_back(std::move(f));
        }, Qt::DirectConnection);
        QObject::connect(&rx, &GetMuch::SendError, &rx, [this](QString e) {
            std::lock_guard<std::mutex> l(m);
            errors.push_back(e);
        }, Qt::DirectConnection);
        ASSERT_TRUE(tx.open());
    }
    void TearDown() override {
        rx.stopRequested = true;
        rx.wait(5000);
    }

    void start(int p = 0) {
        port = p ? p : freePort();
        ASSERT_GT(port, 0);
        rx.dataPort = port;
        rx.start();
        ASSERT_TRUE(eventually([&] { return portBound(port); })) << "receiver never bound " << port;
    }
    void send(const std::uint8_t* data, std::size_t len, const char* ip = "127.0.0.1") {
        ASSERT_EQ(tx.sendTo(ip, port, data, len), long(len)) << std::strerror(errno);
    }
    void sendAll(const std::vector<kvtest::Packet>& packets) {
        for (const auto& p : packets) send(p.data(), p.size());
    }
    std::vector<MuchLidarData> framesSoFar() {
        std::lock_guard<std::mutex> l(m);
        return frames;
    }
    std::size_t frameCount() { return framesSoFar().size(); }

    GetMuch rx;
    kv::UdpSocket tx;
    int port = 0;
    std::mutex m;
    std::vector<MuchLidarData> frames;
    std::vector<QString> errors;
};

TEST_F(Receiver, PacketStreamArrivesAsFrames) {
    struct Case { std::uint8_t flag; int echoMode; };
    for (const Case c : {Case{0, 0}, Case{2, 2}, Case{2, 0}}) {
        SCOPED_TRACE(::testing::Message() << "flag " << int(c.flag) << " echo " << c.echoMode);
        const PacketStream s = streamOf(c.flag, 3);
        kv::FrameRule reference;
        const auto expected = kvtest::feed(reference, s.packets(), c.echoMode);
        ASSERT_EQ(expected.size(), 3u);

        frames.clear();
        rx.echoMode = c.echoMode;
        start();
        sendAll(s.packets());
        ASSERT_TRUE(eventually([&] { return rx.packetsAccepted.load() == s.packets().size(); }));
        rx.stopRequested = true;
        ASSERT_TRUE(rx.wait(5000));
        EXPECT_EQ(framesSoFar(), expected);  // the half frame at the end is dropped at the stop
        EXPECT_EQ(EchoFlag.load(), c.flag);
        EXPECT_EQ(rx.datagramsRejected.load(), 0u);
        EXPECT_EQ(rx.framesEmitted.load(), expected.size());
        EXPECT_EQ(rx.kernelDrops.load(), 0u);
        EXPECT_GT(rx.receiveBufferBytes.load(), 100 * 1206);
        EXPECT_TRUE(errors.empty());
    }
}

TEST_F(Receiver, DatagramsOfAnyOtherSizeAreIgnored) {
    start();
    PacketStream four(1);
    four.marker().point(1, 100, 256, 1).marker().marker().marker();  // counter at 4
    sendAll(four.packets());
    ASSERT_TRUE(eventually([&] { return rx.packetsAccepted.load() == 1; }));
    EXPECT_EQ(EchoFlag.load(), 1);

    // Full of marker records and flagged dual-echo: decoded, any of them would close the frame.
    std::vector<std::uint8_t> bad(2000);
    for (std::size_t i = 0; i + 3 <= bad.size(); i += 3) kv::datapkt::writeMarker(&bad[i]);
    bad[kv::datapkt::kEchoFlagOffset] = kv::datapkt::kDualEchoFlag;
    const std::size_t sizes[] = {1205, 1207, 2000, 0, 1};
    for (std::size_t n : sizes) send(bad.data(), n);
    ASSERT_TRUE(eventually([&] { return rx.datagramsRejected.load() == std::size(sizes); }));
    EXPECT_EQ(EchoFlag.load(), 1);
    EXPECT_EQ(rx.packetsAccepted.load(), 1u);
    EXPECT_EQ(frameCount(), 0u);

    PacketStream fifth(0);
    fifth.marker();
    sendAll(fifth.packets());
    ASSERT_TRUE(eventually([&] { return frameCount() == 1; }));
    EXPECT_EQ(framesSoFar()[0].size(), 1u);
    EXPECT_EQ(EchoFlag.load(), 0);
}

TEST_F(Receiver, PortInUseReportsBindErrorAndEnds) {
    kv::UdpSocket holder;
    ASSERT_TRUE(holder.open() && holder.bindAny(0));
    port = holder.localPort();
    rx.dataPort = port;
    rx.start();
    ASSERT_TRUE(rx.wait(5000));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].toStdString(), "Data Port:" + std::to_string(port) + " : Bind Error");
    EXPECT_FALSE(rx.stopRequested.load());
    EXPECT_EQ(frameCount(), 0u);
}

TEST_F(Receiver, StopDropsTheHalfFrameAndARestartBeginsAFreshOne) {
    start();
    PacketStream half;
    half.point(0, 99, 256, 1).marker().point(0, 98, 256, 1).marker().marker().point(0, 97, 256, 1);
    sendAll(half.packets());
    ASSERT_TRUE(eventually([&] { return rx.packetsAccepted.load() == 1; }));
    rx.stopRequested = true;
    // The receive time-out is 100 ms: the loop sees the flag within one time-out. The bound
    // leaves room for a loaded machine but fails a time-out of a second or none at all.
    ASSERT_TRUE(rx.wait(500));
    EXPECT_FALSE(rx.stopRequested.load());
    EXPECT_EQ(frameCount(), 0u);

    start(port);
    PacketStream whole;
    whole.point(2, 1, 256, 0);
    for (int m = 0; m < 4; ++m) whole.marker().point(3, std::uint32_t(2 + m), 256, 0);
    whole.marker();
    sendAll(whole.packets());
    ASSERT_TRUE(eventually([&] { return frameCount() == 1; }));
    std::vector<float> az;
    for (int i = 1; i <= 5; ++i) az.push_back(float(i) / 100.0f);
    EXPECT_EQ(framesSoFar()[0].azimuth, az);
}

TEST_F(Receiver, JoinsTheMulticastGroup) {
    const char* kGroup = "224.1.1.1";
    {
        kv::UdpSocket probe;
        if (!probe.open() || !probe.joinMulticast(kGroup))
            GTEST_SKIP() << "this machine lets no socket join " << kGroup << ": " << std::strerror(errno);
    }
    const int members = groupMembers();
    if (members < 0) GTEST_SKIP() << "no /proc/net/igmp to see the membership in";
    rx.multicastAddress = kGroup;
    start();
    // Looped-back group traffic reaches any socket bound to the port (IP_MULTICAST_ALL), so the
    // join itself is checked in the kernel's table.
    EXPECT_TRUE(eventually([&] { return groupMembers() > members; })) << "the receiver did not join " << kGroup;
    ASSERT_TRUE(tx.setMulticastLoopback(true));
    ASSERT_TRUE(tx.setMulticastTtl(0));  // looped back to this host, never put on a wire
    const PacketStream s = streamOf(0, 1);
    for (const auto& p : s.packets())
        if (tx.sendTo(kGroup, port, p.data(), p.size()) != long(p.size()))
            GTEST_SKIP() << "sending to " << kGroup << " fails here: " << std::strerror(errno);
    ASSERT_TRUE(eventually([&] { return frameCount() == 1; }));
    kv::FrameRule reference;
    EXPECT_EQ(framesSoFar(), kvtest::feed(reference, s.packets()));
    rx.stopRequested = true;
    ASSERT_TRUE(rx.wait(5000));
    EXPECT_TRUE(eventually([&] { return groupMembers() == members; })) << "the group was not left";
}

// A receive call that fails for another reason than its time-out says so, and the receiver
// reports it once, backs off instead of spinning, and still stops promptly.
TEST_F(Receiver, AFailingReceiveIsReportedOnceAndBacksOff) {
    start();
    const auto pkts = streamOf(0, 1).packets();
    sendAll(pkts);
    ASSERT_TRUE(eventually([&] { return rx.packetsAccepted.load() == pkts.size(); }));
    const int fd = kvtest::udpSocketFdBoundTo(port);
    ASSERT_GE(fd, 0) << "the receiver's socket is not among this process's descriptors";
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(devNull, 0);
    ASSERT_EQ(::dup2(devNull, fd), fd);  // the socket is gone; its descriptor is no socket now
    ::close(devNull);
    ASSERT_TRUE(eventually([&] { return rx.receiveErrors.load() > 0; }));
    std::this_thread::sleep_for(1500ms);
    {
        std::lock_guard<std::mutex> l(m);
        ASSERT_EQ(errors.size(), 1u) << "reported once";
        EXPECT_EQ(errors[0], QString("Data Port:%1 : Receive Error (%2)").arg(port).arg(std::strerror(ENOTSOCK)));
    }
    EXPECT_GE(rx.receiveErrors.load(), 2u);
    EXPECT_LT(rx.receiveErrors.load(), 20u) << "a spinning receiver fails millions of times a second";
    rx.stopRequested = true;
    EXPECT_TRUE(rx.wait(2000)) << "the back-off still sees the stop flag";
}

// What receiveBatch says for a time-out, a datagram and a broken descriptor.
TEST(UdpSocketReceive, TimeOutDatagramAndFailureAreToldApart) {
    kv::UdpSocket rxs, txs;
    ASSERT_TRUE(rxs.open() && rxs.bindAny(0) && txs.open() && rxs.setReceiveTimeoutMs(20));
    std::vector<std::uint8_t> buf(2048);
    kv::UdpSocket::Datagram d[1];
    EXPECT_EQ(rxs.receiveBatch(buf.data(), buf.size(), d, 1), 0) << "time-out";
    const std::uint8_t byte = 7;
    ASSERT_EQ(txs.sendTo("127.0.0.1", rxs.localPort(), &byte, 1), 1);
    EXPECT_EQ(rxs.receiveBatch(buf.data(), buf.size(), d, 1), 1);
    EXPECT_EQ(d[0].length, 1u);
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::dup2(devNull, rxs.fd()), rxs.fd());
    ::close(devNull);
    EXPECT_EQ(rxs.receiveBatch(buf.data(), buf.size(), d, 1), -1);
    EXPECT_EQ(rxs.lastReceiveError(), ENOTSOCK);
    rxs.close();
    EXPECT_EQ(rxs.receiveBatch(buf.data(), buf.size(), d, 1), -1) << "a closed socket";
    EXPECT_EQ(rxs.lastReceiveError(), EBADF);
}

// The socket reports the datagrams the kernel had to drop for want of buffer room.
TEST(UdpSocketDrops, CounterFollowsTheKernel) {
    kv::UdpSocket first, txs;
    ASSERT_TRUE(first.open() && first.bindAny(0) && txs.open());
    ASSERT_TRUE(first.enableDropCounter());
    kv::UdpSocket rxs(std::move(first));  // the counter goes with the socket
    rxs.setReceiveBufferBytes(4096);
    ASSERT_TRUE(rxs.setReceiveTimeoutMs(100));
    const int port = rxs.localPort();
    kvtest::Packet p{};
    const int kSent = 200;
    for (int i = 0; i < kSent; ++i) ASSERT_EQ(txs.sendTo("127.0.0.1", port, p.data(), p.size()), long(p.size()));

    std::vector<std::uint8_t> buf(p.size() * 8);
    kv::UdpSocket::Datagram d[8];
    int received = 0;
    auto drain = [&] {
        for (int n; (n = rxs.receiveBatch(buf.data(), p.size(), d, 8)) > 0;) received += n;
    };
    drain();
    ASSERT_LT(received, kSent) << "the small buffer should have overflowed";
    ASSERT_EQ(txs.sendTo("127.0.0.1", port, p.data(), p.size()), long(p.size()));
    drain();
    EXPECT_EQ(rxs.kernelDrops() + std::uint64_t(received), std::uint64_t(kSent + 1));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
