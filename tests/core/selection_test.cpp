// The picked region and the "SaveData" choice: area picks, the listing after a pick with its
// wrap, the selected-row window, the three row formats, the labels, and the sequences of the
// two line-selection buttons; the session the window's "Select", pick, range and "Clear" drive.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "save_selection.h"
#include "selection.h"
#include "selection_session.h"

namespace {

kv::ColouredPoint at(float x, float y, float z) { return {x, y, z, {1, 2, 3}}; }

TEST(AreaPick, BoxOfTheNamedPointsAndIndicesOutsideAreSkipped) {
    const std::vector<kv::ColouredPoint> shown = {at(1, 2, 0), at(-3, 5, 1), at(4, -1, -2), at(0, 0, 0)};
    struct Row {
        const char* what;
        std::vector<int> indices;
        int count;
        kv::SelectionBox box;
    };
    const Row rows[] = {
        {"one point", {0}, 1, {1, 1, 2, 2, 0, 0}},
        {"three points", {0, 1, 2}, 3, {-3, 4, -1, 5, -2, 1}},
        {"indices past the cloud (another cloud's)", {1, 4, 99, -1, 2}, 2, {-3, 4, -1, 5, -2, 1}},
        {"only foreign indices", {4, 5}, 0, {}},
        {"nothing", {}, 0, {}},
    };
    for (const Row& r : rows) {
        const kv::AreaPick p = kv::pickArea(shown, r.indices);
        EXPECT_EQ(p.count, r.count) << r.what;
        EXPECT_EQ(p.points.size(), std::size_t(r.count)) << r.what;
        if (r.count == 0) continue;
        EXPECT_EQ(p.box.xMin, r.box.xMin) << r.what;
        EXPECT_EQ(p.box.xMax, r.box.xMax) << r.what;
        EXPECT_EQ(p.box.yMin, r.box.yMin) << r.what;
        EXPECT_EQ(p.box.yMax, r.box.yMax) << r.what;
        EXPECT_EQ(p.box.zMin, r.box.zMin) << r.what;
        EXPECT_EQ(p.box.zMax, r.box.zMax) << r.what;
    }
}

// "Select", picks, the range dialog and "Clear" in the orders users press them: what is armed,
// followed and read out after each step.
TEST(SelectionSession, ButtonSequences) {
    const std::vector<kv::ColouredPoint> drawn = {at(1, 2, 0), at(-3, 5, 1), at(4, -1, -2)};
    const kv::BeamGeometry g = kv::BeamGeometry::forLineType(1);
    enum Step { kSelect, kPickTwo, kPickForeign, kRange, kClear };
    struct State {
        bool armed, followed, readout;
        int picked;
        float xMax;
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
        State after;
    } cases[] = {
        {"at the start", {}, {false, false, true, 0, 0}},
        {"Select arms, stops the readout", {kSelect}, {true, false, false, 0, 0}},
        {"Select twice disarms", {kSelect, kSelect}, {false, false, false, 0, 0}},
        {"a pick follows its box", {kSelect, kPickTwo}, {false, true, true, 2, 1}},
        {"a band over no drawn point keeps it armed", {kSelect, kPickForeign}, {true, false, false, 0, 0}},
        {"the range dialog moves the followed box", {kSelect, kPickTwo, kRange}, {false, true, true, 2, 9}},
        {"Clear drops the region, keeps the readout", {kSelect, kPickTwo, kClear}, {false, false, true, 0, 0}},
        {"Select after a pick drops the region", {kSelect, kPickTwo, kSelect}, {true, false, false, 2, 0}},
    };
    for (const Case& c : cases) {
        kv::SelectionSession s;
        for (Step step : c.steps) {
            switch (step) {
            case kSelect: s.toggleArmed(); break;
            case kPickTwo: EXPECT_TRUE(s.pick(drawn, {0, 1, 7}, MuchLidarData(), g, {}).taken) << c.what; break;
            case kPickForeign: EXPECT_FALSE(s.pick(drawn, {5, 6}, MuchLidarData(), g, {}).taken) << c.what; break;
            case kRange: s.setBox({-9, 9, -9, 9, -9, 9}); break;
            case kClear: s.clear(); break;
            }
        }
        EXPECT_EQ(s.armed(), c.after.armed) << c.what;
        EXPECT_EQ(s.followed(), c.after.followed) << c.what;
        EXPECT_EQ(s.readout(), c.after.readout) << c.what;
        EXPECT_EQ(s.pickedCount(), c.after.picked) << c.what;
        EXPECT_EQ(s.box().xMax, c.after.xMax) << c.what;
        const kv::DisplayFilter f = s.applyTo(kv::DisplayFilter());
        EXPECT_EQ(f.selectionActive, c.after.followed) << c.what;
        EXPECT_EQ(f.box.xMax, c.after.xMax) << c.what;
    }
}

// Points on line 0 along +y at 1 m steps: point k lies at y = k + 1.
MuchLidarData alongY(int n, int line = 0) {
    MuchLidarData f;
    for (int k = 0; k < n; ++k) f.append(line, 90.0f, float(100 * (k + 1)), k);
    return f;
}

TEST(PickListing, RowsWrapAtThePickedCountAndSkipHiddenLines) {
    const kv::BeamGeometry g = kv::BeamGeometry::forLineType(1);
    kv::DisplayFilter lines;  // line 0 shown only
    const kv::SelectionBox box{-0.5f, 0.5f, 0.5f, 10.5f, -1, 1};  // points 0..9
    MuchLidarData f = alongY(12);
    f.append(1, 90.0f, 300.0f, 7);  // hidden line
    f.append(0, 90.0f, 0.0f, 7);    // no return
    struct Row {
        int picked;
        bool production;
        std::vector<int> rowOfPoint;  // table row of each in-box point in order
    };
    const Row rows[] = {
        {10, false, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {4, false, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1}},
        {1, false, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {20, true, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},  // production: the hidden line's point too
    };
    for (const Row& r : rows) {
        lines.ignoreLineSelection = r.production;
        const kv::PickListing l = kv::listPicked(f, g, lines, box, r.picked);
        ASSERT_EQ(l.rows.size(), r.rowOfPoint.size()) << "picked " << r.picked;
        for (std::size_t k = 0; k < l.rows.size(); ++k) EXPECT_EQ(l.rows[k].first, r.rowOfPoint[k]) << k;
        EXPECT_EQ(l.stats.count, r.rowOfPoint.size());
        EXPECT_NEAR(l.stats.yMin, 1.0, 1e-5);
        EXPECT_NEAR(l.stats.yMax, r.production ? 10.0 : 10.0, 1e-5);
    }
}

TEST(SelectedRowWindow, ScrollPositionAndWrap) {
    struct Row {
        const char* what;
        std::size_t inBox;
        int picked, scroll;
        std::map<int, std::size_t> lastWrite;  // row -> last point written there
        std::size_t writes;
    };
    std::map<int, std::size_t> rows40to70;
    for (int r = 40; r <= 70; ++r) rows40to70[r] = std::size_t(r);
    std::map<int, std::size_t> rows0to30;
    for (int r = 0; r <= 30; ++r) rows0to30[r] = std::size_t(r);
    const Row rows[] = {
        {"scroll 40: rows 40 to 70 only", 100, 100, 40, rows40to70, 31},
        {"scroll 0: rows 0 to 30", 100, 100, 0, rows0to30, 31},
        {"more in-box points than picked: the row after the last is row 0 again", 5, 3, 0, {{0, 3}, {1, 4}, {2, 2}}, 5},
        {"fewer in-box points than the window", 3, 10, 0, {{0, 0}, {1, 1}, {2, 2}}, 3},
        {"scrolled past every row", 10, 10, 40, {}, 0},
        {"no in-box point", 0, 10, 0, {}, 0},
    };
    for (const Row& r : rows) {
        std::map<int, std::size_t> last;
        std::size_t writes = 0;
        kv::forEachSelectedRow(r.inBox, r.picked, r.scroll, [&](int row, std::size_t k) {
            last[row] = k;
            ++writes;
        });
        EXPECT_EQ(last, r.lastWrite) << r.what;
        EXPECT_EQ(writes, r.writes) << r.what;
    }
}

TEST(RowFormats, ListingSelectedAndAreaPick) {
    const kv::PointRow row{3, {1.23456f, -0.5f, 0.0349f}, 1234.5f, 45.25f, 77};
    struct Row {
        kv::RowFormat format;
        std::array<std::string, 5> texts;
    };
    const Row rows[] = {
        {kv::RowFormat::kListing, {"3", "1.2346 -0.5000 0.0349", "12.345", "45.250", "77.0000"}},
        {kv::RowFormat::kSelected, {"3", "1.2346 -0.5000 0.0349", "12.3450", "45.250", "77.0000"}},
        {kv::RowFormat::kAreaPick, {"3", "1.2346 -0.5000 0.0349", "12.3450", "45.250", "77"}},
    };
    for (const Row& r : rows) EXPECT_EQ(kv::pointRowTexts(row, r.format), r.texts);
}

TEST(SelectionLabels, ExtremesAverageOrASpace) {
    kv::SelectionStats s;
    EXPECT_EQ(kv::selectionLabelTexts(s), (std::array<std::string, 3>{" ", " ", " "}));
    s.add({1.5f, 2.0f, -0.25f});
    s.add({-3.0f, 4.0f, 0.125f});
    const auto t = kv::selectionLabelTexts(s);
    EXPECT_EQ(t[0], "selectP: X_max:  1.5\t\tX_min:  -3");
    EXPECT_EQ(t[1], "selectP: Y_max:  4\t\tY_min:  2\t\tY_average:  3");
    EXPECT_EQ(t[2], "selectP: Z_max:  0.125\t\tZ_min:  -0.25");
}

TEST(SaveSelectionButtons, CheckstateAndParitySequences) {
    using Checks = std::array<bool, 4>;
    struct Row {
        const char* what;
        int lineShow, lineType;
        const char* presses;  // A = "All/All no choice", S = "Switch selection", O = Ok
        Checks checks;
        std::array<int, 4> states;
    };
    const Row rows[] = {
        {"initial, one line", 1, 1, "", {true, false, false, false}, {1, 0, 0, 0}},
        {"initial, three lines", 3, 1, "", {true, true, true, false}, {1, 1, 1, 0}},
        {"line type 4 offers four lines", 1, 4, "", {true, true, true, true}, {1, 1, 1, 1}},
        {"one line: a second switch deselects it", 1, 1, "SSO", {false, false, false, false}, {0, 0, 0, 0}},
        {"one line: one switch keeps it", 1, 1, "SO", {true, false, false, false}, {1, 0, 0, 0}},
        {"all off, then switch unchecks line 0", 4, 1, "ASO", {false, false, false, false}, {0, 0, 0, 0}},
        {"all off, all on", 3, 1, "AAO", {true, true, true, false}, {1, 1, 1, 0}},
        {"all off without Ok changes no state", 2, 1, "A", {false, false, false, false}, {1, 1, 0, 0}},
        {"all off, switch, switch checks line 0", 2, 1, "ASSO", {true, false, false, false}, {1, 0, 0, 0}},
        {"more lines than the model holds", 9, 1, "", {true, true, true, true}, {1, 1, 1, 1}},
    };
    for (const Row& r : rows) {
        kv::csv::SaveSelection s(r.lineShow, r.lineType);
        for (const char* p = r.presses; *p; ++p) {
            if (*p == 'A') s.checkstate();
            if (*p == 'S') s.parity();
            if (*p == 'O') s.confirm(5, 10.0f, 20.0f);
        }
        EXPECT_EQ(s.checked, r.checks) << r.what;
        EXPECT_EQ(s.lineState, r.states) << r.what;
    }
}

}  // namespace

namespace {

// A record whose four arrays differ in length: only the points all four hold exist.
TEST(DisplayPass, RaggedFrameReadsTheCommonLength) {
    const kv::BeamGeometry g = kv::BeamGeometry::forLineType(1);
    kv::DisplayFilter filter;
    kv::FramePoints out;
    struct Row {
        std::size_t channels, azimuths, distances, intensities, points;
    };
    const Row rows[] = {{5, 5, 5, 5, 5}, {5, 2, 5, 5, 2}, {5, 5, 5, 0, 0}, {1, 5, 5, 5, 1}, {5, 5, 3, 4, 3}};
    for (const Row& r : rows) {
        MuchLidarData f;
        f.channel.assign(r.channels, 0);
        f.azimuth.assign(r.azimuths, 10.0f);
        f.distance.assign(r.distances, 100.0f);
        f.intensity.assign(r.intensities, 5);
        kv::computeFramePoints(f, g, filter, out);
        EXPECT_EQ(out.displayed.size(), r.points);
        EXPECT_EQ(f.commonSize(), r.points);
        EXPECT_EQ(kv::listPicked(f, g, filter, {-10, 10, -10, 10, -1, 1}, 10).rows.size(), r.points);
    }
}

}  // namespace
