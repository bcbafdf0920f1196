// The colour bar's lookup table against the colours the points are drawn with: for each colour
// mode, 20 values across the bar (and beyond its ends where it has outer swatches) map to the
// very bytes of the point colour function.
#include <gtest/gtest.h>

#include <vtkLookupTable.h>

#include <cmath>
#include <set>
#include <tuple>

#include "colour_legend.h"

namespace {

TEST(ColourLegend, LookupTableGivesThePointColoursOfEachMode) {
    struct Row {
        int mode;
        bool shown;
        const char* title;
        double first, last;  // 20 values from first to last, both included
        bool whole;          // the mode's value is a whole number (intensity, line)
        std::size_t distinct;  // colours the 20 values must meet, so that every band is crossed
    };
    // The elevation values run past both ends of the bar into its outer swatches; none of them
    // falls on a band's edge (-2, 0, 1, 5), where the point colours make a one-value exception.
    const Row rows[] = {
        {kv::kColourIntensity, true, "Intensity", 0, 255, true, 20},
        {kv::kColourSolid, false, "", 0, 0, false, 0},
        {kv::kColourElevation, true, "Elevation (m)", -3.9, 6.9, false, 5},
        {kv::kColourAzimuth, true, "Azimuth (deg)", 0, 360, false, 4},
        {kv::kColourLaserId, true, "LaserID", 0, 3, true, 2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.mode);
        const kv::ColourLegendSpec spec = kv::colourLegendSpec(r.mode);
        ASSERT_EQ(spec.shown, r.shown);
        if (!r.shown) continue;
        EXPECT_EQ(spec.title, r.title);
        vtkSmartPointer<vtkLookupTable> lut = kv::legendLookupTable(spec);
        std::set<std::tuple<int, int, int>> seen;
        for (int k = 0; k < 20; ++k) {
            double v = r.first + (r.last - r.first) * k / 19.0;
            if (r.whole) v = std::round(v);
            const kv::Rgb want = kv::pointColour(r.mode, int(v), float(v), float(v), int(v));
            const unsigned char* got = lut->MapValue(v);
            EXPECT_EQ((std::tuple<int, int, int>(got[0], got[1], got[2])), (std::tuple<int, int, int>(want.r, want.g, want.b)))
                << "at " << v;
            EXPECT_EQ(got[3], 255) << "at " << v;
            seen.insert({want.r, want.g, want.b});
        }
        EXPECT_EQ(seen.size(), r.distinct);
    }
}

}  // namespace
