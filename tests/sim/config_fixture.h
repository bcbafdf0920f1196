// A configuration packet built from a status packet the way the laser configuration dialog
// builds it, so that the simulated sensor is tested against what the viewer will send.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "byte_order.h"
#include "status_packet.h"

namespace kv::simtest {

struct ConfigEdits {
    int rpm = 600;
    std::array<std::uint8_t, 4> sensorIp{192, 168, 1, 200};
    std::array<std::uint8_t, 4> destIp{192, 168, 1, 102};
    std::array<std::uint8_t, 6> mac{0x02, 0x4B, 0x56, 0x00, 0x10, 0x01};
    int dataPort = 2368;
    int equipPort = 2369;
    bool phaseLockOn = false;
    double phaseLockDeg = 0;
    int motorState = 0;
    int packetInterval = 1;
};

using Packet = std::array<std::uint8_t, 1206>;

inline Packet configFromStatus(const std::uint8_t* status, const ConfigEdits& e) {
    using namespace kv::statuspkt;
    Packet c{};
    // Bytes the dialog carries over: 0..51 and 60..267 in place, 234..1163 shifted to 268,
    // 1198..1203 in place; 52..59 are zero.
    std::memcpy(c.data(), status, 52);
    std::memcpy(c.data() + 60, status + 60, 268 - 60);
    std::memcpy(c.data() + 268, status + 234, 1164 - 234);
    std::memcpy(c.data() + kFirmwareYear, status + kFirmwareYear, 6);
    kv::configpkt::writeHeader(c.data());
    writeBe16(c.data() + kMotorSpeedRpm, std::uint32_t(e.rpm));
    std::memcpy(c.data() + kSensorIp, e.sensorIp.data(), 4);
    std::memcpy(c.data() + kDestIp, e.destIp.data(), 4);
    std::memcpy(c.data() + kMac, e.mac.data(), 6);
    writeBe16(c.data() + kDataPort, std::uint32_t(e.dataPort));
    writeBe16(c.data() + kEquipPort, std::uint32_t(e.equipPort));
    const std::uint32_t lock = std::uint32_t(e.phaseLockDeg * kPhaseLockUnitsPerDeg) & kPhaseLockAngleMask;
    writeBe16(c.data() + kPhaseLock, lock | (e.phaseLockOn ? kPhaseLockOnBit : 0));
    writeBe16(c.data() + kMotorState, std::uint32_t(e.motorState));
    writeBe16(c.data() + kPacketInterval, std::uint32_t(e.packetInterval));
    return c;
}

}  // namespace kv::simtest
