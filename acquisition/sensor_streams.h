// Several sensors on one data port: each sender (source address and port) is a sensor with a
// frame rule of its own, so that no frame mixes two sensors' marker periods; and the merged
// frames the window shows: at each frame of the leading sensor, the latest complete frame of
// every other visible sensor is added, each point carrying its sensor's index. With one sensor
// the frames pass as they are. Pure: no sockets, threads or clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "frame_rule.h"
#include "much_lidar_data.h"

namespace kv {

struct SensorSource {
    std::uint32_t ip = 0;  // host order
    std::uint16_t port = 0;
    bool operator==(const SensorSource& o) const { return ip == o.ip && port == o.port; }
    bool operator!=(const SensorSource& o) const { return !(*this == o); }
};
// "ADDR:PORT", as sensors.ini keys a sensor.
std::string sourceText(const SensorSource& s);

class SensorStreams {
public:
    // The most sensors told apart; packets of further senders are dropped and counted.
    static constexpr std::size_t kMaxSensors = 16;

    explicit SensorStreams(bool productionMode = false, unsigned seed = 0);

    // One data packet from `source`, received at `nowMs`; the frames ready to show go to `out`.
    // False when the packet was dropped (a sender beyond kMaxSensors).
    bool feed(const SensorSource& source, const std::uint8_t* packet, int echo, std::int64_t nowMs,
              std::vector<MuchLidarData>& out);
    // Forgets every sensor: a receiver's start.
    void restart();

    // The leading sensor (an index of sensors(); 0 by default) and which sensors are shown.
    void setLead(std::size_t index) { lead_ = index; }
    void setVisible(std::size_t index, bool visible);
    std::size_t lead() const { return lead_; }

    struct Stats {
        SensorSource source;
        std::uint64_t packets = 0;
        std::uint64_t frames = 0;
        std::int64_t lastPacketMs = 0;
    };
    std::vector<Stats> stats() const;
    std::size_t count() const { return sensors_.size(); }
    std::uint64_t droppedPackets() const { return dropped_; }
    std::uint64_t droppedPoints() const;  // at the frame bound, every sensor's

private:
    struct Sensor {
        Stats stats;
        FrameRule rule;
        MuchLidarData latest;  // its last complete frame, for the merge
        bool hasLatest = false;
        bool visible = true;
    };
    void merge(std::size_t from, MuchLidarData&& frame, std::vector<MuchLidarData>& out);

    bool productionMode_;
    unsigned seed_;
    std::vector<Sensor> sensors_;
    std::size_t lead_ = 0;
    std::uint64_t dropped_ = 0;
    std::vector<MuchLidarData> ready_;  // scratch: one sensor's frames of one packet
};

}  // namespace kv
