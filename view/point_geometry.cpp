#include "point_geometry.h"

#include <cmath>
#include <cstddef>

namespace kv {

BeamGeometry BeamGeometry::forLineType(int lidarLineType) {
    BeamGeometry g;
    for (int i = 0; i < kLineCount; ++i) {
        if (lidarLineType == 1) {
            g.horizontal[i] = 1.0f;
            g.elevation[i] = 0.0f;
        } else {
            // H uses multiples of 0.33 deg, E the rounded tilts 0, 0.33, 0.67 and 1.0 deg.
            static constexpr double kTiltDeg[kLineCount] = {0.0, 0.33, 0.67, 1.0};
            g.horizontal[i] = float(std::cos(i * 0.33 * kPi / 180.0));
            g.elevation[i] = float(std::sin(kTiltDeg[i] * kPi / 180.0));
        }
    }
    return g;
}

PointD computePointD(const BeamGeometry& g, int line, double azimuthDeg, double distanceCm) {
    const double theta = azimuthDeg * kPi / 180.0;
    const double h = g.horizontal[line];
    const double rangeM = distanceCm / 100.0;
    return {std::cos(theta) * h * rangeM, std::sin(theta) * h * rangeM,
            std::cos(azimuthDeg * kPi / 360.0) * 2.0 * double(g.elevation[line]) * rangeM};
}

PointM computePoint(const BeamGeometry& g, int line, double azimuthDeg, double distanceCm) {
    const PointD d = computePointD(g, line, azimuthDeg, distanceCm);
    return {float(d.x), float(d.y), float(d.z)};
}

float pointRangeCm(const PointM& p) {
    const double x = p.xM, y = p.yM, z = p.zM;
    return float(std::sqrt(x * x + y * y + z * z) * 100.0);
}

float pointAzimuthDeg(const PointM& p) {
    constexpr double kDegPerRad = 57.295779513082321;  // 180 / pi, pi in full
    double deg = std::atan2(double(p.yM), double(p.xM)) * kDegPerRad;
    if (deg < 0.0) deg += 360.0;
    float a = float(deg);
    if (a >= 360.0f || a == 0.0f) a = 0.0f;  // just below +x rounds to 360; -0 along +x
    return a;
}

Rgb intensityColour(int v) {
    auto byte = [](int x) { return std::uint8_t(x & 0xFF); };  // colour bytes wrap modulo 256
    if (v < 32) return {0, byte(8 * v), 255};
    if (v < 64) return {0, 255, byte(255 - 4 * (v - 32))};
    if (v < 128) return {byte(4 * v - 64), 255, 0};
    return {255, byte(511 - 2 * v), 0};
}

Rgb elevationColour(float z) {
    for (std::size_t i = kElevationBands.size(); i-- > 1;)
        if (z >= kElevationBands[i].fromM) return kElevationBands[i].rgb;
    return kElevationBands.front().rgb;
}

Rgb azimuthColour(float a) {
    if (a < 45.0f) return {0, 255, 255};
    if (a < 90.0f) return {0, 125, 192};
    if (a < 135.0f) return {0, 255, 0};
    return {255, 255, 0};
}

Rgb laserIdColour(int line) {
    if (isModelLine(line)) return kLaserIdColours[std::size_t(line)];
    return {255, 0, 0};
}

}  // namespace kv
