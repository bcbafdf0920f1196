#include "config_packet.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "byte_order.h"

namespace kv::config {

namespace st = kv::statuspkt;
namespace cp = kv::configpkt;

namespace {

std::string trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

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

constexpr long long kMinPort = 1025, kMaxPort = 65535;

// The largest phase-lock angle the 15 angle bits hold, 0x7FFF units of 0.02 degrees: 655.34.
constexpr std::uint32_t kMaxPlAngleHundredths = std::uint32_t(st::kPhaseLockAngleMask) * 2;
static_assert(st::kPhaseLockUnitsPerDeg == 50.0, "a unit is two hundredths of a degree");

// A port field: written when its value is 1025..65535, else the status bytes stay.
void writePort(std::uint8_t* p, std::size_t offset, const std::string& text) {
    const auto v = parseInteger(text);
    if (v && *v >= kMinPort && *v <= kMaxPort) writeBe16(p + offset, std::uint32_t(*v));
}

bool allBytes(const std::uint8_t* p, std::size_t n, std::uint8_t v) {
    return std::all_of(p, p + n, [v](std::uint8_t b) { return b == v; });
}

}  // namespace

const char* fieldLabel(FieldProblem p) {
    switch (p) {
    case FieldProblem::LidarIp: return "Lidar IP：";
    case FieldProblem::ComputerIp: return "Computer IP：";
    case FieldProblem::DataPort: return "Data Port：";
    case FieldProblem::EquipPort: return "Equipment Port：";
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

PlAngle readPlAngleUnits(const std::string& text) {
    const std::string t = trimmed(text);
    if (t.empty()) return {};
    std::size_t i = 0;
    bool negative = false;
    if (t[0] == '+' || t[0] == '-') negative = t[i++] == '-';
    const std::size_t intBegin = i;
    while (i < t.size() && isDigit(t[i])) ++i;
    const std::size_t intEnd = i;
    std::size_t fracBegin = i, fracEnd = i;
    if (i < t.size() && t[i] == '.') {
        fracBegin = ++i;
        while (i < t.size() && isDigit(t[i])) ++i;
        fracEnd = i;
    }
    if (i != t.size() || (intEnd == intBegin && fracEnd == fracBegin)) return {AngleReading::NotANumber, 0};

    // Whole degrees: more than three significant digits is beyond 655.34 whatever follows.
    std::size_t firstSignificant = intBegin;
    while (firstSignificant < intEnd && t[firstSignificant] == '0') ++firstSignificant;
    const bool anyNonZero = t.find_first_not_of("0.", intBegin) != std::string::npos;
    if (negative && anyNonZero) return {AngleReading::OutOfRange, 0};
    if (intEnd - firstSignificant > 3) return {AngleReading::OutOfRange, 0};
    // The angle in hundredths of a degree from its first two decimals; a later digit that is not
    // 0 only matters at the very top, where it lifts the angle above the largest one.
    std::uint32_t hundredths = 0;
    for (std::size_t k = firstSignificant; k < intEnd; ++k) hundredths = hundredths * 10 + std::uint32_t(t[k] - '0');
    for (std::size_t k = 0; k < 2; ++k)
        hundredths = hundredths * 10 + (fracBegin + k < fracEnd ? std::uint32_t(t[fracBegin + k] - '0') : 0);
    const bool moreDecimals = fracEnd > fracBegin + 2 &&
                              std::any_of(t.begin() + std::ptrdiff_t(fracBegin + 2), t.begin() + std::ptrdiff_t(fracEnd),
                                          [](char c) { return c != '0'; });
    if (hundredths > kMaxPlAngleHundredths || (hundredths == kMaxPlAngleHundredths && moreDecimals))
        return {AngleReading::OutOfRange, 0};
    // One unit is 0.02 degrees: the hundredths halved and truncated.
    return {AngleReading::Units, hundredths / 2};
}

const char* notASensorAddress(const Ipv4Bytes& ip) {
    if (ip == Ipv4Bytes{0, 0, 0, 0}) return "the unspecified address";
    if (ip == Ipv4Bytes{255, 255, 255, 255}) return "the broadcast address";
    if (ip[0] >= 224 && ip[0] <= 239) return "a multicast address";
    return nullptr;
}

FieldCheck checkFields(const ConfigFields& f) {
    auto refuse = [](FieldProblem p, const std::string& text, const std::string& why) {
        return FieldCheck{p, std::string(fieldLabel(p)) + " \"" + text + "\" " + why + ". Nothing was sent."};
    };
    constexpr const char* kNotAnAddress = "is not an address of four numbers 0-255";
    if (!f.lidarIp.empty()) {
        const auto ip = parseIpText(f.lidarIp);
        if (!ip) return refuse(FieldProblem::LidarIp, f.lidarIp, kNotAnAddress);
        if (const char* why = notASensorAddress(*ip))
            return refuse(FieldProblem::LidarIp, f.lidarIp, std::string("is ") + why + ", which no sensor can have");
    }
    if (!f.computerIp.empty() && !parseIpText(f.computerIp))
        return refuse(FieldProblem::ComputerIp, f.computerIp, kNotAnAddress);
    for (const auto& [text, problem] :
         {std::pair{&f.dataPort, FieldProblem::DataPort}, std::pair{&f.equipPort, FieldProblem::EquipPort}}) {
        if (text->empty()) continue;
        const auto v = parseInteger(*text);
        if (!v || *v < kMinPort || *v > kMaxPort) return refuse(problem, *text, "is not a port 1025-65535");
    }
    if (!f.packetInterval.empty()) {
        // A number outside 0..65535 (one too long for 64 bits included) has no encoding.
        const auto v = parseInteger(f.packetInterval);
        if (!integerSyntax(f.packetInterval))
            return refuse(FieldProblem::PacketInterval, f.packetInterval, "is not a number 0-65535");
        if (!v || *v < 0 || *v > 0xFFFF)
            return refuse(FieldProblem::PacketInterval, f.packetInterval, "is outside 0-65535");
    }
    switch (readPlAngleUnits(f.plAngle).reading) {
    case AngleReading::NotANumber:
        return refuse(FieldProblem::PlAngle, f.plAngle, "is not a decimal number from 0 to 655.34");
    case AngleReading::OutOfRange:
        return refuse(FieldProblem::PlAngle, f.plAngle, "must be from 0 to 655.34");
    case AngleReading::Units: break;
    }
    return {};
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

    const std::uint32_t units = readPlAngleUnits(f.plAngle).units;
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
