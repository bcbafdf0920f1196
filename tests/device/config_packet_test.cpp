// The configuration packets byte for byte, the field checks that keep a bad text off the wire,
// and a configuration packet taken by the simulated sensor as the device would take it.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>

#include "byte_order.h"
#include "config_changes.h"
#include "config_packet.h"
#include "status_decode.h"
#include "status_state.h"
#include "status_texts.h"

namespace {

using namespace kv::config;
namespace st = kv::statuspkt;
using Bytes = std::vector<std::uint8_t>;

// A status packet whose every byte differs from its neighbours, so a copy from the wrong
// offset shows.
StatusPacket patternedStatus(std::uint32_t seed = 7) {
    StatusPacket p{};
    std::mt19937 rng(seed);
    for (auto& b : p) b = std::uint8_t(rng());
    st::writeHeader(p.data());
    const std::uint8_t ip[] = {127, 0, 0, 2};
    std::memcpy(p.data() + st::kSensorIp, ip, 4);
    return p;
}

// What the packet holds where the fields did not write: the layout, spelt out independently.
std::uint8_t layoutByte(const StatusPacket& s, std::size_t i) {
    static const std::uint8_t header[] = {0xAA, 0x00, 0xFF, 0x11, 0x22, 0x22, 0xAA, 0xAA};
    if (i < 8) return header[i];
    if (i < 52) return s[i];
    if (i < 60) return 0;
    if (i < 268) return s[i];
    if (i < 1198) return s[i - 34];
    if (i < 1204) return s[i];
    return i == 1204 ? 0x0F : 0xF0;
}

// The fields as the dialog holds them right after opening (no Refresh): the combo boxes at
// their first items, the MAC shown from the status packet, every other text empty.
ConfigFields freshFields(const StatusPacket& s) {
    ConfigFields f;
    char mac[18];
    std::snprintf(mac, sizeof mac, "%02x-%02x-%02x-%02x-%02x-%02x", s[18], s[19], s[20], s[21], s[22], s[23]);
    f.mac = mac;
    f.setFrame = " 40 Frame";
    f.motoState = "Run";
    return f;
}

TEST(ConfigPacket, ByteForByte) {
    struct Case {
        const char* name;
        std::function<void(ConfigFields&)> edit;
        std::map<std::size_t, Bytes> written;  // offset -> bytes the fields put there
    };
    const Case cases[] = {
        {"after opening, before Refresh",
         [](ConfigFields&) {},
         {{8, {0x02, 0x58}}, {32, {0x00, 0x00}}, {46, {0x00, 0x00}}, {50, {0x00, 0x01}}}},
        {"two addresses",
         [](ConfigFields& f) { f.lidarIp = "192.168.1.10", f.computerIp = "192.168.1.102"; },
         {{10, {0xC0, 0xA8, 0x01, 0x0A, 0xC0, 0xA8, 0x01, 0x66}}}},
        {"data port 1024 keeps the status bytes", [](ConfigFields& f) { f.dataPort = "1024"; }, {}},
        {"data port 1025", [](ConfigFields& f) { f.dataPort = "1025"; }, {{24, {0x04, 0x01}}}},
        {"data port 65535", [](ConfigFields& f) { f.dataPort = "65535"; }, {{24, {0xFF, 0xFF}}}},
        {"data port 65536 keeps", [](ConfigFields& f) { f.dataPort = "65536"; }, {}},
        {"equipment port 2369", [](ConfigFields& f) { f.equipPort = "2369"; }, {{26, {0x09, 0x41}}}},
        {"equipment port text keeps", [](ConfigFields& f) { f.equipPort = "abc"; }, {}},
        {"PL angle 12.34 Open",
         [](ConfigFields& f) { f.plAngle = "12.34", f.phaseLockIndex = 1; },
         {{32, {0x82, 0x69}}}},
        {"PL angle 12.34 Close", [](ConfigFields& f) { f.plAngle = "12.34"; }, {{32, {0x02, 0x69}}}},
        {"PL angle with blanks and a sign", [](ConfigFields& f) { f.plAngle = " +12.34 ", f.phaseLockIndex = 1; },
         {{32, {0x82, 0x69}}}},
        {"PL angle in hexadecimal is no number", [](ConfigFields& f) { f.plAngle = "0x1A"; }, {}},
        {"PL angle with a comma is no number", [](ConfigFields& f) { f.plAngle = "12,34"; }, {}},
        {"PL angle 655.34 Open", [](ConfigFields& f) { f.plAngle = "655.34", f.phaseLockIndex = 1; },
         {{32, {0xFF, 0xFF}}}},
        // Exact decimals: in binary floating point 2.1 x 50 and 1.06 x 50 fall just short.
        {"PL angle 2.1 is 105 units", [](ConfigFields& f) { f.plAngle = "2.1"; }, {{32, {0x00, 0x69}}}},
        {"PL angle 1.06 is 53 units", [](ConfigFields& f) { f.plAngle = "1.06", f.phaseLockIndex = 1; },
         {{32, {0x80, 0x35}}}},
        {"PL angle 2.13 truncates to 106 units", [](ConfigFields& f) { f.plAngle = "2.13"; }, {{32, {0x00, 0x6A}}}},
        {"PL angle 655.3399 truncates to 32766 units", [](ConfigFields& f) { f.plAngle = "655.3399"; },
         {{32, {0x7F, 0xFE}}}},
        {" 80 Frame", [](ConfigFields& f) { f.setFrame = " 80 Frame"; }, {{8, {0x04, 0xB0}}}},
        {" 120 Frame", [](ConfigFields& f) { f.setFrame = " 120 Frame"; }, {{8, {0x07, 0x08}}}},
        {" 160 Frame", [](ConfigFields& f) { f.setFrame = " 160 Frame"; }, {{8, {0x09, 0x60}}}},
        {" 200 Frame", [](ConfigFields& f) { f.setFrame = " 200 Frame"; }, {{8, {0x0B, 0xB8}}}},
        {" 240 Frame", [](ConfigFields& f) { f.setFrame = " 240 Frame"; }, {{8, {0x0E, 0x10}}}},
        {"an item without its leading space keeps the speed", [](ConfigFields& f) { f.setFrame = "80 Frame"; }, {}},
        {"Stop", [](ConfigFields& f) { f.motoState = "Stop"; }, {{46, {0x00, 0x01}}}},
        {"another motor text keeps", [](ConfigFields& f) { f.motoState = "run"; }, {}},
        {"interval 7", [](ConfigFields& f) { f.packetInterval = "7"; }, {{50, {0x00, 0x07}}}},
        {"interval 65535", [](ConfigFields& f) { f.packetInterval = "65535"; }, {{50, {0xFF, 0xFF}}}},
        {"interval that is no number", [](ConfigFields& f) { f.packetInterval = "x1"; }, {{50, {0x00, 0x00}}}},
        {"MAC written back", [](ConfigFields& f) { f.mac = "00-1a-2B-3c-4d-5e"; },
         {{18, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}}}},
        {"MAC of 16 characters keeps", [](ConfigFields& f) { f.mac = "00-1a-2b-3c-4d-5"; }, {}},
        {"MAC with a pair that is no number keeps", [](ConfigFields& f) { f.mac = "00-1a-2b-3c-4d-zz"; }, {}},
    };
    const StatusPacket status = patternedStatus();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigFields f = freshFields(status);
        c.edit(f);
        std::map<std::size_t, Bytes> written = c.written;
        // Fields that are always written, at their values for these texts, unless the case says.
        if (!written.count(8) && f.setFrame == " 40 Frame") written[8] = {0x02, 0x58};
        if (!written.count(32)) written[32] = {0x00, 0x00};
        if (!written.count(46) && f.motoState == "Run") written[46] = {0x00, 0x00};
        if (!written.count(50)) written[50] = {0x00, 0x01};

