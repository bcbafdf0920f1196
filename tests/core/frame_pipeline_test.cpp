// The frame pipeline driven as the window's queued signals can drive it: frames, held frames,
// draws, filter changes and replayed clouds in every order they can come, checking after each
// step what the per-frame hooks read, what a pick and the single-frame export read, and the
// counters.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "frame_pipeline.h"

namespace kv {
namespace {

enum class Op {
    kFrame,     // frame `arg` handled (the hooks read its points at once, as PCD recording does)
    kHeld,      // a frame received under "Suspend Data"
    kDraw,      // the queued draw runs
    kRefilter,  // colour mode and lines changed
    kCloud,     // a replayed PCD cloud whose one point lies at x = `arg`
};

struct Step {
    Op op;
    int arg;
    bool queues;  // kFrame / kRefilter: the window must queue a draw; kDraw: something is drawn
    int current;  // the frame the hooks read after the step (0: none)
    int screen;   // the frame a pick reads (0: nothing, -1: a cloud)
    bool screenChanged;  // the points on screen are under the changed filter
};

struct Case {
    const char* what;
    std::vector<Step> steps;
    std::uint64_t handled, drawn, skipped;
};

// Frame k: two points on line 0 and one on line 1, k metres out, intensity 10 k.
MuchLidarData frame(int k) {
    MuchLidarData f;
    f.append(0, 0.0f, 100.0f * float(k), 10 * k);
    f.append(1, 10.0f, 100.0f * float(k), 10 * k);
    f.append(0, 20.0f, 100.0f * float(k), 10 * k);
    f.number = std::uint32_t(k);
    return f;
}

DisplayFilter plainFilter() { return DisplayFilter(); }  // line 0, intensity colours

DisplayFilter changedFilter() {
    DisplayFilter f;
    f.lineShown = {{true, true, false, false}};
    f.colourMode = kColourSolid;
    return f;
}

// The points of frame k under either filter: their count, first x and colour.
void expectPointsOf(const FramePoints& p, int k, bool changed, const char* who) {
    ASSERT_EQ(p.displayed.size(), changed ? 3u : 2u) << who;
    EXPECT_FLOAT_EQ(p.displayed[0].xM, float(k)) << who;
    const Rgb colour = changed ? Rgb{255, 255, 255} : intensityColour(10 * k);
    EXPECT_EQ(p.displayed[0].rgb, colour) << who;
    EXPECT_EQ(p.tableRows.size(), p.displayed.size()) << who;
}

const Case kCases[] = {
    {"frame, draw",
     {{Op::kFrame, 1, true, 1, 0, false}, {Op::kDraw, 0, true, 1, 1, false}},
     1, 1, 0},
    {"frame, frame, draw: the draw shows the newest and one draw is skipped",
     {{Op::kFrame, 1, true, 1, 0, false},
      {Op::kFrame, 2, false, 2, 0, false},
      {Op::kDraw, 0, true, 2, 2, false}},
     2, 1, 1},
    {"three frames behind one draw, then the stream keeps up again",
     {{Op::kFrame, 1, true, 1, 0, false},
      {Op::kFrame, 2, false, 2, 0, false},
      {Op::kFrame, 3, false, 3, 0, false},
      {Op::kDraw, 0, true, 3, 3, false},
      {Op::kFrame, 4, true, 4, 3, false},
      {Op::kDraw, 0, true, 4, 4, false}},
     4, 2, 2},
    {"frame, pick, draw: until its draw runs a pick reads the frame drawn before",
     {{Op::kFrame, 1, true, 1, 0, false},
      {Op::kDraw, 0, true, 1, 1, false},
      {Op::kFrame, 2, true, 2, 1, false},
      {Op::kFrame, 3, false, 3, 1, false},
      {Op::kDraw, 0, true, 3, 3, false}},
     3, 2, 1},
    // The export reads the current frame as each comes; the view draws on as usual.
    {"frames during a multi-frame export: each is exported, the newest drawn with its points",
     {{Op::kFrame, 1, true, 1, 0, false},
      {Op::kFrame, 2, false, 2, 0, false},
      {Op::kDraw, 0, true, 2, 2, false},
      {Op::kFrame, 3, true, 3, 2, false},
      {Op::kDraw, 0, true, 3, 3, false}},
     3, 2, 1},
    {"a draw with none queued draws nothing",
     {{Op::kDraw, 0, false, 0, 0, false},
      {Op::kFrame, 1, true, 1, 0, false},
      {Op::kDraw, 0, true, 1, 1, false},
      {Op::kDraw, 0, false, 1, 1, false}},
     1, 1, 0},
    {"held frames are counted and change nothing",
     {{Op::kFrame, 1, true, 1, 0, false},
      {Op::kDraw, 0, true, 1, 1, false},
      {Op::kHeld, 2, false, 1, 1, false},
      {Op::kHeld, 3, false, 1, 1, false}},
     3, 1, 0},
    {"a filter change while standing still redraws the frame on screen, which a pick reads "
     "as drawn until then",
     {{Op::kFrame, 1, true, 1, 0, false},
      {Op::kDraw, 0, true, 1, 1, false},
      {Op::kHeld, 2, false, 1, 1, false},
      {Op::kRefilter, 0, true, 1, 1, false},
      {Op::kDraw, 0, true, 1, 1, true}},
     2, 1, 0},
    {"a filter change while a draw is queued: that draw shows it",
     {{Op::kFrame, 1, true, 1, 0, false},
      {Op::kRefilter, 0, false, 1, 0, false},
      {Op::kDraw, 0, true, 1, 1, true}},
     1, 1, 0},
    {"a frame after a queued redraw takes its place; no frame's draw is skipped",
     {{Op::kFrame, 1, true, 1, 0, false},
      {Op::kDraw, 0, true, 1, 1, false},
      {Op::kRefilter, 0, true, 1, 1, false},
      {Op::kFrame, 2, false, 2, 1, false},
      {Op::kDraw, 0, true, 2, 2, true}},
     2, 2, 0},
    {"a filter change before any frame does nothing",
     {{Op::kRefilter, 0, false, 0, 0, false}, {Op::kDraw, 0, false, 0, 0, false}},
     0, 0, 0},
    {"a cloud on screen: no frame to pick, and a filter change redraws nothing",
     {{Op::kFrame, 1, true, 1, 0, false},
      {Op::kDraw, 0, true, 1, 1, false},
      {Op::kCloud, 7, false, 1, -1, false},
      {Op::kRefilter, 0, false, 1, -1, false},
      {Op::kDraw, 0, false, 1, -1, false},
      {Op::kFrame, 2, true, 2, -1, true},
      {Op::kDraw, 0, true, 2, 2, true}},
     2, 2, 0},
    {"a cloud after a frame's draw was queued stays on screen; that draw is skipped",
     {{Op::kFrame, 1, true, 1, 0, false},
      {Op::kCloud, 7, false, 1, -1, false},
      {Op::kDraw, 0, false, 1, -1, false},
      {Op::kCloud, 8, false, 1, -1, false},
      {Op::kFrame, 2, true, 2, -1, false},
      {Op::kDraw, 0, true, 2, 2, false}},
     2, 1, 1},
};

TEST(FramePipeline, WhatEachHookReadsInEveryOrderOfFramesAndDraws) {
    const BeamGeometry flat = BeamGeometry::forLineType(1);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        FramePipeline pipeline(flat);
        DisplayFilter filter = plainFilter();  // the window's filter in force
        bool changed = false;
        std::map<int, const ColouredPoint*> hookPoints;  // the buffer the hooks read, by frame
        float cloudX = 0.0f;
        int held = 0;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            SCOPED_TRACE("step " + std::to_string(i));
            switch (s.op) {
                case Op::kFrame:
                    EXPECT_EQ(pipeline.frameHandled(frame(s.arg), filter), s.queues);
                    hookPoints[s.arg] = pipeline.currentPoints().displayed.data();
                    break;
                case Op::kHeld:
                    pipeline.frameHeld();
                    ++held;
                    break;
                case Op::kDraw: {
                    const FramePoints* drawn = pipeline.draw();
                    EXPECT_EQ(drawn != nullptr, s.queues);
                    if (!drawn) break;
                    EXPECT_EQ(drawn, &pipeline.pointsOnScreen());
                    // Computed once: the hooks' points of this frame are the points drawn.
                    if (hookPoints.count(s.screen)) {
                        EXPECT_EQ(drawn->displayed.data(), hookPoints[s.screen]);
                    }
                    break;
                }
                case Op::kRefilter:
                    filter = changedFilter();
                    changed = true;
                    EXPECT_EQ(pipeline.refilter(filter), s.queues);
                    hookPoints.clear();  // computed afresh under the new filter
                    break;
                case Op::kCloud:
                    cloudX = float(s.arg);
                    pipeline.cloudShown({{cloudX, 0.0f, 0.0f}});
                    break;
            }

            // What the hooks read: the current frame and its points.
            EXPECT_EQ(pipeline.current().number, std::uint32_t(s.current));
            if (s.current > 0) expectPointsOf(pipeline.currentPoints(), s.current, changed, "hooks");
            else EXPECT_TRUE(pipeline.currentPoints().displayed.empty());

            // What a pick and the single-frame export read.
            if (s.screen > 0) {
                EXPECT_EQ(pipeline.onScreen(), FramePipeline::OnScreen::kFrame);
                EXPECT_EQ(pipeline.frameOnScreen(), frame(s.screen));
                expectPointsOf(pipeline.pointsOnScreen(), s.screen, s.screenChanged, "screen");
                EXPECT_TRUE(pipeline.cloudOnScreen().empty());
            } else {
                EXPECT_EQ(pipeline.onScreen(),
                          s.screen < 0 ? FramePipeline::OnScreen::kCloud : FramePipeline::OnScreen::kNothing);
                EXPECT_TRUE(pipeline.frameOnScreen().empty());
                EXPECT_TRUE(pipeline.pointsOnScreen().displayed.empty());
                EXPECT_EQ(pipeline.cloudOnScreen().size(), s.screen < 0 ? 1u : 0u);
                if (s.screen < 0 && !pipeline.cloudOnScreen().empty()) {
                    EXPECT_EQ(pipeline.cloudOnScreen()[0].xM, cloudX);
                }
            }
        }
        EXPECT_EQ(pipeline.framesHandled(), c.handled);
        EXPECT_EQ(pipeline.framesDrawn(), c.drawn);
        EXPECT_EQ(pipeline.drawsSkipped(), c.skipped);
        // After the last draw every handled frame was drawn, passed over or held.
        EXPECT_FALSE(pipeline.drawPending());
        EXPECT_EQ(pipeline.framesHandled(), pipeline.framesDrawn() + pipeline.drawsSkipped() + std::uint64_t(held));
    }
}

}  // namespace
}  // namespace kv
