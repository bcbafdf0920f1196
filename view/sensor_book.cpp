#include "sensor_book.h"

namespace kv {

SensorBook::SensorBook(std::vector<SensorEntry> saved) : entries_(std::move(saved)) {}

void SensorBook::clearInUse() { inUse_.clear(); }

void SensorBook::use(std::size_t index, const std::string& source) {
    if (index < inUse_.size()) {
        if (entries_[inUse_[index]].source == source) return;
    } else if (index != inUse_.size()) {
        return;  // indices come in order
    }
    std::size_t e = 0;
    while (e < entries_.size() && entries_[e].source != source) ++e;
    if (e == entries_.size()) entries_.push_back({source, "", Pose{}, true});
    if (index < inUse_.size()) inUse_[index] = e;
    else inUse_.push_back(e);
}

std::string SensorBook::label(std::size_t index) const {
    const SensorEntry& e = at(index);
    return e.name.empty() ? e.source : e.name;
}

void SensorBook::setName(std::size_t index, const std::string& name) {
    if (index < inUse_.size()) entries_[inUse_[index]].name = name;
}
void SensorBook::setPose(std::size_t index, const Pose& pose) {
    if (index < inUse_.size()) entries_[inUse_[index]].pose = pose;
}
void SensorBook::setVisible(std::size_t index, bool visible) {
    if (index < inUse_.size()) entries_[inUse_[index]].visible = visible;
}

SensorPoses SensorBook::poses() const {
    SensorPoses out;
    bool any = false;
    for (std::size_t i = 0; i < inUse_.size(); ++i) {
        out.emplace_back(at(i).pose);
        any = any || !at(i).pose.isIdentity();
    }
    if (!any) out.clear();
    return out;
}

std::uint64_t SensorBook::hiddenMask() const {
    std::uint64_t mask = 0;
    for (std::size_t i = 0; i < inUse_.size() && i < 64; ++i)
        if (!at(i).visible) mask |= std::uint64_t(1) << i;
    return mask;
}

}  // namespace kv
