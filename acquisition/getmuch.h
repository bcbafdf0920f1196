// The data-port receiver: binds the data port, takes exactly-1206-byte datagrams, cuts them
// into frames and hands each finished frame to the window by value.
#pragma once

#include <QString>
#include <QThread>
#include <atomic>
#include <mutex>
#include <vector>

#include "sensor_streams.h"

namespace kv {
struct HealthCounters;
}
#include <cstdint>
#include <string>

#include "metatypes.h"

// Byte 1205 of the most recently accepted data packet (2 = dual-echo layout); written by the
// receiver and the capture replay, read by the frame display.
extern std::atomic<int> EchoFlag;

class GetMuch : public QThread {
    Q_OBJECT
public:
    explicit GetMuch(QObject* parent = nullptr);
    ~GetMuch() override;

    // Set by the owner before start; they take effect at the next start.
    int dataPort = 2368;
    std::string multicastAddress = "224.1.1.1";
    bool productionMode = false;  // one random line per frame

    std::atomic<int> echoMode{0};         // 0 DualEcho, 1 FirstEcho, 2 SecondEcho; any time
    std::atomic<bool> stopRequested{false};

    // Counters of the current (or last) run, readable from any thread.
    std::atomic<std::uint64_t> packetsAccepted{0};
    std::atomic<std::uint64_t> datagramsRejected{0};  // wrong size, oversize or empty
    std::atomic<std::uint64_t> framesEmitted{0};
    std::atomic<std::uint64_t> kernelDrops{0};        // dropped by the kernel: receive buffer full
    std::atomic<int> receiveBufferBytes{0};           // what the kernel granted
    std::atomic<bool> listening{false};               // the socket is bound and receiving
    std::atomic<std::uint32_t> lastSourceIp{0};       // sender of the last accepted packet (host order)
    std::atomic<std::uint64_t> framePointsDropped{0}; // beyond the frame bound (no markers)
    std::atomic<std::uint64_t> receiveErrors{0};      // failed receive calls (not time-outs)
    // Several sensors on the data port: the leading one (an index of sensorStats()) and a bit
    // per sensor not shown. Any time.
    std::atomic<int> leadSensor{0};
    std::atomic<std::uint64_t> hiddenSensors{0};
    // Each sensor seen in this run (or the last), in the order first seen: the index its
    // points carry in merged frames. Refreshed a few times a second.
    std::vector<kv::SensorStreams::Stats> sensorStats() const;
    static constexpr int kStatsEveryMs = 200;
    // Adds this receiver's counters to a health sample.
    void addHealthCounters(kv::HealthCounters& c) const;

    static constexpr int kReceiveTimeoutMs = 100;
    static constexpr int kReceiveBufferRequest = 16 * 1024 * 1024;

signals:
    void SendLidarData(MuchLidarData lidardata);
    void SendError(QString str);

protected:
    void run() override;

private:
    void sleepUnlessStopped(int ms);
    mutable std::mutex statsMutex_;
    std::vector<kv::SensorStreams::Stats> stats_;
};
