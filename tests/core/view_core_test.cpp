// The display core: beam geometry, point computation, colour modes, the display pass over a
// frame, the table and statistics texts, the model label and the window title.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "frame_display.h"

namespace {

using kv::Rgb;

TEST(BeamGeometry, FlatForTypeOneTiltedForAnyOther) {
    const kv::BeamGeometry flat = kv::BeamGeometry::forLineType(1);
    for (int i = 0; i < kv::kLineCount; ++i) {
        EXPECT_EQ(flat.horizontal[std::size_t(i)], 1.0f);
        EXPECT_EQ(flat.elevation[std::size_t(i)], 0.0f);
    }
    const float h[] = {1.0f, 0.99998343f, 0.99993366f, 0.99985075f};
    const float e[] = {0.0f, 0.0057595498f, 0.011693429f, 0.017452391f};
    for (int type : {0, 2, 4, -1}) {
        const kv::BeamGeometry g = kv::BeamGeometry::forLineType(type);
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_FLOAT_EQ(g.horizontal[i], h[i]) << "type " << type << " line " << i;
            EXPECT_FLOAT_EQ(g.elevation[i], e[i]) << "type " << type << " line " << i;
        }
    }
}

TEST(PointComputation, MetresFromDegreesAndCentimetres) {
    struct Row {
        int type, line;
        double azimuthDeg, distanceCm;
        float x, y, z;
    };
    const Row rows[] = {
        {2, 3, 0.0, 1000.0, 9.9985f, 0.0f, 0.34905f},
        {2, 3, 180.0, 1000.0, -9.9985f, 0.0f, 0.0f},     // the half-azimuth cosine is 0 behind
        {2, 3, 360.0, 1000.0, 9.9985f, 0.0f, -0.34905f}, // ... and -1 at a full turn
        {2, 1, 90.0, 100.0, 0.0f, 0.99998f, 0.00815f},
        {2, 0, 45.0, 200.0, 1.41421f, 1.41421f, 0.0f},
        {1, 3, 0.0, 1000.0, 10.0f, 0.0f, 0.0f},
        {1, 2, 270.0, 50.0, 0.0f, -0.5f, 0.0f},
    };
    for (const Row& r : rows) {
        const kv::PointM p =
            kv::computePoint(kv::BeamGeometry::forLineType(r.type), r.line, r.azimuthDeg, r.distanceCm);
        SCOPED_TRACE(::testing::Message() << "type " << r.type << " line " << r.line << " az " << r.azimuthDeg);
        EXPECT_NEAR(p.xM, r.x, 1e-4);
        EXPECT_NEAR(p.yM, r.y, 1e-4);
        EXPECT_NEAR(p.zM, r.z, 1e-4);
        if (r.type == 1) {
            EXPECT_EQ(p.zM, 0.0f);
        }
    }
}

