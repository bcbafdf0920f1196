// Builds streams of data packets record by record for the tests: points, markers and void
// records go into packets of the chosen layout in order; a packet that is not full is padded
// with void records, which carry nothing.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "data_packet.h"
#include "frame_rule.h"

namespace kvtest {

using Packet = std::array<std::uint8_t, kv::datapkt::kPacketBytes>;

class PacketStream {
public:
    // `echoFlag` is byte 1205 of every packet: 2 selects the dual layout, anything else single.
    explicit PacketStream(std::uint8_t echoFlag = 0) : flag_(echoFlag) {}

    bool dual() const { return flag_ == kv::datapkt::kDualEchoFlag; }

    // Azimuth in layout units (0.01 deg single, 0.001 deg dual), distances in 1/256 cm.
    PacketStream& point(int line, std::uint32_t az, std::uint32_t dist, int inten,
                        std::uint32_t dist2 = 0, int inten2 = 0) {
        std::uint8_t* r = next();
        if (dual()) kv::datapkt::writeDual(r, line, az, dist, inten, dist2, inten2);
        else kv::datapkt::writeSingle(r, line, az, dist, inten);
        return *this;
    }
    PacketStream& marker() { kv::datapkt::writeMarker(next()); return *this; }
    PacketStream& voidRecord() { kv::datapkt::writeVoid(next()); return *this; }
    // A record whose first three bytes are given; the rest stays zero.
    PacketStream& raw(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
        std::uint8_t* r = next();
        r[0] = b0, r[1] = b1, r[2] = b2;
        return *this;
    }
    // Starts a new packet even if the current one has room left.
    PacketStream& endPacket() { used_ = recordCount(); return *this; }

    const std::vector<Packet>& packets() const { return packets_; }

private:
    std::size_t recordCount() const {
        return dual() ? kv::datapkt::dual::kRecordCount : kv::datapkt::single::kRecordCount;
    }
    std::size_t recordBytes() const {
        return dual() ? kv::datapkt::dual::kRecordBytes : kv::datapkt::single::kRecordBytes;
    }
    std::uint8_t* next() {
        if (packets_.empty() || used_ == recordCount()) {
            Packet& p = packets_.emplace_back();
            p.fill(0);
            for (std::size_t i = 0; i < recordCount(); ++i)
                kv::datapkt::writeVoid(p.data() + i * recordBytes());
            p[kv::datapkt::kEchoFlagOffset] = flag_;
            used_ = 0;
        }
        return packets_.back().data() + used_++ * recordBytes();
    }

    std::uint8_t flag_;
    std::size_t used_ = 0;
    std::vector<Packet> packets_;
};

// Feeds packets [from, to) and returns the frames they finish.
inline std::vector<MuchLidarData> feed(kv::FrameRule& a, const std::vector<Packet>& packets,
                                       int echoMode = kv::kDualEchoBoth, std::size_t from = 0,
                                       std::size_t to = SIZE_MAX) {
    std::vector<MuchLidarData> out;
    for (std::size_t i = from; i < packets.size() && i < to; ++i) a.feed(packets[i].data(), echoMode, out);
    return out;
}

}  // namespace kvtest
