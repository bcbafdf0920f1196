// Ethernet/IPv4/UDP framing of sensor datagrams for capture files.

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "byte_order.h"
#include "wire_frame.h"

namespace {

namespace wire = kv::sim::wire;

// Ones' complement sum folded to 16 bits; a header with a correct checksum sums to 0xFFFF.
std::uint32_t onesSum(const std::uint8_t* p, std::size_t n, std::uint32_t sum = 0) {
    for (std::size_t i = 0; i < n; i += 2) sum += (std::uint32_t(p[i]) << 8) | (i + 1 < n ? p[i + 1] : 0);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return sum;
}

TEST(Wire, FramesAreValidEthernetIpv4Udp) {
    struct Case {
        const char* what;
        std::uint32_t src, dst;
        std::uint16_t sport, dport;
        std::array<std::uint8_t, 6> dstMac;
    };
    const Case cases[] = {
        {"unicast data", 0xC0A801C8, 0xC0A80166, 2368, 2368, {0x02, 0x4B, 0x56, 0, 0x20, 0x02}},
        {"status to another port", 0x7F000002, 0x7F000001, 2368, 2369, {0x02, 0x4B, 0x56, 0, 0x20, 0x02}},
        {"multicast group", 0xC0A801C8, 0xE0010101, 2368, 2368, {0x01, 0x00, 0x5E, 0x01, 0x01, 0x01}},
        {"high ports and addresses", 0xFFFFFFFE, 0xFEFEFEFE, 65535, 65534, {0x02, 0, 0, 0, 0, 1}},
    };
    std::array<std::uint8_t, 1206> payload{};
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = std::uint8_t(i * 7 + 3);

    std::uint16_t id = 0xFFFE;
    for (const Case& c : cases) {
        wire::Endpoints e;
        e.sourceMac = {0x02, 0x4B, 0x56, 0x00, 0x10, 0x01};
        e.destMac = c.dstMac;
        e.sourceIp = c.src;
        e.destIp = c.dst;
        e.sourcePort = c.sport;
        e.destPort = c.dport;
        const wire::Frame f = wire::frameDatagram(payload.data(), e, id++);
        const std::uint8_t* p = f.data();
        ASSERT_EQ(f.size(), 1248u) << c.what;

        EXPECT_EQ(std::memcmp(p, c.dstMac.data(), 6), 0) << c.what;
        EXPECT_EQ(std::memcmp(p + 6, e.sourceMac.data(), 6), 0) << c.what;
        EXPECT_EQ(kv::readBe16(p + 12), 0x0800u) << c.what;

        const std::uint8_t* ip = p + 14;
        EXPECT_EQ(ip[0], 0x45) << c.what;
        EXPECT_EQ(kv::readBe16(ip + 2), 1234u) << c.what;
        EXPECT_EQ(ip[9], 17) << c.what;
        EXPECT_EQ(kv::readBe32(ip + 12), c.src) << c.what;
        EXPECT_EQ(kv::readBe32(ip + 16), c.dst) << c.what;
        EXPECT_EQ(onesSum(ip, 20), 0xFFFFu) << c.what << ": IPv4 header checksum";

        const std::uint8_t* udp = ip + 20;
        EXPECT_EQ(kv::readBe16(udp), c.sport) << c.what;
        EXPECT_EQ(kv::readBe16(udp + 2), c.dport) << c.what;
        EXPECT_EQ(kv::readBe16(udp + 4), 1214u) << c.what;
        const std::uint32_t pseudo = onesSum(ip + 12, 8, 17 + 1214);
        EXPECT_EQ(onesSum(udp, 1214, pseudo), 0xFFFFu) << c.what << ": UDP checksum";

        EXPECT_EQ(std::memcmp(udp + 8, payload.data(), payload.size()), 0) << c.what;
    }
}

TEST(Wire, MulticastGroupsMapToTheirEthernetAddress) {
    using Mac = std::array<std::uint8_t, 6>;
    EXPECT_EQ(wire::multicastMac(0xE0010101), (Mac{0x01, 0x00, 0x5E, 0x01, 0x01, 0x01}));  // 224.1.1.1
    EXPECT_EQ(wire::multicastMac(0xEFFF0102), (Mac{0x01, 0x00, 0x5E, 0x7F, 0x01, 0x02}));  // high bit dropped
    EXPECT_TRUE(wire::isMulticast(0xEFFFFFFF) && !wire::isMulticast(0xF0000001) && !wire::isMulticast(0x7F000001));
}

}  // namespace
