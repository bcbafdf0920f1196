// The sensors the window knows: those the receiver (or a capture's streams) numbered, by the
// index their points carry, each with the name, pose and visibility kept for its source in
// sensors.ini; and every sensor the file describes, seen now or not, so that saving keeps them.
// Plain C++.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sensor_pose.h"
#include "sensors_file.h"

namespace kv {

class SensorBook {
public:
    explicit SensorBook(std::vector<SensorEntry> saved = {});

    // The sensors in use start over (a new live run or capture); saved entries stay.
    void clearInUse();
    // Sensor `index` is `source` ("ADDR:PORT"). Indices come in order from 0.
    void use(std::size_t index, const std::string& source);
    std::size_t size() const { return inUse_.size(); }
    const SensorEntry& at(std::size_t index) const { return entries_[inUse_[index]]; }
    // The sensor's name, or its source when it has none.
    std::string label(std::size_t index) const;

    void setName(std::size_t index, const std::string& name);
    void setPose(std::size_t index, const Pose& pose);
    void setVisible(std::size_t index, bool visible);

    // The poses by index for the display pass; empty when every pose is the identity, so that a
    // frame is computed exactly as without poses.
    SensorPoses poses() const;
    // A bit per sensor in use that is not shown.
    std::uint64_t hiddenMask() const;
    // Every entry, for sensors.ini.
    const std::vector<SensorEntry>& entries() const { return entries_; }

private:
    std::vector<SensorEntry> entries_;
    std::vector<std::size_t> inUse_;  // index -> entry
};

}  // namespace kv
