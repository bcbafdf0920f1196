#include "status_decode.h"

#include <cstring>
#include <tuple>

#include "byte_order.h"

using namespace kv::statuspkt;

namespace {

template <class T, std::size_t N>
void copyBlock(std::array<T, N>& dst, const std::uint8_t* src) {
    static_assert(sizeof(T) == 1, "byte blocks only");
    std::memcpy(dst.data(), src, N);
}

// Ten characters of text followed by the hemisphere letter kept elsewhere in the packet.
void copyGeoText(std::array<char, kGeoTextBytes + 1>& dst, const std::uint8_t* p, std::size_t text,
                 std::size_t letter) {
    std::memcpy(dst.data(), p + text, kGeoTextBytes);
    dst[kGeoTextBytes] = char(p[letter]);
}

}  // namespace

bool SettingData::operator==(const SettingData& o) const {
    return destIp == o.destIp && dataPortRaw == o.dataPortRaw && gpsTime == o.gpsTime &&
           monitorWords == o.monitorWords && motorSpeed == o.motorSpeed &&
           packetInterval == o.packetInterval && motorState == o.motorState &&
           latitude == o.latitude && longitude == o.longitude && bytes70to197 == o.bytes70to197 &&
           bytes478to605 == o.bytes478to605 && bytes234to329 == o.bytes234to329 &&
           bytes330to425 == o.bytes330to425 && bytes426to473 == o.bytes426to473 &&
           bytes606to653 == o.bytes606to653 && identity == o.identity &&
           panelVersion == o.panelVersion;
}

bool decodeStatusPacket(const std::uint8_t* p, std::size_t len, SettingData& out,
                        std::vector<int>& mac) {
    if (p == nullptr || len != kPacketBytes || !hasHeader(p)) return false;

    static_assert(std::tuple_size<decltype(out.gpsTime)>::value == kGpsTimeRecordBytes);
    static_assert(std::tuple_size<decltype(out.identity)>::value == kIdentityBytes);
    static_assert(std::tuple_size<decltype(out.monitorWords)>::value == kMonitorWordCount);
    static_assert(std::tuple_size<decltype(out.bytes70to197)>::value == kBlock70Bytes);
    static_assert(std::tuple_size<decltype(out.bytes478to605)>::value == kBlock478Bytes);
    static_assert(std::tuple_size<decltype(out.bytes234to329)>::value == kBlock234Bytes);
    static_assert(std::tuple_size<decltype(out.bytes330to425)>::value == kBlock330Bytes);
    static_assert(std::tuple_size<decltype(out.bytes426to473)>::value == kBlock426Bytes);
    static_assert(std::tuple_size<decltype(out.bytes606to653)>::value == kBlock606Bytes);
    static_assert(std::tuple_size<decltype(out.panelVersion)>::value == kFirmwareBytes);
    static_assert(kFirmwareYear + kFirmwareBytes == kFirmwareVersionB + 1);

    copyBlock(out.destIp, p + kDestIp);
    std::memcpy(&out.dataPortRaw, p + kDataPort, sizeof out.dataPortRaw);  // byte order kept
    copyBlock(out.gpsTime, p + kGpsTime);
    for (std::size_t i = 0; i < kMonitorWordCount; ++i)
        out.monitorWords[i] = std::int32_t(kv::readBe16(p + kMonitorWords + i * kMonitorWordBytes));
    out.motorSpeed = std::int32_t(kv::readBe16(p + kMotorSpeedRpm));
    out.packetInterval = std::int32_t(kv::readBe16(p + kPacketInterval));
    out.motorState = std::int32_t(kv::readBe16(p + kMotorState));
    copyGeoText(out.latitude, p, kLatitude, kLatitudeHemisphere);
    copyGeoText(out.longitude, p, kLongitude, kLongitudeHemisphere);
    copyBlock(out.bytes70to197, p + kBlock70);
    copyBlock(out.bytes478to605, p + kBlock478);
    copyBlock(out.bytes234to329, p + kBlock234);
    copyBlock(out.bytes330to425, p + kBlock330);
    copyBlock(out.bytes426to473, p + kBlock426);
    copyBlock(out.bytes606to653, p + kBlock606);
    copyBlock(out.identity, p + kIdentity);
    copyBlock(out.panelVersion, p + kFirmwareYear);

    mac.assign(kMacEntryCount, 0);
    for (std::size_t i = 0; i < kMacBytes; ++i) mac[kMacIndexFirstByte + i] = p[kMac + i];
    mac[kMacIndexDataPort] = int(kv::readBe16(p + kDataPort));
    mac[kMacIndexEquipPort] = int(kv::readBe16(p + kEquipPort));
    mac[kMacIndexHighVoltage] = int(kv::readBe16(p + kRawHighVoltage));
    mac[kMacIndexTemperature] = int(kv::readBe16(p + kRawTemperature));
    mac[kMacIndexThreshold] = p[kThreshold];
    mac[kMacIndexPhaseLockError] = int(kv::readBe16(p + kPhaseLockError));
    return true;
}

std::string firmwareVersionText(const std::uint8_t* p) {
    const unsigned a = p[kFirmwareVersionA], b = p[kFirmwareVersionB];
    return std::to_string(kv::readBe16(p + kFirmwareYear)) + "." +
           std::to_string(unsigned(p[kFirmwareMonth])) + "." +
           std::to_string(unsigned(p[kFirmwareDay])) + "-V" + std::to_string(a >> 4) + "." +
           std::to_string(a & 0x0F) + "." + std::to_string(b >> 4) + std::to_string(b & 0x0F);
}
