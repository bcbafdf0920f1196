// A sensor datagram as it appears on the wire and in capture files: an Ethernet II frame with a
// 20-byte IPv4 header and an 8-byte UDP header around the 1206-byte payload, 1248 bytes in all.
// The one declaration of that framing: the simulated sensor writes it, the capture store and
// the parameter-file capture read it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv::wire {

constexpr std::size_t kPayloadBytes = 1206;
constexpr std::size_t kEthernetBytes = 14;
constexpr std::size_t kIpv4Bytes = 20;
constexpr std::size_t kUdpBytes = 8;
constexpr std::size_t kFrameBytes = kEthernetBytes + kIpv4Bytes + kUdpBytes + kPayloadBytes;
static_assert(kFrameBytes == 1248, "a sensor datagram is 1248 bytes on the wire");

// Ethernet II
constexpr std::size_t kEthDestMac = 0;
constexpr std::size_t kEthSourceMac = 6;
constexpr std::size_t kEtherType = 12;
constexpr std::uint16_t kEtherTypeIpv4 = 0x0800;
// IPv4, offsets within the frame
constexpr std::size_t kIpStart = kEthernetBytes;
constexpr std::size_t kIpTotalLength = kIpStart + 2;
constexpr std::size_t kIpIdentification = kIpStart + 4;
constexpr std::size_t kIpFlagsFragment = kIpStart + 6;
constexpr std::size_t kIpTtl = kIpStart + 8;
constexpr std::size_t kIpProtocol = kIpStart + 9;
constexpr std::size_t kIpChecksum = kIpStart + 10;
constexpr std::size_t kIpSource = kIpStart + 12;
constexpr std::size_t kIpDest = kIpStart + 16;
constexpr std::uint8_t kIpProtocolUdp = 17;
// UDP, offsets within the frame
constexpr std::size_t kUdpStart = kIpStart + kIpv4Bytes;
constexpr std::size_t kUdpSourcePort = kUdpStart;
constexpr std::size_t kUdpDestPort = kUdpStart + 2;
constexpr std::size_t kUdpLength = kUdpStart + 4;
constexpr std::size_t kUdpChecksum = kUdpStart + 6;
constexpr std::size_t kPayloadStart = kUdpStart + kUdpBytes;
static_assert(kPayloadStart == 42, "the payload follows 42 bytes of headers");

}  // namespace kv::wire