        const ConfigBuild b = buildConfigPacket(status.data(), f);
        Packet want{};
        for (std::size_t i = 0; i < want.size(); ++i) want[i] = layoutByte(status, i);
        for (const auto& [offset, bytes] : written)
            for (std::size_t k = 0; k < bytes.size(); ++k) want[offset + k] = bytes[k];
        for (std::size_t i = 0; i < want.size(); ++i)
            ASSERT_EQ(b.packet[i], want[i]) << "byte " << i;
        EXPECT_EQ(b.destination, (Ipv4Bytes{127, 0, 0, 2}));
        EXPECT_FALSE(b.usedFallbackAddress);
    }
}

TEST(ConfigPacket, GoesToTheSensorsCurrentAddressOrTheFallback) {
    struct Case {
        Ipv4Bytes reported;
        Ipv4Bytes destination;
        bool fallback;
    } cases[] = {
        {{0, 0, 0, 0}, {192, 168, 1, 200}, true},
        {{255, 255, 255, 255}, {192, 168, 1, 200}, true},
        {{127, 0, 0, 2}, {127, 0, 0, 2}, false},
        {{0, 0, 0, 1}, {0, 0, 0, 1}, false},
        {{255, 255, 255, 0}, {255, 255, 255, 0}, false},
    };
    for (const Case& c : cases) {
        StatusPacket s = patternedStatus();
        std::memcpy(s.data() + st::kSensorIp, c.reported.data(), 4);
        ConfigFields f = freshFields(s);
        f.lidarIp = "10.0.0.5";  // the new address is written, never sent to
        const ConfigBuild b = buildConfigPacket(s.data(), f);
        EXPECT_EQ(b.destination, c.destination);
        EXPECT_EQ(b.usedFallbackAddress, c.fallback);
        EXPECT_EQ(Bytes(b.packet.begin() + 10, b.packet.begin() + 14), (Bytes{10, 0, 0, 5}));
        bool fb = false;
        EXPECT_EQ(sensorAddress(s.data(), &fb), c.destination);
        EXPECT_EQ(fb, c.fallback);
    }
}

