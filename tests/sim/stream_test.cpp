// The simulated data stream as a viewer sees it: through the frame assembler.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "data_packet.h"
#include "data_stream.h"
#include "frame_rule.h"
#include "scene.h"

namespace {

using kv::sim::DataStream;
using kv::sim::Scene;
using kv::sim::StreamConfig;
using Packet = std::array<std::uint8_t, kv::datapkt::kPacketBytes>;

std::vector<MuchLidarData> framesOf(DataStream& s, std::size_t wanted, int echoMode) {
    kv::FrameRule assembler;
    std::vector<MuchLidarData> frames;
    Packet p{};
    while (frames.size() < wanted) {
        s.next(p.data());
        assembler.feed(p.data(), echoMode, frames);
    }
    return frames;
}

struct LayoutCase {
    bool dual;
    double stepDeg;
    int echoMode;
    int echoesPerRecord;  // points a record contributes in this echo mode
};

class StreamLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(StreamLayout, EveryFrameIsFourSweepsOfLinesZeroToThree) {
    const LayoutCase c = GetParam();
    DataStream stream({c.dual, c.stepDeg, 3});
    Packet first{};
    DataStream({c.dual, c.stepDeg, 3}).next(first.data());
    EXPECT_EQ(first[kv::datapkt::kEchoFlagOffset], c.dual ? 2 : 0);
    const int perSweep = int(std::lround(180.0 / c.stepDeg)) + 1;
    ASSERT_EQ(stream.pointsPerPeriod(), perSweep);

