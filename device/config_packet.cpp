#include "config_packet.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "byte_order.h"

namespace kv::config {

namespace st = kv::statuspkt;
namespace cp = kv::configpkt;

namespace {

constexpr double kMaxPlAngleUnits = double(st::kPhaseLockAngleMask);

std::string trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// The PL angle text as the dialog reads it: empty or not a number reads as 0. The reading is
// the same whatever the process locale says about decimal points (Qt sets LC_ALL from the
// environment, and strtof would then stop at the "." of "12.34").
struct PlAngleReading {
    double value = 0;
    bool outOfRange = false;  // a number beyond single precision, an infinity or NaN
};

PlAngleReading readPlAngle(const std::string& text) {
    std::string t = trimmed(text);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    if (t.empty()) return {};
    float v = 0;
    const char* last = t.data() + t.size();
    const auto [end, ec] = std::from_chars(t.data(), last, v);
    if (ec == std::errc::invalid_argument || end != last) return {};
    if (ec == std::errc::result_out_of_range || !std::isfinite(v)) return {0, true};
    return {double(v), false};
}

// Degrees x 50, truncated toward zero, in single precision as the field is read.
long plAngleUnits(const std::string& text) {
    const PlAngleReading r = readPlAngle(text);
    if (r.outOfRange) return 0;
    const float v = float(r.value) * float(st::kPhaseLockUnitsPerDeg);
    return long(std::trunc(v));
}

// An optional sign and decimal digits, with blanks around: how a number field's text looks,
// whether or not its value fits in 64 bits.
bool integerSyntax(const std::string& text) {
    const std::string t = trimmed(text);
    const std::size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
    return i < t.size() && t.find_first_not_of("0123456789", i) == std::string::npos;
}

std::optional<int> hexPair(char a, char b) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    const int hi = nibble(a), lo = nibble(b);
    if (hi < 0 || lo < 0) return std::nullopt;
    return hi * 16 + lo;
}

// A port field: written when its value is 1025..65535, else the status bytes stay.
void writePort(std::uint8_t* p, std::size_t offset, const std::string& text) {
    const auto v = parseInteger(text);
    if (v && *v >= 1025 && *v <= 65535) writeBe16(p + offset, std::uint32_t(*v));
}

bool allBytes(const std::uint8_t* p, std::size_t n, std::uint8_t v) {
    return std::all_of(p, p + n, [v](std::uint8_t b) { return b == v; });
}

}  // namespace

const char* fieldLabel(FieldProblem p) {
    switch (p) {
    case FieldProblem::LidarIp: return "Lidar IP：";
    case FieldProblem::ComputerIp: return "Computer IP：";
    case FieldProblem::PacketInterval: return "Packet interval：";
    case FieldProblem::PlAngle: return "PL angle：";
    case FieldProblem::None: break;
    }
    return "";
}

std::optional<long long> parseInteger(const std::string& text) {
    if (!integerSyntax(text)) return std::nullopt;
    const std::string t = trimmed(text);
    errno = 0;
    const long long v = std::strtoll(t.c_str(), nullptr, 10);
    if (errno == ERANGE) return std::nullopt;
    return v;
}

std::optional<Ipv4Bytes> parseIpText(const std::string& text) {
    Ipv4Bytes out{};
    std::size_t pos = 0;
    for (std::size_t part = 0; part < 4; ++part) {
        std::size_t end = pos;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        const std::size_t digits = end - pos;
        if (digits == 0 || digits > 3) return std::nullopt;
        const int v = std::atoi(text.substr(pos, digits).c_str());
        if (v > 255) return std::nullopt;
        out[part] = std::uint8_t(v);
        if (part < 3) {
            if (end >= text.size() || text[end] != '.') return std::nullopt;
            pos = end + 1;
        } else if (end != text.size()) {
            return std::nullopt;
        }
    }
    return out;
}

std::string ipText(const std::uint8_t* four) {
    return std::to_string(four[0]) + "." + std::to_string(four[1]) + "." + std::to_string(four[2]) + "." +
           std::to_string(four[3]);
}

std::optional<std::uint16_t> speedCodeForItem(const std::string& itemText) {
    static const struct {
        const char* item;
        std::uint16_t rpm;
    } kCodes[] = {{" 40 Frame", 600},   {" 80 Frame", 1200},  {" 120 Frame", 1800},
                  {" 160 Frame", 2400}, {" 200 Frame", 3000}, {" 240 Frame", 3600}};
    for (const auto& c : kCodes)
        if (itemText == c.item) return c.rpm;
    return std::nullopt;
}

