#include "sensor_streams.h"

namespace kv {

std::string sourceText(const SensorSource& s) {
    return std::to_string(s.ip >> 24) + "." + std::to_string((s.ip >> 16) & 0xFF) + "." +
           std::to_string((s.ip >> 8) & 0xFF) + "." + std::to_string(s.ip & 0xFF) + ":" + std::to_string(s.port);
}

SensorStreams::SensorStreams(bool productionMode, unsigned seed) : productionMode_(productionMode), seed_(seed) {}

void SensorStreams::restart() {
    sensors_.clear();
    dropped_ = 0;
}

void SensorStreams::setVisible(std::size_t index, bool visible) {
    if (index < sensors_.size()) sensors_[index].visible = visible;
}

std::vector<SensorStreams::Stats> SensorStreams::stats() const {
    std::vector<Stats> out;
    for (const Sensor& s : sensors_) out.push_back(s.stats);
    return out;
}

std::uint64_t SensorStreams::droppedPoints() const {
    std::uint64_t n = 0;
    for (const Sensor& s : sensors_) n += s.rule.droppedPoints();
    return n;
}

bool SensorStreams::feed(const SensorSource& source, const std::uint8_t* packet, int echo, std::int64_t nowMs,
                         std::vector<MuchLidarData>& out) {
    std::size_t i = 0;
    while (i < sensors_.size() && sensors_[i].stats.source != source) ++i;
    if (i == sensors_.size()) {
        if (sensors_.size() >= kMaxSensors) {
            ++dropped_;
            return false;
        }
        sensors_.push_back({{source, 0, 0, 0},
                            FrameRule(FramePolicy::kLive, productionMode_, seed_ + unsigned(i)),
                            MuchLidarData(),
                            false,
                            true});
    }
    Sensor& s = sensors_[i];
    ++s.stats.packets;
    s.stats.lastPacketMs = nowMs;
    ready_.clear();
    s.rule.feed(packet, echo, ready_);
    for (MuchLidarData& frame : ready_) {
        ++sensors_[i].stats.frames;
        merge(i, std::move(frame), out);
    }
    return true;
}

void SensorStreams::merge(std::size_t from, MuchLidarData&& frame, std::vector<MuchLidarData>& out) {
    if (sensors_.size() == 1) {  // one sensor: its frames as they are
        out.push_back(std::move(frame));
        return;
    }
    const std::size_t lead = lead_ < sensors_.size() ? lead_ : 0;
    if (from != lead) {
        sensors_[from].latest = std::move(frame);
        sensors_[from].hasLatest = true;
        return;
    }
    MuchLidarData merged;
    if (sensors_[lead].visible) {
        merged = std::move(frame);
        merged.sensor.assign(merged.size(), std::uint8_t(lead));
    }
    for (std::size_t k = 0; k < sensors_.size(); ++k) {
        const Sensor& s = sensors_[k];
        if (k != lead && s.visible && s.hasLatest) merged.appendSensor(s.latest, std::uint8_t(k));
    }
    out.push_back(std::move(merged));
}

}  // namespace kv
