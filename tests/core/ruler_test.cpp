// The ruler: snapping a click to the nearest projected point and the figures between two points.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ruler.h"

namespace kv {
namespace {

TEST(Ruler, SnapsToNearestPointWithinRadius) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<ScreenPoint> pts = {{100, 100}, {104, 100}, {nan, nan}, {300, 200}, {300, 206}};
    struct Case {
        ScreenPoint click;
        std::optional<std::size_t> want;
    } cases[] = {
        {{100, 100}, 0},             // on a point
        {{102.9, 100}, 1},           // between two, nearer the second
        {{102, 100}, 0},             // equally near: the first
        {{300, 194}, 3},             // exactly at the radius
        {{300, 193.9}, std::nullopt},  // just outside
        {{300, 203.5}, 4},
        {{600, 600}, std::nullopt},  // far from everything
    };
    for (const auto& c : cases) {
        EXPECT_EQ(nearestInScreen(pts, c.click), c.want) << c.click.x << "," << c.click.y;
    }
    EXPECT_EQ(nearestInScreen({}, {0, 0}), std::nullopt);
}

TEST(Ruler, FiguresAndTexts) {
    struct Case {
        RulerPoint a, b;
        double dist, dz, az;
        const char* label;
    } cases[] = {
        {{0, 0, 0}, {3, 4, 0}, 5.0, 0.0, 53.130102, "5.000 m, dz 0.000 m, 53.1\xC2\xB0"},
        {{1, 1, 1}, {1, 1, 3.5}, 2.5, 2.5, 0.0, "2.500 m, dz 2.500 m, 0.0\xC2\xB0"},
        {{2, 0, 1}, {0, 0, 0}, std::sqrt(5.0), -1.0, 180.0, "2.236 m, dz -1.000 m, 180.0\xC2\xB0"},
        {{0, 0, 0}, {0, -2, 0}, 2.0, 0.0, 270.0, "2.000 m, dz 0.000 m, 270.0\xC2\xB0"},
        {{-1.2345, 0.5, -0.25}, {-1.2345, 0.5, -0.25}, 0.0, 0.0, 0.0, "0.000 m, dz 0.000 m, 0.0\xC2\xB0"},
    };
    for (const auto& c : cases) {
        const RulerFigures f = rulerFigures(c.a, c.b);
        EXPECT_NEAR(f.distanceM, c.dist, 1e-9);
        EXPECT_NEAR(f.heightDiffM, c.dz, 1e-9);
        EXPECT_NEAR(f.azimuthDeg, c.az, 1e-5);
        EXPECT_EQ(rulerLabel(f), c.label);
    }
    EXPECT_EQ(rulerStatus({0, 0, 0}, {3, 4, 1}, rulerFigures({0, 0, 0}, {3, 4, 1})),
              "A (0.000, 0.000, 0.000)  B (3.000, 4.000, 1.000)  5.099 m, dz 1.000 m, 53.1\xC2\xB0");
}

}  // namespace
}  // namespace kv
