#include "status_texts.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "byte_order.h"

namespace kv::statustext {

namespace st = kv::statuspkt;

std::string shortest6(double v) {
    // What %g prints in the C locale, whatever locale the process runs in.
    char b[32];
    const auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::general, 6);
    return std::string(b, r.ptr);
}

std::string gpsTimeText(const SettingData& d) {
    const auto& g = d.gpsTime;
    return std::to_string(g[0] + 2000) + "/" + std::to_string(g[1]) + "/" + std::to_string(g[2]) + " " +
           std::to_string(g[3]) + ":" + std::to_string(g[4]) + ":" + std::to_string(g[5]);
}

std::string latitudeText(const SettingData& d) { return std::string(d.latitude.data() + 1, d.latitude.size() - 1); }

std::string longitudeText(const SettingData& d) { return std::string(d.longitude.data(), d.longitude.size()); }

std::string macText(const std::vector<int>& mac) {
    if (mac.size() < st::kMacIndexFirstByte + st::kMacBytes) return {};
    std::string out;
    for (std::size_t i = 0; i < st::kMacBytes; ++i) {
        char b[4];
        std::snprintf(b, sizeof b, "%02x", unsigned(mac[st::kMacIndexFirstByte + i]) & 0xFFu);
        if (i) out += '-';
        out += b;
    }
    return out;
}

std::optional<Readouts> convertReadouts(int rawHv, int rawT, float hpAndT) {
    const double hv = rawHv, t = rawT;
    if (std::fabs(double(hpAndT) - 3.3) < 1e-6)
        return Readouts{float(370.9 - hv * 0.091362), float(t * 3.3 / 4096 * 100 - 50)};
    if (std::fabs(double(hpAndT) - 2.5) < 1e-6)
        return Readouts{float(281 - hv * 0.0692138), float(t * 2.5 / 4096 * 100 - 50)};
    return std::nullopt;
}

std::string plAngleErrorText(int raw) { return shortest6(double(std::int16_t(std::uint16_t(raw))) / 100); }

std::string plAngleUnitsText(std::uint32_t units) {
    // Exact: one unit is 0.02 degrees, so two decimals always suffice ("2.1", "12.34", "655.34").
    const std::uint32_t perDeg = std::uint32_t(st::kPhaseLockUnitsPerDeg);
    std::string text = std::to_string(units / perDeg);
    const std::uint32_t hundredths = (units % perDeg) * (100 / perDeg);
    if (hundredths != 0) {
        text += '.';
        text += char('0' + hundredths / 10);
        if (hundredths % 10 != 0) text += char('0' + hundredths % 10);
    }
    return text;
}

std::string plAngleText(const std::uint8_t* status) {
    return plAngleUnitsText(readBe16(status + st::kPhaseLock) & st::kPhaseLockAngleMask);
}

bool phaseLockOn(const std::uint8_t* status) { return (readBe16(status + st::kPhaseLock) & st::kPhaseLockOnBit) != 0; }

std::optional<int> frameItemForSpeed(int rpm) {
    static const int kCentres[] = {600, 1200, 1800, 2400, 3000, 3600};
    for (int i = 0; i < 6; ++i)
        if (rpm >= kCentres[i] - 100 && rpm <= kCentres[i] + 100) return i;
    return std::nullopt;
}

}  // namespace kv::statustext
