#include "trail.h"

#include <algorithm>

namespace kv {

bool trailClears(TrailEvent event) {
    switch (event) {
        case TrailEvent::kEchoChanged:
        case TrailEvent::kLinesChanged:
        case TrailEvent::kAngleRangeChanged:
        case TrailEvent::kColourModeChanged:
        case TrailEvent::kLidarPressed:
        case TrailEvent::kCaptureOpened:
        case TrailEvent::kPcdDirOpened:
        case TrailEvent::kReplaySeek:
        case TrailEvent::kViewCleared:
            return true;
        case TrailEvent::kLengthChanged:  // shortening drops the oldest only
        case TrailEvent::kFrameHandled:
            return false;
    }
    return true;
}

std::vector<std::uint64_t> TrailBook::trim() {
    std::vector<std::uint64_t> dropped;
    while (held_.size() > static_cast<std::size_t>(length_)) {
        dropped.push_back(held_.front());
        held_.pop_front();
    }
    return dropped;
}

std::vector<std::uint64_t> TrailBook::setLength(int length) {
    length_ = std::clamp(length, kTrailMin, kTrailMax);
    return trim();
}

std::vector<std::uint64_t> TrailBook::push(std::uint64_t seq) {
    held_.push_back(seq);
    return trim();
}

TrailBook::Step TrailBook::advance(std::uint64_t seq) {
    Step step;
    const std::optional<std::uint64_t> current =
        held_.empty() ? std::nullopt : std::optional<std::uint64_t>(held_.back());
    step.dropped = push(seq);
    if (current) {
        const auto it = std::find(step.dropped.begin(), step.dropped.end(), *current);
        if (it == step.dropped.end()) step.older = current;
        else step.dropped.erase(it);  // it never was an older frame
    }
    return step;
}

std::vector<std::uint64_t> TrailBook::clear() {
    std::vector<std::uint64_t> all(held_.begin(), held_.end());
    held_.clear();
    return all;
}

}  // namespace kv