    for (const MuchLidarData& f : framesOf(stream, 3, c.echoMode)) {
        ASSERT_EQ(f.size(), std::size_t(4 * perSweep * c.echoesPerRecord));
        for (int echo = 0; echo < c.echoesPerRecord; ++echo) {
            for (int line = 0; line < 4; ++line) {
                const std::size_t base = std::size_t(echo * 4 * perSweep + line * perSweep);
                for (int k = 0; k < perSweep; ++k) {
                    const std::size_t i = base + std::size_t(k);
                    ASSERT_EQ(f.channel[i], line) << "point " << i;
                    ASSERT_NEAR(f.azimuth[i], k * c.stepDeg, 1e-3) << "point " << i;
                    ASSERT_GE(f.distance[i], 0.0f);
                    ASSERT_LE(f.distance[i], float(Scene::kMaxRangeM * 100));
                }
            }
        }
    }
}

std::string layoutName(const ::testing::TestParamInfo<LayoutCase>& info) {
    const LayoutCase& c = info.param;
    return std::string(c.dual ? "dual" : "single") + "_step" + std::to_string(int(std::lround(c.stepDeg * 100))) +
           "_echo" + std::to_string(c.echoMode);
}

INSTANTIATE_TEST_SUITE_P(Layouts, StreamLayout,
                         ::testing::Values(LayoutCase{false, 0.1, kv::kFirstEcho, 1},
                                           LayoutCase{false, 1.0, kv::kDualEchoBoth, 1},
                                           LayoutCase{false, 0.25, kv::kFirstEcho, 1},
                                           LayoutCase{true, 0.1, kv::kFirstEcho, 1},
                                           LayoutCase{true, 0.5, kv::kSecondEcho, 1},
                                           LayoutCase{true, 1.0, kv::kDualEchoBoth, 2}),
                         layoutName);

TEST(Stream, SixHundredRpmGivesTenFramesASecond) {
    for (bool dual : {false, true}) {
        DataStream stream({dual, 0.1, 1});
        const int packets = int(std::ceil(stream.packetsPerSecond(600)));
        kv::FrameRule assembler;
        std::vector<MuchLidarData> frames;
        Packet p{};
        for (int i = 0; i < packets; ++i) {
            stream.next(p.data());
            assembler.feed(p.data(), kv::kFirstEcho, frames);
        }
        EXPECT_EQ(frames.size(), 10u) << (dual ? "dual" : "single");
    }
}

TEST(Stream, SameSeedSameBytesOtherSeedOnlyNoise) {
    DataStream a({false, 0.1, 7}), b({false, 0.1, 7}), c({false, 0.1, 8});
    Packet pa{}, pb{}, pc{};
    int differing = 0;
    for (int i = 0; i < 60; ++i) {
        a.next(pa.data());
        b.next(pb.data());
        c.next(pc.data());
        ASSERT_EQ(pa, pb) << "packet " << i;
        differing += pa != pc;
        for (std::size_t k = 0; k < kv::datapkt::single::kRecordCount; ++k) {
            const std::uint8_t* ra = pa.data() + k * kv::datapkt::single::kRecordBytes;
            const std::uint8_t* rc = pc.data() + k * kv::datapkt::single::kRecordBytes;
            if (!kv::datapkt::carriesPoint(ra)) continue;
            const auto ea = kv::datapkt::decodeSingle(ra), ec = kv::datapkt::decodeSingle(rc);
            ASSERT_EQ(ea.azimuthDeg, ec.azimuthDeg);
            ASSERT_EQ(ea.distanceCm == 0, ec.distanceCm == 0);  // same scene, same holes
            ASSERT_NEAR(ea.distanceCm, ec.distanceCm, 3.01);    // noise of +/-1.5 cm
        }
    }
    EXPECT_EQ(differing, 60);
}

// Known geometry: walls, a post, the doorway and the edge gaps, the box where it starts.
TEST(Scene, RaysHitTheExpectedSurfaces) {
    struct Case {
        const char* what;
        double azimuthDeg, firstM, secondM;  // 0 = no return
    };
    const Case cases[] = {
        {"gap beside the sensor", 0.0, 0, 0},
        {"doorway", 90.0, 0, 0},
        {"gap on the left", 180.0, 0, 0},
        {"right wall", 45.0, 42.4264, 42.4264},
        {"left wall", 140.0, 32.6352, 32.6352},
        {"post, back wall behind", 60.0, 11.3117, 46.1880},
        {"box at its start, left wall behind", 133.0, 25.9792, 36.6570},
    };
    const Scene scene(5);
    for (const Case& c : cases) {
        const kv::sim::Returns r = scene.sample(c.azimuthDeg, 0, 1);
        EXPECT_NEAR(r.first.distanceCm, c.firstM * 100, 1.6) << c.what;
        EXPECT_NEAR(r.second.distanceCm, c.secondM * 100, 1.6) << c.what;
        EXPECT_EQ(r.first.intensity == 0, c.firstM == 0) << c.what;
        EXPECT_LE(r.second.intensity, r.first.intensity) << c.what;
    }
}

// Mean x of the line-0 points on the box's near face (y = lane - half width), between the
// side walls.
double boxFaceX(const MuchLidarData& f) {
    const double faceY = Scene::kBoxLaneYM - Scene::kBoxHalfWidthM;
    double sum = 0;
    int n = 0;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (f.channel[i] != 0 || f.distance[i] == 0) continue;
        const double rad = f.azimuth[i] * 3.14159265358979 / 180.0, rM = f.distance[i] / 100.0;
        const double x = rM * std::cos(rad);
        if (std::fabs(rM * std::sin(rad) - faceY) > 0.05 || std::fabs(x) > 22) continue;
        sum += x;
        ++n;
    }
    return n ? sum / n : 1e9;
}

TEST(Scene, BoxDrivesAcrossTheRoom) {
    DataStream stream({false, 0.1, 2});
    const std::vector<MuchLidarData> frames = framesOf(stream, 12, kv::kFirstEcho);
    for (std::size_t k : {0u, 5u, 11u}) {
        const double expected = Scene::boxCentre(4 * k).xM;  // line 0 of frame k is period 4k
        EXPECT_NEAR(boxFaceX(frames[k]), expected, 0.3) << "frame " << k;
    }
    EXPECT_GT(boxFaceX(frames[11]) - boxFaceX(frames[0]), 3.0);
    // Out and back: the far end of the lane is reached and left again.
    EXPECT_NEAR(Scene::boxCentre(360).xM, Scene::kBoxTravelM, 1e-9);
    EXPECT_LT(Scene::boxCentre(400).xM, Scene::boxCentre(360).xM);
    EXPECT_NEAR(Scene::boxCentre(720).xM, Scene::boxCentre(0).xM, 1e-9);
}

}  // namespace