TEST(ConfigPacket, FieldsThatWouldWriteSomethingElseAreRefused) {
    struct Case {
        const char* name;
        std::function<void(ConfigFields&)> edit;
        FieldProblem want;
        const char* message;  // the whole "warring" text, where the case is the first of its kind
    } cases[] = {
        {"all fine", [](ConfigFields&) {}, FieldProblem::None, ""},
        {"empty addresses keep the sensor's", [](ConfigFields& f) { f.lidarIp = f.computerIp = ""; }, FieldProblem::None, ""},
        {"empty ports keep the sensor's", [](ConfigFields& f) { f.dataPort = f.equipPort = ""; }, FieldProblem::None, ""},
        {"unfinished Lidar IP", [](ConfigFields& f) { f.lidarIp = "192.168.1."; }, FieldProblem::LidarIp,
         "Lidar IP： \"192.168.1.\" is not an address of four numbers 0-255. Nothing was sent."},
        {"300 in the Lidar IP", [](ConfigFields& f) { f.lidarIp = "300.1.2.3"; }, FieldProblem::LidarIp, nullptr},
        {"three numbers", [](ConfigFields& f) { f.lidarIp = "192.168.1"; }, FieldProblem::LidarIp, nullptr},
        {"five numbers", [](ConfigFields& f) { f.computerIp = "192.168.1.2.3"; }, FieldProblem::ComputerIp,
         "Computer IP： \"192.168.1.2.3\" is not an address of four numbers 0-255. Nothing was sent."},
        {"256", [](ConfigFields& f) { f.computerIp = "192.168.1.256"; }, FieldProblem::ComputerIp, nullptr},
        {"a blank", [](ConfigFields& f) { f.lidarIp = " 192.168.1.2"; }, FieldProblem::LidarIp, nullptr},
        {"four digits", [](ConfigFields& f) { f.lidarIp = "1921.68.1.2"; }, FieldProblem::LidarIp, nullptr},
        {"sensor at 0.0.0.0", [](ConfigFields& f) { f.lidarIp = "0.0.0.0"; }, FieldProblem::LidarIp,
         "Lidar IP： \"0.0.0.0\" is the unspecified address, which no sensor can have. Nothing was sent."},
        {"sensor at the broadcast address", [](ConfigFields& f) { f.lidarIp = "255.255.255.255"; }, FieldProblem::LidarIp,
         "Lidar IP： \"255.255.255.255\" is the broadcast address, which no sensor can have. Nothing was sent."},
        {"sensor at 224.0.0.1", [](ConfigFields& f) { f.lidarIp = "224.0.0.1"; }, FieldProblem::LidarIp,
         "Lidar IP： \"224.0.0.1\" is a multicast address, which no sensor can have. Nothing was sent."},
        {"sensor at 239.255.255.255", [](ConfigFields& f) { f.lidarIp = "239.255.255.255"; }, FieldProblem::LidarIp, nullptr},
        {"sensor at 223.255.255.254", [](ConfigFields& f) { f.lidarIp = "223.255.255.254"; }, FieldProblem::None, ""},
        {"sensor at 0.0.0.1", [](ConfigFields& f) { f.lidarIp = "0.0.0.1"; }, FieldProblem::None, ""},
        {"data port 1024", [](ConfigFields& f) { f.dataPort = "1024"; }, FieldProblem::DataPort,
         "Data Port： \"1024\" is not a port 1025-65535. Nothing was sent."},
        {"data port 1025", [](ConfigFields& f) { f.dataPort = "1025"; }, FieldProblem::None, ""},
        {"data port 65536", [](ConfigFields& f) { f.dataPort = "65536"; }, FieldProblem::DataPort, nullptr},
        {"equipment port 65535", [](ConfigFields& f) { f.equipPort = "65535"; }, FieldProblem::None, ""},
        {"equipment port x1", [](ConfigFields& f) { f.equipPort = "x1"; }, FieldProblem::EquipPort,
         "Equipment Port： \"x1\" is not a port 1025-65535. Nothing was sent."},
        {"equipment port of blanks", [](ConfigFields& f) { f.equipPort = "  "; }, FieldProblem::EquipPort, nullptr},
        {"interval 65536", [](ConfigFields& f) { f.packetInterval = "65536"; }, FieldProblem::PacketInterval,
         "Packet interval： \"65536\" is outside 0-65535. Nothing was sent."},
        {"interval -1", [](ConfigFields& f) { f.packetInterval = "-1"; }, FieldProblem::PacketInterval, nullptr},
        {"interval 99999999999999999999", [](ConfigFields& f) { f.packetInterval = "99999999999999999999"; },
         FieldProblem::PacketInterval, nullptr},  // a number, only too long for 64 bits
        {"interval x1", [](ConfigFields& f) { f.packetInterval = "x1"; }, FieldProblem::PacketInterval,
         "Packet interval： \"x1\" is not a number 0-65535. Nothing was sent."},
        {"interval 12,34", [](ConfigFields& f) { f.packetInterval = "12,34"; }, FieldProblem::PacketInterval, nullptr},
        {"interval 0", [](ConfigFields& f) { f.packetInterval = "0"; }, FieldProblem::None, ""},
        {"PL angle abc", [](ConfigFields& f) { f.plAngle = "abc"; }, FieldProblem::PlAngle,
         "PL angle： \"abc\" is not a decimal number from 0 to 655.34. Nothing was sent."},
        {"PL angle 12,34", [](ConfigFields& f) { f.plAngle = "12,34"; }, FieldProblem::PlAngle, nullptr},
        {"PL angle x1", [](ConfigFields& f) { f.plAngle = "x1"; }, FieldProblem::PlAngle, nullptr},
        {"PL angle 0x1A", [](ConfigFields& f) { f.plAngle = "0x1A"; }, FieldProblem::PlAngle, nullptr},
        {"PL angle 1e38", [](ConfigFields& f) { f.plAngle = "1e38"; }, FieldProblem::PlAngle, nullptr},
        {"PL angle 1e18", [](ConfigFields& f) { f.plAngle = "1e18"; }, FieldProblem::PlAngle, nullptr},
        {"PL angle 1e39", [](ConfigFields& f) { f.plAngle = "1e39"; }, FieldProblem::PlAngle, nullptr},
        {"PL angle inf", [](ConfigFields& f) { f.plAngle = "inf"; }, FieldProblem::PlAngle, nullptr},
        {"PL angle nan", [](ConfigFields& f) { f.plAngle = "nan"; }, FieldProblem::PlAngle, nullptr},
        {"PL angle .", [](ConfigFields& f) { f.plAngle = "."; }, FieldProblem::PlAngle, nullptr},
        {"PL angle +12.34", [](ConfigFields& f) { f.plAngle = "+12.34"; }, FieldProblem::None, ""},
        {"PL angle .5", [](ConfigFields& f) { f.plAngle = ".5"; }, FieldProblem::None, ""},
        {"PL angle -0", [](ConfigFields& f) { f.plAngle = "-0"; }, FieldProblem::None, ""},
        {"PL angle -0.5", [](ConfigFields& f) { f.plAngle = "-0.5"; }, FieldProblem::PlAngle,
         "PL angle： \"-0.5\" must be from 0 to 655.34. Nothing was sent."},
        {"PL angle 655.36", [](ConfigFields& f) { f.plAngle = "655.36"; }, FieldProblem::PlAngle, nullptr},
        {"PL angle 1000", [](ConfigFields& f) { f.plAngle = "1000"; }, FieldProblem::PlAngle, nullptr},
        {"PL angle of forty digits", [](ConfigFields& f) { f.plAngle = std::string(40, '9'); }, FieldProblem::PlAngle,
         nullptr},
        // The largest angle the 15 bits hold is 655.34: up to it exactly, as the message says.
        {"PL angle 655.34", [](ConfigFields& f) { f.plAngle = "655.34"; }, FieldProblem::None, ""},
        {"PL angle 000655.340000", [](ConfigFields& f) { f.plAngle = "000655.340000"; }, FieldProblem::None, ""},
        {"PL angle 655.35", [](ConfigFields& f) { f.plAngle = "655.35"; }, FieldProblem::PlAngle,
         "PL angle： \"655.35\" must be from 0 to 655.34. Nothing was sent."},
        {"PL angle 655.340001", [](ConfigFields& f) { f.plAngle = "655.340001"; }, FieldProblem::PlAngle, nullptr},
        {"PL angle 655.349999", [](ConfigFields& f) { f.plAngle = "655.349999"; }, FieldProblem::PlAngle, nullptr},
        {"PL angle 655.339999", [](ConfigFields& f) { f.plAngle = "655.339999"; }, FieldProblem::None, ""},
    };
    const StatusPacket s = patternedStatus();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigFields f = freshFields(s);
        f.lidarIp = "192.168.1.10";
        f.computerIp = "192.168.1.102";
        f.dataPort = "2368";
        f.equipPort = "2369";
        c.edit(f);
        const FieldCheck check = checkFields(f);
        EXPECT_EQ(check.field, c.want);
        EXPECT_EQ(check.ok(), c.want == FieldProblem::None);
        if (c.message) {
            EXPECT_EQ(check.message, c.message);
        }
    }
}

