// The configuration packets written to the sensor, built as pure functions: the laser
// configuration packet (the last status packet with the edited fields written over it) and the
// factory-reset packet. Offsets come from the status layout (status_packet.h) only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "status_packet.h"

namespace kv::config {

using Packet = std::array<std::uint8_t, configpkt::kPacketBytes>;
using StatusPacket = std::array<std::uint8_t, statuspkt::kPacketBytes>;
using Ipv4Bytes = std::array<std::uint8_t, 4>;

// Where the sensor is written to when its status packet reports no usable address.
constexpr Ipv4Bytes kFallbackSensorIp = {192, 168, 1, 200};

// The texts of the laser configuration dialog, as they stand when "Set" is pressed.
struct ConfigFields {
    std::string lidarIp;         // "Lidar IP："
    std::string computerIp;      // "Computer IP："
    std::string mac;             // "Mac：" (display only; written back when it is well formed)
    std::string dataPort;        // "Data Port："
    std::string equipPort;       // "Equipment Port："
    std::string packetInterval;  // "Packet interval："
    std::string setFrame;        // "Set Frame：" item text, leading space included
    std::string motoState;       // "Moto State：" item text
    std::string plAngle;         // "PL angle："
    int phaseLockIndex = 0;      // "Phase lock：" 0 "Close", 1 "Open"
};

// Why a write was refused before anything was built: the field, and the "warring" box's text,
// which names the field and quotes the text as typed.
enum class FieldProblem {
    None,
    LidarIp,         // not four numbers 0-255, or an address no sensor can have
    ComputerIp,      // not four numbers 0-255
    DataPort,        // typed, but not a number 1025..65535
    EquipPort,
    PacketInterval,  // typed, but not a number 0..65535
    PlAngle,         // typed, but not a decimal number from 0 to 655.34
};

struct FieldCheck {
    FieldProblem field = FieldProblem::None;
    std::string message;
    bool ok() const { return field == FieldProblem::None; }
};

// The field's label as the dialog shows it, for messages.
const char* fieldLabel(FieldProblem p);

// Checks every text that would otherwise be written as something the user did not type. Empty
// texts are allowed: empty addresses and ports keep the status packet's values, an empty
// interval writes 1 and an empty angle 0.
FieldCheck checkFields(const ConfigFields& f);

// Why a well-formed address cannot be a sensor's: the unspecified address 0.0.0.0, the
// broadcast address 255.255.255.255, a multicast address 224-239.x.x.x. nullptr when it can.
const char* notASensorAddress(const Ipv4Bytes& ip);

// The "PL angle：" text read as an exact decimal: degrees x 50, truncated toward zero
// ("2.1" -> 105, "12.34" -> 617, "655.34" -> 32767). Out of range below 0 and above 655.34,
// the largest angle the 15 angle bits hold ("655.341" included). Plain decimal notation with
// an optional sign and blanks around; no exponent, no comma. An empty text reads 0.
enum class AngleReading { Units, NotANumber, OutOfRange };
struct PlAngle {
    AngleReading reading = AngleReading::Units;
    std::uint32_t units = 0;  // 0..0x7FFF when reading is Units
};
PlAngle readPlAngleUnits(const std::string& text);

struct ConfigBuild {
    Packet packet{};
    // The address the packet goes to: the sensor's current address (status bytes 10..13), or
    // 192.168.1.200 when those are all 00 or all FF.
    Ipv4Bytes destination{};
    bool usedFallbackAddress = false;
};

// The sensor's current address, with the fallback rule.
Ipv4Bytes sensorAddress(const std::uint8_t* status, bool* usedFallback = nullptr);

// Builds the configuration packet from the last status packet and the field texts. Does not
// check the fields (checkFields does); every text it cannot use keeps the status bytes.
ConfigBuild buildConfigPacket(const std::uint8_t* status, const ConfigFields& fields);

// Whether the packet gives the sensor the very address it is to send to. The dialog's
// same-address rule compares texts; this compares what would be written, so "192.168.1.010"
// against "192.168.1.10", or an empty "Lidar IP：" kept at the address typed as "Computer IP：",
// is caught as well.
bool writesSameAddresses(const Packet& p);

// The motor speed code of a "Set Frame：" item (" 40 Frame" -> 600 ... " 240 Frame" -> 3600).
std::optional<std::uint16_t> speedCodeForItem(const std::string& itemText);

// Four decimal numbers 0-255 joined by "." and nothing else.
std::optional<Ipv4Bytes> parseIpText(const std::string& text);
std::string ipText(const std::uint8_t* four);

// A decimal integer with an optional sign and surrounding blanks, the way the dialog's number
// fields are read; nullopt when the text is not one (or does not fit in 64 bits).
std::optional<long long> parseInteger(const std::string& text);

// The factory-reset packet, with the computer's local date and time in bytes 36..41.
struct LocalTime {
    int year, month, day, hour, minute, second;
};
Packet buildFactoryResetPacket(const LocalTime& now);

// Well-known settings of the factory-reset packet.
constexpr Ipv4Bytes kFactorySensorIp = {192, 168, 1, 200};
constexpr Ipv4Bytes kFactoryDestIp = {192, 168, 1, 102};
constexpr std::uint16_t kFactorySpeedRpm = 600;
constexpr std::uint16_t kFactoryDataPort = 2368;
constexpr std::uint16_t kFactoryEquipPort = 2369;

}  // namespace kv::config
