// The command line of kv-export: what to read, what to write and which points of which frames.
// Pure: argv in, options or a message out.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "frame_rule.h"
#include "link_decode.h"
#include "point_geometry.h"
#include "sensor_pose.h"

namespace kv::exporter {

// Frames are numbered from 1 in the order a replay from the start hands them over.
constexpr std::uint32_t kOpenEnd = std::numeric_limits<std::uint32_t>::max();
// The line types the viewer draws (LidarLineType): 1 flat lines, 2 to 4 tilted ones.
constexpr int kFirstLineType = 1;
constexpr int kLastLineType = 4;

struct ExportOptions {
    std::string capturePath;
    std::string csvPath;  // empty: no CSV
    std::string pcdDir;   // empty: no PCD files
    std::string plyDir;   // empty: no PLY files
    bool binary = false;  // PCD and PLY files in their binary layouts instead of ASCII
    std::uint32_t firstFrame = 1;
    std::uint32_t lastFrame = kOpenEnd;
    int echo = kDualEchoBoth;
    std::array<int, kLineCount> lineState{{1, 1, 1, 1}};
    float minAngleDeg = 0.0f;
    float maxAngleDeg = 180.0f;
    int colourMode = kColourIntensity;
    bool lineTypeGiven = false;  // otherwise the config.ini the viewer reads decides
    int lineType = 1;
    // The stream to export: --stream ADDR:PORT>PORT, or the largest to --port N; by default
    // the capture's largest stream.
    bool streamGiven = false;
    wire::StreamKey stream;
    int destPort = -1;
    // Every data stream merged, one sensor each, following the lead (--lead, by default the
    // stream with the most data packets).
    bool allStreams = false;
    bool leadGiven = false;
    wire::StreamKey lead;
    // --pose: for the single exported stream (keyed false) or for the stream named.
    struct StreamPose {
        bool keyed = false;
        wire::StreamKey stream;
        Pose pose;
    };
    std::vector<StreamPose> poses;
    std::string sensorsPath;  // --sensors FILE

    // Resolved once the capture is open: each exported stream's pose by sensor index (the single
    // stream is sensor 0), and with several streams their names for the CSV's Sensor column.
    SensorPoses sensorPoses;
    std::vector<std::string> sensorNames;

    bool closedRange() const { return lastFrame != kOpenEnd; }
    // Frames the range asks for; 0 for an open end.
    std::uint32_t rangeCount() const { return closedRange() ? lastFrame - firstFrame + 1 : 0; }
};

enum class ParseOutcome { Run, Help, Version, Error };

// Reads argv[1..argc-1]. Options take their value as the next word or after "=" ("--csv=a.csv");
// "--" ends the options. On Error, `message` says what is wrong in one line.
ParseOutcome parseOptions(int argc, const char* const* argv, ExportOptions& options, std::string& message);

std::string usageText();
// "kv-export" and the version of this build.
std::string versionText();

// "A-B", "A-" (to the end) or "A", with 1 <= A <= B.
bool parseFrameRange(const std::string& text, std::uint32_t& first, std::uint32_t& last);
// "0,1,2,3": the lines to keep, at least one, each 0-3.
bool parseLines(const std::string& text, std::array<int, kLineCount>& lineState);

}  // namespace kv::exporter
