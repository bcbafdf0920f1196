// kv-sensor-sim: plays the sensor on this machine. Sends the data stream and a status packet
// a second over UDP (or writes them to a capture file), and takes configuration packets the
// way the device does, so that its next status packets report the change.
//
// Port note: the device takes configuration packets on its port 2368, which is also a
// viewer's default data port. On one machine move the data stream elsewhere (--data-port 2370
// here, 2370 in the viewer) or run with --bind-port 0.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pcap/pcap.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "data_packet.h"
#include "data_stream.h"
#include "sim_options.h"
#include "status_state.h"
#include "udp_socket.h"
#include "wire_frame.h"

namespace {

using kv::sim::DataStream;
using kv::sim::SimOptions;
using kv::sim::StatusState;
namespace wire = kv::sim::wire;

constexpr const char* kProgram = "kv-sensor-sim";
constexpr int kBatchMax = 64;                 // datagrams per sendmmsg / recvmmsg
constexpr double kBurstSeconds = 0.001;       // packets are paced in bursts of about 1 ms
constexpr double kMaxBacklogSeconds = 0.25;   // further behind than this, the schedule restarts
constexpr double kStatusIntervalSeconds = 1.0;
constexpr std::int64_t kCaptureEpoch = 1700000000;  // capture files start here: same seed, same file
constexpr std::array<std::uint8_t, 6> kComputerMac{0x02, 0x4B, 0x56, 0x00, 0x20, 0x02};

volatile std::sig_atomic_t gStopSignal = 0;
extern "C" void onStopSignal(int) { gStopSignal = 1; }

struct Totals {
    std::uint64_t dataPackets = 0;
    std::uint64_t sendFailures = 0;
    std::uint64_t statusPackets = 0;
    double seconds = 0;
};

bool resolveIpv4(const std::string& host, std::uint32_t& out) {
    if (kv::parseIpv4(host, out)) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || res == nullptr) return false;
    out = ntohl(reinterpret_cast<const sockaddr_in*>(res->ai_addr)->sin_addr.s_addr);
    ::freeaddrinfo(res);
    return true;
}

std::uint32_t ipOf(const std::array<std::uint8_t, 4>& a) {
    return (std::uint32_t(a[0]) << 24) | (std::uint32_t(a[1]) << 16) | (std::uint32_t(a[2]) << 8) | a[3];
}

std::array<std::uint8_t, 4> bytesOf(std::uint32_t ip) {
    return {std::uint8_t(ip >> 24), std::uint8_t(ip >> 16), std::uint8_t(ip >> 8), std::uint8_t(ip)};
}

bool isLoopback(std::uint32_t ip) { return (ip >> 24) == 127; }

std::string describeSettings(const kv::sim::SensorSettings& s) {
    char mac[24];
    std::snprintf(mac, sizeof mac, "%02x-%02x-%02x-%02x-%02x-%02x", s.mac[0], s.mac[1], s.mac[2], s.mac[3],
                  s.mac[4], s.mac[5]);
    char text[320];
    std::snprintf(text, sizeof text,
                  "%d rpm, motor %s, sensor %s, destination %s, MAC %s, data port %d, equipment port %d, "
                  "phase lock %s at %.2f deg, packet interval %d",
                  s.motorSpeedRpm, s.motorStopped ? "stopped" : "running", kv::formatIpv4(ipOf(s.sensorIp)).c_str(),
                  kv::formatIpv4(ipOf(s.destIp)).c_str(), mac, s.dataPort, s.equipPort,
                  s.phaseLockOn ? "on" : "off", s.phaseLockAngleUnits / kv::statuspkt::kPhaseLockUnitsPerDeg,
                  s.packetInterval);
    return text;
}

double dataRate(const SimOptions& o, const DataStream& stream, const StatusState& state) {
    return o.pps > 0 ? o.pps : stream.packetsPerSecond(state.settings().motorSpeedRpm);
}

// ---- Capture file: the same stream, timestamped at the simulated rate, as fast as we can.

