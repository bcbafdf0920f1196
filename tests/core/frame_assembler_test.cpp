// Frame assembly over synthetic packet streams: marker counting, echo selection, record kinds,
// production mode and the decoding units of both layouts.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "packet_builder.h"
#include "sensor_streams.h"

using kvtest::feed;
using kvtest::PacketStream;

namespace {

constexpr std::uint8_t kSingle = 0, kDual = 2;

// The tests number points through their azimuth (in layout units) and read the number back.
std::vector<long> ids(const MuchLidarData& f, bool dual) {
    std::vector<long> out;
    for (float a : f.azimuth) out.push_back(std::lround(double(a) * (dual ? 1000.0 : 100.0)));
    return out;
}

std::vector<long> range(long first, long last) {
    std::vector<long> v;
    for (long i = first; i <= last; ++i) v.push_back(i);
    return v;
}

class MarkerRule : public ::testing::TestWithParam<int> {};  // the echo flag

TEST_P(MarkerRule, FirstFrameKeepsPreMarkerDataLaterFramesHoldFourPeriods) {
    PacketStream s{std::uint8_t(GetParam())};
    std::uint32_t id = 1;
    auto period = [&](int n) {
        for (int k = 0; k < n; ++k, ++id) s.point(int(id % 4), id, 256, 1, 512, 2);
        s.marker();
    };
    // Enough points before the first marker that the last marker ends a packet exactly.
    const long perPacket = s.dual() ? 100 : 171, pre = perPacket - (1 + 8 * 51) % perPacket;
    period(int(pre));
    for (int p = 0; p < 8; ++p) period(50);     // two frames of four periods, spanning packets
    const std::size_t lastMarkerPacket = s.packets().size();
    s.endPacket().voidRecord();

    kv::FrameRule a;
    auto frames = feed(a, s.packets(), kv::kFirstEcho, 0, lastMarkerPacket);
    // A single-echo frame closes at the marker that completes it; a dual-echo frame waits for
    // the next non-marker record, here the void record in the next packet.
    ASSERT_EQ(frames.size(), s.dual() ? 1u : 2u);
    auto late = feed(a, s.packets(), kv::kFirstEcho, lastMarkerPacket);
    EXPECT_EQ(late.size(), s.dual() ? 1u : 0u);
    frames.insert(frames.end(), late.begin(), late.end());

    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(ids(frames[0], s.dual()), range(1, pre + 200));
    EXPECT_EQ(ids(frames[1], s.dual()), range(pre + 201, pre + 400));
    for (const auto& f : frames) {
        const auto fid = ids(f, s.dual());
        for (std::size_t i = 0; i < f.size(); ++i) ASSERT_EQ(f.channel[i], fid[i] % 4);
    }
    EXPECT_EQ(a.markerCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Layouts, MarkerRule, ::testing::Values(int(kSingle), int(kDual)),
                         [](const auto& i) { return std::string(i.param == kDual ? "Dual" : "Single"); });

// Three dual records (first echo: distance 100+k, intensity 11+k; second: 200+k, 21+k) in one
// frame, closed by echo modes and layouts. Single layout reads only the first echo.
struct EchoCase {
    std::uint8_t flag;
    int echoMode;
    bool first, second;  // which echoes the one frame holds; neither = no frame
};

void PrintTo(const EchoCase& c, std::ostream* os) { *os << "flag " << int(c.flag) << " echo mode " << c.echoMode; }

class EchoModes : public ::testing::TestWithParam<EchoCase> {};

TEST_P(EchoModes, FrameHoldsTheSelectedEchoes) {
    const EchoCase c = GetParam();
    PacketStream s(c.flag);
    s.marker();
    for (int k = 0; k < 3; ++k) s.point(k + 1, std::uint32_t(1000 * (k + 1)), 100 + k, 11 + k, 200 + k, 21 + k);
    s.marker().marker().marker().marker().voidRecord();  // consecutive markers all count

    MuchLidarData expected;
    const float unit = s.dual() ? 1000.0f : 100.0f;
    for (int echo = 0; echo < 2; ++echo) {
        if ((echo == 0 && !c.first) || (echo == 1 && !c.second)) continue;
        for (int k = 0; k < 3; ++k)
            expected.append(k + 1, 1000.0f * (k + 1) / unit, (100.0f * (echo + 1) + k) / 256.0f,
                            11 + 10 * echo + k);
    }
    kv::FrameRule a;
    const auto frames = feed(a, s.packets(), c.echoMode);
    if (!c.first && !c.second) {
        EXPECT_TRUE(frames.empty());
    } else {
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0], expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, EchoModes,
                         ::testing::Values(EchoCase{kDual, 0, true, true}, EchoCase{kDual, 1, true, false},
                                           EchoCase{kDual, 2, false, true}, EchoCase{kDual, 3, false, false},
                                           EchoCase{kDual, -1, false, false},
                                           EchoCase{kSingle, 0, true, false}, EchoCase{kSingle, 2, true, false},
                                           EchoCase{kSingle, 3, true, false}),
                         [](const auto& i) {
                             return std::string(i.param.flag == kDual ? "Dual" : "Single") + "Mode" +
                                    (i.param.echoMode < 0 ? "Minus1" : std::to_string(i.param.echoMode));
                         });

TEST(FrameAssembler, VoidAndOtherNoPointRecordsAreSkippedAndNotCounted) {
    for (std::uint8_t flag : {kSingle, kDual}) {
        PacketStream s(flag);
        s.marker().point(2, 7, 256, 3);
        s.voidRecord().raw(0xFF, 0x00, 0x00).raw(0xFF, 0xAA, 0xBA).raw(0xFF, 0xBB, 0xAA);
        s.marker().marker().marker();
        kv::FrameRule a;
        EXPECT_TRUE(feed(a, s.packets()).empty());
        EXPECT_EQ(a.markerCount(), 4) << int(flag);

        PacketStream close(flag);
        close.marker().voidRecord();
        const auto frames = feed(a, close.packets());
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].size(), s.dual() ? 2u : 1u);  // echo mode 0 keeps both echoes
        EXPECT_EQ(frames[0].channel[0], 2);
    }
}

