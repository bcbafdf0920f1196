#include "overlays.h"

#include <cmath>
#include <cstdio>

#include "point_geometry.h"

namespace kv {

std::vector<GridSegment> measuringGridSegments() {
    std::vector<GridSegment> s;
    s.reserve(82 + 360);
    for (int d = -200; d <= 200; d += 10) {
        s.push_back({"LineX" + std::to_string(d), double(d), -200.0, double(d), 200.0});
        s.push_back({"LineY" + std::to_string(d), -200.0, double(d), 200.0, double(d)});
    }
    for (int r = 10; r <= 190; r += 20) {
        for (int a = 0; a <= 350; a += 10) {
            const double a1 = a * kPi / 180.0, a2 = (a + 10) * kPi / 180.0;
            s.push_back({"Circle" + std::to_string(r) + std::to_string(a), r * std::cos(a1), r * std::sin(a1),
                         r * std::cos(a2), r * std::sin(a2)});
        }
    }
    return s;
}

std::vector<GridLabel> measuringGridLabels() {
    std::vector<GridLabel> labels;
    for (int r = 10; r <= 190; r += 20)
        labels.push_back({"Circle" + std::to_string(r), std::to_string(r) + "m", r * std::cos(1.570795),
                          r * std::sin(1.570795)});
    return labels;
}

Readout cursorReadout(double x, double y, double z) {
    Readout r;
    r.distanceM = std::sqrt(x * x + y * y + z * z);
    const double horizontal = std::sqrt(x * x + y * y);
    // Straight above or below the sensor the azimuth is undefined; call it 0 rather than NaN.
    const double a = horizontal > 0.0 ? std::asin(std::fabs(y) / horizontal) * 57.2957795 : 0.0;
    // Points on the axes belong to the quadrant that continues them counter-clockwise, so that
    // (-1, 0) reads 180 and (0, -1) reads 270 rather than 0 and 90.
    if (x < 0 && y >= 0) r.azimuthDeg = 180.0 - a;
    else if (x < 0 && y < 0) r.azimuthDeg = 180.0 + a;
    else if (x >= 0 && y < 0) r.azimuthDeg = 360.0 - a;
    else r.azimuthDeg = a;
    return r;
}

std::string cursorReadoutText(const Readout& r) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "Distance:%.6f    Azimuth:%.6f", r.distanceM, r.azimuthDeg);
    return buf;
}

}  // namespace kv
