// The simulated sensor's world: a flat room seen from the origin over the half plane
// 0-180 degrees (0 along +x, 90 along +y), with walls, a doorway, posts and one box that
// drives across the room. Ranges come from 2D ray casting; intensities from the surface,
// the angle of incidence and a seeded noise, so the same seed always gives the same scan.
#pragma once

#include <cstdint>
#include <vector>

namespace kv::sim {

struct Point2 {
    double xM = 0;
    double yM = 0;
};

// One return as the sensor reports it: distance 0 and intensity 0 mean no return.
struct Echo {
    double distanceCm = 0;
    int intensity = 0;
};

struct Returns {
    Echo first;
    Echo second;  // the next surface along the ray, or a weak copy of the first
};

// The nearest two hits of a ray among the fixed surfaces, cached per azimuth.
struct StaticHits {
    struct Hit {
        double rangeM = 0;     // 0 = no hit within range
        double cosIncidence = 0;
        int reflectivity = 0;  // 0-255 at normal incidence
    };
    Hit nearest;
    Hit next;
};

class Scene {
public:
    static constexpr double kMaxRangeM = 200.0;
    static constexpr double kBoxHalfLengthM = 2.0;  // along x
    static constexpr double kBoxHalfWidthM = 1.0;   // along y
    static constexpr double kBoxLaneYM = 20.0;
    static constexpr double kBoxTravelM = 18.0;     // drives between -18 m and +18 m
    static constexpr double kBoxMPerPeriod = 0.1;   // 4 m/s at 40 periods a second

    explicit Scene(std::uint32_t seed);

    // Centre of the moving box during `period` (a triangle wave along x).
    static Point2 boxCentre(std::uint64_t period);

    StaticHits castStatic(double azimuthDeg) const;

    // The returns of one measurement; `noiseKey` picks the noise sample (same key, same noise).
    Returns shade(const StaticHits& fixed, double azimuthDeg, std::uint64_t period,
                  std::uint64_t noiseKey) const;

    Returns sample(double azimuthDeg, std::uint64_t period, std::uint64_t noiseKey) const {
        return shade(castStatic(azimuthDeg), azimuthDeg, period, noiseKey);
    }

private:
    struct Segment {
        Point2 a, b;
        int reflectivity;
    };
    struct Post {
        Point2 centre;
        double radiusM;
        int reflectivity;
    };

    std::uint32_t seed_;
    std::vector<Segment> walls_;
    std::vector<Post> posts_;
};

// A 64-bit mixing function (splitmix64 finaliser): cheap, stateless, well spread.
std::uint64_t mix64(std::uint64_t x);

}  // namespace kv::sim