// "Refresh state" then "Set" with nothing edited, for every phase-lock value: the fields as the
// dialog fills them from the status packet check out, write the status packet's own field bytes
// back, and the confirmation finds nothing to change.
TEST(ConfigPacket, RefreshThenSetWritesEveryStatusValueBack) {
    using kv::statustext::frameItemForSpeed;
    static const char* const kItems[] = {" 40 Frame", " 80 Frame", " 120 Frame", " 160 Frame", " 200 Frame", " 240 Frame"};
    StatusPacket s = patternedStatus();
    kv::writeBe16(s.data() + st::kDataPort, 2368);
    kv::writeBe16(s.data() + st::kEquipPort, 2369);
    std::size_t failures = 0;
    for (std::uint32_t word = 0; word <= 0xFFFF && failures < 5; ++word) {
        kv::writeBe16(s.data() + st::kPhaseLock, word);
        // Speed and motor state vary with the value, so every item and both states are met.
        // (A speed off its item's is written as the item's, and listed: see ConfigChanges.)
        const std::uint32_t item = word % 6;
        kv::writeBe16(s.data() + st::kMotorSpeedRpm, 600 * (item + 1));
        kv::writeBe16(s.data() + st::kMotorState, (word >> 1) & 1);
        kv::writeBe16(s.data() + st::kPacketInterval, (word * 7919) & 0xFFFF);

        ConfigFields f = freshFields(s);  // the MAC shown from the record
        f.lidarIp = ipText(s.data() + st::kSensorIp);
        f.computerIp = ipText(s.data() + st::kDestIp);
        f.dataPort = std::to_string(kv::readBe16(s.data() + st::kDataPort));
        f.equipPort = std::to_string(kv::readBe16(s.data() + st::kEquipPort));
        f.packetInterval = std::to_string(kv::readBe16(s.data() + st::kPacketInterval));
        f.motoState = kv::readBe16(s.data() + st::kMotorState) == 0 ? "Run" : "Stop";
        f.setFrame = kItems[*frameItemForSpeed(int(kv::readBe16(s.data() + st::kMotorSpeedRpm)))];
        f.plAngle = kv::statustext::plAngleText(s.data());
        f.phaseLockIndex = kv::statustext::phaseLockOn(s.data()) ? 1 : 0;

        const FieldCheck check = checkFields(f);
        const ConfigBuild b = buildConfigPacket(s.data(), f);
        const auto changed = kv::configchange::changes(s.data(), b.packet.data());
        const bool sameBytes =
            std::equal(b.packet.begin() + st::kMotorSpeedRpm, b.packet.begin() + 52, s.begin() + st::kMotorSpeedRpm);
        if (!check.ok() || !sameBytes || !changed.empty()) {
            ++failures;
            ADD_FAILURE() << "status word " << word << " (angle text \"" << f.plAngle << "\"): " << check.message
                          << (sameBytes ? "" : " bytes 8..51 differ") << (changed.empty() ? "" : " changes listed: ")
                          << (changed.empty() ? "" : changed[0].field + " " + changed[0].before + " -> " + changed[0].after);
        }
    }
}

