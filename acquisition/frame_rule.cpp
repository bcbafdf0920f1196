#include "frame_rule.h"

namespace kv {

FrameRule::FrameRule(FramePolicy policy, bool productionMode, unsigned seed, std::size_t maxFramePoints)
    : policy_(policy),
      productionMode_(policy == FramePolicy::kLive && productionMode),
      rng_(seed == 0 ? 1u : seed),
      maxPoints_(maxFramePoints) {
    drawProductionLine();
}

void FrameRule::restart() {
    markers_ = 0;
    first_.clear();
    second_.clear();
    drawProductionLine();
}

void FrameRule::startNextFrame(std::size_t capacity, bool dualLayout) {
    first_ = MuchLidarData();
    second_ = MuchLidarData();
    first_.reserve(capacity);
    if (dualLayout) second_.reserve(capacity);
    markers_ = 1;
    drawProductionLine();
}

}  // namespace kv
