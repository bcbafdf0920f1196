// Several streams of one capture replayed together, one sensor each: the frames follow the
// leading stream, and each frame of it brings with it the latest complete frame of every other
// visible stream, by capture time. Reached through the frame indexes, so a seek, a step, a walk
// and kv-export give the same merged frame k.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "capture_store.h"

namespace kv::capture {

// The reading side of a merge, one per stream: its packet reader and the frame it read last. A
// slower stream's frame is merged into several frames of the lead; it is read once.
struct StreamReader {
    std::unique_ptr<PacketReader> packets;
    std::uint32_t number = 0;  // of `frame`; 0: none yet
    int echo = -1;
    MuchLidarData frame;
};
using StreamReaders = std::vector<StreamReader>;

class MergedStreams {
public:
    // `stores` by sensor index (the index the merged frames' points carry); `lead` among them.
    MergedStreams(std::vector<CaptureStore> stores, std::size_t lead);

    std::size_t lead() const { return lead_; }
    std::size_t streams() const { return stores_.size(); }
    const CaptureStore& store(std::size_t s) const { return stores_[s]; }
    void setVisible(std::size_t s, bool visible) {
        if (s < visible_.size()) visible_[s] = visible;
    }
    bool visible(std::size_t s) const { return s < visible_.size() && visible_[s]; }
    // The leading stream's frames: the merged frames are numbered by them.
    std::uint32_t frameCount() const { return stores_[lead_].frameCount(); }

    // The frame of stream `s` merged into frame `number` of the lead: the last one whose closing
    // packet came before the lead frame's closing packet (in capture time; at equal times the
    // stream of lower index first). 0 when none had closed yet.
    std::uint32_t frameAt(std::size_t s, std::uint32_t number) const;

    // Merged frame `number`: the lead's frame, then each other visible stream's frameAt(), each
    // point carrying its stream's index. False when a packet cannot be read
    // (readers[s].packets->error()).
    // An invisible lead gives the frame without its points.
    bool read(std::uint32_t number, int echo, StreamReaders& readers, MuchLidarData& out) const;
    // The other streams' frames merged into the lead's frame `number`, read by the caller:
    // tags `leadFrame`'s points with the lead's index (none when the lead is hidden) and appends
    // each other shown stream's frameAt(). `hidden` has a bit per stream not shown.
    bool addOthers(std::uint32_t number, int echo, std::uint64_t hidden, StreamReaders& readers,
                   MuchLidarData& leadFrame) const;
    // One reader per stream, for read() and addOthers().
    StreamReaders makeReaders() const;

private:
    struct Key {
        std::int64_t timeNs;
        std::size_t stream;
        std::uint32_t packet;
        bool operator<(const Key& o) const {
            if (timeNs != o.timeNs) return timeNs < o.timeNs;
            if (stream != o.stream) return stream < o.stream;
            return packet < o.packet;
        }
    };
    Key closeKey(std::size_t s, std::uint32_t number) const;

    std::vector<CaptureStore> stores_;
    std::size_t lead_;
    std::vector<bool> visible_;
};

}  // namespace kv::capture
