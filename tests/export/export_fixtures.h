// Captures for the export tests: the simulated sensor's, and small files built packet by
// packet, written under the test's temporary directory.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "packet_builder.h"
#include "wire_frame.h"

namespace kvtest {

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        char tmpl[] = "/tmp/kv_export_test_XXXXXX";
        path = ::mkdtemp(tmpl);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// A classic capture file (link type 1) of the packets framed as the sensor sends them.
inline std::string captureBytes(const std::vector<Packet>& packets, std::uint32_t link = 1) {
    std::string b;
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(char(v >> (8 * i)));
    };
    auto u16 = [&](std::uint32_t v) {
        for (int i = 0; i < 2; ++i) b.push_back(char(v >> (8 * i)));
    };
    u32(0xA1B2C3D4), u16(2), u16(4), u32(0), u32(0), u32(65535), u32(link);
    std::uint16_t id = 0;
    for (const Packet& p : packets) {
        const auto f = kv::sim::wire::frameDatagram(p.data(), kv::sim::wire::Endpoints{}, id++);
        u32(1700000000), u32(0), u32(std::uint32_t(f.size())), u32(std::uint32_t(f.size()));
        b.append(reinterpret_cast<const char*>(f.data()), f.size());
    }
    return b;
}

// kv-sensor-sim's capture of `seconds` simulated seconds; empty when the program failed.
inline std::string simCapture(const TempDir& dir, const std::string& name, const std::string& args) {
    const std::string path = dir / name;
    const std::string command = std::string(KV_BIN_DIR) + "/kv-sensor-sim --pcap " + path + " " + args + " 2>/dev/null";
    return std::system(command.c_str()) == 0 ? path : std::string();
}

}  // namespace kvtest
