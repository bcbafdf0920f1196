// sensors.ini: each sensor's name, pose and visibility, kept by its source (address and source
// port of its data stream) in a file of its own beside the per-user settings. Read by the
// window and by kv-export --sensors; written whole, through a temporary file and a rename, by
// the window only. Plain C++.
//
//   [192.168.1.200:2368]
//   name=front left
//   pose=0.5,0.2,1.6,0,-10,30
//   visible=true
#pragma once

#include <string>
#include <vector>

#include "sensor_pose.h"

namespace kv {

struct SensorEntry {
    std::string source;  // "ADDR:PORT"
    std::string name;    // empty: none given
    Pose pose;
    bool visible = true;
};

struct SensorsRead {
    bool found = false;                // the file exists and could be read
    std::vector<SensorEntry> sensors;  // every sensor the file describes well, in file order
    std::vector<std::string> errors;   // "FILE:LINE: ..." for each line refused
};

// Reads `path`. A malformed line or value is refused with its line and key named; the sensors
// it does describe are kept (a sensor with a bad value keeps its other values).
SensorsRead readSensorsFile(const std::string& path);
// Writes every sensor to `path` through a temporary file beside it and a rename, so that the
// file is the old one or the new one, whole. False with `error` set when that failed.
bool writeSensorsFile(const std::string& path, const std::vector<SensorEntry>& sensors, std::string& error);
// $XDG_CONFIG_HOME/kv-cloudscope/sensors.ini (~/.config/... when unset or relative).
std::string sensorsFilePath();
// "ADDR:PORT" with ADDR dotted IPv4 and PORT 0-65535.
bool isSourceText(const std::string& text);

}  // namespace kv
