#include "scene.h"

#include <algorithm>
#include <cmath>

namespace kv::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEpsilon = 1e-9;
constexpr int kBoxReflectivity = 140;
constexpr double kRangeNoiseCm = 1.5;        // +/- uniform
constexpr double kIntensityNoise = 0.15;     // +/- fraction
constexpr double kSecondSurfaceGain = 0.6;   // what reaches a surface behind an edge
constexpr int kWeakEchoDivisor = 4;          // second echo when nothing lies behind

double cross(Point2 u, Point2 v) { return u.xM * v.yM - u.yM * v.xM; }

// Unit uniform in [0, 1) from 53 bits of a hash.
double unit(std::uint64_t h) { return double(h >> 11) * (1.0 / 9007199254740992.0); }

struct Candidate {
    double rangeM = 0;
    double cosIncidence = 0;
    int reflectivity = 0;
};

// Keeps the two nearest hits seen so far.
struct NearestTwo {
    Candidate a, b;
    void offer(const Candidate& c) {
        if (c.rangeM <= 0 || c.rangeM > Scene::kMaxRangeM) return;
        if (a.rangeM == 0 || c.rangeM < a.rangeM) {
            b = a;
            a = c;
        } else if (b.rangeM == 0 || c.rangeM < b.rangeM) {
            b = c;
        }
    }
};

}  // namespace

std::uint64_t mix64(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

Scene::Scene(std::uint32_t seed) : seed_(seed) {
    // A 55 m x 40 m room open towards the sensor, with a 6 m doorway in the back wall
    // (nothing behind it: no return) and gaps at both sides of the sensor below 2 m.
    walls_ = {
        {{-25, 40}, {-3, 40}, 70},   // back wall, left of the doorway
        {{3, 40}, {30, 40}, 70},     // back wall, right of the doorway
        {{30, 2}, {30, 40}, 110},    // right wall
        {{-25, 2}, {-25, 40}, 110},  // left wall
        {{18, 8}, {24, 14}, 160},    // a cabinet standing at 45 degrees
    };
    posts_ = {
        {{6, 10}, 0.4, 230},
        {{-8, 14}, 0.6, 180},
        {{14, 28}, 0.5, 230},
        {{-15, 30}, 1.0, 150},
        {{2, 30}, 0.3, 200},
    };
}

Point2 Scene::boxCentre(std::uint64_t period) {
    // One lap out and back is 4 x kBoxTravelM long; whole periods keep it exact.
    const std::uint64_t lapPeriods = std::uint64_t(std::llround(4 * kBoxTravelM / kBoxMPerPeriod));
    const double s = double(period % lapPeriods) * kBoxMPerPeriod;
    const double x = s <= 2 * kBoxTravelM ? -kBoxTravelM + s : 3 * kBoxTravelM - s;
    return {x, kBoxLaneYM};
}

StaticHits Scene::castStatic(double azimuthDeg) const {
    const double rad = azimuthDeg * kPi / 180.0;
    const Point2 d{std::cos(rad), std::sin(rad)};
    NearestTwo best;
    for (const Segment& w : walls_) {
        const Point2 e{w.b.xM - w.a.xM, w.b.yM - w.a.yM};
        const double denom = cross(d, e);
        if (std::fabs(denom) < kEpsilon) continue;  // ray runs along the wall
        const double t = cross(w.a, e) / denom;
        const double s = cross(w.a, d) / denom;
        if (t <= kEpsilon || s < 0 || s > 1) continue;
        const double len = std::hypot(e.xM, e.yM);
        const double cosInc = std::fabs(d.xM * -e.yM + d.yM * e.xM) / len;
        best.offer({t, cosInc, w.reflectivity});
    }
    for (const Post& p : posts_) {
        const double b = d.xM * p.centre.xM + d.yM * p.centre.yM;
        const double c = p.centre.xM * p.centre.xM + p.centre.yM * p.centre.yM - p.radiusM * p.radiusM;
        const double disc = b * b - c;
        if (disc < 0) continue;
        const double t = b - std::sqrt(disc);
        if (t <= kEpsilon) continue;
        const double nx = (t * d.xM - p.centre.xM) / p.radiusM;
        const double ny = (t * d.yM - p.centre.yM) / p.radiusM;
        best.offer({t, std::fabs(d.xM * nx + d.yM * ny), p.reflectivity});
    }
    StaticHits out;
    out.nearest = {best.a.rangeM, best.a.cosIncidence, best.a.reflectivity};
    out.next = {best.b.rangeM, best.b.cosIncidence, best.b.reflectivity};
    return out;
}

Returns Scene::shade(const StaticHits& fixed, double azimuthDeg, std::uint64_t period,
                     std::uint64_t noiseKey) const {
    NearestTwo best;
    best.offer({fixed.nearest.rangeM, fixed.nearest.cosIncidence, fixed.nearest.reflectivity});
    best.offer({fixed.next.rangeM, fixed.next.cosIncidence, fixed.next.reflectivity});

    // The moving box, by the slab method; the entering face gives the incidence.
    const double rad = azimuthDeg * kPi / 180.0;
    const double dx = std::cos(rad), dy = std::sin(rad);
    const Point2 c = boxCentre(period);
    double tNear = -1e300, tFar = 1e300, cosInc = 0;
    bool miss = false;
    const double lo[2] = {c.xM - kBoxHalfLengthM, c.yM - kBoxHalfWidthM};
    const double hi[2] = {c.xM + kBoxHalfLengthM, c.yM + kBoxHalfWidthM};
    const double dir[2] = {dx, dy};
    for (int axis = 0; axis < 2 && !miss; ++axis) {
        if (std::fabs(dir[axis]) < kEpsilon) {
            if (0 < lo[axis] || 0 > hi[axis]) miss = true;
            continue;
        }
        double t1 = lo[axis] / dir[axis], t2 = hi[axis] / dir[axis];
        if (t1 > t2) std::swap(t1, t2);
        if (t1 > tNear) {
            tNear = t1;
            cosInc = std::fabs(dir[axis]);
        }
        tFar = std::min(tFar, t2);
    }
    if (!miss && tNear <= tFar && tNear > kEpsilon) best.offer({tNear, cosInc, kBoxReflectivity});

    Returns out;
    if (best.a.rangeM == 0) return out;

    const std::uint64_t h1 = mix64(noiseKey ^ (std::uint64_t(seed_) << 32) ^ 0x5EEDull);
    const std::uint64_t h2 = mix64(h1);
    const double rangeNoiseCm = (unit(h1) * 2 - 1) * kRangeNoiseCm;
    const double gainNoise = 1 + (unit(h2) * 2 - 1) * kIntensityNoise;
    auto echoOf = [&](const Candidate& hit, double gain) {
        const double level = hit.reflectivity * (0.3 + 0.7 * hit.cosIncidence) * gain * gainNoise;
        return Echo{std::max(0.0, hit.rangeM * 100.0 + rangeNoiseCm),
                    std::clamp(int(std::lround(level)), 1, 255)};
    };
    out.first = echoOf(best.a, 1.0);
    if (best.b.rangeM > 0) {
        out.second = echoOf(best.b, kSecondSurfaceGain);
    } else {
        out.second = out.first;
        out.second.intensity = std::max(1, out.first.intensity / kWeakEchoDivisor);
    }
    return out;
}

}  // namespace kv::sim