TEST(FrameAssembler, LinesAboveThreePassUnchanged) {
    PacketStream s;
    s.marker();
    for (int line = 0; line < 16; ++line) s.point(line, std::uint32_t(line), 256, 0);
    s.raw(0xFE, 0x00, 0x10);  // 0xFE is line 15, not a no-point record
    for (int m = 0; m < 4; ++m) s.marker();
    kv::FrameRule a;
    const auto frames = feed(a, s.packets());
    ASSERT_EQ(frames.size(), 1u);
    std::vector<int> lines;
    for (int line = 0; line < 16; ++line) lines.push_back(line);
    lines.push_back(15);
    EXPECT_EQ(frames[0].channel, lines);
}

// Neither the tail after the last record nor any echo flag other than 2 changes the result.
TEST(FrameAssembler, OnlyRecordsAndTheDualFlagMatter) {
    for (std::uint8_t layout : {kSingle, kDual}) {
        PacketStream s(layout);
        for (int p = 0; p < 10; ++p) {
            for (int k = 0; k < 40; ++k) s.point(k % 4, std::uint32_t(p * 100 + k), 1000u + k, k, 2000u + k, k);
            s.marker();
        }
        s.voidRecord();
        kv::FrameRule ref;
        const auto expected = feed(ref, s.packets());
        ASSERT_EQ(expected.size(), 2u);

        const std::size_t tail = layout == kDual ? 1200 : 1197;
        const std::vector<std::uint8_t> flags = layout == kDual ? std::vector<std::uint8_t>{2}
                                                                : std::vector<std::uint8_t>{0, 1, 3, 4, 255};
        for (std::uint8_t flag : flags) {
            for (int pattern = 0; pattern < 3; ++pattern) {
                auto packets = s.packets();
                for (auto& p : packets) {
                    for (std::size_t b = tail; b < kv::datapkt::kEchoFlagOffset; ++b)
                        p[b] = pattern == 0 ? 0x00 : pattern == 1 ? std::uint8_t(0xFFAABBu >> (16 - 8 * ((b - tail) % 3)))
                                                                  : std::uint8_t(b * 37);
                    p[kv::datapkt::kEchoFlagOffset] = flag;
                }
                kv::FrameRule a;
                EXPECT_EQ(feed(a, packets), expected) << "flag " << int(flag) << " pattern " << pattern;
            }
        }
        // The same bytes under the other flag decode differently.
        auto other = s.packets();
        for (auto& p : other) p[kv::datapkt::kEchoFlagOffset] = layout == kDual ? 0 : 2;
        kv::FrameRule a;
        EXPECT_NE(feed(a, other), expected);
    }
}

