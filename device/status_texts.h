// What the laser configuration dialog shows of a status record, as texts: pure functions of
// the record, the companion vector and the raw packet.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "status_decode.h"

namespace kv::statustext {

// Up to 6 significant digits, shortest form (what %g prints).
std::string shortest6(double v);

// "2021/3/7 9:5:0": year (first byte + 2000), month, day, hour, minute, second.
std::string gpsTimeText(const SettingData& d);
// The latitude without its first character (10 characters), the longitude whole (11).
std::string latitudeText(const SettingData& d);
std::string longitudeText(const SettingData& d);
// The six MAC bytes as two-digit lower-case hexadecimal joined by "-"; empty unless `mac`
// holds them.
std::string macText(const std::vector<int>& mac);

// High voltage and temperature from the raw readings, by the reference voltage `hpAndT`
// (3.3 or 2.5, within 1e-6). nullopt for any other reference: there is no conversion then.
struct Readouts {
    float highPressure;
    float temperature;
};
std::optional<Readouts> convertReadouts(int rawHighVoltage, int rawTemperature, float hpAndT);

// "PL Angle error:" from the raw entry (signed 16-bit, hundredths of a degree).
std::string plAngleErrorText(int raw);
// "PL angle：" from status bytes 32..33: the 15-bit value / 50, as an exact decimal (what
// the field reads back to the same value).
std::string plAngleText(const std::uint8_t* status);
std::string plAngleUnitsText(std::uint32_t units);
bool phaseLockOn(const std::uint8_t* status);

// The "Set Frame：" item (0-5) a reported speed falls into, bounds inclusive:
// 500..700, 1100..1300, 1700..1900, 2300..2500, 2900..3100, 3500..3700; nullopt elsewhere.
std::optional<int> frameItemForSpeed(int rpm);
// The "Frame：" figure.
inline int frameFigure(int rpm) { return rpm / statuspkt::kRpmPerFrameFigure; }

}  // namespace kv::statustext
