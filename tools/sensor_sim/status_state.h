// What the simulated sensor reports about itself, and how configuration packets change it.
// The status packet it builds carries plausible values in every field a viewer decodes;
// fields nobody reads stay zero. Pure: the caller supplies the time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "status_packet.h"

namespace kv::sim {

constexpr int kMinRpm = 60;
constexpr int kMaxRpm = 3600;

struct SensorSettings {
    int motorSpeedRpm = 600;
    bool motorStopped = false;
    std::array<std::uint8_t, 4> sensorIp{192, 168, 1, 200};
    std::array<std::uint8_t, 4> destIp{192, 168, 1, 102};
    std::array<std::uint8_t, 6> mac{0x02, 0x4B, 0x56, 0x00, 0x10, 0x01};  // locally administered
    int dataPort = 2368;
    int equipPort = 2369;
    bool phaseLockOn = false;
    int phaseLockAngleUnits = 0;  // degrees x 50, 15 bits
    int packetInterval = 1;
};

using StatusPacket = std::array<std::uint8_t, statuspkt::kPacketBytes>;

// Settings the simulated sensor can be told to refuse, so that a viewer's check of whether a
// write was taken can be seen failing. A refused field keeps its value whatever is written.
enum RefusedField : unsigned {
    kRefuseSpeed = 1u << 0,
    kRefuseMotor = 1u << 1,
    kRefuseSensorIp = 1u << 2,
    kRefuseDestIp = 1u << 3,
    kRefuseMac = 1u << 4,
    kRefuseDataPort = 1u << 5,
    kRefuseEquipPort = 1u << 6,
    kRefusePhaseLock = 1u << 7,
    kRefuseInterval = 1u << 8,
};
// "speed", "motor", "sensor-ip", "dest-ip", "mac", "data-port", "equip-port", "phase-lock",
// "interval"; 0 for any other name.
unsigned refusedFieldByName(const std::string& name);

class StatusState {
public:
    // `clockBaseUnixSeconds` is the UTC time the GPS fields report at elapsed time 0.
    StatusState(const SensorSettings& initial, std::uint32_t seed, std::int64_t clockBaseUnixSeconds);

    StatusPacket buildStatusPacket(double elapsedSeconds) const;

    // Takes a configuration packet as the sensor receives it. Returns false, changing nothing,
    // unless it is exactly 1206 bytes with the configuration header and trailer. Values the
    // sensor cannot use (a speed out of range, an all-zero address or MAC, port 0, a motor
    // state other than 0 or 1) keep the current setting.
    bool applyConfigPacket(const std::uint8_t* bytes, std::size_t len);

    void setRefusedFields(unsigned mask) { refused_ = mask; }

    const SensorSettings& settings() const { return s_; }
    std::uint64_t configApplied() const { return applied_; }
    std::uint64_t configIgnored() const { return ignored_; }

private:
    SensorSettings s_;
    std::uint32_t seed_;
    std::int64_t clockBase_;
    std::uint64_t applied_ = 0;
    std::uint64_t ignored_ = 0;
    unsigned refused_ = 0;
};

// Calendar fields of a UTC time (proleptic Gregorian).
struct CivilTime {
    int year, month, day, hour, minute, second;
};
CivilTime civilFromUnix(std::int64_t unixSeconds);

}  // namespace kv::sim
