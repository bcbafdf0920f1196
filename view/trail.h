// Trailing frames: the view draws the last N handled frames together. This unit holds the rule
// for what clears the trail and the bookkeeping of which frames it holds (by sequence number);
// the view keeps one actor per held frame. Pure.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace kv {

constexpr int kTrailMin = 1;   // one frame: only the current frame is drawn
constexpr int kTrailMax = 50;

// What the window reports to the trail.
enum class TrailEvent {
    kEchoChanged,
    kLinesChanged,
    kAngleRangeChanged,
    kColourModeChanged,
    kLidarPressed,
    kCaptureOpened,
    kPcdDirOpened,
    kReplaySeek,
    kViewCleared,     // "Clear" took every cloud out of the view
    kLengthChanged,   // the "Frames shown" spin box
    kFrameHandled,
};
// Whether `event` empties the trail (the old frames no longer match what a new frame shows).
bool trailClears(TrailEvent event);

// The sequence numbers of the frames drawn, oldest first. A handled frame enters even when the
// window did not draw it (only the newest of queued frames is drawn): the trail holds the last N
// handled frames' points.
class TrailBook {
public:
    explicit TrailBook(int length = kTrailMin) { setLength(length); }
    int length() const { return length_; }
    // Clamps to [1, 50]; returns the frames dropped from the front (oldest first).
    std::vector<std::uint64_t> setLength(int length);
    // Adds frame `seq`; returns the frames that fall out (oldest first).
    std::vector<std::uint64_t> push(std::uint64_t seq);

    // What the view does when frame `seq` arrives. The newest frame is the current frame, drawn
    // as the view's own cloud; the frames before it are drawn as older frames, one actor each.
    struct Step {
        std::vector<std::uint64_t> dropped;  // older frames to take out of the view, oldest first
        std::optional<std::uint64_t> older;  // the frame that was current, to draw as an older one
    };
    // Adds frame `seq` as the current frame. The frame current until now becomes an older frame
    // when the trail has room for it; otherwise it leaves with its cloud and is not in `dropped`.
    Step advance(std::uint64_t seq);
    // Empties the trail; returns every frame held.
    std::vector<std::uint64_t> clear();
    const std::deque<std::uint64_t>& held() const { return held_; }

private:
    std::vector<std::uint64_t> trim();
    int length_ = kTrailMin;
    std::deque<std::uint64_t> held_;
};

}  // namespace kv