FieldProblem checkFields(const ConfigFields& f) {
    if (!f.lidarIp.empty() && !parseIpText(f.lidarIp)) return FieldProblem::LidarIp;
    if (!f.computerIp.empty() && !parseIpText(f.computerIp)) return FieldProblem::ComputerIp;
    // A number outside 0..65535 (one too long for 64 bits included) has no encoding.
    if (integerSyntax(f.packetInterval)) {
        const auto v = parseInteger(f.packetInterval);
        if (!v || *v < 0 || *v > 0xFFFF) return FieldProblem::PacketInterval;
    }
    const PlAngleReading angle = readPlAngle(f.plAngle);
    const long units = plAngleUnits(f.plAngle);
    if (angle.outOfRange || angle.value < 0 || units < 0 || double(units) > kMaxPlAngleUnits)
        return FieldProblem::PlAngle;
    return FieldProblem::None;
}

Ipv4Bytes sensorAddress(const std::uint8_t* status, bool* usedFallback) {
    const std::uint8_t* ip = status + st::kSensorIp;
    const bool fallback = allBytes(ip, 4, 0x00) || allBytes(ip, 4, 0xFF);
    if (usedFallback) *usedFallback = fallback;
    if (fallback) return kFallbackSensorIp;
    return {ip[0], ip[1], ip[2], ip[3]};
}

ConfigBuild buildConfigPacket(const std::uint8_t* status, const ConfigFields& f) {
    ConfigBuild out;
    std::uint8_t* p = out.packet.data();

    std::memcpy(p + cp::kKeptHead, status + cp::kKeptHead, cp::kKeptHeadBytes);
    std::memset(p + cp::kZeroed, 0, cp::kZeroedBytes);
    std::memcpy(p + cp::kKeptMiddle, status + cp::kKeptMiddle, cp::kKeptMiddleBytes);
    std::memcpy(p + cp::kShiftedTo, status + cp::kShiftedFrom, cp::kShiftedBytes);
    std::memcpy(p + cp::kKeptTail, status + cp::kKeptTail, cp::kKeptTailBytes);
    cp::writeHeader(p);  // header and trailer

    if (const auto rpm = speedCodeForItem(f.setFrame)) writeBe16(p + st::kMotorSpeedRpm, *rpm);
    out.destination = sensorAddress(status, &out.usedFallbackAddress);

    if (const auto ip = parseIpText(f.lidarIp)) std::memcpy(p + st::kSensorIp, ip->data(), 4);
    if (const auto ip = parseIpText(f.computerIp)) std::memcpy(p + st::kDestIp, ip->data(), 4);

    if (f.mac.size() == 3 * st::kMacBytes - 1) {
        std::array<std::uint8_t, st::kMacBytes> mac{};
        bool ok = true;
        for (std::size_t i = 0; i < st::kMacBytes && ok; ++i) {
            const auto v = hexPair(f.mac[3 * i], f.mac[3 * i + 1]);
            ok = v.has_value();
            if (ok) mac[i] = std::uint8_t(*v);
        }
        if (ok) std::memcpy(p + st::kMac, mac.data(), mac.size());
    }

    writePort(p, st::kDataPort, f.dataPort);
    writePort(p, st::kEquipPort, f.equipPort);

    const std::uint32_t units = std::uint32_t(std::uint16_t(plAngleUnits(f.plAngle)));
    writeBe16(p + st::kPhaseLock,
              (f.phaseLockIndex == 1 ? st::kPhaseLockOnBit : 0) | (units & st::kPhaseLockAngleMask));

    if (f.motoState == "Run") writeBe16(p + st::kMotorState, cp::kMotorRun);
    else if (f.motoState == "Stop") writeBe16(p + st::kMotorState, cp::kMotorStop);

    if (f.packetInterval.empty()) {
        writeBe16(p + st::kPacketInterval, cp::kEmptyPacketInterval);
    } else {
        const auto v = parseInteger(f.packetInterval);
        writeBe16(p + st::kPacketInterval, std::uint32_t(v ? *v : 0) & 0xFFFF);
    }
    return out;
}

bool writesSameAddresses(const Packet& p) {
    return std::memcmp(p.data() + st::kSensorIp, p.data() + st::kDestIp, 4) == 0;
}

Packet buildFactoryResetPacket(const LocalTime& now) {
    Packet pk{};
    std::uint8_t* p = pk.data();
    cp::writeHeader(p);
    writeBe16(p + st::kMotorSpeedRpm, kFactorySpeedRpm);
    std::memcpy(p + st::kSensorIp, kFactorySensorIp.data(), 4);
    std::memcpy(p + st::kDestIp, kFactoryDestIp.data(), 4);
    writeBe16(p + st::kDataPort, kFactoryDataPort);
    writeBe16(p + st::kEquipPort, kFactoryEquipPort);
    const int fields[6] = {now.year - 2000, now.month, now.day, now.hour, now.minute, now.second};
    for (std::size_t i = 0; i < 6; ++i) p[cp::kLocalTime + i] = std::uint8_t(fields[i]);
    writeBe16(p + st::kPacketInterval, cp::kEmptyPacketInterval);
    return pk;
}

}  // namespace kv::config
