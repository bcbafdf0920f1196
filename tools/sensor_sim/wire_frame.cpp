#include "wire_frame.h"

#include <cstring>

#include "byte_order.h"

namespace kv::sim::wire {

std::uint16_t internetChecksum(const std::uint8_t* data, std::size_t len, std::uint32_t seed) {
    std::uint64_t sum = seed;
    for (std::size_t i = 0; i + 1 < len; i += 2) sum += readBe16(data + i);
    if (len % 2) sum += std::uint32_t(data[len - 1]) << 8;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return std::uint16_t(~sum);
}

std::array<std::uint8_t, 6> multicastMac(std::uint32_t group) {
    return {0x01, 0x00, 0x5E, std::uint8_t((group >> 16) & 0x7F), std::uint8_t(group >> 8),
            std::uint8_t(group)};
}

Frame frameDatagram(const std::uint8_t* payload, const Endpoints& e, std::uint16_t ipId) {
    Frame f{};
    std::uint8_t* p = f.data();
    std::memcpy(p + kEthDestMac, e.destMac.data(), 6);
    std::memcpy(p + kEthSourceMac, e.sourceMac.data(), 6);
    writeBe16(p + kEtherType, kEtherTypeIpv4);

    p[kIpStart] = 0x45;  // version 4, five 32-bit words
    writeBe16(p + kIpTotalLength, kIpv4Bytes + kUdpBytes + kPayloadBytes);
    writeBe16(p + kIpIdentification, ipId);
    writeBe16(p + kIpFlagsFragment, 0x4000);  // don't fragment
    p[kIpTtl] = e.ttl;
    p[kIpProtocol] = kIpProtocolUdp;
    writeBe32(p + kIpSource, e.sourceIp);
    writeBe32(p + kIpDest, e.destIp);
    writeBe16(p + kIpChecksum, internetChecksum(p + kIpStart, kIpv4Bytes));

    const std::uint32_t udpLength = kUdpBytes + kPayloadBytes;
    writeBe16(p + kUdpSourcePort, e.sourcePort);
    writeBe16(p + kUdpDestPort, e.destPort);
    writeBe16(p + kUdpLength, udpLength);
    std::memcpy(p + kPayloadStart, payload, kPayloadBytes);

    // UDP checksum over the pseudo-header (addresses, protocol, length) and the datagram.
    const std::uint32_t pseudo = (e.sourceIp >> 16) + (e.sourceIp & 0xFFFF) + (e.destIp >> 16) +
                                 (e.destIp & 0xFFFF) + kIpProtocolUdp + udpLength;
    std::uint16_t udpSum = internetChecksum(p + kUdpStart, udpLength, pseudo);
    if (udpSum == 0) udpSum = 0xFFFF;  // zero would mean "no checksum"
    writeBe16(p + kUdpChecksum, udpSum);
    return f;
}

}  // namespace kv::sim::wire
