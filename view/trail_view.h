// Trailing frames in the 3D view. The current frame is the view's own cloud ("realTime_points",
// replaced with every frame); each older frame of the trail is an actor of its own, added once
// when its frame stops being current and removed when it leaves the trail, so the older frames'
// points are uploaded once. The book (trail.h) decides which frames are held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "trail.h"

namespace kv {

class CloudView;
struct ColouredPoint;

class TrailView {
public:
    explicit TrailView(CloudView& view);
    ~TrailView();
    TrailView(const TrailView&) = delete;
    TrailView& operator=(const TrailView&) = delete;

    int length() const { return book_.length(); }
    // More than one frame is shown: the window then hands every handled frame's points over.
    bool trailing() const { return book_.length() > 1; }
    // "Frames shown": the oldest frames beyond `frames` (clamped to 1-50) leave the view.
    void setLength(int frames);
    // Frame `seq` was handled, with its display points; the frame current until now becomes an
    // older frame. The view renders with the next presented frame.
    void frameHandled(std::uint64_t seq, const std::vector<ColouredPoint>& points);
    // Every older frame leaves the view when `event` clears the trail; renders.
    void report(TrailEvent event);

    // Older frames in the view, and the points of every frame shown (the current frame's cloud
    // and the older frames' actors).
    std::size_t olderFramesShown() const;
    long pointsShown() const;
    static std::string actorId(std::uint64_t seq);

private:
    void remove(const std::vector<std::uint64_t>& frames);
    struct Current;
    CloudView& view_;
    TrailBook book_;
    std::unique_ptr<Current> current_;  // the current frame's points, ready to become an older frame
};

}  // namespace kv
