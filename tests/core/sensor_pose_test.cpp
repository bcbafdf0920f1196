// Where sensors are mounted: poses against rotations composed independently, a tilted sensor
// seeing a flat floor, the pose text, and sensors.ini read back and refused line by line.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "frame_display.h"
#include "sensor_pose.h"
#include "sensors_file.h"

namespace {

constexpr double kPiFull = 3.14159265358979323846;

// p rotated by `deg` about one fixed axis (0 x, 1 y, 2 z), right-handed.
void rotate(double p[3], int axis, double deg) {
    const double a = deg * kPiFull / 180.0, c = std::cos(a), s = std::sin(a);
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;
    const double u = p[i], v = p[j];
    p[i] = c * u - s * v;
    p[j] = s * u + c * v;
}

TEST(SensorPose, RotatesAboutFixedAxesRollPitchYawThenMoves) {
    const struct {
        const char* name;
        kv::Pose pose;
    } cases[] = {
        {"identity", {}},
        {"x alone", {1.5, 0, 0, 0, 0, 0}},
        {"z alone", {0, 0, -2.25, 0, 0, 0}},
        {"roll alone", {0, 0, 0, 30, 0, 0}},
        {"pitch alone", {0, 0, 0, 0, -10, 0}},
        {"yaw alone", {0, 0, 0, 0, 0, 90}},
        {"a whole pose", {0.4, -0.3, 1.7, 5, -12, 135}},
    };
    const kv::PointM points[] = {{10, 0, 0}, {0, 5, 0}, {0, 0, 2}, {3.25f, -7.5f, 0.125f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const kv::PoseTransform t(c.pose);
        EXPECT_EQ(t.identity(), c.pose.isIdentity());
        for (const kv::PointM& p : points) {
            double want[3] = {p.xM, p.yM, p.zM};
            rotate(want, 0, c.pose.rollDeg);  // Rz Ry Rx p: x first, about the fixed axes
            rotate(want, 1, c.pose.pitchDeg);
            rotate(want, 2, c.pose.yawDeg);
            const kv::PointM got = t.apply(p);
            EXPECT_NEAR(got.xM, want[0] + c.pose.xM, 1e-5);
            EXPECT_NEAR(got.yM, want[1] + c.pose.yM, 1e-5);
            EXPECT_NEAR(got.zM, want[2] + c.pose.zM, 1e-5);
            if (c.pose.isIdentity()) {
                EXPECT_EQ(std::memcmp(&got, &p, sizeof p), 0);  // bit for bit
            }
        }
    }
}

// A sensor 1.5 m up, pitched 10 degrees down, sweeping its four tilted lines over a flat floor:
// in the vehicle's frame every return lies on the floor; in the sensor's own frame the floor is
// a slope.
TEST(SensorPose, ATiltedSensorSeesAFlatFloor) {
    const kv::Pose pose{0, 0, 1.5, 0, 10, 20};  // pitch about y: positive turns +x down
    const kv::PoseTransform t(pose);
    const kv::BeamGeometry g = kv::BeamGeometry::forLineType(2);
    MuchLidarData frame;
    for (int line = 0; line < 4; ++line)
        for (int a = 30; a <= 150; a += 5) {
            // The range at which this beam meets the floor, found by halving.
            double lo = 0, hi = 100000;  // cm
            for (int k = 0; k < 80; ++k) {
                const double mid = (lo + hi) / 2;
                (t.apply(kv::computePoint(g, line, a, mid)).zM > 0 ? lo : hi) = mid;
            }
            if (hi >= 99999) continue;  // looks above the horizon
            frame.append(line, float(a), float(hi), 100);
        }
    ASSERT_GT(frame.size(), 40u);
    kv::DisplayFilter filter;
    filter.lineShown = {{true, true, true, true}};
    filter.poses = {t};
    kv::FramePoints out;
    kv::computeFramePoints(frame, g, filter, out);
    ASSERT_EQ(out.displayed.size(), frame.size());
    for (const kv::ColouredPoint& p : out.displayed) EXPECT_NEAR(p.zM, 0.0f, 2e-3f);
    filter.poses.clear();
    kv::computeFramePoints(frame, g, filter, out);
    float low = 1e9f, high = -1e9f;
    for (const kv::ColouredPoint& p : out.displayed) {
        low = std::min(low, p.zM);
        high = std::max(high, p.zM);
    }
    EXPECT_GT(high - low, 0.1f);
}

TEST(SensorPose, TextReadsBackAndRefusesWhatIsNotAPose) {
    const struct {
        const char* text;
        bool ok;
        const char* error;  // part of the refusal
    } cases[] = {
        {"0,0,0,0,0,0", true, ""},
        {" 1.5, -2 ,0.25,10,-5.5,359.9 ", true, ""},
        {"1e3,0,0,0,0,0", true, ""},
        {"1,2,3", false, "not six numbers"},
        {"1,2,3,4,5,6,7", false, "not six numbers"},
        {"1,2,x,4,5,6", false, "the z of"},
        {"0,0,0,0,0,400", false, "the yaw of"},
        {"0,0,1e5,0,0,0", false, "beyond 10 km"},
        {"nan,0,0,0,0,0", false, "the x of"},
        {"", false, "the x of"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        kv::Pose pose;
        std::string error;
        EXPECT_EQ(kv::parsePose(c.text, pose, error), c.ok) << error;
        if (!c.ok) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            continue;
        }
        kv::Pose again;
        ASSERT_TRUE(kv::parsePose(kv::poseText(pose), again, error)) << kv::poseText(pose);
        EXPECT_EQ(again, pose) << kv::poseText(pose);
    }
}

// sensors.ini: what is written reads back; a bad line is refused with its line and key, and
// every sensor the file describes is kept.
TEST(SensorsFile, ReadsBackWhatItWroteAndKeepsWhatABadLineDoesNotTouch) {
    char dir[] = "/tmp/kv-sensors-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/a/b/sensors.ini";  // folders made as needed
    const std::vector<kv::SensorEntry> written = {
        {"192.168.1.200:2368", "front left", {0.5, 0.2, 1.6, 0, -10, 30}, true},
        {"127.0.0.3:40000", "", {}, false},
    };
    std::string error;
    ASSERT_TRUE(kv::writeSensorsFile(path, written, error)) << error;
    kv::SensorsRead read = kv::readSensorsFile(path);
    ASSERT_TRUE(read.found);
    EXPECT_TRUE(read.errors.empty());
    ASSERT_EQ(read.sensors.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(read.sensors[i].source, written[i].source);
        EXPECT_EQ(read.sensors[i].name, written[i].name);
        EXPECT_EQ(read.sensors[i].pose, written[i].pose);
        EXPECT_EQ(read.sensors[i].visible, written[i].visible);
    }

    const std::string bad = std::string(dir) + "/bad.ini";
    std::ofstream(bad) << "# sensors\n"
                          "[10.0.0.1:2368]\n"
                          "name=left\n"
                          "pose=1,2,3\n"              // 4: refused, the pose stays identity
                          "visible=maybe\n"           // 5
                          "colour=red\n"              // 6
                          "[10.0.0.300:2368]\n"       // 7: no sensor's group
                          "name=lost\n"               // 8: outside a group
                          "[10.0.0.2:2369]\n"
                          "pose=0,0,1,0,5,0\n"
                          "just words\n";             // 11
    read = kv::readSensorsFile(bad);
    ASSERT_EQ(read.sensors.size(), 2u);
    EXPECT_EQ(read.sensors[0].name, "left");
    EXPECT_TRUE(read.sensors[0].pose.isIdentity());
    EXPECT_EQ(read.sensors[1].pose, (kv::Pose{0, 0, 1, 0, 5, 0}));
    const std::vector<std::string> want = {":4: key pose", ":5: key visible", ":6: unknown key colour",
                                           ":7: '[10.0.0.300:2368]'", ":8: key name outside", ":11: 'just words'"};
    ASSERT_EQ(read.errors.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i)
        EXPECT_NE(read.errors[i].find(bad + want[i]), std::string::npos) << read.errors[i];
    EXPECT_FALSE(kv::readSensorsFile(std::string(dir) + "/none.ini").found);
    std::system(("rm -rf " + std::string(dir)).c_str());
}

}  // namespace
