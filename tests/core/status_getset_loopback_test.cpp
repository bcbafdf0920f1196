// The status receiver over real loopback UDP, connected by signature to receivers in this
// (the application) thread as the window connects it: what reaches the receivers, that each
// delivery still reads its own packet when the receivers run late, what is ignored, bind
// errors, and stopping.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStringList>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <thread>

#include "getset.h"
#include "socket_fd.h"
#include "udp_socket.h"

namespace {

using namespace std::chrono_literals;
using Packet = std::array<std::uint8_t, kv::statuspkt::kPacketBytes>;

// Polls until `done` holds, handling this thread's events only when asked to. The deadline only
// bounds a failing test and is no speed claim.
template <class F>
bool eventually(F done, bool handleEvents = true) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        if (handleEvents) QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

Packet statusPacket(int n) {
    using namespace kv::statuspkt;
    Packet p{};
    writeHeader(p.data());
    kv::writeBe16(p.data() + kMotorSpeedRpm, 600u * unsigned(n));
    p[kMac + kMacBytes - 1] = std::uint8_t(n);
    kv::writeBe16(p.data() + kFirmwareYear, 2020u + unsigned(n));
    p[kFirmwareVersionB] = std::uint8_t(n);
    std::memcpy(p.data() + kLatitude, "04808.2130", kGeoTextBytes);
    return p;
}

}  // namespace

class StatusSink : public QObject {
    Q_OBJECT
public:
    QStringList log, versions, errors;
    std::vector<SettingData> records;
    std::vector<std::vector<int>> macs;
    std::vector<Packet> packets;
public slots:
    void onStatus(SettingData* d, std::vector<int> mac) { log << "status", records.push_back(*d), macs.push_back(mac); }
    void onDifo(const u_char* p) {
        log << "difo";
        packets.emplace_back();
        std::memcpy(packets.back().data(), p, packets.back().size());
    }
    void onVersion(QString v) { log << "version", versions << v; }
    void onError(QString e) { log << "error", errors << e; }
};

namespace {

class StatusReceiver : public ::testing::Test {
protected:
    void SetUp() override {
        const auto kind = Qt::ConnectionType(Qt::AutoConnection | Qt::UniqueConnection);
        ASSERT_TRUE(QObject::connect(rx.get(), SIGNAL(SendLidarStatusToSettingUI(SettingData*, std::vector<int>)), &sink,
                                     SLOT(onStatus(SettingData*, std::vector<int>)), kind));
        ASSERT_TRUE(QObject::connect(rx.get(), SIGNAL(SendDataDifo(const u_char*)), &sink, SLOT(onDifo(const u_char*)), kind));
        ASSERT_TRUE(QObject::connect(rx.get(), SIGNAL(SendMasterPanelVersion(QString)), &sink, SLOT(onVersion(QString)), kind));
        ASSERT_TRUE(QObject::connect(rx.get(), SIGNAL(SendError(QString)), &sink, SLOT(onError(QString)), kind));
        ASSERT_TRUE(tx.open());
        kv::UdpSocket probe;
        ASSERT_TRUE(probe.open() && probe.bindAny(0));
        port = probe.localPort();
    }
    void start() {
        rx->equipPort = port;
        rx->start();
        ASSERT_TRUE(eventually([&] { return rx->listening.load(); }));
    }
    void send(const std::uint8_t* data, std::size_t len) {
        ASSERT_EQ(tx.sendTo("127.0.0.1", port, data, len), long(len));
    }
    // Sends the packets and waits until the thread has handed all of them over, leaving every
    // delivery queued: the receivers run only after the thread has moved on.
    void sendAndLetThemQueue(const std::vector<Packet>& ps) {
        const auto before = rx->packetsAccepted.load();
        for (const Packet& p : ps) send(p.data(), p.size());
        ASSERT_TRUE(eventually([&] { return rx->packetsAccepted.load() == before + ps.size(); }, false));
    }
    void expectDelivered(std::size_t i, const Packet& p) {
        SettingData d;
        std::vector<int> mac;
        ASSERT_TRUE(decodeStatusPacket(p.data(), p.size(), d, mac));
        ASSERT_LT(i, sink.records.size());
        EXPECT_EQ(sink.records[i], d);
        EXPECT_EQ(sink.macs[i], mac);
        EXPECT_EQ(sink.packets[i], p);
        EXPECT_EQ(sink.versions[i].toStdString(), firmwareVersionText(p.data()));
    }

