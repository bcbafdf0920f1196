// Decoding of the device status packet into the status record and its companion values.
// Pure: bytes in, values out; the equipment-port receiver and anything that replays status
// packets feed the same functions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "status_packet.h"

// The decoded status record. Field order and widths are what the configuration dialogs copy
// and read; the text fields are not NUL-terminated (readers take a fixed number of characters).
struct SettingData {
    std::array<std::uint8_t, 4> destIp{};          // bytes 14..17
    std::uint16_t dataPortRaw = 0;                  // bytes 24..25 as they stand (big-endian order)
    std::array<std::uint8_t, 10> gpsTime{};         // 36..45: year-2000, month, day, h, m, s, 4 more
    std::array<std::int32_t, 7> monitorWords{};     // seven u16 at 198..211, widened without sign
    std::int32_t motorSpeed = 0;                    // rpm, u16 at 8..9
    std::int32_t packetInterval = 0;                // u16 at 50..51
    std::int32_t motorState = 0;                    // u16 at 46..47: 0 running, 1 stopped
    std::array<char, 11> latitude{};                // 212..221, then the hemisphere letter at 232
    std::array<char, 11> longitude{};               // 222..231, then the hemisphere letter at 233
    std::array<std::uint8_t, 128> bytes70to197{};
    std::array<std::uint8_t, 128> bytes478to605{};
    std::array<std::uint8_t, 96> bytes234to329{};
    std::array<std::uint8_t, 96> bytes330to425{};
    std::array<std::uint8_t, 48> bytes426to473{};
    std::array<std::uint8_t, 48> bytes606to653{};
    std::array<std::uint8_t, 10> identity{};        // 60..69
    std::array<std::uint8_t, 6> panelVersion{};     // 1198..1203

    bool operator==(const SettingData& o) const;
    bool operator!=(const SettingData& o) const { return !(*this == o); }
};

namespace kv::statuspkt {

// Entries of the companion vector that travels with each record.
constexpr std::size_t kMacEntryCount = 12;
constexpr std::size_t kMacIndexFirstByte = 0;   // 0..5: the six MAC bytes
constexpr std::size_t kMacIndexDataPort = 6;
constexpr std::size_t kMacIndexEquipPort = 7;
constexpr std::size_t kMacIndexHighVoltage = 8;  // raw reading
constexpr std::size_t kMacIndexTemperature = 9;  // raw reading
constexpr std::size_t kMacIndexThreshold = 10;
constexpr std::size_t kMacIndexPhaseLockError = 11;  // u16; readers take it as signed 16-bit

}  // namespace kv::statuspkt

// Decodes one status datagram. Accepts only exactly 1206 bytes that start with the status
// header; then fills `out` and rebuilds `mac` (12 entries) and returns true. On rejection both
// are left as they were.
bool decodeStatusPacket(const std::uint8_t* data, std::size_t len, SettingData& out,
                        std::vector<int>& mac);

// The master panel firmware text of a whole status packet, e.g. "2021.12.23-V1.1.04": year,
// month, day, then the version nibbles, all decimal without leading zeros.
std::string firmwareVersionText(const std::uint8_t* packet);
