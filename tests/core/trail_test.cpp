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
        {TrailEvent::kLengthChanged, false},    {TrailEvent::kFrameHandled, false},
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

}  // namespace
}  // namespace kv
