#include "sensor_pose.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kv {

PoseTransform::PoseTransform(const Pose& pose) : identity_(pose.isIdentity()) {
    // Full precision here: a pose is the user's measurement, not the sensor's legacy conversion.
    constexpr double kRadPerDeg = 3.14159265358979323846 / 180.0;
    const double cr = std::cos(pose.rollDeg * kRadPerDeg), sr = std::sin(pose.rollDeg * kRadPerDeg);
    const double cp = std::cos(pose.pitchDeg * kRadPerDeg), sp = std::sin(pose.pitchDeg * kRadPerDeg);
    const double cy = std::cos(pose.yawDeg * kRadPerDeg), sy = std::sin(pose.yawDeg * kRadPerDeg);
    r_ = {cy * cp, cy * sp * sr - sy * cr, cy * sp * cr + sy * sr,
          sy * cp, sy * sp * sr + cy * cr, sy * sp * cr - cy * sr,
          -sp,     cp * sr,                cp * cr};
    t_ = {pose.xM, pose.yM, pose.zM};
}

PointM posedPoint(const BeamGeometry& g, int line, double azimuthDeg, double distanceCm, const PoseTransform* pose) {
    if (!pose) return computePoint(g, line, azimuthDeg, distanceCm);
    const PointD d = computePointD(g, line, azimuthDeg, distanceCm);
    return pose->move(d.x, d.y, d.z);
}

bool parsePose(const std::string& text, Pose& pose, std::string& error) {
    static const char* const kNames[6] = {"x", "y", "z", "roll", "pitch", "yaw"};
    double v[6];
    const char* p = text.c_str();
    for (int i = 0; i < 6; ++i) {
        while (*p == ' ' || *p == '\t') ++p;
        char* end = nullptr;
        errno = 0;
        v[i] = std::strtod(p, &end);
        if (end == p || errno == ERANGE || !std::isfinite(v[i])) {
            error = std::string("the ") + kNames[i] + " of '" + text + "' is not a number (give x,y,z,roll,pitch,yaw)";
            return false;
        }
        const bool angle = i >= 3;
        if (!angle && std::fabs(v[i]) > 1e4) {
            error = std::string("the ") + kNames[i] + " of '" + text + "' is beyond 10 km";
            return false;
        }
        if (angle && std::fabs(v[i]) > 360.0) {
            error = std::string("the ") + kNames[i] + " of '" + text + "' is beyond 360 degrees";
            return false;
        }
        p = end;
        while (*p == ' ' || *p == '\t') ++p;
        if (i < 5 && *p++ != ',') {
            error = "'" + text + "' is not six numbers x,y,z,roll,pitch,yaw";
            return false;
        }
    }
    if (*p != '\0') {
        error = "'" + text + "' is not six numbers x,y,z,roll,pitch,yaw";
        return false;
    }
    pose = {v[0], v[1], v[2], v[3], v[4], v[5]};
    return true;
}

std::string poseText(const Pose& pose) {
    std::string out;
    for (double v : {pose.xM, pose.yM, pose.zM, pose.rollDeg, pose.pitchDeg, pose.yawDeg}) {
        char buf[32];
        for (int digits = 6; digits <= 17; ++digits) {  // the shortest that reads back exactly
            std::snprintf(buf, sizeof buf, "%.*g", digits, v);
            if (std::strtod(buf, nullptr) == v) break;
        }
        if (!out.empty()) out += ',';
        out += buf;
    }
    return out;
}

}  // namespace kv
