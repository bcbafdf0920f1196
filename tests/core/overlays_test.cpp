// Measuring grid geometry and the cursor readout.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "overlays.h"

TEST(MeasuringGrid, ShapeCountsIdsAndPlacement) {
    const auto segments = kv::measuringGridSegments();
    const auto labels = kv::measuringGridLabels();
    ASSERT_EQ(segments.size(), 82u + 360u);
    ASSERT_EQ(labels.size(), 10u);
    std::set<std::string> ids;
    for (const auto& s : segments) ids.insert(s.id);
    for (const auto& l : labels) ids.insert(l.id);
    EXPECT_EQ(ids.size(), segments.size() + labels.size()) << "every shape needs its own id";
    for (const char* id : {"LineX-200", "LineX0", "LineX200", "LineY-200", "Circle3010", "Circle190350"})
        EXPECT_EQ(ids.count(id), 1u) << id;

    EXPECT_EQ(labels.front().text, "10m");
    EXPECT_EQ(labels.back().text, "190m");
    EXPECT_NEAR(labels.back().y, 190.0, 1e-3);
    EXPECT_NEAR(labels.back().x, 0.0, 1e-3);
    // Ring chords: both ends on the circle, and each ring closes on itself.
    for (const auto& s : segments) {
        if (s.id.rfind("Circle", 0) != 0) continue;
        const double r1 = std::hypot(s.x1, s.y1), r2 = std::hypot(s.x2, s.y2);
        EXPECT_NEAR(r1, r2, 1e-9) << s.id;
    }
    const auto& first = segments[82];
    const auto& last = segments[82 + 35];
    EXPECT_NEAR(last.x2, first.x1, 1e-3);
    EXPECT_NEAR(last.y2, first.y1, 1e-3);
}

TEST(CursorReadout, DistanceAndAzimuthAllRound) {
    struct Case {
        double x, y, z;
        const char* text;
    } cases[] = {
        {-1, 1, 0, "Distance:1.414214    Azimuth:135.000000"},
        {1, 1, 0, "Distance:1.414214    Azimuth:45.000000"},
        {-1, -1, 0, "Distance:1.414214    Azimuth:225.000000"},
        {1, -1, 0, "Distance:1.414214    Azimuth:315.000000"},
        {3, 0, 4, "Distance:5.000000    Azimuth:0.000000"},
        {0, 2, 0, "Distance:2.000000    Azimuth:90.000000"},
        // On the negative axes the readout continues its quadrants instead of falling back to
        // the first one.
        {-2, 0, 0, "Distance:2.000000    Azimuth:180.000000"},
        {0, -2, 0, "Distance:2.000000    Azimuth:270.000000"},
        // Straight above the sensor: no azimuth, shown as 0 rather than nan.
        {0, 0, 1, "Distance:1.000000    Azimuth:0.000000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kv::cursorReadoutText(kv::cursorReadout(c.x, c.y, c.z)), c.text) << c.x << "," << c.y;
}