TEST(ConfigChanges, WhatTheConfirmationLists) {
    using kv::configchange::FieldChange;
    using Changes = std::vector<FieldChange>;
    StatusPacket s = patternedStatus();
    kv::writeBe16(s.data() + st::kMotorSpeedRpm, 612);
    kv::writeBe16(s.data() + st::kMotorState, 0);
    kv::writeBe16(s.data() + st::kDataPort, 2368);
    kv::writeBe16(s.data() + st::kEquipPort, 2369);
    kv::writeBe16(s.data() + st::kPacketInterval, 1);
    kv::writeBe16(s.data() + st::kPhaseLock, 105);  // 2.1 degrees, Close
    const std::uint8_t dest[] = {127, 0, 0, 1};
    std::memcpy(s.data() + st::kDestIp, dest, 4);
    struct Case {
        const char* name;
        std::function<void(Packet&)> edit;
        Changes want;
    } cases[] = {
        {"the status bytes themselves", [](Packet&) {}, {}},
        {"bytes outside the fields", [](Packet& p) { p[36] ^= 1, p[52] ^= 1, p[300] ^= 1, p[1205] ^= 1; }, {}},
        {"addresses and ports",
         [](Packet& p) {
             p[st::kSensorIp + 3] = 3;
             p[st::kDestIp + 3] = 9;
             kv::writeBe16(p.data() + st::kDataPort, 2370);
             kv::writeBe16(p.data() + st::kEquipPort, 2371);
         },
         {{"Lidar IP", "127.0.0.2", "127.0.0.3"}, {"Data Port", "2368", "2370"}, {"Computer IP", "127.0.0.1", "127.0.0.9"},
          {"Equipment Port", "2369", "2371"}}},
        {"MAC and interval",
         [](Packet& p) {
             const std::uint8_t mac[] = {0, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
             std::memcpy(p.data() + st::kMac, mac, 6);
             kv::writeBe16(p.data() + st::kPacketInterval, 0);
         },
         {{"Mac", "", "00-1a-2b-3c-4d-5e"}, {"Packet interval", "1", "0"}}},
        // The motor runs a little off its " 40 Frame": the packet sets it to 600 rpm all the same.
        {"600 rpm written where 612 are reported", [](Packet& p) { kv::writeBe16(p.data() + st::kMotorSpeedRpm, 600); },
         {{"Set Frame", "612 rpm", "600 rpm"}}},
        {"1200 rpm written", [](Packet& p) { kv::writeBe16(p.data() + st::kMotorSpeedRpm, 1200); },
         {{"Set Frame", "612 rpm", "1200 rpm"}}},
        {"motor stopped, phase lock opened at 2.08 degrees",
         [](Packet& p) {
             kv::writeBe16(p.data() + st::kMotorState, 1);
             kv::writeBe16(p.data() + st::kPhaseLock, 0x8000 | 104);
         },
         {{"Moto State", "Run", "Stop"}, {"PL angle", "2.1", "2.08"}, {"Phase lock", "Close", "Open"}}},
    };
    char mac[18];
    std::snprintf(mac, sizeof mac, "%02x-%02x-%02x-%02x-%02x-%02x", s[18], s[19], s[20], s[21], s[22], s[23]);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Packet p{};
        std::copy(s.begin(), s.end(), p.begin());
        c.edit(p);
        Changes want = c.want;
        for (FieldChange& w : want)
            if (w.field == "Mac") w.before = mac;
        EXPECT_EQ(kv::configchange::changes(s.data(), p.data()), want);
    }
    EXPECT_EQ(kv::configchange::confirmationText({{"Data Port", "2368", "2370"}, {"Set Frame", "612 rpm", "1200 rpm"}},
                                                 "127.0.0.2"),
              "Write to the sensor at 127.0.0.2 (port 2368):\nData Port: 2368 -> 2370\nSet Frame: 612 rpm -> 1200 rpm");
    EXPECT_EQ(kv::configchange::nothingToWriteText("127.0.0.2"),
              "No field differs from the last status of the sensor at 127.0.0.2. Nothing was sent.");
}