TEST(FrameAssembler, ProductionModeKeepsOneRandomLinePerFrameAndEmitsEmptyFrames) {
    PacketStream s;
    s.marker();  // no pre-marker data: every frame is four periods of its own
    const int kFrames = 40;
    for (int f = 0; f < kFrames; ++f)
        for (int p = 0; p < 4; ++p) {
            for (int line = 0; line < 4; ++line)
                if (f % 2 == 0 || line == 0) s.point(line, std::uint32_t(line), 256, 0);  // odd frames: line 0 only
            s.marker();
        }
    kv::FrameRule a(kv::FramePolicy::kLive, true, 12345);
    const auto frames = feed(a, s.packets());
    ASSERT_EQ(frames.size(), std::size_t(kFrames));
    std::set<int> linesSeen;
    int emptyFrames = 0;
    for (int f = 0; f < kFrames; ++f) {
        const auto& fr = frames[std::size_t(f)];
        if (fr.empty()) {
            EXPECT_EQ(f % 2, 1) << "frames with every line can never be empty";
            ++emptyFrames;
            continue;
        }
        const int line = fr.channel[0];
        linesSeen.insert(line);
        EXPECT_EQ(fr.size(), 4u) << "frame " << f;  // one point of the line per period
        for (int c : fr.channel) EXPECT_EQ(c, line);
    }
    EXPECT_GT(linesSeen.size(), 1u);
    EXPECT_GT(emptyFrames, 0);

    kv::FrameRule all(kv::FramePolicy::kLive, false);
    const auto allFrames = feed(all, s.packets());
    ASSERT_FALSE(allFrames.empty());
    EXPECT_EQ(allFrames[0].size(), 16u);
}

TEST(FrameAssembler, ResetDropsTheHalfFrameAndRestartsTheCount) {
    PacketStream half;
    half.point(0, 999, 256, 0).marker().point(1, 998, 256, 0).marker().marker();
    PacketStream whole;
    whole.point(2, 1, 256, 0);
    for (int m = 0; m < 4; ++m) whole.marker().point(3, std::uint32_t(2 + m), 256, 0);
    whole.marker();

    kv::FrameRule a;
    EXPECT_TRUE(feed(a, half.packets()).empty());
    a.restart();
    EXPECT_EQ(a.markerCount(), 0);
    // Counting on from the dropped half frame would close a frame at the second marker.
    const auto frames = feed(a, whole.packets());
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(ids(frames[0], false), range(1, 5));
}

TEST(DataPacket, DecodesSingleRecordsBigEndianInTheirUnits) {
    struct Row {
        std::array<std::uint8_t, 7> bytes;
        int line;
        float azimuthDeg, distanceCm;
        int intensity;
    };
    const Row rows[] = {
        {{0x30, 0x8C, 0xA0, 0x00, 0x01, 0x00, 0xFF}, 3, 360.0f, 1.0f, 255},
        {{0x2A, 0x12, 0x34, 0x12, 0x34, 0x56, 0x07}, 2, 46.6f, 4660.3359375f, 7},  // low nibble unread
        {{0xF0, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0x00}, 15, 0.01f, 65535.99609375f, 0},
        {{0x00, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x80}, 0, 655.35f, 0.00390625f, 128},
    };
    for (const Row& r : rows) {
        const auto e = kv::datapkt::decodeSingle(r.bytes.data());
        EXPECT_EQ(e.line, r.line);
        EXPECT_FLOAT_EQ(e.azimuthDeg, r.azimuthDeg);
        EXPECT_EQ(e.distanceCm, r.distanceCm);
        EXPECT_EQ(e.intensity, r.intensity);
    }
}

TEST(DataPacket, DecodesDualRecordsBigEndianInTheirUnits) {
    struct Row {
        std::array<std::uint8_t, 12> bytes;
        int line;
        float azimuthDeg, d1, d2;
        int i1, i2;
    };
    const Row rows[] = {
        {{0x10, 0x05, 0x7E, 0x40, 0x00, 0x01, 0x00, 0x80, 0x12, 0x34, 0x56, 0x01}, 1, 360.0f, 1.0f, 4660.3359375f, 128, 1},
        {{0xE5, 0x00, 0x30, 0x39, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF}, 14, 12.345f, 65535.99609375f, 0.0f, 0, 255},
    };
    for (const Row& r : rows) {
        const auto e = kv::datapkt::decodeDual(r.bytes.data());
        EXPECT_EQ(e.line, r.line);
        EXPECT_FLOAT_EQ(e.azimuthDeg, r.azimuthDeg);
        EXPECT_EQ(e.distance1Cm, r.d1);
        EXPECT_EQ(e.distance2Cm, r.d2);
        EXPECT_EQ(e.intensity1, r.i1);
        EXPECT_EQ(e.intensity2, r.i2);
    }
}

}  // namespace

