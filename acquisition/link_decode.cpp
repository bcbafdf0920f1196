#include "link_decode.h"

#include <cstdio>

#include "byte_order.h"
#include "status_packet.h"

namespace kv::wire {
namespace {

constexpr const char* kSkipTexts[kSkipCount] = {
    "taken",
    "of an unsupported link type",
    "with a cut link header",
    "not IPv4",
    "with a bad IPv4 header",
    "cut short",
    "not UDP",
    "IPv4 fragments",
    "with a bad UDP length",
    "UDP payloads not of 1206 bytes",
    "outgoing loopback copies",
    "status packets",
    "configuration packets",
};

std::uint32_t readLe32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

// Where the IPv4 header starts, or a reason why the record holds none.
Skip linkPayload(int linkType, const std::uint8_t* b, std::size_t n, std::size_t& at) {
    switch (linkType) {
    case link::kEthernet: {
        std::size_t typeAt = kEtherType;
        if (n < kEthernetBytes) return Skip::kLinkHeader;
        std::uint32_t type = readBe16(b + typeAt);
        for (int tags = 0; (type == kEtherTypeVlan || type == kEtherTypeQinQ) && tags < kMaxVlanTags; ++tags) {
            typeAt += kVlanTagBytes;
            if (n < typeAt + 2) return Skip::kLinkHeader;
            type = readBe16(b + typeAt);
        }
        if (type != kEtherTypeIpv4) return Skip::kNotIpv4;
        at = typeAt + 2;
        return Skip::kTaken;
    }
    case link::kLinuxSll:
        if (n < kSllBytes) return Skip::kLinkHeader;
        if (readBe16(b + kSllProtocol) != kEtherTypeIpv4) return Skip::kNotIpv4;
        if (readBe16(b + kSllArphrd) == kArphrdLoopback && readBe16(b + kSllPacketType) == kPacketOutgoing)
            return Skip::kLoopbackCopy;
        at = kSllBytes;
        return Skip::kTaken;
    case link::kLinuxSll2:
        if (n < kSll2Bytes) return Skip::kLinkHeader;
        if (readBe16(b + kSll2Protocol) != kEtherTypeIpv4) return Skip::kNotIpv4;
        if (readBe16(b + kSll2Arphrd) == kArphrdLoopback && b[kSll2PacketType] == kPacketOutgoing)
            return Skip::kLoopbackCopy;
        at = kSll2Bytes;
        return Skip::kTaken;
    case link::kRaw:
    case link::kRawBsd:
    case link::kRawBsdAlt:
    case link::kIpv4:
        at = 0;
        return Skip::kTaken;  // the version check below tells IPv4 from IPv6
    case link::kNull:
    case link::kLoop: {
        if (n < kNullBytes) return Skip::kLinkHeader;
        // Written in the capturing machine's byte order (NULL) or in network order (LOOP).
        if (readBe32(b) != kNullFamilyInet && readLe32(b) != kNullFamilyInet) return Skip::kNotIpv4;
        at = kNullBytes;
        return Skip::kTaken;
    }
    default: return Skip::kLinkType;
    }
}

}  // namespace

const char* skipText(Skip reason) {
    const auto i = std::size_t(reason);
    return i < kSkipCount ? kSkipTexts[i] : "unknown";
}

std::string skipSummary(const SkipCounts& counts) {
    std::string s;
    for (std::size_t i = 1; i < kSkipCount; ++i) {
        if (counts[i] == 0) continue;
        if (!s.empty()) s += ", ";
        s += std::to_string(counts[i]) + " " + kSkipTexts[i];
    }
    return s;
}

std::string streamText(const StreamKey& k) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u:%u>%u", unsigned(k.sourceIp >> 24), unsigned((k.sourceIp >> 16) & 255),
                  unsigned((k.sourceIp >> 8) & 255), unsigned(k.sourceIp & 255), unsigned(k.sourcePort),
                  unsigned(k.destPort));
    return buf;
}

bool parseStream(const std::string& text, StreamKey& key) {
    std::uint32_t parts[6] = {};
    const char separators[6] = {'.', '.', '.', ':', '>', '\0'};
    const std::uint32_t limits[6] = {255, 255, 255, 255, 65535, 65535};
    std::size_t at = 0;
    for (int p = 0; p < 6; ++p) {
        std::size_t digits = 0;
        std::uint32_t v = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 6) {
            v = v * 10 + std::uint32_t(text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || v > limits[p]) return false;
        parts[p] = v;
        if (separators[p] == '\0') {
            if (at != text.size()) return false;
        } else if (at >= text.size() || text[at++] != separators[p]) {
            return false;
        }
    }
    key.sourceIp = (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
    key.sourcePort = std::uint16_t(parts[4]);
    key.destPort = std::uint16_t(parts[5]);
    return true;
}

bool linkTypeSupported(int linkType) {
    std::size_t at = 0;
    const std::uint8_t none[1] = {0};
    return linkPayload(linkType, none, 0, at) != Skip::kLinkType;
}

RecordView decodeRecord(int linkType, const std::uint8_t* b, std::size_t n) {
    RecordView v;
    std::size_t ip = 0;
    v.skip = linkPayload(linkType, b, n, ip);
    if (v.skip != Skip::kTaken) return v;
    v.skip = Skip::kIpHeader;
    if (n < ip + kIpMinHeaderBytes) return v.skip = (n <= ip ? Skip::kLinkHeader : Skip::kCut), v;
    const std::uint8_t* h = b + ip;
    if ((h[0] >> 4) != 4) return v.skip = (linkType == link::kEthernet ? Skip::kIpHeader : Skip::kNotIpv4), v;
    const std::size_t headerBytes = std::size_t(h[0] & 0x0F) * 4;
    const std::size_t total = readBe16(h + kIpOffTotalLength);
    if (headerBytes < kIpMinHeaderBytes || total < headerBytes) return v;
    if (ip + headerBytes > n || ip + total > n) return v.skip = Skip::kCut, v;
    if (h[kIpOffProtocol] != kIpProtocolUdp) return v.skip = Skip::kNotUdp, v;
    const std::uint32_t fragment = readBe16(h + kIpOffFlagsFragment);
    if ((fragment & kIpMoreFragments) != 0 || (fragment & kIpFragmentOffsetMask) != 0)
        return v.skip = Skip::kFragment, v;
    // The datagram must hold the whole UDP header before its length field is read.
    if (total - headerBytes < kUdpBytes) return v.skip = Skip::kUdpLength, v;
    const std::uint8_t* u = h + headerBytes;
    const std::size_t udpLength = readBe16(u + kUdpOffLength);
    if (udpLength < kUdpBytes || udpLength > total - headerBytes) return v.skip = Skip::kUdpLength, v;
    if (udpLength - kUdpBytes != kPayloadBytes) return v.skip = Skip::kPayloadSize, v;
    const std::uint8_t* payload = u + kUdpBytes;
    if (statuspkt::hasHeader(payload)) return v.skip = Skip::kStatusPacket, v;
    if (payload[0] == configpkt::kHeader[0] && payload[1] == configpkt::kHeader[1] &&
        payload[2] == configpkt::kHeader[2] && payload[3] == configpkt::kHeader[3])
        return v.skip = Skip::kConfigPacket, v;
    v.skip = Skip::kTaken;
    v.payloadOffset = std::size_t(payload - b);
    v.stream.sourceIp = readBe32(h + kIpOffSource);
    v.stream.sourcePort = std::uint16_t(readBe16(u + kUdpOffSourcePort));
    v.stream.destPort = std::uint16_t(readBe16(u + kUdpOffDestPort));
    return v;
}

}  // namespace kv::wire
