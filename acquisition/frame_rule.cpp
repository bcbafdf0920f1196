#include "frame_rule.h"

namespace kv {

FrameRule::FrameRule(FramePolicy policy, bool productionMode, unsigned seed, std::size_t maxFramePoints)
    : policy_(policy),
      productionMode_(policy == FramePolicy::kLive && productionMode),
      rng_(seed == 0 ? 1u : seed),
      maxPoints_(maxFramePoints) {
    drawProductionLine();
}

bool pointFeeds(const FrameTrace& trace, std::size_t frameSize, std::vector<std::uint64_t>& feeds) {
    feeds.clear();
    const auto add = [&](bool dualOnly) {
        for (const FrameTrace::Run& run : trace.runs)
            if (!dualOnly || run.dual) feeds.insert(feeds.end(), run.points, run.feed);
    };
    if (!trace.closedDual || trace.echo != kSecondEcho) add(false);
    if (trace.closedDual && (trace.echo == kSecondEcho || trace.echo == kDualEchoBoth)) add(true);
    if (feeds.size() == frameSize) return true;
    feeds.clear();
    return false;
}

void FrameRule::restart() {
    markers_ = 0;
    first_.clear();
    second_.clear();
    runs_.clear();
    runStart_ = 0;
    drawProductionLine();
}

void FrameRule::startNextFrame(std::size_t capacity, bool dualLayout) {
    first_ = MuchLidarData();
    second_ = MuchLidarData();
    runStart_ = 0;
    first_.reserve(capacity);
    if (dualLayout) second_.reserve(capacity);
    markers_ = 1;
    drawProductionLine();
}

}  // namespace kv