// A stream that never carries a marker: the frame stops growing at its bound, the points
// beyond are counted, and the markers that come later close frames as usual.
class FrameBound : public ::testing::TestWithParam<int> {};  // the echo flag

TEST_P(FrameBound, PointsBeyondTheBoundAreDroppedCountedAndLaterFramesAreWhole) {
    constexpr std::size_t kBound = 1000;
    PacketStream s{std::uint8_t(GetParam())};
    const bool dual = s.dual();
    const std::uint32_t markerless = 30 * (dual ? 100 : 171);  // thirty full packets
    std::uint32_t id = 1;
    for (; id <= markerless; ++id) s.point(0, id, 256, 1, 512, 2);
    const std::size_t markerlessPackets = s.packets().size();
    auto period = [&](int n) {
        s.marker();
        for (int k = 0; k < n; ++k, ++id) s.point(1, id, 256, 1, 512, 2);
    };
    for (int p = 0; p < 8; ++p) period(10);  // markers 1-8: the first frame closes at marker 5
    s.marker().voidRecord();                  // marker 9 closes the second; a dual frame needs one record more

    kv::FrameRule a(kv::FramePolicy::kLive, false, 0, kBound);
    EXPECT_TRUE(feed(a, s.packets(), kv::kFirstEcho, 0, markerlessPackets).empty());
    EXPECT_EQ(a.pendingPoints(), kBound * (dual ? 2 : 1)) << "both echo stores stop at the bound";
    EXPECT_EQ(a.droppedPoints(), (markerless - kBound) * (dual ? 2 : 1));

    const auto frames = feed(a, s.packets(), kv::kFirstEcho, markerlessPackets);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(ids(frames[0], dual), range(1, long(kBound))) << "the first points are kept, in order";
    // The four periods after the first marker found the frame full: they are dropped too.
    EXPECT_EQ(a.droppedPoints(), (markerless + 40 - kBound) * (dual ? 2 : 1));
    EXPECT_EQ(ids(frames[1], dual), range(long(markerless) + 41, long(markerless) + 80));
}

INSTANTIATE_TEST_SUITE_P(Layouts, FrameBound, ::testing::Values(int(kSingle), int(kDual)),
                         [](const auto& i) { return std::string(i.param == kDual ? "Dual" : "Single"); });

