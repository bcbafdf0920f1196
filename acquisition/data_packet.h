// The sensor's data packet: one 1206-byte UDP payload holding either 171 single-echo
// records of 7 bytes or 100 dual-echo records of 12 bytes; byte 1205 tells which.
// Every offset, width and unit of the layout is named here and nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>

#include "byte_order.h"
#include "wire_layout.h"

namespace kv::datapkt {

constexpr std::size_t kPacketBytes = wire::kPayloadBytes;
constexpr std::size_t kEchoFlagOffset = 1205;
constexpr std::uint8_t kDualEchoFlag = 2;

// First byte of a record: high nibble = line number; 0xFF = marker or void record.
constexpr std::size_t kLineOffset = 0;
constexpr std::uint8_t kNoPointByte = 0xFF;
// A marker record starts FF AA BB; markers cut the stream into periods.
constexpr std::uint8_t kMarker0 = 0xFF, kMarker1 = 0xAA, kMarker2 = 0xBB;
// A void record (no point, no marker) as the sensor pads with it.
constexpr std::uint8_t kVoid1 = 0xAA, kVoid2 = 0xCC;

constexpr double kDistanceCmPerUnit = 0.00390625;  // 1/256 cm

namespace single {
constexpr std::size_t kRecordBytes = 7;
constexpr std::size_t kRecordCount = 171;  // bytes 0..1196
constexpr std::size_t kAzimuthOffset = 1;  // u16, 0.01 deg
constexpr std::size_t kDistanceOffset = 3; // u24, 1/256 cm
constexpr std::size_t kIntensityOffset = 6;
constexpr double kDegPerAzimuthUnit = 0.01;
constexpr double kAzimuthUnitsPerDeg = 100.0;
}  // namespace single

namespace dual {
constexpr std::size_t kRecordBytes = 12;
constexpr std::size_t kRecordCount = 100;  // bytes 0..1199
constexpr std::size_t kAzimuthOffset = 1;  // u24, 0.001 deg
constexpr std::size_t kDistance1Offset = 4;
constexpr std::size_t kIntensity1Offset = 7;
constexpr std::size_t kDistance2Offset = 8;
constexpr std::size_t kIntensity2Offset = 11;
constexpr double kDegPerAzimuthUnit = 0.001;
constexpr double kAzimuthUnitsPerDeg = 1000.0;
}  // namespace dual

static_assert(single::kRecordBytes * single::kRecordCount <= kEchoFlagOffset, "single layout fits");
static_assert(dual::kRecordBytes * dual::kRecordCount <= kEchoFlagOffset, "dual layout fits");

inline bool isDualEcho(const std::uint8_t* packet) {
    return packet[kEchoFlagOffset] == kDualEchoFlag;
}

inline bool isMarker(const std::uint8_t* record) {
    return record[0] == kMarker0 && record[1] == kMarker1 && record[2] == kMarker2;
}

inline bool carriesPoint(const std::uint8_t* record) { return record[kLineOffset] != kNoPointByte; }

inline int lineOf(const std::uint8_t* record) { return record[kLineOffset] >> 4; }

inline float distanceCmOf(const std::uint8_t* field) {
    return float(readBe24(field) * kDistanceCmPerUnit);
}

// Decoded values of one record, before any frame logic.
struct SingleEcho {
    int line;
    float azimuthDeg;
    float distanceCm;
    int intensity;
};

struct DualEcho {
    int line;
    float azimuthDeg;
    float distance1Cm;
    int intensity1;
    float distance2Cm;
    int intensity2;
};

inline SingleEcho decodeSingle(const std::uint8_t* r) {
    return {lineOf(r), float(readBe16(r + single::kAzimuthOffset) / single::kAzimuthUnitsPerDeg),
            distanceCmOf(r + single::kDistanceOffset), int(r[single::kIntensityOffset])};
}

inline DualEcho decodeDual(const std::uint8_t* r) {
    return {lineOf(r),
            float(readBe24(r + dual::kAzimuthOffset) / dual::kAzimuthUnitsPerDeg),
            distanceCmOf(r + dual::kDistance1Offset),
            int(r[dual::kIntensity1Offset]),
            distanceCmOf(r + dual::kDistance2Offset),
            int(r[dual::kIntensity2Offset])};
}

// Walks the records of one whole packet in order. The visitor provides
//   void marker();                // a marker record (FF AA BB)
//   void single(const SingleEcho&) or void dual(const DualEcho&)  // a record with a point
//   void noPoint();               // any other record whose first byte is 0xFF
// and, for layouts that act on marker counts before the point, gets the calls in record order.
template <class Visitor>
void forEachRecord(const std::uint8_t* packet, Visitor& v) {
    if (isDualEcho(packet)) {
        for (std::size_t i = 0; i < dual::kRecordCount; ++i) {
            const std::uint8_t* r = packet + i * dual::kRecordBytes;
            if (isMarker(r)) v.marker();
            else if (!carriesPoint(r)) v.noPoint();
            else v.dual(decodeDual(r));
        }
    } else {
        for (std::size_t i = 0; i < single::kRecordCount; ++i) {
            const std::uint8_t* r = packet + i * single::kRecordBytes;
            if (isMarker(r)) v.marker();
            else if (!carriesPoint(r)) v.noPoint();
            else v.single(decodeSingle(r));
        }
    }
}

// ---- Builders, used by the simulated sensor and by test generators. ----

inline std::uint32_t distanceUnits(double distanceCm) {
    double u = distanceCm / kDistanceCmPerUnit + 0.5;
    if (u < 0) u = 0;
    if (u > 0xFFFFFF) u = 0xFFFFFF;
    return std::uint32_t(u);
}

inline void writeLine(std::uint8_t* r, int line) { r[kLineOffset] = std::uint8_t((line & 0x0F) << 4); }

inline void writeMarker(std::uint8_t* r) {
    r[0] = kMarker0;
    r[1] = kMarker1;
    r[2] = kMarker2;
}

inline void writeVoid(std::uint8_t* r) {
    r[0] = kNoPointByte;
    r[1] = kVoid1;
    r[2] = kVoid2;
}

inline void writeSingle(std::uint8_t* r, int line, std::uint32_t azimuthUnits, std::uint32_t distUnits,
                        int intensity) {
    writeLine(r, line);
    writeBe16(r + single::kAzimuthOffset, azimuthUnits);
    writeBe24(r + single::kDistanceOffset, distUnits);
    r[single::kIntensityOffset] = std::uint8_t(intensity);
}

inline void writeDual(std::uint8_t* r, int line, std::uint32_t azimuthUnits, std::uint32_t dist1Units,
                      int intensity1, std::uint32_t dist2Units, int intensity2) {
    writeLine(r, line);
    writeBe24(r + dual::kAzimuthOffset, azimuthUnits);
    writeBe24(r + dual::kDistance1Offset, dist1Units);
    r[dual::kIntensity1Offset] = std::uint8_t(intensity1);
    writeBe24(r + dual::kDistance2Offset, dist2Units);
    r[dual::kIntensity2Offset] = std::uint8_t(intensity2);
}

inline void setEchoFlag(std::uint8_t* packet, bool dualEcho) {
    packet[kEchoFlagOffset] = dualEcho ? kDualEchoFlag : 0;
}

}  // namespace kv::datapkt
