// Where a sensor is mounted: its pose in the vehicle's frame, and the points of several sensors
// told apart. A sensor-frame point p becomes R p + t with R = Rz(yaw) Ry(pitch) Rx(roll)
// (rotations about the fixed x, y and z axes, in that order) and t = (x, y, z). Plain C++.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "point_geometry.h"

namespace kv {

struct Pose {
    double xM = 0, yM = 0, zM = 0;
    double rollDeg = 0, pitchDeg = 0, yawDeg = 0;
    bool isIdentity() const { return xM == 0 && yM == 0 && zM == 0 && rollDeg == 0 && pitchDeg == 0 && yawDeg == 0; }
    bool operator==(const Pose& o) const {
        return xM == o.xM && yM == o.yM && zM == o.zM && rollDeg == o.rollDeg && pitchDeg == o.pitchDeg &&
               yawDeg == o.yawDeg;
    }
    bool operator!=(const Pose& o) const { return !(*this == o); }
};

// A pose ready to apply. The identity leaves a point untouched, bit for bit.
class PoseTransform {
public:
    PoseTransform() = default;
    explicit PoseTransform(const Pose& pose);
    bool identity() const { return identity_; }
    PointM apply(const PointM& p) const { return identity_ ? p : move(p); }
    // apply() for a pose known not to be the identity.
    PointM move(const PointM& p) const { return move(p.xM, p.yM, p.zM); }
    PointM move(double x, double y, double z) const {
        return {float(r_[0] * x + r_[1] * y + r_[2] * z + t_[0]), float(r_[3] * x + r_[4] * y + r_[5] * z + t_[1]),
                float(r_[6] * x + r_[7] * y + r_[8] * z + t_[2])};
    }

private:
    std::array<double, 9> r_{{1, 0, 0, 0, 1, 0, 0, 0, 1}};  // row-major
    std::array<double, 3> t_{{0, 0, 0}};
    bool identity_ = true;
};

// "x,y,z,roll,pitch,yaw" (metres and degrees; spaces allowed around the numbers). False with
// `error` naming what is wrong.
bool parsePose(const std::string& text, Pose& pose, std::string& error);
// The same form, each number as short as it reads back exactly.
std::string poseText(const Pose& pose);

// The transforms of the sensors of a frame, by the sensor index its points carry (none: every
// point is in the sensor's own frame).
using SensorPoses = std::vector<PoseTransform>;

// A point as computePoint() gives it, then moved by `pose` (null: not moved, the same bits as
// computePoint()). The pose moves the point before it is rounded to single precision.
PointM posedPoint(const BeamGeometry& g, int line, double azimuthDeg, double distanceCm, const PoseTransform* pose);

// The poses by sensor index as a table of 256 (the index a point carries is a byte): null where
// the pose is the identity, so that a loop over points pays one test for an unposed sensor.
struct PoseTable {
    std::array<const PoseTransform*, 256> byIndex{};
    bool any = false;
    explicit PoseTable(const SensorPoses& poses) {
        for (std::size_t i = 0; i < poses.size() && i < byIndex.size(); ++i)
            if (!poses[i].identity()) {
                byIndex[i] = &poses[i];
                any = true;
            }
    }
};

}  // namespace kv
