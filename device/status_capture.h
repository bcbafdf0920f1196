// Capturing one status packet from a network adapter for the parameter file.
//
// A captured frame counts as a status packet when it is exactly 1248 bytes on the wire and
// captured whole, and its payload starts with the status header (frame bytes 42..45 A5 FF 00 5A).
// The capture gives up after a number of frames or a time, whichever comes first, and can be
// cancelled from another thread.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "status_packet.h"
#include "wire_layout.h"

namespace kv::statuscapture {

// The frame rule, pure.
bool isStatusFrame(const std::uint8_t* frame, std::size_t capturedBytes, std::size_t wireBytes);

// Where a captured status frame says it came from.
struct FrameAddresses {
    std::array<std::uint8_t, 6> sensorMac{};  // frame bytes 6..11
    std::array<std::uint8_t, 4> sensorIp{};   // 26..29
    std::array<std::uint8_t, 4> destIp{};     // 30..33
};
FrameAddresses frameAddresses(const std::uint8_t* frame);

struct Limits {
    int maxFrames = 5000;
    int maxMilliseconds = 5000;
};

enum class Outcome {
    Found,
    NotFound,         // the limits were reached
    Cancelled,
    NoDevice,         // no adapter to capture on
    NoPermission,     // no capture rights
    OpenFailed,       // another reason the adapter could not be opened
};

struct Result {
    Outcome outcome = Outcome::NotFound;
    std::array<std::uint8_t, statuspkt::kPacketBytes> payload{};
    std::string device;
    std::string error;  // libpcap's message where there is one
    int framesSeen = 0;
};

// Opens `device` (snapshot 65535, promiscuous, 100 ms read time-out), reads until a status
// frame is found, a limit is reached or `cancel` is set, and closes the handle on every way
// out. `framesSeen` (when given) follows the count for a progress display.
Result captureStatusFrame(const std::string& device, const Limits& limits, const std::atomic<bool>& cancel,
                          std::atomic<int>* framesSeen = nullptr);

}  // namespace kv::statuscapture
