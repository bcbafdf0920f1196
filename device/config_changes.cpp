#include "config_changes.h"

#include <cstdio>
#include <cstring>

#include "byte_order.h"
#include "config_packet.h"
#include "status_packet.h"
#include "status_texts.h"

namespace kv::configchange {

namespace st = kv::statuspkt;
namespace cp = kv::configpkt;

namespace {

std::string motorText(std::uint32_t code) {
    if (code == cp::kMotorRun) return "Run";
    if (code == cp::kMotorStop) return "Stop";
    return "code " + std::to_string(code);
}

std::string macText(const std::uint8_t* p) {
    char b[18];
    std::snprintf(b, sizeof b, "%02x-%02x-%02x-%02x-%02x-%02x", p[0], p[1], p[2], p[3], p[4], p[5]);
    return b;
}

}  // namespace

std::vector<FieldChange> changes(const std::uint8_t* s, const std::uint8_t* p) {
    std::vector<FieldChange> out;
    auto note = [&](const char* field, std::string before, std::string after) {
        if (before != after) out.push_back({field, std::move(before), std::move(after)});
    };
    auto u16 = [](const std::uint8_t* b, std::size_t offset) { return std::to_string(readBe16(b + offset)); };

    note("Lidar IP", kv::config::ipText(s + st::kSensorIp), kv::config::ipText(p + st::kSensorIp));
    note("Data Port", u16(s, st::kDataPort), u16(p, st::kDataPort));
    note("Computer IP", kv::config::ipText(s + st::kDestIp), kv::config::ipText(p + st::kDestIp));
    note("Equipment Port", u16(s, st::kEquipPort), u16(p, st::kEquipPort));
    note("Mac", macText(s + st::kMac), macText(p + st::kMac));
    note("Packet interval", u16(s, st::kPacketInterval), u16(p, st::kPacketInterval));
    note("Set Frame", u16(s, st::kMotorSpeedRpm) + " rpm", u16(p, st::kMotorSpeedRpm) + " rpm");
    note("Moto State", motorText(readBe16(s + st::kMotorState)), motorText(readBe16(p + st::kMotorState)));
    note("PL angle", kv::statustext::plAngleText(s), kv::statustext::plAngleText(p));
    note("Phase lock", kv::statustext::phaseLockOn(s) ? "Open" : "Close", kv::statustext::phaseLockOn(p) ? "Open" : "Close");
    return out;
}

std::string confirmationText(const std::vector<FieldChange>& changes, const std::string& destination) {
    std::string t = "Write to the sensor at " + destination + " (port " + std::to_string(cp::kSensorPort) + "):";
    for (const FieldChange& c : changes) t += "\n" + c.field + ": " + c.before + " -> " + c.after;
    return t;
}

std::string nothingToWriteText(const std::string& destination) {
    return "No field differs from the last status of the sensor at " + destination + ". Nothing was sent.";
}

}  // namespace kv::configchange