// Whatever a packet changes in a field the dialog writes, the confirmation names that field:
// each bit flipped in turn, lowest and highest of each byte, lists exactly its field.
TEST(ConfigChanges, EveryWrittenBitIsListed) {
    StatusPacket s = patternedStatus();
    kv::writeBe16(s.data() + st::kMotorSpeedRpm, 600);  // " 40 Frame": 601 rpm is that item's too
    const struct {
        std::size_t offset, bytes;
        const char* field;
    } fields[] = {{st::kMotorSpeedRpm, 2, "Set Frame"},   {st::kSensorIp, 4, "Lidar IP"},
                  {st::kDestIp, 4, "Computer IP"},        {st::kMac, st::kMacBytes, "Mac"},
                  {st::kDataPort, 2, "Data Port"},        {st::kEquipPort, 2, "Equipment Port"},
                  {st::kPhaseLock, 2, "PL angle"},        {st::kMotorState, 2, "Moto State"},
                  {st::kPacketInterval, 2, "Packet interval"}};
    for (const auto& f : fields)
        for (std::size_t i = 0; i < f.bytes; ++i)
            for (const std::uint8_t bit : {0x01, 0x80}) {
                SCOPED_TRACE(::testing::Message() << f.field << " byte " << i << " bit " << int(bit));
                Packet p{};
                std::copy(s.begin(), s.end(), p.begin());
                p[f.offset + i] ^= bit;
                const bool onOff = f.offset == st::kPhaseLock && i == 0 && bit == 0x80;  // bit 15
                const auto changed = kv::configchange::changes(s.data(), p.data());
                ASSERT_EQ(changed.size(), 1u);
                EXPECT_EQ(changed[0].field, onOff ? "Phase lock" : f.field);
            }
}

