// Big-endian field access shared by every packet layout of the sensor.
#pragma once

#include <cstdint>

namespace kv {

inline std::uint32_t readBe16(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 8) | std::uint32_t(p[1]);
}

inline std::uint32_t readBe24(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | std::uint32_t(p[2]);
}

inline std::uint32_t readBe32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

inline void writeBe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 8);
    p[1] = std::uint8_t(v);
}

inline void writeBe24(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 16);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v);
}

inline void writeBe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

}  // namespace kv
