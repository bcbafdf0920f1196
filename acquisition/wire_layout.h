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
// IPv4 and UDP header fields, offsets within their own headers (the record decoder reads
// headers of any length through these; our own frames put them at fixed places below).
constexpr std::size_t kIpMinHeaderBytes = 20;
constexpr std::size_t kIpOffTotalLength = 2;
constexpr std::size_t kIpOffIdentification = 4;
constexpr std::size_t kIpOffFlagsFragment = 6;
constexpr std::size_t kIpOffTtl = 8;
constexpr std::size_t kIpOffProtocol = 9;
constexpr std::size_t kIpOffChecksum = 10;
constexpr std::size_t kIpOffSource = 12;
constexpr std::size_t kIpOffDest = 16;
constexpr std::uint8_t kIpProtocolUdp = 17;
constexpr std::uint16_t kIpMoreFragments = 0x2000;
constexpr std::uint16_t kIpFragmentOffsetMask = 0x1FFF;
constexpr std::size_t kUdpOffSourcePort = 0;
constexpr std::size_t kUdpOffDestPort = 2;
constexpr std::size_t kUdpOffLength = 4;
constexpr std::size_t kUdpOffChecksum = 6;
// The same fields in our own frames (Ethernet II, a 20-byte IPv4 header, UDP), from the
// frame's first byte.
constexpr std::size_t kIpStart = kEthernetBytes;
constexpr std::size_t kIpTotalLength = kIpStart + kIpOffTotalLength;
constexpr std::size_t kIpIdentification = kIpStart + kIpOffIdentification;
constexpr std::size_t kIpFlagsFragment = kIpStart + kIpOffFlagsFragment;
constexpr std::size_t kIpTtl = kIpStart + kIpOffTtl;
constexpr std::size_t kIpProtocol = kIpStart + kIpOffProtocol;
constexpr std::size_t kIpChecksum = kIpStart + kIpOffChecksum;
constexpr std::size_t kIpSource = kIpStart + kIpOffSource;
constexpr std::size_t kIpDest = kIpStart + kIpOffDest;
constexpr std::size_t kUdpStart = kIpStart + kIpv4Bytes;
constexpr std::size_t kUdpSourcePort = kUdpStart + kUdpOffSourcePort;
constexpr std::size_t kUdpDestPort = kUdpStart + kUdpOffDestPort;
constexpr std::size_t kUdpLength = kUdpStart + kUdpOffLength;
constexpr std::size_t kUdpChecksum = kUdpStart + kUdpOffChecksum;
constexpr std::size_t kPayloadStart = kUdpStart + kUdpBytes;
static_assert(kPayloadStart == 42, "the payload follows 42 bytes of headers");

}  // namespace kv::wire

namespace kv::wire {

// Link layers a capture may declare, by their numbers in capture files (LINKTYPE_*) and, where
// libpcap hands back another number on this platform, that one too (DLT_*).
namespace link {
constexpr int kNull = 0;          // BSD loopback: 4-byte address family in the writer's byte order
constexpr int kEthernet = 1;
constexpr int kRawBsd = 12;       // DLT_RAW as libpcap reports raw IP on Linux
constexpr int kRawBsdAlt = 14;    // DLT_RAW on some BSDs
constexpr int kRaw = 101;         // LINKTYPE_RAW: raw IPv4 or IPv6
constexpr int kLoop = 108;        // OpenBSD loopback: address family in network byte order
constexpr int kLinuxSll = 113;    // Linux cooked capture, 16-byte header
constexpr int kIpv4 = 228;        // LINKTYPE_IPV4
constexpr int kLinuxSll2 = 276;   // Linux cooked capture v2, 20-byte header (tcpdump -i any)
}  // namespace link

// Ethernet VLAN tags (802.1Q and 802.1ad), 4 bytes each, before the EtherType.
constexpr std::uint16_t kEtherTypeVlan = 0x8100;
constexpr std::uint16_t kEtherTypeQinQ = 0x88A8;
constexpr std::size_t kVlanTagBytes = 4;
constexpr int kMaxVlanTags = 2;
// Linux cooked capture (SLL): packet type, ARPHRD type, address length, 8 address bytes, protocol.
constexpr std::size_t kSllBytes = 16;
constexpr std::size_t kSllPacketType = 0;
constexpr std::size_t kSllArphrd = 2;
constexpr std::size_t kSllProtocol = 14;
// SLL2: protocol, reserved, interface index, ARPHRD type, packet type, address length, 8 bytes.
constexpr std::size_t kSll2Bytes = 20;
constexpr std::size_t kSll2Protocol = 0;
constexpr std::size_t kSll2Arphrd = 8;
constexpr std::size_t kSll2PacketType = 10;
constexpr std::uint16_t kArphrdLoopback = 772;
constexpr std::uint8_t kPacketOutgoing = 4;
// BSD loopback header: the address family, AF_INET = 2 on every system that writes it.
constexpr std::size_t kNullBytes = 4;
constexpr std::uint32_t kNullFamilyInet = 2;
}  // namespace kv::wire