TEST(ConfigPacket, OneAddressWrittenTwiceIsCaught) {
    struct Case {
        const char* name;
        const char* lidarIp;
        const char* computerIp;
        bool same;
    } cases[] = {
        {"different", "127.0.0.3", "127.0.0.1", false},
        {"two spellings of one address", "127.0.0.010", "127.0.0.10", true},
        {"empty Lidar IP keeps the sensor's, typed again as Computer IP", "", "127.0.0.2", true},
        {"empty Computer IP keeps the destination", "127.0.0.9", "", false},
    };
    StatusPacket s = patternedStatus();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigFields f = freshFields(s);
        f.lidarIp = c.lidarIp;
        f.computerIp = c.computerIp;
        EXPECT_EQ(writesSameAddresses(buildConfigPacket(s.data(), f).packet), c.same);
    }
    // The destination the status packet reports, typed as the new Lidar IP.
    ConfigFields f = freshFields(s);
    f.lidarIp = ipText(s.data() + st::kDestIp);
    EXPECT_TRUE(writesSameAddresses(buildConfigPacket(s.data(), f).packet));
}

TEST(ConfigPacket, IpTexts) {
    struct Case {
        const char* text;
        std::optional<Ipv4Bytes> want;
    } cases[] = {
        {"192.168.1.10", Ipv4Bytes{192, 168, 1, 10}}, {"0.0.0.0", Ipv4Bytes{0, 0, 0, 0}},
        {"255.255.255.255", Ipv4Bytes{255, 255, 255, 255}}, {"010.001.1.1", Ipv4Bytes{10, 1, 1, 1}},
        {"", std::nullopt}, {"192.168.1.", std::nullopt}, {".1.2.3", std::nullopt}, {"1..2.3", std::nullopt},
        {"1.2.3.4 ", std::nullopt}, {"1.2.3.4.", std::nullopt}, {"1.2.3.-4", std::nullopt}, {"a.b.c.d", std::nullopt},
        {"300.1.1.1", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(parseIpText(c.text), c.want) << c.text;
    const std::uint8_t four[] = {192, 168, 1, 200};
    EXPECT_EQ(ipText(four), "192.168.1.200");
}

TEST(FactoryReset, PacketBytes) {
    const Packet p = buildFactoryResetPacket({2021, 12, 23, 10, 30, 0});
    const std::map<std::size_t, Bytes> want = {
        {0, {0xAA, 0x00, 0xFF, 0x11, 0x22, 0x22, 0xAA, 0xAA}},
        {8, {0x02, 0x58}},
        {10, {0xC0, 0xA8, 0x01, 0xC8, 0xC0, 0xA8, 0x01, 0x66}},
        {24, {0x09, 0x40, 0x09, 0x41}},
        {36, {0x15, 0x0C, 0x17, 0x0A, 0x1E, 0x00}},
        {50, {0x00, 0x01}},
        {1204, {0x0F, 0xF0}},
    };
    Packet expected{};
    for (const auto& [offset, bytes] : want) std::memcpy(expected.data() + offset, bytes.data(), bytes.size());
    for (std::size_t i = 0; i < p.size(); ++i) ASSERT_EQ(p[i], expected[i]) << "byte " << i;
    EXPECT_EQ(buildFactoryResetPacket({2099, 1, 2, 23, 59, 59})[36], 99);
}

// Built by the dialog's function, taken by the simulated sensor, reported in its next status
// packet, decoded by the status receiver's function.
TEST(ConfigPacket, TheSimulatedSensorTakesWhatWasWritten) {
    kv::sim::SensorSettings initial;
    initial.sensorIp = {127, 0, 0, 2};
    kv::sim::StatusState sensor(initial, 3, 1700000000);
    const StatusPacket before = sensor.buildStatusPacket(0);
    ConfigFields f = freshFields(before);
    f.lidarIp = "127.0.0.3";
    f.computerIp = "127.0.0.1";
    f.dataPort = "2370";
    f.equipPort = "2371";
    f.setFrame = " 120 Frame";
    f.motoState = "Stop";
    f.packetInterval = "4";
    f.plAngle = "12.34";
    f.phaseLockIndex = 1;
    const ConfigBuild b = buildConfigPacket(before.data(), f);
    ASSERT_TRUE(sensor.applyConfigPacket(b.packet.data(), b.packet.size()));
    const StatusPacket after = sensor.buildStatusPacket(1);
    SettingData rec;
    std::vector<int> mac;
    ASSERT_TRUE(decodeStatusPacket(after.data(), after.size(), rec, mac));
    EXPECT_EQ(rec.motorSpeed, 1800);
    EXPECT_EQ(rec.motorState, 1);
    EXPECT_EQ(rec.packetInterval, 4);
    EXPECT_EQ(mac[6], 2370);
    EXPECT_EQ(mac[7], 2371);
    EXPECT_EQ(Bytes(after.begin() + 10, after.begin() + 18), (Bytes{127, 0, 0, 3, 127, 0, 0, 1}));
    EXPECT_EQ(kv::readBe16(after.data() + st::kPhaseLock), 0x8269u);
    EXPECT_EQ(Bytes(after.begin() + 18, after.begin() + 24), Bytes(before.begin() + 18, before.begin() + 24));
}

// The dialog runs under whatever locale the desktop has (Qt sets it from the environment).
// A locale whose decimal point is a comma is made for the test with localedef; glibc finds it
// through LOCPATH.
class CommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kv_locale_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::ofstream(dir_ + "/comma.src") << "LC_CTYPE\ncopy \"POSIX\"\nEND LC_CTYPE\n"
                                              "LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"\"\n"
                                              "grouping -1\nEND LC_NUMERIC\n";
        const std::string make = "localedef -c -i " + dir_ + "/comma.src -f ANSI_X3.4-1968 " + dir_ +
                                 "/kvcomma >/dev/null 2>&1";
        (void)std::system(make.c_str());  // -c: the categories left out only warn
        ::setenv("LOCPATH", dir_.c_str(), 1);
        if (std::setlocale(LC_NUMERIC, "kvcomma") == nullptr)
            GTEST_SKIP() << "no locale with a decimal comma can be made here (localedef)";
        char probe[16];
        std::snprintf(probe, sizeof probe, "%g", 0.5);
        ASSERT_STREQ(probe, "0,5") << "the made locale is in force";
    }
    void TearDown() override {
        std::setlocale(LC_NUMERIC, "C");
        ::unsetenv("LOCPATH");
        if (!dir_.empty()) (void)std::system(("rm -rf " + dir_).c_str());
    }
    std::string dir_;
};

