// Did the sensor take a configuration write? The first status packet that arrives more than two
// seconds after the write (the one the "New" audit entry records) is compared with the packet
// written, field by field.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::writecheck {

// How long the dialog waits for that status packet before saying none came.
constexpr int kWaitSeconds = 6;
// A running motor's reported speed wanders around the set one: within this many rpm it counts.
constexpr int kSpeedToleranceRpm = 100;

// The fields, by their dialog labels, whose reported value differs from the written one.
// Empty: applied. The speed is not compared when the write stops the motor.
std::vector<std::string> differingFields(const std::uint8_t* written, const std::uint8_t* status);

// The text the dialog shows for a comparison.
std::string outcomeText(const std::vector<std::string>& differing);
std::string noStatusText();

}  // namespace kv::writecheck
