// The simulated sensor's status packets and how it takes configuration packets.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#include "byte_order.h"
#include "config_fixture.h"
#include "status_packet.h"
#include "status_state.h"

namespace {

using namespace kv::statuspkt;
using kv::sim::SensorSettings;
using kv::sim::StatusState;
using kv::simtest::ConfigEdits;
using kv::simtest::configFromStatus;

constexpr std::int64_t kBase = 1700000000;  // 2023-11-14 22:13:20 UTC

TEST(Status, CarriesTheSettingsAndPlausibleReadings) {
    SensorSettings s;
    s.motorSpeedRpm = 1200;
    s.dataPort = 2370;
    s.equipPort = 2371;
    const kv::sim::StatusPacket pk = StatusState(s, 9, kBase).buildStatusPacket(0.5);
    const std::uint8_t* p = pk.data();

    EXPECT_TRUE(hasHeader(p));
    EXPECT_EQ(kv::readBe16(p + kMotorSpeedRpm), 1200u);
    EXPECT_EQ(kv::readBe16(p + kDataPort), 2370u);
    EXPECT_EQ(kv::readBe16(p + kEquipPort), 2371u);
    EXPECT_EQ(kv::readBe32(p + kSensorIp), 0xC0A801C8u);
    const std::uint8_t gps[6] = {23, 11, 14, 22, 13, 20};
    EXPECT_EQ(std::memcmp(p + kGpsTime, gps, 6), 0);
    const std::uint8_t firmware[6] = {0x07, 0xE7, 6, 14, 0x12, 0x07};  // 2023.6.14-V1.2.07
    EXPECT_EQ(std::memcmp(p + kFirmwareYear, firmware, 6), 0);

    // Readings as the configuration dialog converts them (2.5 V reference).
    const double highVoltage = 281 - kv::readBe16(p + kRawHighVoltage) * 0.0692138;
    const double tempC = kv::readBe16(p + kRawTemperature) * 2.5 / 4096 * 100 - 50;
    EXPECT_TRUE(highVoltage > 100 && highVoltage < 200) << highVoltage;
    EXPECT_TRUE(tempC > 20 && tempC < 60) << tempC;
    EXPECT_EQ(p[kThreshold], p[kMonitorWords + 4 * kMonitorWordBytes]);
    EXPECT_GT(p[kThreshold], 0);
    const std::string lat(reinterpret_cast<const char*>(p + kLatitude), kGeoTextBytes);
    EXPECT_EQ(lat.find_first_not_of("0123456789."), std::string::npos) << lat;
    EXPECT_EQ(std::string(1, char(p[kLatitudeHemisphere])) + char(p[kLongitudeHemisphere]), "NE");
}

TEST(Status, GpsTimeFollowsTheClock) {
    struct Case {
        std::int64_t unix;
        kv::sim::CivilTime civil;
    };
    const Case cases[] = {
        {951782400, {2000, 2, 29, 0, 0, 0}},
        {1709251199, {2024, 2, 29, 23, 59, 59}},
        {1735689600, {2025, 1, 1, 0, 0, 0}},
        {kBase + 100000, {2023, 11, 16, 2, 0, 0}},
    };
    for (const Case& c : cases) {
        const kv::sim::CivilTime t = kv::sim::civilFromUnix(c.unix);
        EXPECT_EQ(std::make_tuple(t.year, t.month, t.day, t.hour, t.minute, t.second),
                  std::make_tuple(c.civil.year, c.civil.month, c.civil.day, c.civil.hour, c.civil.minute,
                                  c.civil.second))
            << c.unix;
    }
    const StatusState state(SensorSettings{}, 1, kBase);
    EXPECT_EQ(state.buildStatusPacket(100000.7)[kGpsTime + 2], 16);
}

TEST(Config, RoundTripThroughTheNextStatusPacket) {
    StatusState state(SensorSettings{}, 1, kBase);
    ConfigEdits e;
    e.rpm = 1800;
    e.sensorIp = {192, 168, 1, 10};
    e.destIp = {192, 168, 1, 102};
    e.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    e.dataPort = 2370;
    e.equipPort = 2371;
    e.phaseLockOn = true;
    e.phaseLockDeg = 12.34;  // 617 = 0x0269, bytes 82 69 with the lock bit
    e.motorState = 1;
    e.packetInterval = 5;
    const auto config = configFromStatus(state.buildStatusPacket(0).data(), e);
    ASSERT_TRUE(state.applyConfigPacket(config.data(), config.size()));

    const kv::sim::StatusPacket pk = state.buildStatusPacket(1);
    const std::uint8_t* p = pk.data();
    EXPECT_EQ(kv::readBe16(p + kMotorSpeedRpm), 1800u);
    EXPECT_EQ(kv::readBe32(p + kSensorIp), 0xC0A8010Au);
    EXPECT_EQ(kv::readBe32(p + kDestIp), 0xC0A80166u);
    EXPECT_EQ(std::memcmp(p + kMac, e.mac.data(), 6), 0);
    EXPECT_EQ(kv::readBe16(p + kDataPort), 2370u);
    EXPECT_EQ(kv::readBe16(p + kEquipPort), 2371u);
    EXPECT_EQ(p[kPhaseLock], 0x82);
    EXPECT_EQ(p[kPhaseLock + 1], 0x69);
    EXPECT_EQ(kv::readBe16(p + kMotorState), 1u);
    EXPECT_EQ(kv::readBe16(p + kPacketInterval), 5u);
    const double errDeg = std::int16_t(kv::readBe16(p + kPhaseLockError)) / 100.0;
    EXPECT_LE(std::fabs(errDeg), 0.3) << "locked: a small angle error";
    EXPECT_TRUE(state.settings().motorStopped);
    EXPECT_EQ(state.configApplied(), 1u);
}

TEST(Config, RefusedSettingsKeepTheirValueAndTheRestIsTaken) {
    struct Case {
        const char* option;
        std::size_t offset;  // where the status packet shows the refused setting
        std::size_t width;
    } cases[] = {
        {"speed", kMotorSpeedRpm, 2}, {"motor", kMotorState, 2},       {"sensor-ip", kSensorIp, 4},
        {"dest-ip", kDestIp, 4},      {"mac", kMac, 6},                {"data-port", kDataPort, 2},
        {"equip-port", kEquipPort, 2}, {"phase-lock", kPhaseLock, 2}, {"interval", kPacketInterval, 2},
    };
    ConfigEdits e;
    e.rpm = 1800;
    e.sensorIp = {192, 168, 1, 10};
    e.destIp = {192, 168, 1, 103};  // not the default
    e.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    e.dataPort = 2370;
    e.equipPort = 2371;
    e.phaseLockOn = true;
    e.phaseLockDeg = 12.34;
    e.motorState = 1;
    e.packetInterval = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        const unsigned field = kv::sim::refusedFieldByName(c.option);
        ASSERT_NE(field, 0u);
        StatusState refusing(SensorSettings{}, 1, kBase), taking(SensorSettings{}, 1, kBase);
        refusing.setRefusedFields(field);
        const auto before = refusing.buildStatusPacket(0);
        const auto config = configFromStatus(before.data(), e);
        ASSERT_TRUE(refusing.applyConfigPacket(config.data(), config.size()));
        ASSERT_TRUE(taking.applyConfigPacket(config.data(), config.size()));
        const auto refused = refusing.buildStatusPacket(1), taken = taking.buildStatusPacket(1);
        EXPECT_EQ(std::memcmp(refused.data() + c.offset, before.data() + c.offset, c.width), 0);
        EXPECT_NE(std::memcmp(taken.data() + c.offset, before.data() + c.offset, c.width), 0);
        // Every other setting was taken.
        for (const Case& other : cases) {
            if (other.offset == c.offset) continue;
            EXPECT_EQ(std::memcmp(refused.data() + other.offset, taken.data() + other.offset, other.width), 0)
                << other.option;
        }
    }
    EXPECT_EQ(kv::sim::refusedFieldByName("Speed"), 0u);
}