TEST(ColourModes, EveryBoundary) {
    struct Row {
        int mode, intensity;
        float z, azimuth;
        int line;
        Rgb rgb;
    };
    const Row rows[] = {
        {0, 0, 0, 0, 0, {0, 0, 255}},     {0, 31, 0, 0, 0, {0, 248, 255}},  {0, 32, 0, 0, 0, {0, 255, 255}},
        {0, 63, 0, 0, 0, {0, 255, 131}},  {0, 64, 0, 0, 0, {192, 255, 0}},  {0, 79, 0, 0, 0, {252, 255, 0}},
        {0, 80, 0, 0, 0, {0, 255, 0}},    {0, 127, 0, 0, 0, {188, 255, 0}}, {0, 128, 0, 0, 0, {255, 255, 0}},
        {0, 255, 0, 0, 0, {255, 1, 0}},
        {1, 7, -3, 10, 9, {255, 255, 255}},
        // Elevation: each edge belongs to the band above it.
        {2, 0, -2.5f, 0, 0, {139, 69, 19}},  {2, 0, -2.0001f, 0, 0, {139, 69, 19}}, {2, 0, -2.0f, 0, 0, {255, 255, 0}},
        {2, 0, -1.0f, 0, 0, {255, 255, 0}},  {2, 0, -1e-6f, 0, 0, {255, 255, 0}},   {2, 0, 0.0f, 0, 0, {255, 255, 255}},
        {2, 0, -0.0f, 0, 0, {255, 255, 255}}, {2, 0, 0.5f, 0, 0, {255, 255, 255}},  {2, 0, 0.9999f, 0, 0, {255, 255, 255}},
        {2, 0, 1.0f, 0, 0, {0, 128, 0}},     {2, 0, 3.0f, 0, 0, {0, 128, 0}},      {2, 0, 4.999f, 0, 0, {0, 128, 0}},
        {2, 0, 5.0f, 0, 0, {0, 0, 255}},     {2, 0, 7.0f, 0, 0, {0, 0, 255}},
        {3, 0, 0, 0.0f, 0, {0, 255, 255}},     {3, 0, 0, 44.99f, 0, {0, 255, 255}}, {3, 0, 0, 45.0f, 0, {0, 125, 192}},
        {3, 0, 0, 89.99f, 0, {0, 125, 192}},   {3, 0, 0, 90.0f, 0, {0, 255, 0}},    {3, 0, 0, 134.99f, 0, {0, 255, 0}},
        {3, 0, 0, 135.0f, 0, {255, 255, 0}},   {3, 0, 0, 359.0f, 0, {255, 255, 0}},
        // LaserID: a colour of its own for each of the four lines; red for any other line.
        {4, 0, 0, 0, 0, {102, 102, 255}},  {4, 0, 0, 0, 1, {255, 204, 0}},  {4, 0, 0, 0, 2, {153, 153, 255}},
        {4, 0, 0, 0, 3, {0, 204, 102}},    {4, 0, 0, 0, 4, {255, 0, 0}},    {4, 0, 0, 0, 15, {255, 0, 0}},
        {4, 0, 0, 0, -1, {255, 0, 0}},
    };
    for (const Row& r : rows) {
        const Rgb c = kv::pointColour(r.mode, r.intensity, r.z, r.azimuth, r.line);
        EXPECT_TRUE(c == r.rgb) << "mode " << r.mode << " intensity " << r.intensity << " z " << r.z << " az "
                                << r.azimuth << " line " << r.line << ": got " << int(c.r) << "," << int(c.g)
                                << "," << int(c.b);
    }
}

// "LaserID" tells the four lines apart on the black view: every line's colour stands well apart
// from the background and from each other line's, lines 0 and 2 (two near shades) excepted.
TEST(ColourModes, LaserIdLinesStandApart) {
    auto apart = [](Rgb a, Rgb b) { return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b); };
    auto line = [](int l) { return kv::pointColour(kv::kColourLaserId, 0, 0, 0, l); };
    for (int a = 0; a < kv::kLineCount; ++a) {
        EXPECT_GE(apart(line(a), Rgb{0, 0, 0}), 300) << "line " << a;
        for (int b = a + 1; b < kv::kLineCount; ++b)
            EXPECT_GE(apart(line(a), line(b)), a == 0 && b == 2 ? 100 : 300) << "lines " << a << " and " << b;
    }
}

// One frame of (line, azimuth, distance, intensity) points.
MuchLidarData frameOf(std::initializer_list<std::tuple<int, float, float, int>> pts) {
    MuchLidarData f;
    for (const auto& [line, az, dist, inten] : pts) f.append(line, az, dist, inten);
    return f;
}

struct PassCase {
    const char* name;
    MuchLidarData frame;
    kv::DisplayFilter filter;
    std::vector<float> keptAzimuths;  // in frame order
};

kv::DisplayFilter filterWith(std::array<bool, 4> lines, double minDeg = 0, double maxDeg = 180, bool production = false) {
    kv::DisplayFilter f;
    f.lineShown = lines;
    f.minAngleDeg = minDeg;
    f.maxAngleDeg = maxDeg;
    f.ignoreLineSelection = production;
    return f;
}

void PrintTo(const PassCase& c, std::ostream* os) { *os << c.name; }

class DisplayPass : public ::testing::TestWithParam<PassCase> {};

TEST_P(DisplayPass, KeepsExactlyThePointsThatPassEveryFilter) {
    const PassCase& c = GetParam();
    kv::FramePoints out;
    out.displayed.resize(3);  // leftovers of an earlier frame must go
    kv::computeFramePoints(c.frame, kv::BeamGeometry::forLineType(2), c.filter, out);
    std::vector<float> kept;
    for (const kv::PointRow& r : out.tableRows) kept.push_back(r.azimuthDeg);
    EXPECT_EQ(kept, c.keptAzimuths);
    EXPECT_EQ(out.displayed.size(), kept.size());
    EXPECT_TRUE(out.selected.empty());  // the all-zero box holds no point
    EXPECT_EQ(kv::selectionLabelTexts(out.stats), (std::array<std::string, 3>{" ", " ", " "}));
}

const std::array<bool, 4> kAllLines{{true, true, true, true}};

