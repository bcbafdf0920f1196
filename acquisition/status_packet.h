// The sensor's device status packet (1206 bytes to the equipment port, header A5 FF 00 5A).
// Every field the system reads is named here; configuration packets reuse the same offsets
// for the fields they rewrite.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "byte_order.h"
#include "wire_layout.h"

namespace kv::statuspkt {

constexpr std::size_t kPacketBytes = wire::kPayloadBytes;
constexpr std::array<std::uint8_t, 4> kHeader = {0xA5, 0xFF, 0x00, 0x5A};

constexpr std::size_t kMotorSpeedRpm = 8;      // u16
constexpr std::size_t kSensorIp = 10;          // 4 x u8
constexpr std::size_t kDestIp = 14;            // 4 x u8
constexpr std::size_t kMac = 18;               // 6 x u8
constexpr std::size_t kMacBytes = 6;
constexpr std::size_t kDataPort = 24;          // u16
constexpr std::size_t kEquipPort = 26;         // u16
constexpr std::size_t kPhaseLock = 32;         // u16: bit 15 on/off, bits 14..0 angle x 50
constexpr std::size_t kGpsTime = 36;           // 6 x u8: year-2000, month, day, h, m, s
constexpr std::size_t kGpsTimeRecordBytes = 10;// 36..45 travel with the record
constexpr std::size_t kMotorState = 46;        // u16: 0 running, 1 stopped
constexpr std::size_t kPacketInterval = 50;    // u16
constexpr std::size_t kIdentity = 60;          // 10 bytes
constexpr std::size_t kIdentityBytes = 10;
constexpr std::size_t kIdentityModel = 60;          // u8 model index
constexpr std::size_t kIdentityVariant = 61;        // u8 variant index
constexpr std::size_t kIdentitySerial = 62;         // u32 serial number
constexpr std::size_t kIdentityVersionLetter = 66;  // the letter 'V'
constexpr std::size_t kIdentityVersionDigits = 67;  // three version digits
constexpr std::size_t kIdentityVersionDigitCount = 3;
constexpr std::size_t kMonitorWords = 198;     // 7 x u16
constexpr std::size_t kMonitorWordCount = 7;
constexpr std::size_t kRawHighVoltage = 202;   // third monitor word
constexpr std::size_t kRawTemperature = 204;   // fourth monitor word
constexpr std::size_t kMonitorWordBytes = 2;
constexpr std::size_t kThreshold = 206;        // u8
constexpr std::size_t kLatitude = 212;         // 10 chars
constexpr std::size_t kLongitude = 222;        // 10 chars
constexpr std::size_t kGeoTextBytes = 10;
constexpr std::size_t kLatitudeHemisphere = 232;
constexpr std::size_t kLongitudeHemisphere = 233;
constexpr std::size_t kPhaseLockError = 671;   // s16, angle error x 100
constexpr std::size_t kFirmwareYear = 1198;    // u16
constexpr std::size_t kFirmwareMonth = 1200;
constexpr std::size_t kFirmwareDay = 1201;
constexpr std::size_t kFirmwareVersionA = 1202;  // nibbles: first . second
constexpr std::size_t kFirmwareVersionB = 1203;  // nibbles: two digits of the third component
constexpr std::size_t kFirmwareBytes = 6;        // 1198..1203 travel with the record

// Blocks carried through unread.
constexpr std::size_t kBlock70 = 70, kBlock70Bytes = 128;
constexpr std::size_t kBlock478 = 478, kBlock478Bytes = 128;
constexpr std::size_t kBlock234 = 234, kBlock234Bytes = 96;
constexpr std::size_t kBlock330 = 330, kBlock330Bytes = 96;
constexpr std::size_t kBlock426 = 426, kBlock426Bytes = 48;
constexpr std::size_t kBlock606 = 606, kBlock606Bytes = 48;

constexpr std::uint32_t kPhaseLockOnBit = 0x8000;
constexpr std::uint32_t kPhaseLockAngleMask = 0x7FFF;
constexpr double kPhaseLockUnitsPerDeg = 50.0;
constexpr int kRpmPerFrameFigure = 15;  // the "frame" figure shown is rpm / 15

inline bool hasHeader(const std::uint8_t* p) {
    return p[0] == kHeader[0] && p[1] == kHeader[1] && p[2] == kHeader[2] && p[3] == kHeader[3];
}

inline void writeHeader(std::uint8_t* p) {
    for (std::size_t i = 0; i < kHeader.size(); ++i) p[i] = kHeader[i];
}

}  // namespace kv::statuspkt

namespace kv::configpkt {

// A configuration packet is built on the last status packet: same offsets for the fields it
// rewrites, its own header and trailer.
constexpr std::size_t kPacketBytes = wire::kPayloadBytes;
constexpr std::array<std::uint8_t, 8> kHeader = {0xAA, 0x00, 0xFF, 0x11, 0x22, 0x22, 0xAA, 0xAA};
constexpr std::array<std::uint8_t, 2> kTrailer = {0x0F, 0xF0};
constexpr std::size_t kTrailerOffset = 1204;
constexpr std::uint16_t kSensorPort = 2368;  // the sensor listens here

// How the laser configuration packet is laid over the status packet it is built on: the
// status bytes kept at their own offsets, the zeroed block, and the block written 34 bytes
// further on than where the status packet holds it.
constexpr std::size_t kKeptHead = 0, kKeptHeadBytes = 52;        // 0..51 (fields written over)
constexpr std::size_t kZeroed = 52, kZeroedBytes = 8;            // 52..59
constexpr std::size_t kKeptMiddle = 60, kKeptMiddleBytes = 208;  // 60..267
constexpr std::size_t kShiftedFrom = 234, kShiftedTo = 268, kShiftedBytes = 930;  // 268..1197
constexpr std::size_t kKeptTail = 1198, kKeptTailBytes = 6;      // 1198..1203
static_assert(kKeptHead + kKeptHeadBytes == kZeroed && kZeroed + kZeroedBytes == kKeptMiddle &&
                  kKeptMiddle + kKeptMiddleBytes == kShiftedTo &&
                  kShiftedTo + kShiftedBytes == kKeptTail && kKeptTail + kKeptTailBytes == kTrailerOffset,
              "the configuration packet is covered once, end to end");
constexpr std::uint16_t kMotorRun = 0, kMotorStop = 1;
constexpr std::uint16_t kEmptyPacketInterval = 1;  // what an empty interval field writes
constexpr std::size_t kLocalTime = 36;  // factory reset: year-2000, month, day, h, m, s

inline bool hasHeader(const std::uint8_t* p) {
    for (std::size_t i = 0; i < kHeader.size(); ++i)
        if (p[i] != kHeader[i]) return false;
    return true;
}

inline void writeHeader(std::uint8_t* p) {
    for (std::size_t i = 0; i < kHeader.size(); ++i) p[i] = kHeader[i];
    p[kTrailerOffset] = kTrailer[0];
    p[kTrailerOffset + 1] = kTrailer[1];
}

}  // namespace kv::configpkt
