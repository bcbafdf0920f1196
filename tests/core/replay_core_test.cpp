// Replay-order frame assembly, pacing and the seek buttons' speed cycles.
#include <gtest/gtest.h>

#include "packet_builder.h"
#include "playback.h"
#include "frame_rule.h"

using kvtest::PacketStream;

namespace {

std::vector<MuchLidarData> replay(kv::FrameRule& a, const std::vector<kvtest::Packet>& packets,
                                  int echo = kv::kDualEchoBoth) {
    std::vector<MuchLidarData> frames;
    for (const auto& p : packets)
        a.feed(p.data(), [echo] { return echo; }, [&](MuchLidarData&& f) { frames.push_back(std::move(f)); });
    return frames;
}

// `pre` points before the first marker, then `periods` periods of `perPeriod` points, each period
// closed by a marker. Point k of period p has line p % 4 and azimuth units 100 * p + k.
std::vector<kvtest::Packet> stream(std::uint8_t flag, int pre, int periods, int perPeriod) {
    PacketStream s(flag);
    for (int k = 0; k < pre; ++k) s.point(3, 9000 + k, 256 * 100, 7, 256 * 200, 8);
    s.marker();
    for (int p = 0; p < periods; ++p) {
        for (int k = 0; k < perPeriod; ++k) s.point(p % 4, 100 * p + k, 256 * 100, 7, 256 * 200, 8);
        s.marker();
    }
    return s.packets();
}

}  // namespace

TEST(ReplayAssembly, DataBeforeTheFirstMarkerIsDroppedAndFramesCloseAtTheirMarker) {
    struct Case {
        const char* name;
        std::uint8_t flag;
        int echo;
        std::size_t pointsPerFrame;  // 4 periods of 10
    } cases[] = {
        {"single", 0, kv::kDualEchoBoth, 40},
        {"single ignores SecondEcho", 0, kv::kSecondEcho, 40},
        {"dual both echoes", 2, kv::kDualEchoBoth, 80},
        {"dual first", 2, kv::kFirstEcho, 40},
        {"dual second", 2, kv::kSecondEcho, 40},
    };
    for (const Case& c : cases) {
        kv::FrameRule a(kv::FramePolicy::kReplay);
        // 30 records before the first marker, then 9 periods: frames after markers 5 and 9.
        const auto frames = replay(a, stream(c.flag, 30, 8, 10), c.echo);
        ASSERT_EQ(frames.size(), 2u) << c.name;
        for (const auto& f : frames) {
            EXPECT_EQ(f.size(), c.pointsPerFrame) << c.name;
            for (int line : f.channel) EXPECT_NE(line, 3 + 10) << c.name;
        }
        // No point of the pre-marker data (azimuth units 9000+) is in any frame.
        for (const auto& f : frames)
            for (float az : f.azimuth) EXPECT_LT(az, 9000.0f / (c.flag == 2 ? 1000.0f : 100.0f)) << c.name;
        EXPECT_EQ(frames[0].channel.front(), 0) << c.name;
        EXPECT_EQ(a.markerCount(), 1) << c.name;
    }
    kv::FrameRule none(kv::FramePolicy::kReplay);
    EXPECT_TRUE(replay(none, stream(2, 0, 8, 10), 3).empty()) << "an unknown echo selection shows nothing";
}

TEST(ReplayAssembly, DualBothEchoesListFirstThenSecondWithSharedLineAndAzimuth) {
    kv::FrameRule a(kv::FramePolicy::kReplay);
    const auto frames = replay(a, stream(2, 0, 4, 5));
    ASSERT_EQ(frames.size(), 1u);
    const MuchLidarData& f = frames[0];
    ASSERT_EQ(f.size(), 40u);
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(f.channel[i], f.channel[i + 20]);
        EXPECT_EQ(f.azimuth[i], f.azimuth[i + 20]);
        EXPECT_EQ(f.distance[i], 100.0f);
        EXPECT_EQ(f.distance[i + 20], 200.0f);
        EXPECT_EQ(f.intensity[i + 20], 8);
    }
}

// A rewind, an end reached while looping and a seek all restart the rule the same way: the
// frames after it are the frames of the first pass, and nothing of the unfinished frame (second
// echoes included) leaks into them.
TEST(ReplayAssembly, ARestartCutsTheFramesOfTheFirstPass) {
    for (std::uint8_t flag : {std::uint8_t(0), std::uint8_t(2)}) {
        SCOPED_TRACE(int(flag));
        const auto packets = stream(flag, 6, 8, 10);
        kv::FrameRule fresh(kv::FramePolicy::kReplay);
        const auto first = replay(fresh, packets, kv::kSecondEcho);
        ASSERT_EQ(first.size(), 2u);
        kv::FrameRule a(kv::FramePolicy::kReplay);
        replay(a, stream(flag, 0, 6, 10), kv::kSecondEcho);  // one frame and two periods left over
        a.restart();
        const auto again = replay(a, packets, kv::kSecondEcho);
        ASSERT_EQ(again.size(), 2u);
        EXPECT_TRUE(again[0] == first[0]);
        EXPECT_TRUE(again[1] == first[1]);
        EXPECT_EQ(again[0].size(), 40u);
    }
}

