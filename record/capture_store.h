// The packet store of a capture replay: where each sensor data packet of one stream lies in a
// capture file, in file order, with the index of frame markers that seeking needs. The
// payloads stay in the file; a PacketReader reads them back at their offsets.
//
// A record is a sensor data packet when its link layer (Ethernet with up to two VLAN tags,
// Linux cooked SLL or SLL2, raw IPv4, BSD loopback) carries an unfragmented IPv4 UDP datagram
// whose payload is exactly 1206 bytes and neither a status packet nor a configuration packet.
// Every other record is skipped and counted by reason. A stream is (source address, source
// port, destination port); the store indexes one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frame_rule.h"
#include "link_decode.h"
#include "wire_layout.h"

namespace kv::capture {

constexpr std::size_t kFrameBytes = wire::kFrameBytes;      // our recorder's frames on the wire
constexpr std::size_t kHeaderBytes = wire::kPayloadStart;   // Ethernet 14 + IPv4 20 + UDP 8
static_assert(kHeaderBytes + wire::kPayloadBytes == kFrameBytes, "frame = headers + payload");

// The file offset of every packet of a stream, at about four bytes a packet: a 64-bit base
// every kGroup packets and 32-bit distances from it (the rare distance beyond 4 GiB is kept
// whole on the side).
class PacketOffsets {
public:
    static constexpr std::size_t kGroup = 256;
    void push(std::uint64_t offset);
    std::uint64_t at(std::size_t i) const;
    std::size_t size() const { return deltas_.size(); }
    std::size_t bytes() const;  // memory held

private:
    std::vector<std::uint64_t> bases_;
    std::vector<std::uint32_t> deltas_;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> far_;  // (packet, offset), in order
};

// The open capture file a store reads from. Shared by copies of a store.
class PayloadFile;

struct CaptureStore {
    std::uint32_t packetCount = 0;
    // Where each frame starts, by the frame rule's replay policy: the markers the frames are
    // cut at, and nothing else, so the frame count, every seek and every frame number agree
    // with the frames a walk from the first packet gives.
    FrameIndex frames;
    // Where each payload starts in the file.
    PacketOffsets offsets;
    // The capture time of each packet, nanoseconds since the epoch (kept as the bits of an
    // int64: times need not rise, and the sequence stores any value whole).
    PacketOffsets times;
    std::shared_ptr<const PayloadFile> file;

    // Whole frames; a user picks 1..frameCount() (0: before the first).
    std::uint32_t frameCount() const { return frames.frameCount(); }
    std::int64_t packetTimeNs(std::size_t i) const { return std::int64_t(times.at(i)); }
    // Memory held by the index (offsets, times and frame starts).
    std::size_t indexBytes() const { return offsets.bytes() + times.bytes() + frames.bytes(); }
};

// Reads payloads of a store from its file, a block at a time, forwards or backwards. One per
// thread. A file that shrank or changed since it was opened is reported, never read past.
class FileWindow;
class PacketReader {
public:
    explicit PacketReader(const CaptureStore& store);
    ~PacketReader();
    PacketReader(const PacketReader&) = delete;
    PacketReader& operator=(const PacketReader&) = delete;
    // The wire::kPayloadBytes bytes of packet i (i < packetCount), valid until the next call;
    // null when the file cannot give them, and error() says why.
    const std::uint8_t* packet(std::size_t i);
    const std::string& error() const { return error_; }

private:
    const CaptureStore& store_;
    std::unique_ptr<FileWindow> window_;
    std::size_t last_ = 0;
    std::string error_;
};

// Frame `number` (1..store.frameCount()) of the store, reached through its index and cut by the
// frame rule's replay policy, numbered; the same frame a walk from the first packet gives.
// False when the file cannot give its packets (reader.error() says why) or the number is out
// of range.
// `trace`, when given, receives which packets the points came from (see pointTimes()).
bool readFrame(const CaptureStore& store, std::uint32_t number, int echo, PacketReader& reader, MuchLidarData& out,
               FrameTrace* trace = nullptr);

// The capture time of each point of frame `number` (a packet carries no clock of its own: the
// time its packet was captured), from the trace readFrame() gave with it. A frame the trace does
// not account for (one cut at the frame bound) gets its first packet's time for every point.
void pointTimes(const CaptureStore& store, std::uint32_t number, const FrameTrace& trace, std::size_t frameSize,
                std::vector<std::int64_t>& timesNs);

// Why a file gives no packets.
enum class LoadFailure {
    kNone,
    kUnreadable,           // missing, a directory, empty, not a regular file
    kNotCapture,           // no capture format this program reads
    kUnsupportedLinkType,  // a capture, but of a link layer this program does not read
    kNoSensorData,         // a capture without one UDP payload of 1206 bytes
};

struct StreamInfo {
    wire::StreamKey key;
    std::uint64_t packets = 0;  // sensor data packets
};

struct CaptureLoad {
    // false: `error` says why and the store is empty (kUnreadable, kNotCapture). The text is
    // the reading library's, or ours where the path is not worth handing over.
    bool opened = false;
    std::string error;
    LoadFailure failure = LoadFailure::kNone;
    std::string linkTypeName;  // kUnsupportedLinkType: the link type(s) found, named
    std::string format;        // "pcap" or "pcapng"
    // The chosen stream's packets (by default the stream with the most packets).
    CaptureStore store;
    // Every stream with data packets, the one with the most packets first.
    std::vector<StreamInfo> streams;
    std::size_t chosen = 0;  // index into streams, when there is one
    std::uint64_t recordsRead = 0;     // records the reading library handed over
    std::uint64_t recordsSkipped = 0;  // ... of which not data packets of the chosen stream
    wire::SkipCounts skipped{};        // records that are no sensor data, by reason
    // The read stopped before the end of the file (a cut or damaged record); `damage` says
    // what happened. Every packet before the damage is in the store.
    bool damaged = false;
    std::string damage;

    // Makes stream i the store's. False for an index out of range.
    bool chooseStream(std::size_t i);
    // The index of `key` in streams, or of the largest stream to destination port `port`;
    // streams.size() when none matches.
    std::size_t findStream(const wire::StreamKey& key) const;
    std::size_t findPort(std::uint16_t destPort) const;
    // One line on why nothing can be replayed, for kNotCapture .. kNoSensorData.
    std::string failureText() const;
    // The streams as a user chooses among them: "ADDR:PORT>PORT (N data packets)", as kv-export's --stream takes it, in the
    // order of `streams` (the largest first).
    std::vector<std::string> streamChoices() const;

    std::vector<CaptureStore> streamStores;  // parallel to streams
};

// Progress of a load in bytes of file read: `total` is the file size.
using CaptureProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Indexes the capture file at `path` in one pass. Never throws; bad input is reported through
// `opened`/`error`/`failure` and `damaged`/`damage`. `progress` is called now and then, not per
// packet, and once at the end with done == total.
//
// pcap files (micro- and nanosecond) are read with libpcap, pcapng files (any mix of
// interfaces) with Wireshark's reader library. "-" is the file of that name, not standard input.
CaptureLoad loadCapture(const std::string& path, const CaptureProgress& progress = {});

}  // namespace kv::capture
