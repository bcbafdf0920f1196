// Command line of kv-sensor-sim. Parsing is pure so that every refusal can be tested.
#pragma once

#include <cstdint>
#include <string>

namespace kv::sim {

struct SimOptions {
    std::string dest = "127.0.0.1";
    int dataPort = 2368;
    int equipPort = 2369;
    int bindPort = 2368;     // where configuration packets are taken; 0 = don't listen
    double seconds = 0;      // 0 = until SIGINT/SIGTERM (capture files: kDefaultCaptureSeconds)
    std::string pcapPath;    // non-empty: write a capture file instead of sending
    bool dualEcho = false;
    int rpm = 600;
    double stepDeg = 0.1;
    double pps = 0;          // 0 = the rate the motor speed implies
    std::uint32_t seed = 1;
    std::string sensorIp;    // empty = --source-ip, else 127.0.0.2 for a loopback --dest, else 192.168.1.200
    std::string sourceIp;    // the local address to send from (and take configuration packets on)
    unsigned refusedFields = 0;  // RefusedField bits: settings a configuration packet cannot change
};

constexpr double kDefaultCaptureSeconds = 10.0;
constexpr double kMaxPps = 1000000.0;

enum class ParseOutcome { Run, Help, Version, Error };

// Reads argv[1..argc-1]. On Error, `message` says which option and why.
ParseOutcome parseOptions(int argc, const char* const* argv, SimOptions& out, std::string& message);

std::string usageText();
// "kv-sensor-sim" and the version of this build, with a newline.
std::string versionText();

}  // namespace kv::sim
