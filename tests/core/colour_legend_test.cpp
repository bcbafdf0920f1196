// The colour bar's lookup table against the colours the points are drawn with: for each colour
// mode, at every edge between two of the bar's steps, just either side of it, between the
// edges and beyond the bar's ends where it has outer swatches, the table maps a value to the
// very bytes of the point colour function.
#include <gtest/gtest.h>

#include <vtkLookupTable.h>

#include <cmath>
#include <set>
#include <tuple>
#include <vector>

#include "colour_legend.h"

namespace {

using Colour = std::tuple<int, int, int>;

Colour colourOf(const kv::Rgb& c) { return {c.r, c.g, c.b}; }

// The values to compare at, rising: for a whole-numbered mode every value of the bar; otherwise
// each step's edges, 0.001 either side of them and the step's middle, and 1.5 beyond either end
// of a bar with outer swatches.
std::vector<double> samples(const kv::ColourLegendSpec& legend, bool whole) {
    std::vector<double> v;
    if (legend.outerSwatches) v.push_back(legend.minValue - 1.5);
    if (whole) {
        for (double x = legend.minValue; x <= legend.maxValue; x += 1) v.push_back(x);
    } else {
        const double step = (legend.maxValue - legend.minValue) / double(legend.colours.size());
        for (std::size_t k = 0; k <= legend.colours.size(); ++k) {
            const double edge = legend.minValue + step * double(k);
            for (double x : {edge - 1e-3, edge, edge + 1e-3, edge + step / 2})
                if (legend.outerSwatches || (x >= legend.minValue && x <= legend.maxValue)) v.push_back(x);
        }
    }
    if (legend.outerSwatches) v.push_back(legend.maxValue + 1.5);
    return v;
}

TEST(ColourLegend, LookupTableGivesThePointColoursAtEveryEdgeAndBetween) {
    struct Row {
        int mode;
        bool shown;
        const char* title;
        bool whole;                   // the mode's value is a whole number (intensity, line)
        std::vector<Colour> colours;  // the distinct colours met, in order of value; empty: not checked
    };
    const Row rows[] = {
        {kv::kColourIntensity, true, "Intensity", true, {}},
        {kv::kColourSolid, false, "", false, {}},
        // Brown below -2 m, yellow from -2, white from 0, green from 1, blue from 5 m up.
        {kv::kColourElevation, true, "Elevation (m)", false,
         {{139, 69, 19}, {255, 255, 0}, {255, 255, 255}, {0, 128, 0}, {0, 0, 255}}},
        {kv::kColourAzimuth, true, "Azimuth (deg)", false, {{0, 255, 255}, {0, 125, 192}, {0, 255, 0}, {255, 255, 0}}},
        // Four swatches, one colour each.
        {kv::kColourLaserId, true, "LaserID", true, {{102, 102, 255}, {255, 204, 0}, {153, 153, 255}, {0, 204, 102}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.mode);
        const kv::ColourLegendSpec legend = kv::colourLegendSpec(r.mode);
        ASSERT_EQ(legend.shown, r.shown);
        if (!r.shown) continue;
        EXPECT_EQ(legend.title, r.title);
        vtkSmartPointer<vtkLookupTable> lut = kv::legendLookupTable(legend);
        std::vector<Colour> met;
        for (const double v : samples(legend, r.whole)) {
            // The point functions take floats: compare at a value both sides can hold.
            const double x = double(float(v));
            const kv::Rgb want = kv::pointColour(r.mode, int(x), float(x), float(x), int(x));
            const unsigned char* got = lut->MapValue(x);
            EXPECT_EQ(Colour(got[0], got[1], got[2]), colourOf(want)) << "at " << x;
            EXPECT_EQ(got[3], 255) << "at " << x;
            if (met.empty() || met.back() != colourOf(want)) met.push_back(colourOf(want));
        }
        if (!r.colours.empty()) {
            EXPECT_EQ(met, r.colours);
        }
    }
}

}  // namespace