int runCapture(const SimOptions& o, DataStream& stream, StatusState& state, std::uint32_t destIp,
               Totals& totals) {
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    if (dead == nullptr) {
        std::fprintf(stderr, "%s: libpcap cannot make a capture handle\n", kProgram);
        return 1;
    }
    pcap_dumper_t* dump = pcap_dump_open(dead, o.pcapPath.c_str());
    if (dump == nullptr) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, o.pcapPath.c_str(), pcap_geterr(dead));
        pcap_close(dead);
        return 1;
    }

    const double endSeconds = o.seconds > 0 ? o.seconds : kv::sim::kDefaultCaptureSeconds;
    const double rate = dataRate(o, stream, state);
    const auto& s = state.settings();
    wire::Endpoints ends;
    ends.sourceMac = s.mac;
    ends.destMac = wire::isMulticast(destIp) ? wire::multicastMac(destIp) : kComputerMac;
    ends.sourceIp = ipOf(s.sensorIp);
    ends.destIp = destIp;
    ends.sourcePort = kv::configpkt::kSensorPort;
    ends.ttl = wire::isMulticast(destIp) ? 1 : 64;

    std::uint16_t ipId = 0;
    std::uint64_t statusIndex = 0;
    std::array<std::uint8_t, kv::datapkt::kPacketBytes> payload{};
    auto write = [&](double t, const std::uint8_t* bytes, int port) {
        ends.destPort = std::uint16_t(port);
        const wire::Frame frame = wire::frameDatagram(bytes, ends, ipId++);
        const long long micros = std::llround(t * 1e6);
        pcap_pkthdr h{};
        h.ts.tv_sec = time_t(kCaptureEpoch + micros / 1000000);
        h.ts.tv_usec = suseconds_t(micros % 1000000);
        h.caplen = h.len = bpf_u_int32(frame.size());
        pcap_dump(reinterpret_cast<u_char*>(dump), &h, frame.data());
    };

    while (!gStopSignal) {
        const double tData = double(totals.dataPackets) / rate;
        const double tStatus = double(statusIndex) * kStatusIntervalSeconds;
        const double t = std::min(tData, tStatus);
        if (t >= endSeconds) break;
        if (tStatus <= tData) {
            const kv::sim::StatusPacket pk = state.buildStatusPacket(tStatus);
            write(tStatus, pk.data(), s.equipPort);
            ++statusIndex;
            ++totals.statusPackets;
        } else {
            stream.next(payload.data());
            write(tData, payload.data(), s.dataPort);
            ++totals.dataPackets;
        }
    }
    totals.seconds = endSeconds;

    const bool flushed = pcap_dump_flush(dump) == 0 && !std::ferror(pcap_dump_file(dump));
    pcap_dump_close(dump);
    pcap_close(dead);
    if (!flushed) {
        std::fprintf(stderr, "%s: writing %s failed\n", kProgram, o.pcapPath.c_str());
        return 1;
    }
    return 0;
}

// ---- Live: real-time pacing over UDP, configuration packets on the side.

constexpr int kConfigBatch = 16;
using ConfigBuffers = std::array<std::uint8_t, kv::configpkt::kPacketBytes * kConfigBatch>;

void takeConfigPackets(kv::UdpSocket& rx, ConfigBuffers& buffers, StatusState& state) {
    kv::UdpSocket::Datagram got[kConfigBatch];
    const int n = rx.receiveBatch(buffers.data(), kv::configpkt::kPacketBytes, got, kConfigBatch);
    for (int i = 0; i < n; ++i) {
        // The true length goes in: anything but 1206 bytes is refused before it is read.
        const std::uint8_t* bytes = buffers.data() + std::size_t(i) * kv::configpkt::kPacketBytes;
        if (state.applyConfigPacket(bytes, got[i].length))
            std::fprintf(stderr, "%s: configuration applied: %s\n", kProgram,
                         describeSettings(state.settings()).c_str());
    }
}

