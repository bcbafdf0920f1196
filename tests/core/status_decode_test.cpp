// Status packet decoding: what is accepted, where each record field and vector entry comes
// from, and the firmware version text.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "status_decode.h"

namespace {

using namespace kv::statuspkt;
using kv::writeBe16;
using Packet = std::array<std::uint8_t, kPacketBytes + 1>;  // one spare byte for the too-long case

Packet statusPacket() {
    Packet p{};
    writeHeader(p.data());
    return p;
}

TEST(StatusDecode, RejectsAnythingButAWholeStatusPacketAndKeepsThePreviousValues) {
    struct Case { const char* name; std::size_t len; std::size_t badByte; };
    const Case cases[] = {{"header A5 FF 00 5B", kPacketBytes, 3}, {"1205 bytes", kPacketBytes - 1, 0},
                          {"1207 bytes", kPacketBytes + 1, 0}, {"empty", 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Packet p = statusPacket();
        writeBe16(p.data() + kMotorSpeedRpm, 600);
        if (c.badByte) p[c.badByte] = 0x5B;
        SettingData out;
        out.motorSpeed = 7;
        std::vector<int> mac{1, 2, 3};
        EXPECT_FALSE(decodeStatusPacket(p.data(), c.len, out, mac));
        EXPECT_EQ(out.motorSpeed, 7);
        EXPECT_EQ(mac, (std::vector<int>{1, 2, 3}));
    }
    SettingData out;
    std::vector<int> mac;
    EXPECT_FALSE(decodeStatusPacket(nullptr, kPacketBytes, out, mac));
}

TEST(StatusDecode, FieldsAndVectorEntries) {
    struct Case {
        const char* name;
        std::function<void(std::uint8_t*)> write;
        std::function<void(const SettingData&, const std::vector<int>&)> check;
    };
    const Case cases[] = {
        {"data port 09 40 kept in memory order", [](std::uint8_t* p) { p[kDataPort] = 0x09, p[kDataPort + 1] = 0x40; },
         [](const SettingData& d, const std::vector<int>& m) {
             EXPECT_EQ(m[kMacIndexDataPort], 2368);
             const auto* raw = reinterpret_cast<const std::uint8_t*>(&d.dataPortRaw);
             EXPECT_EQ(raw[0], 0x09);
             EXPECT_EQ(raw[1], 0x40);
         }},
        {"phase-lock error FF 9C", [](std::uint8_t* p) { writeBe16(p + kPhaseLockError, 0xFF9C); },
         [](const SettingData&, const std::vector<int>& m) {
             EXPECT_EQ(m[kMacIndexPhaseLockError], 0xFF9C);
             EXPECT_EQ(std::int16_t(m[kMacIndexPhaseLockError]), -100);
         }},
        {"motor speed, state, interval",
         [](std::uint8_t* p) {
             writeBe16(p + kMotorSpeedRpm, 0xE10F), writeBe16(p + kMotorState, 1), writeBe16(p + kPacketInterval, 0x1234);
         },
         [](const SettingData& d, const std::vector<int>&) {
             EXPECT_EQ(d.motorSpeed, 0xE10F);  // widened without sign
             EXPECT_EQ(d.motorState, 1);
             EXPECT_EQ(d.packetInterval, 0x1234);
         }},
        {"GPS time with the four bytes after it",
         [](std::uint8_t* p) { for (std::size_t i = 0; i < kGpsTimeRecordBytes; ++i) p[kGpsTime + i] = std::uint8_t(21 + i); },
         [](const SettingData& d, const std::vector<int>&) {
             EXPECT_EQ(d.gpsTime, (std::array<std::uint8_t, 10>{21, 22, 23, 24, 25, 26, 27, 28, 29, 30}));
         }},
        {"latitude and longitude with hemisphere letters",
         [](std::uint8_t* p) {
             std::memcpy(p + kLatitude, "04808.2130", kGeoTextBytes), std::memcpy(p + kLongitude, "01134.5170", kGeoTextBytes);
             p[kLatitudeHemisphere] = 'S', p[kLongitudeHemisphere] = 'W';
         },
         [](const SettingData& d, const std::vector<int>&) {
             EXPECT_EQ(std::string(d.latitude.data(), d.latitude.size()), "04808.2130S");
             EXPECT_EQ(std::string(d.longitude.data(), d.longitude.size()), "01134.5170W");
         }},
        {"monitor words, readings, threshold, MAC",
         [](std::uint8_t* p) {
             for (std::size_t i = 0; i < kMonitorWordCount; ++i) writeBe16(p + kMonitorWords + 2 * i, 0xFFF0 + i);
             for (std::size_t i = 0; i < kMacBytes; ++i) p[kMac + i] = std::uint8_t(0xF0 + i);
         },
         [](const SettingData& d, const std::vector<int>& m) {
             EXPECT_EQ(d.monitorWords, (std::array<std::int32_t, 7>{65520, 65521, 65522, 65523, 65524, 65525, 65526}));
             EXPECT_EQ(m, (std::vector<int>{0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0, 0, 65522, 65523, 0xFF, 0}));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Packet p = statusPacket();
        c.write(p.data());
        SettingData d;
        std::vector<int> mac;
        ASSERT_TRUE(decodeStatusPacket(p.data(), kPacketBytes, d, mac));
        ASSERT_EQ(mac.size(), kMacEntryCount);
        c.check(d, mac);
    }
}

// Every byte distinct from its neighbours: a block taken from the wrong place or with the wrong
// length shows.
TEST(StatusDecode, CarriedBlocksComeFromTheirPlaces) {
    Packet p{};
    for (std::size_t i = 0; i < p.size(); ++i) p[i] = std::uint8_t(i * 7 + 3);
    writeHeader(p.data());
    SettingData d;
    std::vector<int> mac;
    ASSERT_TRUE(decodeStatusPacket(p.data(), kPacketBytes, d, mac));
    auto same = [&](const auto& field, std::size_t at) {
        return std::memcmp(field.data(), p.data() + at, field.size()) == 0;
    };
    EXPECT_TRUE(same(d.destIp, kDestIp));
    EXPECT_TRUE(same(d.bytes70to197, kBlock70));
    EXPECT_TRUE(same(d.bytes478to605, kBlock478));
    EXPECT_TRUE(same(d.bytes234to329, kBlock234));
    EXPECT_TRUE(same(d.bytes330to425, kBlock330));
    EXPECT_TRUE(same(d.bytes426to473, kBlock426));
    EXPECT_TRUE(same(d.bytes606to653, kBlock606));
    EXPECT_TRUE(same(d.identity, kIdentity));
    EXPECT_TRUE(same(d.panelVersion, kFirmwareYear));
}

TEST(StatusDecode, FirmwareVersionText) {
    struct Case { std::array<std::uint8_t, kFirmwareBytes> bytes; const char* text; };
    const Case cases[] = {{{0x07, 0xE5, 0x0C, 0x17, 0x11, 0x04}, "2021.12.23-V1.1.04"},
                          {{0x07, 0xE5, 0x01, 0x09, 0x20, 0x10}, "2021.1.9-V2.0.10"},
                          {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, "0.0.0-V0.0.00"},
                          {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "65535.255.255-V15.15.1515"}};
    for (const Case& c : cases) {
        Packet p = statusPacket();
        std::memcpy(p.data() + kFirmwareYear, c.bytes.data(), c.bytes.size());
        EXPECT_EQ(firmwareVersionText(p.data()), c.text);
    }
}

}  // namespace
