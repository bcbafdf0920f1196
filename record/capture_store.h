// The packet store of a capture replay: every sensor data packet of a capture file, held in
// memory in file order, with the index of frame markers that seeking needs.
//
// A record is stored when it is a whole Ethernet frame of exactly 1248 bytes (Ethernet, IPv4
// and UDP headers, then the 1206-byte data packet) whose payload is neither a status packet
// nor a configuration packet. Everything else is skipped and counted. The headers in front of
// the payload are not inspected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "wire_layout.h"

namespace kv::capture {

constexpr std::size_t kFrameBytes = wire::kFrameBytes;      // a sensor datagram on the wire
constexpr std::size_t kHeaderBytes = wire::kPayloadStart;   // Ethernet 14 + IPv4 20 + UDP 8
constexpr std::size_t kPayloadBytes = wire::kPayloadBytes;  // the data packet itself
static_assert(kHeaderBytes + kPayloadBytes == kFrameBytes, "frame = headers + payload");
constexpr int kMarkersPerFrame = 4;             // four marker periods make one shown frame

struct CaptureStore {
    // packetCount payloads of kPayloadBytes each, back to back in one block.
    std::vector<std::uint8_t> payloads;
    std::uint32_t packetCount = 0;
    // Markers (FF AA BB wholly inside a payload, at any byte offset) in all payloads.
    std::uint32_t markerTotal = 0;
    // Entry k: index of the packet holding marker 4(k+1), markers counted from 1 in file order.
    std::vector<std::uint32_t> frameStarts;

    // Payload of packet i; i < packetCount.
    const std::uint8_t* packet(std::size_t i) const { return payloads.data() + i * kPayloadBytes; }
    // The highest frame number a user can pick: frames run 0..frameRange().
    std::uint32_t frameRange() const { return markerTotal / kMarkersPerFrame; }
};

struct CaptureLoad {
    // false: `error` says why and the store is empty. The text is libpcap's, or ours where the
    // path is not worth handing to libpcap (a directory, an empty file, a pipe or device).
    bool opened = false;
    std::string error;
    CaptureStore store;
    std::uint64_t recordsRead = 0;     // records libpcap handed over
    std::uint64_t recordsSkipped = 0;  // ... of which not sensor data packets
    // The read stopped before the end of the file (a cut or damaged record); `damage` says
    // what happened. Every packet before the damage is in the store.
    bool damaged = false;
    std::string damage;
};

// Progress of a load in bytes of file read, over both passes: `total` is twice the file size.
using CaptureProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Reads the capture file at `path` into a store. The file is read twice, once to count the
// packets and once to fill a block of exactly that size. Never throws; bad input is reported
// through `opened`/`error` and `damaged`/`damage`. `progress` is called now and then, not per
// packet, and once at the end with done == total.
//
// Only Ethernet captures (link type 1) hold sensor frames: the records of a capture of any
// other link type are all skipped, giving an empty store. A file that changes between the
// passes never makes the store hold more than was counted; if it holds fewer, `damage` says so.
// "-" is the file of that name, not standard input.
CaptureLoad loadCapture(const std::string& path, const CaptureProgress& progress = {});

}  // namespace kv::capture