TEST(Config, RefusedPacketsChangeNothingAndAreCounted) {
    struct Case {
        const char* what;
        std::size_t len;
        std::size_t corruptAt;  // 0 = none
    };
    const Case cases[] = {
        {"1205 bytes", 1205, 0},      {"1207 bytes", 1207, 0},       {"no bytes", 0, 0},
        {"status header", 1206, 1},   {"last header byte", 1206, 7}, {"trailer", 1206, 1205},
    };
    StatusState state(SensorSettings{}, 1, kBase);
    const kv::sim::StatusPacket before = state.buildStatusPacket(0);
    ConfigEdits e;
    e.rpm = 3600;
    e.dataPort = 4000;
    std::array<std::uint8_t, 1300> buf{};
    const auto good = configFromStatus(before.data(), e);
    std::uint64_t ignored = 0;
    for (const Case& c : cases) {
        std::memcpy(buf.data(), good.data(), good.size());
        if (c.corruptAt) buf[c.corruptAt] ^= 0x5A;
        EXPECT_FALSE(state.applyConfigPacket(buf.data(), c.len)) << c.what;
        EXPECT_EQ(state.configIgnored(), ++ignored) << c.what;
        EXPECT_EQ(state.buildStatusPacket(0), before) << c.what;
    }
    EXPECT_FALSE(state.applyConfigPacket(nullptr, 1206));
    EXPECT_EQ(state.configApplied(), 0u);
}

TEST(Config, UnusableValuesKeepTheCurrentSetting) {
    const std::pair<const char*, void (*)(ConfigEdits&)> cases[] = {
        {"speed 0", [](ConfigEdits& e) { e.rpm = 0; }},
        {"speed 9000", [](ConfigEdits& e) { e.rpm = 9000; }},
        {"motor state 2", [](ConfigEdits& e) { e.motorState = 2; }},
        {"sensor 0.0.0.0", [](ConfigEdits& e) { e.sensorIp = {0, 0, 0, 0}; }},
        {"sensor 255.255.255.255", [](ConfigEdits& e) { e.sensorIp = {255, 255, 255, 255}; }},
        {"MAC of zeros", [](ConfigEdits& e) { e.mac = {}; }},
        {"group MAC", [](ConfigEdits& e) { e.mac = {0x01, 0, 0x5E, 1, 1, 1}; }},
        {"data port 0", [](ConfigEdits& e) { e.dataPort = 0; }},
    };
    for (const auto& [what, edit] : cases) {
        StatusState state(SensorSettings{}, 1, kBase);
        const kv::sim::StatusPacket before = state.buildStatusPacket(0);
        ConfigEdits e;  // the current settings, but for one field
        edit(e);
        const auto config = configFromStatus(before.data(), e);
        EXPECT_TRUE(state.applyConfigPacket(config.data(), config.size())) << what;
        EXPECT_EQ(state.buildStatusPacket(0), before) << what;
    }
}

}  // namespace