INSTANTIATE_TEST_SUITE_P(
    Table, DisplayPass,
    ::testing::Values(
        PassCase{"AllZeroDistancesDrawNothing", frameOf({{0, 10, 0, 1}, {1, 20, 0, 1}, {0, 30, 0, 1}}),
                 filterWith(kAllLines), {}},
        PassCase{"NegativeDistanceDropped", frameOf({{0, 10, -5, 1}, {0, 20, 1e-3f, 1}}), filterWith(kAllLines), {20}},
        PassCase{"DefaultRangeKeepsBothEnds", frameOf({{0, 0, 100, 1}, {0, 180, 100, 1}, {0, 180.01f, 100, 1}, {0, 359, 100, 1}}),
                 filterWith(kAllLines), {0, 180}},
        PassCase{"MinTenDropsBelow", frameOf({{0, 0, 100, 1}, {0, 9.99f, 100, 1}, {0, 10, 100, 1}, {0, 90, 100, 1}}),
                 filterWith(kAllLines, 10), {10, 90}},
        PassCase{"NarrowRangeBothEndsIncluded", frameOf({{0, 29.5f, 100, 1}, {0, 30, 100, 1}, {0, 40, 100, 1}, {0, 40.5f, 100, 1}}),
                 filterWith(kAllLines, 30, 40), {30, 40}},
        PassCase{"DeselectedLinesDropped", frameOf({{0, 1, 100, 1}, {1, 2, 100, 1}, {2, 3, 100, 1}, {3, 4, 100, 1}}),
                 filterWith({{false, true, false, true}}), {2, 4}},
        PassCase{"DefaultSelectionIsLineZero", frameOf({{0, 1, 100, 1}, {1, 2, 100, 1}, {3, 4, 100, 1}}),
                 kv::DisplayFilter(), {1}},
        PassCase{"ProductionIgnoresSelection", frameOf({{0, 1, 100, 1}, {1, 2, 100, 1}, {2, 3, 100, 1}, {3, 4, 100, 1}}),
                 filterWith({{false, false, false, false}}, 0, 180, true), {1, 2, 3, 4}},
        PassCase{"LinesOutsideTheModelSkipped", frameOf({{4, 1, 100, 1}, {15, 2, 100, 1}, {-1, 3, 100, 1}, {3, 4, 100, 1}}),
                 filterWith(kAllLines, 0, 180, true), {4}}),
    [](const ::testing::TestParamInfo<PassCase>& i) { return std::string(i.param.name); });

TEST(DisplayPass, PointsCarryTheirComputedPositionAndColour) {
    const auto g = kv::BeamGeometry::forLineType(2);
    for (int mode = 0; mode <= 4; ++mode) {
        kv::DisplayFilter f = filterWith(kAllLines);
        f.colourMode = mode;
        kv::FramePoints out;
        kv::computeFramePoints(frameOf({{3, 0, 1000, 80}, {1, 100, 20000, 200}, {2, 50, 30, 10}}), g, f, out);
        ASSERT_EQ(out.displayed.size(), 3u);
        const int lines[] = {3, 1, 2}, intensities[] = {80, 200, 10};
        const float az[] = {0, 100, 50}, dist[] = {1000, 20000, 30};
        for (std::size_t i = 0; i < 3; ++i) {
            const kv::PointM p = kv::computePoint(g, lines[i], az[i], dist[i]);
            const kv::ColouredPoint& d = out.displayed[i];
            EXPECT_EQ(d.xM, p.xM);
            EXPECT_EQ(d.yM, p.yM);
            EXPECT_EQ(d.zM, p.zM);
            EXPECT_TRUE(d.rgb == kv::pointColour(mode, intensities[i], p.zM, az[i], lines[i])) << mode << " " << i;
        }
    }
    // With the flat geometry (the default line type) every point lies at z = 0, in the band
    // from 0 to 1 m: "Elevation" draws the whole cloud white, not in the "5 and up" colour.
    kv::DisplayFilter f = filterWith(kAllLines);
    f.colourMode = kv::kColourElevation;
    kv::FramePoints out;
    kv::computeFramePoints(frameOf({{3, 0, 1000, 80}, {1, 100, 20000, 200}}), kv::BeamGeometry::forLineType(1), f, out);
    ASSERT_EQ(out.displayed.size(), 2u);
    for (const auto& d : out.displayed) EXPECT_TRUE((d.rgb == Rgb{255, 255, 255}));
}