TEST(Playback, PacingTable) {
    const std::pair<int, int> cases[] = {{0, 80}, {1, 40}, {2, 25}, {3, 100}, {4, 110}, {7, 110}, {-1, 110}};
    for (auto [speed, ms] : cases) EXPECT_EQ(kv::pacingMs(speed), ms) << speed;
}

TEST(Playback, SpeedCyclesReturnToPlainAfterFivePresses) {
    const char* forward[] = {"Seekforward_2x.png", "Seekforward_3x.png", "Seekforward_0.5x.png",
                             "Seekforward_0.25x.png", "Seekforward.png"};
    const int forwardSpeed[] = {1, 2, 3, 4, 0};
    const char* backward[] = {"Seekbackward.png", "Seekbackward_2x.png", "Seekbackward_3x.png",
                              "Seekbackward_0.5x.png", "Seekbackward_0.25x.png"};
    const int backwardSpeed[] = {0, 1, 2, 3, 4};
    int f = 1, b = 1;
    for (int press = 0; press < 5; ++press) {
        const kv::SpeedStep fs = kv::forwardSpeedStep(f);
        EXPECT_STREQ(fs.icon, forward[press]);
        EXPECT_EQ(fs.speed, forwardSpeed[press]);
        f = fs.next;
        const kv::SpeedStep bs = kv::backwardSpeedStep(b);
        EXPECT_STREQ(bs.icon, backward[press]);
        EXPECT_EQ(bs.speed, backwardSpeed[press]);
        b = bs.next;
    }
    EXPECT_EQ(f, 1);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(kv::pacingMs(kv::forwardSpeedStep(5).speed), 80);
}

TEST(ReplayAssembly, LayoutChangeWithinACaptureLeavesNoStaleSecondEchoes) {
    // A dual packet with one marker and 99 points, a single packet of four markers (closing a
    // frame), then a dual packet of 96 points closed by four markers: the last frame holds only
    // the 96 points of its own packet.
    auto dualPacket = [](int markersFirst, int points, int markersAfter) {
        PacketStream s(2);
        for (int m = 0; m < markersFirst; ++m) s.marker();
        for (int k = 0; k < points; ++k) s.point(1, 5000 + k, 256 * 300, 9, 256 * 400, 4);
        for (int m = 0; m < markersAfter; ++m) s.marker();
        return s.packets().front();
    };
    PacketStream single(0);
    for (int m = 0; m < 4; ++m) single.marker();
    const std::vector<kvtest::Packet> packets = {dualPacket(1, 99, 0), single.packets().front(), dualPacket(0, 96, 4)};
    const struct {
        int echo;
        std::size_t lastFrame;
    } cases[] = {{kv::kSecondEcho, 96}, {kv::kFirstEcho, 96}, {kv::kDualEchoBoth, 192}};
    for (const auto& c : cases) {
        kv::FrameRule a(kv::FramePolicy::kReplay);
        const auto frames = replay(a, packets, c.echo);
        ASSERT_EQ(frames.size(), 2u) << c.echo;
        EXPECT_EQ(frames[0].size(), 99u) << "the single packet closes the first frame with its first echoes";
        EXPECT_EQ(frames[1].size(), c.lastFrame) << c.echo;
        if (c.echo == kv::kSecondEcho) {
            for (float d : frames[1].distance) EXPECT_EQ(d, 400.0f);
        }
    }
}

// A capture without markers after its first: the replay's frame stops at the bound too.
TEST(ReplayAssembly, FrameBoundDropsAndCountsWhatExceedsIt) {
    constexpr std::size_t kBound = 500;
    for (const std::uint8_t flag : {std::uint8_t(0), std::uint8_t(2)}) {
        SCOPED_TRACE(int(flag));
        const bool dual = flag == 2;
        PacketStream s(flag);
        s.marker();  // the first marker starts the first frame
        const std::uint32_t points = 4000;
        for (std::uint32_t k = 0; k < points; ++k) s.point(1, k, 256 * 100, 7, 256 * 200, 8);
        for (int m = 0; m < 4; ++m) s.marker();  // then four markers close it
        for (std::uint32_t k = 0; k < 20; ++k) s.point(2, k, 256 * 100, 7, 256 * 200, 8);
        for (int m = 0; m < 4; ++m) s.marker();

        kv::FrameRule a(kv::FramePolicy::kReplay, false, 0, kBound);
        const auto frames = replay(a, s.packets(), kv::kFirstEcho);
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(frames[0].size(), kBound);
        EXPECT_FLOAT_EQ(frames[0].azimuth.back(), float((kBound - 1) / (dual ? 1000.0 : 100.0)));
        EXPECT_EQ(frames[1].size(), 20u) << "the next frame is whole";
        EXPECT_EQ(a.droppedPoints(), (points - kBound) * (dual ? 2u : 1u));
    }
}
