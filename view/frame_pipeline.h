// The path of each handled frame from its arrival to the screen. Every frame that is handled
// becomes the current frame at once: its points are computed once, under the filter in force
// when it came, and shared by the PCD recording, the trail and the drawing. Drawing runs later,
// one queued draw at a time, and shows the newest frame; until it runs, the frame on screen
// (what a pick, the statistics and the single-frame export read) stays the one drawn before.
// Pure: the window hands frames in, queues a draw when told to, and draws what this returns.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "frame_display.h"
#include "much_lidar_data.h"
#include "point_geometry.h"

namespace kv {

class FramePipeline {
public:
    // `geometry` is read whenever points are computed; it must outlive the pipeline.
    explicit FramePipeline(const BeamGeometry& geometry) : geometry_(geometry) {}

    // A handled frame with the filter in force: it becomes the current frame. True when the
    // window must queue a draw; false when a draw is queued already, which will show this
    // frame (the frame it was queued for, if not yet drawn, counts one skipped draw).
    bool frameHandled(MuchLidarData frame, const DisplayFilter& filter);
    // A frame received while the picture is held ("Suspend Data"): counted, nothing else.
    void frameHeld() { ++framesHandled_; }

    // The current frame (the last handled; empty before the first) and its points, computed on
    // the first call after it came. The per-frame hooks read these.
    const MuchLidarData& current() const { return current_ ? *current_ : empty(); }
    const FramePoints& currentPoints();

    // The queued draw runs: the current frame goes on screen. Returns the points to draw, or
    // null when there is nothing to draw (a cloud came after the draw was queued, or an earlier
    // draw already showed the frame).
    const FramePoints* draw();
    bool drawPending() const { return drawPending_; }

    // The filter changed (colour mode, lines, angle range): the current frame's points are
    // computed again under `filter` and drawn. True when the window must queue a draw; false
    // when one is queued already, when no frame was handled yet, or when a replayed PCD cloud
    // is on screen and no frame waits (a cloud's colours are its file's).
    bool refilter(const DisplayFilter& filter);

    // A replayed PCD cloud drawn by the window (x, y, z of each point): it is on screen now,
    // in place of any frame.
    void cloudShown(std::vector<PointM> cloud);

    enum class OnScreen { kNothing, kFrame, kCloud };
    OnScreen onScreen() const { return onScreen_; }
    // The frame on screen and the points drawn of it, which a pick's indices refer to; both
    // empty while a cloud (or nothing) is on screen.
    const MuchLidarData& frameOnScreen() const { return screenFrame_ ? *screenFrame_ : empty(); }
    const FramePoints& pointsOnScreen() const { return screenPoints_; }
    // The cloud on screen; empty while a frame is.
    const std::vector<PointM>& cloudOnScreen() const { return screenCloud_; }

    // Frames handled (held ones included), frames brought on screen, and draws skipped because a
    // newer frame came first. A redraw under a new filter brings no new frame and counts in none.
    std::uint64_t framesHandled() const { return framesHandled_; }
    std::uint64_t framesDrawn() const { return framesDrawn_; }
    std::uint64_t drawsSkipped() const { return drawsSkipped_; }

private:
    static const MuchLidarData& empty();

    const BeamGeometry& geometry_;
    std::shared_ptr<const MuchLidarData> current_;
    DisplayFilter filter_;          // the current frame's
    FramePoints currentPoints_;     // the current frame's points while they are not on screen
    bool currentComputed_ = false;  // currentPoints_ holds them
    bool currentOnScreen_ = false;  // screenPoints_ holds them: the current frame is drawn as it is

    std::shared_ptr<const MuchLidarData> screenFrame_;
    FramePoints screenPoints_;
    std::vector<PointM> screenCloud_;
    OnScreen onScreen_ = OnScreen::kNothing;

    bool drawPending_ = false;
    bool frameWaiting_ = false;  // the queued draw brings a frame not drawn before
    std::uint64_t framesHandled_ = 0;
    std::uint64_t framesDrawn_ = 0;
    std::uint64_t drawsSkipped_ = 0;
};

}  // namespace kv