TEST(DisplayPass, TableStopsAt256RowsAndPausesWhileASelectionIsFollowed) {
    MuchLidarData frame;
    for (int i = 0; i < 300; ++i) frame.append(i % 4, float(i) * 0.5f, 100.0f + float(i), i % 256);
    kv::DisplayFilter f = filterWith(kAllLines);
    kv::FramePoints out;
    kv::computeFramePoints(frame, kv::BeamGeometry::forLineType(1), f, out);
    EXPECT_EQ(out.displayed.size(), 300u);
    ASSERT_EQ(out.tableRows.size(), std::size_t(kv::kPointTableRows));
    for (std::size_t i = 0; i < out.tableRows.size(); ++i) {
        EXPECT_EQ(out.tableRows[i].azimuthDeg, frame.azimuth[i]);
        EXPECT_EQ(out.tableRows[i].line, frame.channel[i]);
        EXPECT_EQ(out.tableRows[i].distanceCm, frame.distance[i]);
        EXPECT_EQ(out.tableRows[i].intensity, frame.intensity[i]);
    }
    f.selectionActive = true;
    kv::computeFramePoints(frame, kv::BeamGeometry::forLineType(1), f, out);
    EXPECT_TRUE(out.tableRows.empty());
}

TEST(DisplayPass, SelectionBoxIncludesItsEdgesAndFeedsTheStatistics) {
    // Flat geometry: line 0 at 0 deg lies on +x, at 90 deg near +y.
    const MuchLidarData frame = frameOf({{0, 0, 100, 1}, {0, 0, 200, 2}, {0, 0, 300, 3}, {0, 90, 150, 4}});
    kv::DisplayFilter f = filterWith(kAllLines);
    f.box = {1.0f, 2.0f, 0.0f, 0.0f, 0.0f, 0.0f};  // x from 1 m to 2 m on the x axis
    for (bool active : {false, true}) {
        f.selectionActive = active;
        kv::FramePoints out;
        kv::computeFramePoints(frame, kv::BeamGeometry::forLineType(1), f, out);
        EXPECT_EQ(out.displayed.size(), 4u);
        ASSERT_EQ(out.selected.size(), 2u);
        EXPECT_EQ(out.selected[0].xM, 1.0f);
        EXPECT_EQ(out.selected[1].xM, 2.0f);
        EXPECT_EQ(out.stats.count, 2u);
        EXPECT_EQ(out.selectedIndex.size(), active ? 2u : 0u);
        EXPECT_EQ(kv::selectionLabelTexts(out.stats),
                  (std::array<std::string, 3>{"selectP: X_max:  2\t\tX_min:  1",
                                              "selectP: Y_max:  0\t\tY_min:  0\t\tY_average:  0",
                                              "selectP: Z_max:  0\t\tZ_min:  0"}));
    }
}

TEST(DisplayTexts, StatisticsLabelsUseSixSignificantDigits) {
    kv::SelectionStats s;
    s.add({1.23456789f, -2.5f, 0.25f});
    s.add({-0.000123f, 4.0f, 1234567.0f});
    s.add({0.5f, 1.0f, -3.0f});
    EXPECT_EQ(kv::selectionLabelTexts(s),
              (std::array<std::string, 3>{"selectP: X_max:  1.23457\t\tX_min:  -0.000123",
                                          "selectP: Y_max:  4\t\tY_min:  -2.5\t\tY_average:  0.833333",
                                          "selectP: Z_max:  1.23457e+06\t\tZ_min:  -3"}));
}

TEST(DisplayTexts, TableRowCells) {
    const kv::PointRow row{3, {9.99851f, 0.0f, 0.349048f}, 1234.5f, 12.3456f, 80};
    EXPECT_EQ(kv::pointRowTexts(row),
              (std::array<std::string, 5>{"3", "9.9985 0.0000 0.3490", "12.345", "12.346", "80.0000"}));
    EXPECT_EQ(kv::pointRowTexts(row, 4)[2], "12.3450");
}

TEST(DisplayTexts, ModelLabelAndWindowTitle) {
    struct Row {
        int type, echoFlag;
        bool production;
        const char *label, *title;
    };
    const Row rows[] = {
        {1, 0, false, "VX1", "VX1 Viewer"},
        {1, 2, false, "MS_VX1", "MS_VX1 Viewer"},
        {2, 1, true, "VX2", "VX2 Viewer --Production"},
        {4, 3, false, "VX4", "VX4 Viewer"},
        {12, 2, true, "MS_VX12", "MS_VX12 Viewer --Production"},
        {0, 255, false, "VX0", "VX0 Viewer"},
    };
    for (const Row& r : rows) {
        const std::string label = kv::modelLabel(r.type, r.echoFlag);
        EXPECT_EQ(label, r.label);
        EXPECT_EQ(kv::windowTitle(label, r.production), r.title);
    }
}

}  // namespace
