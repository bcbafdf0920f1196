// The simulated sensor's data stream: period after period, one line sweeps 0-180 degrees
// at a fixed step (period p scans line p % 4), and a marker record precedes every period,
// so a receiver that starts with the stream sees each frame as lines 0, 1, 2, 3.
// Records pack back to back across packets of either layout. Pure: no clock, no sockets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene.h"

namespace kv::sim {

struct StreamConfig {
    bool dualEcho = false;
    double stepDeg = 0.1;  // must be a multiple of 0.01 degrees
    std::uint32_t seed = 1;
};

class DataStream {
public:
    static constexpr int kLines = 4;
    static constexpr int kPeriodsPerFrame = 4;

    explicit DataStream(const StreamConfig& cfg);

    // Writes the next 1206-byte data packet into `packet`.
    void next(std::uint8_t* packet);

    // Azimuth steps in one sweep, both ends included: 1801 at 0.1 degrees.
    int pointsPerPeriod() const { return int(sweep_.size()); }
    int recordsPerPacket() const;
    // Records of one period, its marker included.
    int recordsPerPeriod() const { return pointsPerPeriod() + 1; }
    // Data packets a second for a motor turning at `rpm` (periods a second = rpm / 15).
    double packetsPerSecond(double rpm) const;

    std::uint64_t packetsBuilt() const { return packets_; }
    // Periods whose every point has been packed.
    std::uint64_t periodsCompleted() const { return period_; }
    std::uint64_t framesCompleted() const { return period_ / kPeriodsPerFrame; }
    bool dualEcho() const { return cfg_.dualEcho; }

private:
    struct SweepStep {
        std::uint32_t azimuthUnits;  // in the layout's own unit
        double azimuthDeg;
        StaticHits fixed;
    };

    void writeRecord(std::uint8_t* r);

    StreamConfig cfg_;
    Scene scene_;
    std::vector<SweepStep> sweep_;
    std::uint64_t period_ = 0;
    int position_ = 0;  // 0 = the marker, then 1..pointsPerPeriod()
    std::uint64_t packets_ = 0;
};

}  // namespace kv::sim