TEST_F(CommaLocale, NumbersAreReadAndShownWithADecimalPoint) {
    const StatusPacket s = patternedStatus();
    struct Case {
        const char* plAngle;
        int phaseLock;
        std::uint16_t word;
        bool refused;
    } cases[] = {{"12.34", 1, 0x8269, false}, {"0.5", 0, 0x0019, false}, {"655.34", 1, 0xFFFF, false},
                 {"12,34", 0, 0x0000, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plAngle);
        ConfigFields f = freshFields(s);
        f.plAngle = c.plAngle;
        f.phaseLockIndex = c.phaseLock;
        EXPECT_EQ(checkFields(f).field, c.refused ? FieldProblem::PlAngle : FieldProblem::None);
        EXPECT_EQ(kv::readBe16(buildConfigPacket(s.data(), f).packet.data() + st::kPhaseLock), c.word);
    }
    ConfigFields negative = freshFields(s);
    negative.plAngle = "-0.5";
    EXPECT_EQ(checkFields(negative).field, FieldProblem::PlAngle);

    using namespace kv::statustext;
    StatusPacket lock{};
    lock[st::kPhaseLock] = 0x82, lock[st::kPhaseLock + 1] = 0x69;
    EXPECT_EQ(plAngleText(lock.data()), "12.34");  // and a Refresh then Set writes it back unchanged
    EXPECT_EQ(plAngleErrorText(0x0032), "0.5");
    EXPECT_EQ(shortest6(150.255), "150.255");
    EXPECT_EQ(shortest6(-327.68), "-327.68");
}

}  // namespace
