#include "write_check.h"

#include <cstdlib>
#include <cstring>

#include "byte_order.h"
#include "status_packet.h"

namespace kv::writecheck {

namespace st = kv::statuspkt;

std::vector<std::string> differingFields(const std::uint8_t* w, const std::uint8_t* s) {
    std::vector<std::string> out;
    auto same = [&](std::size_t offset, std::size_t n) { return std::memcmp(w + offset, s + offset, n) == 0; };
    const bool stopping = readBe16(w + st::kMotorState) == kv::configpkt::kMotorStop;
    if (!stopping && std::abs(int(readBe16(w + st::kMotorSpeedRpm)) - int(readBe16(s + st::kMotorSpeedRpm))) >
                         kSpeedToleranceRpm)
        out.push_back("Set Frame");
    if (!same(st::kMotorState, 2)) out.push_back("Moto State");
    if (!same(st::kSensorIp, 4)) out.push_back("Lidar IP");
    if (!same(st::kDestIp, 4)) out.push_back("Computer IP");
    if (!same(st::kMac, st::kMacBytes)) out.push_back("Mac");
    if (!same(st::kDataPort, 2)) out.push_back("Data Port");
    if (!same(st::kEquipPort, 2)) out.push_back("Equipment Port");
    if (!same(st::kPacketInterval, 2)) out.push_back("Packet interval");
    if (!same(st::kPhaseLock, 2)) out.push_back("Phase lock");
    return out;
}

std::string outcomeText(const std::vector<std::string>& differing) {
    if (differing.empty()) return "Sensor check: applied";
    std::string t = "Sensor check: not taken: ";
    for (std::size_t i = 0; i < differing.size(); ++i) t += (i ? ", " : "") + differing[i];
    return t;
}

std::string noStatusText() {
    return "Sensor check: no status packet came within " + std::to_string(kWaitSeconds) +
           " seconds (a new Computer IP or Equipment Port sends them elsewhere)";
}

}  // namespace kv::writecheck