    std::unique_ptr<GetSet> rx = std::make_unique<GetSet>();
    StatusSink sink;
    kv::UdpSocket tx;
    int port = 0;
};

TEST_F(StatusReceiver, EachDeliveryReadsItsOwnPacketHoweverLateTheReceiversRun) {
    start();
    const std::vector<Packet> ps = {statusPacket(1), statusPacket(2), statusPacket(3)};
    sendAndLetThemQueue(ps);
    ASSERT_TRUE(eventually([&] { return sink.log.size() == 9; }));
    EXPECT_EQ(sink.log.join(" "), "status difo version status difo version status difo version");
    for (std::size_t i = 0; i < ps.size(); ++i) expectDelivered(i, ps[i]);
    EXPECT_EQ(rx->lastStatus()->packet, ps[2]);

    // Deliveries still queued when the thread object is destroyed read intact data too.
    sendAndLetThemQueue({statusPacket(4), statusPacket(5)});
    rx.reset();
    ASSERT_TRUE(eventually([&] { return sink.records.size() == 5; }));
    expectDelivered(3, statusPacket(4));
    expectDelivered(4, statusPacket(5));
}

TEST_F(StatusReceiver, OnlyWholeStatusPacketsAreDelivered) {
    start();
    std::vector<std::uint8_t> big(1300);
    kv::statuspkt::writeHeader(big.data());
    Packet wrongHeader = statusPacket(7);
    wrongHeader[3] = 0x5B;
    send(wrongHeader.data(), wrongHeader.size());
    for (std::size_t len : {std::size_t(1300), std::size_t(1207), std::size_t(1205), std::size_t(0)}) send(big.data(), len);
    ASSERT_TRUE(eventually([&] { return rx->datagramsRejected.load() == 5; }));
    EXPECT_EQ(rx->rejectedWrongHeader.load(), 1u);
    EXPECT_EQ(rx->rejectedWrongSize.load(), 4u);
    EXPECT_EQ(rx->lastStatusSteadyMs.load(), 0) << "no status packet yet";
    const Packet good = statusPacket(8);
    send(good.data(), good.size());
    ASSERT_TRUE(eventually([&] { return sink.log.size() == 3; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(sink.log.join(" "), "status difo version");
    expectDelivered(0, good);
    EXPECT_GT(rx->lastStatusSteadyMs.load(), 0);
}

// The socket breaks under the receiver (a non-socket takes its descriptor): one report, no spin.
TEST_F(StatusReceiver, AFailingReceiveIsReportedOnceAndBacksOff) {
    start();
    const int fd = kvtest::udpSocketFdBoundTo(port);
    ASSERT_GE(fd, 0) << "the receiver's socket is not among this process's descriptors";
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(devNull, 0);
    ASSERT_EQ(::dup2(devNull, fd), fd);
    ::close(devNull);
    ASSERT_TRUE(eventually([&] { return !sink.errors.empty(); }));
    std::this_thread::sleep_for(1500ms);
    QCoreApplication::processEvents();
    ASSERT_EQ(sink.errors.size(), 1u) << "reported once";
    EXPECT_EQ(sink.errors[0], QString("Equi Port:%1 : Receive Error (%2)").arg(port).arg(std::strerror(ENOTSOCK)));
    EXPECT_GE(rx->receiveErrors.load(), 2u);
    EXPECT_LT(rx->receiveErrors.load(), 20u) << "a spinning receiver fails millions of times a second";
    rx->stopRequested = true;
    EXPECT_TRUE(rx->wait(2000)) << "the back-off still sees the stop flag";
}

TEST_F(StatusReceiver, PortInUseReportsBindErrorAndEnds) {
    kv::UdpSocket holder;
    ASSERT_TRUE(holder.open() && holder.bindAny(port));
    rx->equipPort = port;
    rx->start();
    ASSERT_TRUE(rx->wait(10000));
    ASSERT_TRUE(eventually([&] { return !sink.errors.empty(); }));
    EXPECT_EQ(sink.log.join(" "), "error");
    EXPECT_EQ(sink.errors[0].toStdString(), "Equi Port:" + std::to_string(port) + " : Bind Error");
    EXPECT_FALSE(rx->stopRequested.load());
}

TEST_F(StatusReceiver, StopFlagEndsTheRunAndTheLastStatusStays) {
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        start();
        sendAndLetThemQueue({statusPacket(run)});
        rx->stopRequested = true;
        // Seen within one 100 ms receive time-out; the bound leaves room for a loaded machine.
        ASSERT_TRUE(rx->wait(500));
        EXPECT_FALSE(rx->stopRequested.load());
        EXPECT_FALSE(rx->listening.load());
        EXPECT_EQ(rx->lastStatus()->packet, statusPacket(run));
        ASSERT_TRUE(eventually([&] { return sink.records.size() == std::size_t(run); }));
    }
    EXPECT_TRUE(sink.errors.empty());
}

}  // namespace

// The simulated sensor's status packets, sent by the real program, arrive decoded.
TEST_F(StatusReceiver, SimulatedSensorStatusArrivesDecoded) {
    start();
    kv::UdpSocket dataProbe;
    ASSERT_TRUE(dataProbe.open() && dataProbe.bindAny(0));
    const int dataPort = dataProbe.localPort();
    const std::string command = std::string(KV_BIN_DIR) + "/kv-sensor-sim --rpm 1200 --seconds 1 --bind-port 0" +
                                " --data-port " + std::to_string(dataPort) + " --equip-port " + std::to_string(port) +
                                " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(eventually([&] { return !sink.records.empty(); }));
    const SettingData& d = sink.records.front();
    const std::vector<int>& mac = sink.macs.front();
    EXPECT_EQ(d.motorSpeed, 1200);
    EXPECT_EQ(d.motorState, 0);
    EXPECT_EQ(mac.at(6), dataPort);
    EXPECT_EQ(mac.at(7), port);
    EXPECT_EQ(sink.log.mid(0, 3), QStringList({"status", "difo", "version"}));
    EXPECT_TRUE(sink.versions.front().contains("-V")) << sink.versions.front().toStdString();
    EXPECT_TRUE(sink.errors.isEmpty());
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

#include "status_getset_loopback_test.moc"
