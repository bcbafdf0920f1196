#include "sensors_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace kv {

namespace {

std::string trim(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    const std::size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

bool parseUnsigned(const std::string& s, unsigned long max, unsigned long& out) {
    if (s.empty() || s.size() > 5) return false;
    out = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + unsigned(c - '0');
    }
    return out <= max;
}

}  // namespace

bool isSourceText(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    unsigned long v = 0;
    if (!parseUnsigned(text.substr(colon + 1), 65535, v)) return false;
    const std::string addr = text.substr(0, colon);
    int parts = 0;
    std::size_t at = 0;
    while (at <= addr.size()) {
        const std::size_t dot = addr.find('.', at);
        const std::string part = addr.substr(at, dot == std::string::npos ? std::string::npos : dot - at);
        if (part.size() > 3 || !parseUnsigned(part, 255, v)) return false;
        ++parts;
        if (dot == std::string::npos) break;
        at = dot + 1;
    }
    return parts == 4;
}

SensorsRead readSensorsFile(const std::string& path) {
    SensorsRead out;
    std::ifstream in(path);
    if (!in) return out;
    out.found = true;
    std::string line;
    int number = 0;
    SensorEntry* current = nullptr;
    auto refuse = [&](const std::string& why) { out.errors.push_back(path + ":" + std::to_string(number) + ": " + why); };
    while (std::getline(in, line)) {
        ++number;
        const std::string t = trim(line);
        if (t.empty() || t[0] == '#' || t[0] == ';') continue;
        if (t.front() == '[') {
            current = nullptr;
            const std::string source = t.back() == ']' ? trim(t.substr(1, t.size() - 2)) : std::string();
            if (!isSourceText(source)) {
                refuse("'" + t + "' is not a sensor's group [ADDR:PORT]; its lines are skipped");
                continue;
            }
            for (SensorEntry& e : out.sensors)
                if (e.source == source) current = &e;  // a repeated group goes on with the first
            if (!current) {
                out.sensors.push_back({source, "", Pose{}, true});
                current = &out.sensors.back();
            }
            continue;
        }
        const std::size_t eq = t.find('=');
        if (eq == std::string::npos) {
            refuse("'" + t + "' is not KEY=VALUE");
            continue;
        }
        const std::string key = trim(t.substr(0, eq)), value = trim(t.substr(eq + 1));
        if (!current) {
            refuse("key " + key + " outside a sensor's group");
            continue;
        }
        if (key == "name") {
            current->name = value;
        } else if (key == "pose") {
            std::string error;
            Pose pose;
            if (parsePose(value, pose, error)) current->pose = pose;
            else refuse("key pose: " + error);
        } else if (key == "visible") {
            if (value == "true") current->visible = true;
            else if (value == "false") current->visible = false;
            else refuse("key visible: '" + value + "' is neither true nor false");
        } else {
            refuse("unknown key " + key);
        }
    }
    return out;
}

bool writeSensorsFile(const std::string& path, const std::vector<SensorEntry>& sensors, std::string& error) {
    std::string text = "# KV CloudScope: each sensor by the source of its data stream (ADDR:PORT).\n"
                       "# pose=x,y,z,roll,pitch,yaw in metres and degrees, R = Rz(yaw) Ry(pitch) Rx(roll).\n";
    for (const SensorEntry& e : sensors) {
        std::string name = e.name;
        for (char& c : name)
            if (c == '\n' || c == '\r') c = ' ';
        text += "\n[" + e.source + "]\n";
        if (!name.empty()) text += "name=" + name + "\n";
        text += "pose=" + poseText(e.pose) + "\n";
        text += std::string("visible=") + (e.visible ? "true" : "false") + "\n";
    }
    // The folder and its parents: the settings folder may not exist yet.
    for (std::size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        ::mkdir(path.substr(0, at).c_str(), 0755);
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        error = "Cannot write " + temp + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int writeErr = errno;
    const bool synced = std::fflush(f) == 0 && ::fsync(::fileno(f)) == 0;
    const bool closed = std::fclose(f) == 0;
    if (!written || !synced || !closed) {
        error = "Cannot write " + temp + ": " + std::strerror(written ? errno : writeErr);
        std::remove(temp.c_str());
        return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = "Cannot replace " + path + ": " + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

std::string sensorsFilePath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && xdg[0] == '/') base = xdg;
    else if (const char* home = std::getenv("HOME")) base = std::string(home) + "/.config";
    else base = ".config";
    return base + "/kv-cloudscope/sensors.ini";
}

}  // namespace kv