int runLive(const SimOptions& o, DataStream& stream, StatusState& state, std::uint32_t destIp,
            Totals& totals) {
    kv::UdpSocket tx;
    if (!tx.open()) {
        std::perror("kv-sensor-sim: socket");
        return 1;
    }
    std::uint32_t sourceIp = 0;
    if (!o.sourceIp.empty()) kv::parseIpv4(o.sourceIp, sourceIp);  // checked at the start
    // From an address of its own, the simulator sends as a sensor does, from one fixed port (its
    // configuration port, or 2368 when it takes none): the same source at every run, so that
    // the viewer keeps its name and pose. That socket also takes the configuration packets.
    const int sourcePort = o.bindPort != 0 ? o.bindPort : kv::configpkt::kSensorPort;
    if (sourceIp != 0 && !tx.bindTo(sourceIp, sourcePort)) {
        std::fprintf(stderr, "%s: cannot send from %s:%d: %s\n", kProgram, o.sourceIp.c_str(), sourcePort,
                     std::strerror(errno));
        return 1;
    }
    if (wire::isMulticast(destIp)) {
        tx.setMulticastTtl(1);
        tx.setMulticastLoopback(true);
    }
    kv::UdpSocket rx;
    if (o.bindPort != 0 && sourceIp == 0) {
        if (!rx.open() || !rx.bindAny(o.bindPort)) {
            std::fprintf(stderr,
                         "%s: cannot take configuration packets on port %d (in use?); "
                         "choose another with --bind-port, or --bind-port 0 not to listen\n",
                         kProgram, o.bindPort);
            return 1;
        }
        ::fcntl(rx.fd(), F_SETFL, ::fcntl(rx.fd(), F_GETFL) | O_NONBLOCK);
    }

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };

    // Signals are taken only while waiting in ppoll, so a stop never falls between the test of
    // the flag and the wait.
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);

    std::vector<std::array<std::uint8_t, kv::datapkt::kPacketBytes>> batch(kBatchMax);
    const std::uint8_t* pointers[kBatchMax];
    std::size_t lengths[kBatchMax];
    for (int i = 0; i < kBatchMax; ++i) {
        pointers[i] = batch[std::size_t(i)].data();
        lengths[i] = kv::datapkt::kPacketBytes;
    }

    ConfigBuffers configBuffers{};
    double nextData = 0, nextStatus = 0;
    while (!gStopSignal) {
        double now = elapsed();
        if (o.seconds > 0 && now >= o.seconds) break;
        const auto& s = state.settings();

        if (now >= nextStatus) {
            const kv::sim::StatusPacket pk = state.buildStatusPacket(now);
            tx.sendTo(destIp, s.equipPort, pk.data(), pk.size());
            ++totals.statusPackets;
            nextStatus = std::max(nextStatus + kStatusIntervalSeconds, now);
        }

        const double rate = dataRate(o, stream, state);  // a configuration packet may change the speed
        const int burst = std::clamp(int(rate * kBurstSeconds), 1, kBatchMax);
        if (s.motorStopped || now - nextData > kMaxBacklogSeconds) {
            nextData = now;  // no backlog: a stopped motor sends nothing, a late one skips ahead
        }
        if (!s.motorStopped && now >= nextData + (burst - 1) / rate) {
            const int due = std::min(kBatchMax, int(std::floor((now - nextData) * rate)) + 1);
            for (int i = 0; i < due; ++i) stream.next(batch[std::size_t(i)].data());
            const int sent = std::max(0, tx.sendBatch(destIp, s.dataPort, pointers, lengths, due));
            totals.dataPackets += std::uint64_t(sent);
            totals.sendFailures += std::uint64_t(due - sent);
            nextData += due / rate;
        }

        // Sleep until the next burst or status packet, or until a configuration packet arrives.
        now = elapsed();
        double wake = nextStatus;
        if (!s.motorStopped) wake = std::min(wake, nextData + (burst - 1) / rate);
        if (o.seconds > 0) wake = std::min(wake, o.seconds);
        const double wait = std::max(0.0, wake - now);
        timespec ts{};
        ts.tv_sec = time_t(wait);
        ts.tv_nsec = long((wait - double(ts.tv_sec)) * 1e9);
        kv::UdpSocket& config = sourceIp != 0 ? tx : rx;
        const bool listening = sourceIp != 0 ? o.bindPort != 0 : rx.isOpen();
        pollfd pfd{config.fd(), POLLIN, 0};
        const int ready = ::ppoll(listening ? &pfd : nullptr, listening ? 1 : 0, &ts, &waitMask);
        // Ready to read: the receive returns at once, blocking socket or not.
        if (ready > 0 && (pfd.revents & POLLIN)) takeConfigPackets(config, configBuffers, state);
    }
    totals.seconds = elapsed();
    sigprocmask(SIG_UNBLOCK, &stopSignals, nullptr);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions o;
    std::string message;
    switch (kv::sim::parseOptions(argc, argv, o, message)) {
    case kv::sim::ParseOutcome::Help:
        std::fputs(kv::sim::usageText().c_str(), stdout);
        return 0;
    case kv::sim::ParseOutcome::Version:
        std::fputs(kv::sim::versionText().c_str(), stdout);
        return 0;
    case kv::sim::ParseOutcome::Error:
        std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
        return 2;
    case kv::sim::ParseOutcome::Run:
        break;
    }

    std::uint32_t destIp = 0;
    if (!resolveIpv4(o.dest, destIp)) {
        std::fprintf(stderr, "%s: --dest: cannot resolve '%s' to an IPv4 address\n", kProgram, o.dest.c_str());
        return 2;
    }
    kv::sim::SensorSettings initial;
    std::uint32_t sourceIp = 0;
    if (!o.sourceIp.empty() && !kv::parseIpv4(o.sourceIp, sourceIp)) {
        std::fprintf(stderr, "%s: --source-ip: '%s' is not a dotted IPv4 address\n", kProgram, o.sourceIp.c_str());
        return 2;
    }
    std::uint32_t sensorIp = sourceIp != 0 ? sourceIp : isLoopback(destIp) ? 0x7F000002u : ipOf(initial.sensorIp);
    if (!o.sensorIp.empty() && !kv::parseIpv4(o.sensorIp, sensorIp)) {
        std::fprintf(stderr, "%s: --sensor-ip: '%s' is not a dotted IPv4 address\n", kProgram,
                     o.sensorIp.c_str());
        return 2;
    }
    initial.sensorIp = bytesOf(sensorIp);
    initial.destIp = bytesOf(destIp);
    initial.motorSpeedRpm = o.rpm;
    initial.dataPort = o.dataPort;
    initial.equipPort = o.equipPort;

    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    const bool capture = !o.pcapPath.empty();
    StatusState state(initial, o.seed, capture ? kCaptureEpoch : std::int64_t(std::time(nullptr)));
    state.setRefusedFields(o.refusedFields);
    DataStream stream({o.dualEcho, o.stepDeg, o.seed});

    std::fprintf(stderr, "%s: %s, %d points a period, %.1f data packets/s", kProgram,
                 o.dualEcho ? "dual echo" : "single echo", stream.pointsPerPeriod(), dataRate(o, stream, state));
    if (capture)
        std::fprintf(stderr, ", into %s", o.pcapPath.c_str());
    else
        std::fprintf(stderr, " to %s:%d, status to port %d", kv::formatIpv4(destIp).c_str(), o.dataPort,
                     o.equipPort);
    if (!capture && o.bindPort != 0) std::fprintf(stderr, ", configuration on port %d", o.bindPort);
    std::fputc('\n', stderr);
    if (!capture && o.bindPort != 0 && o.bindPort == o.dataPort && (isLoopback(destIp) || wire::isMulticast(destIp)))
        std::fprintf(stderr,
                     "%s: note: data port %d is also the configuration port here, so a viewer on this "
                     "machine cannot bind it; use e.g. --data-port 2370 (and 2370 in the viewer) or "
                     "--bind-port 0\n",
                     kProgram, o.dataPort);

    Totals totals;
    const int rc = capture ? runCapture(o, stream, state, destIp, totals) : runLive(o, stream, state, destIp, totals);
    if (rc != 0) return rc;

    std::fprintf(stderr,
                 "%s: %s %llu data packets (%.0f/s), %llu frames, %llu status packets; "
                 "configuration packets: %llu applied, %llu ignored",
                 kProgram, capture ? "wrote" : "sent", static_cast<unsigned long long>(totals.dataPackets),
                 totals.seconds > 0 ? double(totals.dataPackets) / totals.seconds : 0.0,
                 static_cast<unsigned long long>(stream.framesCompleted()),
                 static_cast<unsigned long long>(totals.statusPackets),
                 static_cast<unsigned long long>(state.configApplied()),
                 static_cast<unsigned long long>(state.configIgnored()));
    if (totals.sendFailures) std::fprintf(stderr, ", %llu not sent", static_cast<unsigned long long>(totals.sendFailures));
    std::fputc('\n', stderr);
    return rc;
}
