// Geometry and texts of the view's overlays: the measuring grid and the cursor readout.
#pragma once

#include <string>
#include <vector>

namespace kv {

struct GridSegment {
    std::string id;  // "LineX<d>", "LineY<d>" or "Circle<r><a>"
    double x1, y1, x2, y2;  // metres, z = 0
};

struct GridLabel {
    std::string id;    // "Circle<r>"
    std::string text;  // "<r>m"
    double x, y;       // on the +Y axis at distance r
};

constexpr double kGridColour = 150.0;    // passed to the visualiser as (150, 150, 150)
constexpr double kGridOpacity = 0.2;
constexpr double kGridLabelScale = 0.4;

// 41 lines along each axis from -200 to 200 m every 10 m (82 in all), then 10 rings of radius
// 10, 30, ..., 190 m drawn as 36 chords of 10 degrees (360 in all).
std::vector<GridSegment> measuringGridSegments();
// The 10 range labels "10m" ... "190m".
std::vector<GridLabel> measuringGridLabels();

// Distance and azimuth (0-360 deg, 0 along +x, counter-clockwise) of a picked point.
struct Readout {
    double distanceM;
    double azimuthDeg;
};
Readout cursorReadout(double x, double y, double z);
// "Distance:<d>    Azimuth:<a>", six decimals each.
std::string cursorReadoutText(const Readout& r);

}  // namespace kv
