// Beam geometry, the point computation and the colour modes of the frame display.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace kv {

constexpr double kPi = 3.14159;  // the value every conversion of this program uses
constexpr int kLineCount = 4;    // the line model: lines 0-3

inline bool isModelLine(int line) { return line >= 0 && line < kLineCount; }

// Horizontal factor H and elevation factor E per line.
struct BeamGeometry {
    std::array<float, kLineCount> horizontal{};
    std::array<float, kLineCount> elevation{};

    // Line type 1: four flat lines; any other value: lines tilted by 0, 0.33, 0.67 and 1.0 deg.
    static BeamGeometry forLineType(int lidarLineType);
};

struct PointM {
    float xM, yM, zM;
};

// (line 0-3, azimuth in degrees, distance in centimetres) to metres; x and y horizontal,
// z up, azimuth 0 along +x and 90 along +y. The caller checks the line is a model line.
PointM computePoint(const BeamGeometry& g, int line, double azimuthDeg, double distanceCm);
// The same point before it is rounded to single precision (computePoint() rounds each of these).
struct PointD {
    double x, y, z;
};
PointD computePointD(const BeamGeometry& g, int line, double azimuthDeg, double distanceCm);

// What a point that carries only its coordinates (a replayed PCD cloud) tells of itself: its
// range from the sensor's origin in centimetres, and its azimuth in degrees in [0, 360), 0 along
// +x and 90 along +y exactly (a point of computePoint gives back its azimuth to within 1e-4
// degrees, the difference kPi makes).
float pointRangeCm(const PointM& p);
float pointAzimuthDeg(const PointM& p);

struct Rgb {
    std::uint8_t r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

enum ColourMode : int {
    kColourIntensity = 0,
    kColourSolid = 1,
    kColourElevation = 2,
    kColourAzimuth = 3,
    kColourLaserId = 4,
    kColourSensor = 5,  // one colour per sensor of a merged frame
};

// The colours of the sensors of a merged frame, by sensor index (repeating after eight): well
// apart from each other and from the black view.
inline constexpr std::array<Rgb, 8> kSensorColours{{
    {255, 99, 71}, {65, 180, 255}, {120, 220, 90}, {255, 210, 40},
    {200, 120, 255}, {0, 210, 190}, {255, 150, 200}, {230, 230, 230},
}};
inline Rgb sensorColour(std::size_t sensor) { return kSensorColours[sensor % kSensorColours.size()]; }

// The elevation colours as bands: each band runs from its lower edge (included) up to the next
// band's edge; the first has no lower edge and the last no upper one. The points and the colour
// bar both read this table, so they agree at every height, edges included.
struct ElevationBand {
    float fromM;
    Rgb rgb;
};
inline constexpr std::array<ElevationBand, 5> kElevationBands{{
    {-std::numeric_limits<float>::infinity(), {139, 69, 19}},  // below -2 m
    {-2.0f, {255, 255, 0}},
    {0.0f, {255, 255, 255}},
    {1.0f, {0, 128, 0}},
    {5.0f, {0, 0, 255}},  // 5 m and up
}};

// One colour per line of the model: lines 0 and 2 in their long-standing shades of blue, lines 1
// and 3 well apart from those, from each other and from the black view.
inline constexpr std::array<Rgb, kLineCount> kLaserIdColours{{
    {102, 102, 255},
    {255, 204, 0},
    {153, 153, 255},
    {0, 204, 102},
}};

Rgb intensityColour(int intensity);
Rgb elevationColour(float zM);  // NaN colours as the lowest band
Rgb azimuthColour(float azimuthDeg);
Rgb laserIdColour(int line);     // red for a line outside the model

// Colour of a point in the given mode (the index of the colour selector). An index outside
// the six modes colours black.
inline Rgb pointColour(int mode, int intensity, float zM, float azimuthDeg, int line, std::size_t sensor = 0) {
    switch (mode) {
    case kColourIntensity: return intensityColour(intensity);
    case kColourSolid: return {255, 255, 255};
    case kColourElevation: return elevationColour(zM);
    case kColourAzimuth: return azimuthColour(azimuthDeg);
    case kColourLaserId: return laserIdColour(line);
    case kColourSensor: return sensorColour(sensor);
    default: return {0, 0, 0};
    }
}

}  // namespace kv
