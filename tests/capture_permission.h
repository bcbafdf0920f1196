// Whether this process may capture from a network adapter: it needs CAP_NET_RAW, which root
// has unless a container took it away.
#pragma once

#include <fstream>
#include <string>

namespace kvtest {

inline bool mayCapture() {
    constexpr int kCapNetRaw = 13;
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("CapEff:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> kCapNetRaw) & 1;
    return false;
}

constexpr const char* kNoCaptureReason =
    "capturing from the loopback adapter needs root or CAP_NET_RAW; run as root (CI does)";

}  // namespace kvtest
