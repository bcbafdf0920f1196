// A sensor datagram as it appears on the wire and in capture files: an Ethernet II frame
// with a 20-byte IPv4 header and an 8-byte UDP header around the 1206-byte payload,
// 1248 bytes in all. Pure: bytes in, bytes out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "wire_layout.h"

namespace kv::sim::wire {

// The framing itself is declared once, beside the packet layouts.
using namespace kv::wire;

struct Endpoints {
    std::array<std::uint8_t, 6> sourceMac{};
    std::array<std::uint8_t, 6> destMac{};
    std::uint32_t sourceIp = 0;  // host order
    std::uint32_t destIp = 0;
    std::uint16_t sourcePort = 0;
    std::uint16_t destPort = 0;
    std::uint8_t ttl = 64;
};

using Frame = std::array<std::uint8_t, kFrameBytes>;

// Frames one 1206-byte payload; both checksums are filled in.
Frame frameDatagram(const std::uint8_t* payload, const Endpoints& ends, std::uint16_t ipId);

// The Ethernet address an IPv4 multicast group maps to (01:00:5e + low 23 bits).
std::array<std::uint8_t, 6> multicastMac(std::uint32_t groupHostOrder);
inline bool isMulticast(std::uint32_t ipHostOrder) { return (ipHostOrder >> 28) == 0xE; }

// Internet checksum (RFC 1071) over `len` bytes, starting from the partial sum `seed`.
std::uint16_t internetChecksum(const std::uint8_t* data, std::size_t len, std::uint32_t seed = 0);

}  // namespace kv::sim::wire
