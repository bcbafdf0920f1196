#include "data_stream.h"

#include <cmath>
#include <cstring>

#include "data_packet.h"

namespace kv::sim {

namespace {
constexpr double kSweepDeg = 180.0;
constexpr double kPeriodsPerSecondPerRpm = 1.0 / 15.0;
}  // namespace

DataStream::DataStream(const StreamConfig& cfg) : cfg_(cfg), scene_(cfg.seed) {
    // Work in hundredths of a degree so that 180 / step is exact for every valid step.
    const long stepCentiDeg = std::lround(cfg_.stepDeg * 100.0);
    const long step = stepCentiDeg > 0 ? stepCentiDeg : 10;
    const double unitsPerDeg = cfg_.dualEcho ? datapkt::dual::kAzimuthUnitsPerDeg
                                             : datapkt::single::kAzimuthUnitsPerDeg;
    for (long centi = 0; centi <= long(kSweepDeg * 100); centi += step) {
        const double deg = double(centi) / 100.0;
        sweep_.push_back({std::uint32_t(std::lround(deg * unitsPerDeg)), deg, scene_.castStatic(deg)});
    }
}

int DataStream::recordsPerPacket() const {
    return int(cfg_.dualEcho ? datapkt::dual::kRecordCount : datapkt::single::kRecordCount);
}

double DataStream::packetsPerSecond(double rpm) const {
    return rpm * kPeriodsPerSecondPerRpm * recordsPerPeriod() / recordsPerPacket();
}

void DataStream::writeRecord(std::uint8_t* r) {
    if (position_ == 0) {
        datapkt::writeMarker(r);
        position_ = 1;
        return;
    }
    const SweepStep& s = sweep_[std::size_t(position_ - 1)];
    const int line = int(period_ % kLines);
    const std::uint64_t noiseKey = (period_ << 24) ^ (std::uint64_t(line) << 20) ^ std::uint64_t(position_);
    const Returns ret = scene_.shade(s.fixed, s.azimuthDeg, period_, noiseKey);
    if (cfg_.dualEcho) {
        datapkt::writeDual(r, line, s.azimuthUnits, datapkt::distanceUnits(ret.first.distanceCm),
                           ret.first.intensity, datapkt::distanceUnits(ret.second.distanceCm),
                           ret.second.intensity);
    } else {
        datapkt::writeSingle(r, line, s.azimuthUnits, datapkt::distanceUnits(ret.first.distanceCm),
                             ret.first.intensity);
    }
    if (++position_ > pointsPerPeriod()) {
        position_ = 0;
        ++period_;
    }
}

void DataStream::next(std::uint8_t* packet) {
    std::memset(packet, 0, datapkt::kPacketBytes);
    const std::size_t recordBytes =
        cfg_.dualEcho ? datapkt::dual::kRecordBytes : datapkt::single::kRecordBytes;
    const int count = recordsPerPacket();
    for (int i = 0; i < count; ++i) writeRecord(packet + std::size_t(i) * recordBytes);
    datapkt::setEchoFlag(packet, cfg_.dualEcho);
    ++packets_;
}

}  // namespace kv::sim
