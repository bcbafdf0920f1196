#include "status_state.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "byte_order.h"
#include "scene.h"

namespace kv::sim {

using namespace kv::statuspkt;

namespace {

// Fixed identity and firmware of the simulated unit.
constexpr std::uint8_t kModelIndex = 1;
constexpr std::uint8_t kVariantIndex = 4;
constexpr std::uint32_t kSerialBase = 21000000;
constexpr char kIdentityVersion[kIdentityVersionDigitCount + 1] = "104";
constexpr int kFirmwareYearValue = 2023, kFirmwareMonthValue = 6, kFirmwareDayValue = 14;
constexpr std::uint8_t kFirmwareA = 0x12;  // 1.2
constexpr std::uint8_t kFirmwareB = 0x07;  // .07

// Monitor readings. With a 2.5 V reference, 281 - raw x 0.0692138 gives the high voltage and
// raw x 2.5 / 4096 x 100 - 50 the temperature; these raw values mean about 150 V and a unit
// warming from 36 to 42 degrees over its first minutes.
constexpr int kRawSupply = 3120, kRawLaserPower = 2875;
constexpr double kHighVoltageV = 150.0;
constexpr double kStartTempC = 36.0, kWarmTempC = 42.0, kWarmUpSeconds = 300.0;
constexpr std::uint8_t kThresholdValue = 40;
constexpr int kRawAux1 = 0x0180, kRawAux2 = 0x0A3C;

constexpr char kLatitudeText[] = "04808.2130";   // first character is padding
constexpr char kLongitudeText[] = "01134.5170";
constexpr char kLatitudeLetter = 'N', kLongitudeLetter = 'E';

constexpr double kLockedErrorDeg = 0.3;  // jitter of the phase-lock angle while locked

int rawHighVoltage(double volts) { return int(std::lround((281.0 - volts) / 0.0692138)); }
int rawTemperature(double celsius) { return int(std::lround((celsius + 50.0) * 4096.0 / 250.0)); }

double jitter(std::uint32_t seed, std::uint64_t second, std::uint64_t which) {
    const std::uint64_t h = mix64((std::uint64_t(seed) << 32) ^ (second << 4) ^ which);
    return double(h >> 11) * (2.0 / 9007199254740992.0) - 1.0;  // [-1, 1)
}

bool allEqual(const std::uint8_t* p, std::size_t n, std::uint8_t v) {
    return std::all_of(p, p + n, [v](std::uint8_t b) { return b == v; });
}

}  // namespace

unsigned refusedFieldByName(const std::string& name) {
    static const struct {
        const char* name;
        unsigned field;
    } kNames[] = {{"speed", kRefuseSpeed},         {"motor", kRefuseMotor},         {"sensor-ip", kRefuseSensorIp},
                  {"dest-ip", kRefuseDestIp},      {"mac", kRefuseMac},             {"data-port", kRefuseDataPort},
                  {"equip-port", kRefuseEquipPort}, {"phase-lock", kRefusePhaseLock}, {"interval", kRefuseInterval}};
    for (const auto& n : kNames)
        if (name == n.name) return n.field;
    return 0;
}

CivilTime civilFromUnix(std::int64_t t) {
    std::int64_t days = t / 86400;
    std::int64_t secs = t % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    // Days since 1970-01-01 to a civil date, after H. Hinnant's days_from_civil inverse.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const int year = int(yoe + era * 400 + (month <= 2 ? 1 : 0));
    return {year, month, day, int(secs / 3600), int(secs / 60 % 60), int(secs % 60)};
}

StatusState::StatusState(const SensorSettings& initial, std::uint32_t seed, std::int64_t clockBase)
    : s_(initial), seed_(seed), clockBase_(clockBase) {}

StatusPacket StatusState::buildStatusPacket(double elapsedSeconds) const {
    StatusPacket pk{};
    std::uint8_t* p = pk.data();
    const std::uint64_t second = elapsedSeconds > 0 ? std::uint64_t(elapsedSeconds) : 0;

    writeHeader(p);
    writeBe16(p + kMotorSpeedRpm, std::uint32_t(s_.motorSpeedRpm));
    std::memcpy(p + kSensorIp, s_.sensorIp.data(), s_.sensorIp.size());
    std::memcpy(p + kDestIp, s_.destIp.data(), s_.destIp.size());
    std::memcpy(p + kMac, s_.mac.data(), s_.mac.size());
    writeBe16(p + kDataPort, std::uint32_t(s_.dataPort));
    writeBe16(p + kEquipPort, std::uint32_t(s_.equipPort));
    writeBe16(p + kPhaseLock, (s_.phaseLockOn ? kPhaseLockOnBit : 0) |
                                  (std::uint32_t(s_.phaseLockAngleUnits) & kPhaseLockAngleMask));

    const CivilTime ct = civilFromUnix(clockBase_ + std::int64_t(second));
    const int gps[6] = {ct.year - 2000, ct.month, ct.day, ct.hour, ct.minute, ct.second};
    for (int i = 0; i < 6; ++i) p[kGpsTime + std::size_t(i)] = std::uint8_t(gps[i]);

    writeBe16(p + kMotorState, s_.motorStopped ? 1 : 0);
    writeBe16(p + kPacketInterval, std::uint32_t(s_.packetInterval));

    p[kIdentityModel] = kModelIndex;
    p[kIdentityVariant] = kVariantIndex;
    writeBe32(p + kIdentitySerial, kSerialBase + seed_ % 1000000u);
    p[kIdentityVersionLetter] = 'V';
    std::memcpy(p + kIdentityVersionDigits, kIdentityVersion, kIdentityVersionDigitCount);

    const double warm = 1.0 - std::exp(-double(second) / kWarmUpSeconds);
    const double tempC = kStartTempC + (kWarmTempC - kStartTempC) * warm + 0.1 * jitter(seed_, second, 1);
    const double volts = kHighVoltageV + 0.4 * jitter(seed_, second, 2);
    const int words[kMonitorWordCount] = {
        kRawSupply + int(std::lround(4 * jitter(seed_, second, 3))),
        kRawLaserPower + int(std::lround(6 * jitter(seed_, second, 4))),
        rawHighVoltage(volts),
        rawTemperature(tempC),
        kThresholdValue << 8,  // the threshold is this word's high byte
        kRawAux1,
        kRawAux2,
    };
    for (std::size_t i = 0; i < kMonitorWordCount; ++i)
        writeBe16(p + kMonitorWords + i * kMonitorWordBytes, std::uint32_t(words[i]));
    p[kThreshold] = kThresholdValue;

    std::memcpy(p + kLatitude, kLatitudeText, kGeoTextBytes);
    std::memcpy(p + kLongitude, kLongitudeText, kGeoTextBytes);
    p[kLatitudeHemisphere] = std::uint8_t(kLatitudeLetter);
    p[kLongitudeHemisphere] = std::uint8_t(kLongitudeLetter);

    // Locked: a fraction of a degree around the set angle. Free running: no error to report.
    const int errorHundredths =
        s_.phaseLockOn ? int(std::lround(kLockedErrorDeg * 100 * jitter(seed_, second, 5))) : 0;
    writeBe16(p + kPhaseLockError, std::uint32_t(std::uint16_t(std::int16_t(errorHundredths))));

    writeBe16(p + kFirmwareYear, kFirmwareYearValue);
    p[kFirmwareMonth] = kFirmwareMonthValue;
    p[kFirmwareDay] = kFirmwareDayValue;
    p[kFirmwareVersionA] = kFirmwareA;
    p[kFirmwareVersionB] = kFirmwareB;
    return pk;
}

bool StatusState::applyConfigPacket(const std::uint8_t* b, std::size_t len) {
    namespace cfg = kv::configpkt;
    if (b == nullptr || len != cfg::kPacketBytes || !cfg::hasHeader(b) ||
        b[cfg::kTrailerOffset] != cfg::kTrailer[0] || b[cfg::kTrailerOffset + 1] != cfg::kTrailer[1]) {
        ++ignored_;
        return false;
    }
    auto taken = [this](unsigned field) { return (refused_ & field) == 0; };
    const int rpm = int(readBe16(b + kMotorSpeedRpm));
    if (taken(kRefuseSpeed) && rpm >= kMinRpm && rpm <= kMaxRpm) s_.motorSpeedRpm = rpm;

    const std::uint32_t motor = readBe16(b + kMotorState);
    if (taken(kRefuseMotor) && motor <= 1) s_.motorStopped = motor == 1;

    if (taken(kRefuseSensorIp) && !allEqual(b + kSensorIp, 4, 0x00) && !allEqual(b + kSensorIp, 4, 0xFF))
        std::memcpy(s_.sensorIp.data(), b + kSensorIp, 4);
    if (taken(kRefuseDestIp) && !allEqual(b + kDestIp, 4, 0x00)) std::memcpy(s_.destIp.data(), b + kDestIp, 4);
    // A MAC of zeros (as a factory reset writes) or a group address is not taken.
    if (taken(kRefuseMac) && !allEqual(b + kMac, 6, 0x00) && (b[kMac] & 0x01) == 0)
        std::memcpy(s_.mac.data(), b + kMac, 6);

    if (const int port = int(readBe16(b + kDataPort)); taken(kRefuseDataPort) && port != 0) s_.dataPort = port;
    if (const int port = int(readBe16(b + kEquipPort)); taken(kRefuseEquipPort) && port != 0) s_.equipPort = port;

    if (taken(kRefusePhaseLock)) {
        const std::uint32_t lock = readBe16(b + kPhaseLock);
        s_.phaseLockOn = (lock & kPhaseLockOnBit) != 0;
        s_.phaseLockAngleUnits = int(lock & kPhaseLockAngleMask);
    }
    if (taken(kRefuseInterval)) s_.packetInterval = int(readBe16(b + kPacketInterval));
    ++applied_;
    return true;
}

}  // namespace kv::sim