TEST(FrameBound, TheDefaultBoundHoldsAMarkerlessFloodToAFewMegabytes) {
    // 8,000 packets without a marker would be 1,368,000 points (about 22 MB of frame).
    kvtest::Packet p{};
    for (std::size_t r = 0; r < kv::datapkt::single::kRecordCount; ++r)
        kv::datapkt::writeSingle(p.data() + r * kv::datapkt::single::kRecordBytes, 2, std::uint32_t(r), 256, 9);
    kv::FrameRule a;
    std::vector<MuchLidarData> out;
    for (int i = 0; i < 8000; ++i) a.feed(p.data(), kv::kDualEchoBoth, out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(a.pendingPoints(), kv::kMaxFramePoints);
    EXPECT_EQ(a.droppedPoints(), 8000u * kv::datapkt::single::kRecordCount - kv::kMaxFramePoints);
    // Well above the largest real frame: four periods of 18,001 points, ten times over.
    EXPECT_GE(kv::kMaxFramePoints, 10u * 4u * 18001u);
}

namespace {

// A sensor's stream: a packet with no point (so that every sender is known before a frame
// closes: until then one sender's frames pass as they are), then `frames` frames of four
// periods of 30 points, the points numbered from `first` through their azimuth, so that every
// point names its sensor and its place.
PacketStream sensorStream(std::uint32_t first, int frames) {
    PacketStream s{kSingle};
    std::uint32_t id = first;
    s.voidRecord().endPacket();
    s.marker();
    for (int p = 0; p < 4 * frames + 1; ++p) {
        for (int k = 0; k < 30; ++k, ++id) s.point(int(id % 4), id, 256, 1);
        s.marker();
    }
    return s;
}

}  // namespace

// Several senders on one port: each is cut into frames by a rule of its own however their
// packets interleave, and the merged frames hold the lead's frame with the latest complete
// frame of every other shown sensor, each point tagged; one sender passes unchanged.
TEST(SensorStreams, EachSenderIsCutAloneAndMergedAtTheLeadsFrames) {
    const kv::SensorSource a{0x7F000002, 2368}, b{0x7F000003, 2368}, c{0x7F000003, 2369};  // c: b's address, another port
    const struct {
        const char* name;
        std::vector<kv::SensorSource> senders;
        std::size_t lead;
        std::uint64_t hidden;
    } cases[] = {
        {"one sender", {a}, 0, 0},
        {"two senders", {a, b}, 0, 0},
        {"two senders, the second leading", {a, b}, 1, 0},
        {"three senders, one hidden", {a, b, c}, 0, 0b100},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        std::vector<PacketStream> streams;
        std::vector<std::vector<MuchLidarData>> alone;  // each sender's frames, cut by itself
        for (std::size_t k = 0; k < t.senders.size(); ++k) {
            streams.push_back(sensorStream(std::uint32_t(100000 * (k + 1)), 3 + int(k)));
            kv::FrameRule rule;
            alone.push_back(feed(rule, streams.back().packets(), 0));
        }
        kv::SensorStreams sensors;
        std::vector<MuchLidarData> merged;
        std::vector<std::size_t> seen(t.senders.size(), 0);  // frames each sender has finished
        std::vector<std::vector<std::size_t>> expectAt;       // per merged frame: each sender's frame (0: none)
        // Round robin, one packet each: the streams interleave packet by packet.
        for (std::size_t p = 0;; ++p) {
            bool any = false;
            for (std::size_t k = 0; k < t.senders.size(); ++k) {
                if (p >= streams[k].packets().size()) continue;
                any = true;
                sensors.setLead(t.lead);
                for (std::size_t v = 0; v < sensors.count(); ++v) sensors.setVisible(v, !((t.hidden >> v) & 1));
                const std::size_t before = merged.size();
                kv::FrameRule probe;  // how many frames this sender has finished after the packet
                ASSERT_TRUE(sensors.feed(t.senders[k], streams[k].packets()[p].data(), 0, 0, merged));
                std::size_t finished = 0;
                for (std::size_t q = 0; q <= p; ++q) finished += feed(probe, {streams[k].packets()[q]}, 0).size();
                seen[k] = finished;
                for (std::size_t m = before; m < merged.size(); ++m) expectAt.push_back(seen);
            }
            if (!any) break;
        }
        if (t.senders.size() == 1) {
            ASSERT_EQ(merged.size(), alone[0].size());
            for (std::size_t f = 0; f < merged.size(); ++f) EXPECT_TRUE(merged[f] == alone[0][f]);  // untagged too
            continue;
        }
        ASSERT_EQ(merged.size(), alone[t.lead].size());
        for (std::size_t f = 0; f < merged.size(); ++f) {
            MuchLidarData want;
            for (std::size_t k = 0; k < t.senders.size(); ++k) {
                const std::size_t j = k == t.lead ? f + 1 : expectAt[f][k];
                if (((t.hidden >> k) & 1) || j == 0) continue;
                MuchLidarData part = alone[k][j - 1];
                part.sensor.assign(part.size(), std::uint8_t(k));
                if (k == t.lead) {
                    part.appendAll(want);
                    want = part;
                } else {
                    want.appendAll(part);
                }
            }
            EXPECT_TRUE(merged[f] == want) << "merged frame " << f + 1;
        }
        ASSERT_EQ(sensors.count(), t.senders.size());
        for (std::size_t k = 0; k < t.senders.size(); ++k) {
            EXPECT_EQ(sensors.stats()[k].source, t.senders[k]);
            EXPECT_EQ(sensors.stats()[k].packets, streams[k].packets().size());
            EXPECT_EQ(sensors.stats()[k].frames, alone[k].size());
        }
    }
    // Senders beyond the bound are dropped and counted, never given a frame rule.
    kv::SensorStreams many;
    std::vector<MuchLidarData> out;
    const PacketStream one = sensorStream(1, 1);
    for (std::uint32_t k = 0; k < kv::SensorStreams::kMaxSensors + 3; ++k)
        many.feed({0x0A000000u + k, 2368}, one.packets()[0].data(), 0, 0, out);
    EXPECT_EQ(many.count(), kv::SensorStreams::kMaxSensors);
    EXPECT_EQ(many.droppedPackets(), 3u);
}
