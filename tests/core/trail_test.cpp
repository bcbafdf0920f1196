// Trailing frames: what empties the trail, and which frames it holds as frames arrive.
#include <gtest/gtest.h>

#include "trail.h"

namespace kv {
namespace {

using Seqs = std::vector<std::uint64_t>;

TEST(Trail, WhatClears) {
    const struct {
        TrailEvent event;
        bool clears;
    } cases[] = {
        {TrailEvent::kEchoChanged, true},       {TrailEvent::kLinesChanged, true},
        {TrailEvent::kAngleRangeChanged, true}, {TrailEvent::kColourModeChanged, true},
        {TrailEvent::kLidarPressed, true},      {TrailEvent::kCaptureOpened, true},
        {TrailEvent::kPcdDirOpened, true},      {TrailEvent::kReplaySeek, true},
        {TrailEvent::kViewCleared, true},       {TrailEvent::kLengthChanged, false},
        {TrailEvent::kFrameHandled, false},
    };
    for (const auto& c : cases) EXPECT_EQ(trailClears(c.event), c.clears) << static_cast<int>(c.event);
}

TEST(Trail, HoldsTheLastNHandledFrames) {
    // Steps: push a frame (length > 0 means set the length first), expected drop and held.
    const struct {
        int setLength;  // 0: no change
        std::uint64_t push;
        Seqs dropped;
        Seqs held;
    } steps[] = {
        {0, 1, {0}, {1}},          // length 1 by default: the older frame drops
        {3, 2, {}, {1, 2}},
        {0, 3, {}, {1, 2, 3}},
        {0, 4, {1}, {2, 3, 4}},
        {0, 6, {2}, {3, 4, 6}},    // a skipped sequence number still enters
        {99, 7, {}, {3, 4, 6, 7}}, // clamped to 50
    };
    TrailBook book;
    EXPECT_EQ(book.push(0), Seqs{});
    for (const auto& s : steps) {
        if (s.setLength) book.setLength(s.setLength);
        EXPECT_EQ(book.push(s.push), s.dropped) << s.push;
        EXPECT_EQ(Seqs(book.held().begin(), book.held().end()), s.held) << s.push;
    }
    EXPECT_EQ(book.length(), kTrailMax);
    EXPECT_EQ(book.setLength(2), (Seqs{3, 4}));
    EXPECT_EQ(book.setLength(-5), (Seqs{6}));
    EXPECT_EQ(book.length(), kTrailMin);
    EXPECT_EQ(book.clear(), Seqs{7});
    EXPECT_TRUE(book.held().empty());
}

// What the view does per arriving frame: the frame that was current becomes an older frame
// (an actor of its own) while the trail has room; the ones that fall out leave the view.
TEST(Trail, AdvanceTellsTheViewWhichFramesToAddAndRemove) {
    const struct {
        int setLength;  // 0: no change
        std::uint64_t seq;
        Seqs dropped;
        std::optional<std::uint64_t> older;
    } steps[] = {
        {0, 1, {}, std::nullopt},  // length 1: the current frame only, never an actor
        {0, 2, {}, std::nullopt},
        {3, 3, {}, 2},             // the trail grew: the frame current until now stays
        {0, 4, {}, 3},
        {0, 5, {2}, 4},
        {1, 6, {}, std::nullopt},  // shortened before: 3 and 4 left with setLength
        {2, 7, {}, 6},
        {0, 9, {6}, 7},
    };
    TrailBook book;
    for (const auto& s : steps) {
        if (s.setLength) book.setLength(s.setLength);
        const TrailBook::Step step = book.advance(s.seq);
        EXPECT_EQ(step.dropped, s.dropped) << s.seq;
        EXPECT_EQ(step.older, s.older) << s.seq;
        EXPECT_EQ(book.held().back(), s.seq);
    }
}

}  // namespace
}  // namespace kv
