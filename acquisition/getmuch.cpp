#include "getmuch.h"
#include "receiver_health.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "data_packet.h"
#include "frame_rule.h"
#include "sensor_streams.h"
#include "receive_backoff.h"
#include "udp_socket.h"

std::atomic<int> EchoFlag{0};

namespace kv {
void registerAcquisitionMetaTypes() {
    qRegisterMetaType<MuchLidarData>("MuchLidarData");
    qRegisterMetaType<MuchLidarData>("struct MuchLidarData");
}
}  // namespace kv

GetMuch::GetMuch(QObject* parent) : QThread(parent) { kv::registerAcquisitionMetaTypes(); }

GetMuch::~GetMuch() {
    stopRequested = true;
    wait();
}

void GetMuch::sleepUnlessStopped(int ms) {
    // In slices no longer than the receive time-out, so a stop is seen as promptly as ever.
    for (int left = ms; left > 0 && !stopRequested.load(std::memory_order_relaxed); left -= kReceiveTimeoutMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, kReceiveTimeoutMs)));
}

void GetMuch::run() {
    packetsAccepted = 0;
    datagramsRejected = 0;
    framesEmitted = 0;
    kernelDrops = 0;
    framePointsDropped = 0;
    receiveErrors = 0;

    {
        std::lock_guard<std::mutex> lock(statsMutex_);
        stats_.clear();  // the sensors of this run only
    }
    kv::UdpSocket socket;
    if (!socket.open() || !socket.bindAny(dataPort)) {
        emit SendError(QString("Data Port:%1 : Bind Error").arg(dataPort));
        stopRequested = false;
        return;
    }
    socket.joinMulticast(multicastAddress);  // an unusable group leaves a plain listener
    receiveBufferBytes = socket.setReceiveBufferBytes(kReceiveBufferRequest);
    socket.enableDropCounter();

    kv::SensorStreams sensors(productionMode, unsigned(std::time(nullptr)));
    std::int64_t lastStatsMs = 0;
    if (!socket.setReceiveTimeoutMs(kReceiveTimeoutMs))
        emit SendError("Data : Set SO_RCVTIMEO timeout error!!");

    // One buffer byte more than a packet: a datagram that fills it is too long, whatever the
    // kernel says about truncation.
    constexpr std::size_t kSlot = kv::datapkt::kPacketBytes + 1;
    constexpr int kBatch = 32;
    std::vector<std::uint8_t> buffers(kSlot * kBatch);
    kv::UdpSocket::Datagram datagrams[kBatch];
    std::vector<MuchLidarData> frames;

    kv::ReceiveBackoff backoff;
    listening = true;
    while (!stopRequested.load(std::memory_order_relaxed)) {
        const int n = socket.receiveBatch(buffers.data(), kSlot, datagrams, kBatch);
        if (n < 0) {
            const kv::ReceiveBackoff::Step step = backoff.failed();
            receiveErrors.store(backoff.failures(), std::memory_order_relaxed);
            if (step.report)
                emit SendError(QString("Data Port:%1 : Receive Error (%2)")
                                   .arg(dataPort)
                                   .arg(QString::fromLocal8Bit(std::strerror(socket.lastReceiveError()))));
            sleepUnlessStopped(step.delayMs);
            continue;
        }
        backoff.succeeded();
        std::uint64_t accepted = 0;
        for (int i = 0; i < n; ++i) {
            if (datagrams[i].truncated || datagrams[i].length != kv::datapkt::kPacketBytes) {
                datagramsRejected.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            const std::uint8_t* packet = buffers.data() + std::size_t(i) * kSlot;
            const std::uint64_t hidden = hiddenSensors.load(std::memory_order_relaxed);
            sensors.setLead(std::size_t(leadSensor.load(std::memory_order_relaxed)));
            for (std::size_t k = 0; k < sensors.count(); ++k) sensors.setVisible(k, !((hidden >> k) & 1u));
            if (!sensors.feed({datagrams[i].sourceIp, datagrams[i].sourcePort}, packet,
                              echoMode.load(std::memory_order_relaxed), kv::steadyNowMs(), frames)) {
                datagramsRejected.fetch_add(1, std::memory_order_relaxed);  // a sender too many
                continue;
            }
            EchoFlag.store(packet[kv::datapkt::kEchoFlagOffset], std::memory_order_relaxed);
            lastSourceIp.store(datagrams[i].sourceIp, std::memory_order_relaxed);
            ++accepted;
        }
        packetsAccepted.fetch_add(accepted, std::memory_order_relaxed);
        kernelDrops.store(socket.kernelDrops(), std::memory_order_relaxed);
        framePointsDropped.store(sensors.droppedPoints(), std::memory_order_relaxed);
        if (const std::int64_t now = kv::steadyNowMs(); now - lastStatsMs >= kStatsEveryMs || n == 0) {
            lastStatsMs = now;
            std::lock_guard<std::mutex> lock(statsMutex_);
            stats_ = sensors.stats();
        }
        for (MuchLidarData& f : frames) {
            emit SendLidarData(std::move(f));
            framesEmitted.fetch_add(1, std::memory_order_relaxed);
        }
        frames.clear();
    }
    listening = false;
    socket.close();
    stopRequested = false;  // the unfinished frame goes with the assembler
}

std::vector<kv::SensorStreams::Stats> GetMuch::sensorStats() const {
    std::lock_guard<std::mutex> lock(statsMutex_);
    return stats_;
}

void GetMuch::addHealthCounters(kv::HealthCounters& c) const {
    c.packetsAccepted = packetsAccepted.load();
    c.rejectedWrongSize = datagramsRejected.load();
    c.kernelDrops = kernelDrops.load();
    c.framePointsDropped = framePointsDropped.load();
    c.receiveErrors += receiveErrors.load();
    c.sourceIp = lastSourceIp.load();
}
