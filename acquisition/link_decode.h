// One captured record, link layer to UDP payload: which sensor stream it belongs to and where
// its 1206-byte payload lies, or why it is not a sensor datagram. Bytes in, a value out; the
// capture format itself is read elsewhere (by libpcap or Wireshark's reader library).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "wire_layout.h"

namespace kv::wire {

// Why a record is not taken. Every record of a capture gets exactly one reason (or kTaken).
enum class Skip : int {
    kTaken = 0,
    kLinkType,       // a link layer this program does not read
    kLinkHeader,     // shorter than its link header, or the header is cut
    kNotIpv4,        // the link layer carries something else (ARP, IPv6, ...)
    kIpHeader,       // not a valid IPv4 header (version, header length, total length)
    kCut,            // the IP datagram runs past the captured bytes
    kNotUdp,         // IPv4, another protocol
    kFragment,       // an IPv4 fragment
    kUdpLength,      // the UDP length does not fit the IP datagram
    kPayloadSize,    // a UDP payload of another size than 1206 bytes
    kLoopbackCopy,   // the outgoing copy of a loopback datagram in a cooked capture
    kStatusPacket,   // a device status packet (A5 FF 00 5A)
    kConfigPacket,   // a configuration packet (AA 00 FF 11)
    kCount
};
constexpr std::size_t kSkipCount = std::size_t(Skip::kCount);
using SkipCounts = std::array<std::uint64_t, kSkipCount>;

// A short English phrase for messages, plural ("IPv4 fragments").
const char* skipText(Skip reason);
// "12 not UDP, 3 IPv4 fragments", the non-zero counts of kLinkType.. in order; "" if none.
std::string skipSummary(const SkipCounts& counts);

// A sensor's stream: its source address and port and the port it sends to.
struct StreamKey {
    std::uint32_t sourceIp = 0;  // host order, 127.0.0.1 is 0x7F000001
    std::uint16_t sourcePort = 0;
    std::uint16_t destPort = 0;
    bool operator==(const StreamKey& o) const {
        return sourceIp == o.sourceIp && sourcePort == o.sourcePort && destPort == o.destPort;
    }
    bool operator!=(const StreamKey& o) const { return !(*this == o); }
    bool operator<(const StreamKey& o) const {
        if (sourceIp != o.sourceIp) return sourceIp < o.sourceIp;
        if (sourcePort != o.sourcePort) return sourcePort < o.sourcePort;
        return destPort < o.destPort;
    }
};
// "192.168.1.200:2368>2368", as kv-export's --stream takes it.
std::string streamText(const StreamKey& key);
// Reads that form; false for anything else.
bool parseStream(const std::string& text, StreamKey& key);

// Whether this program reads the link layer `linkType` (a LINKTYPE_ or DLT_ number).
bool linkTypeSupported(int linkType);

struct RecordView {
    Skip skip = Skip::kLinkType;
    std::size_t payloadOffset = 0;  // within the record, when taken
    StreamKey stream;               // when taken
};

// `captured` bytes of the record at `bytes`, of link layer `linkType`.
RecordView decodeRecord(int linkType, const std::uint8_t* bytes, std::size_t captured);

}  // namespace kv::wire
