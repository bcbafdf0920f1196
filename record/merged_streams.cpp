#include "merged_streams.h"

namespace kv::capture {

MergedStreams::MergedStreams(std::vector<CaptureStore> stores, std::size_t lead)
    : stores_(std::move(stores)), lead_(0), visible_() {
    if (stores_.size() > 255) stores_.resize(255);  // a point carries its stream in a byte
    lead_ = lead < stores_.size() ? lead : 0;
    visible_.assign(stores_.size(), true);
}

// A frame closes at the first marker of the next: its packet and capture time.
MergedStreams::Key MergedStreams::closeKey(std::size_t s, std::uint32_t number) const {
    const CaptureStore& st = stores_[s];
    const std::uint32_t packet = st.frames.start(number + 1).packet;
    return {st.packetTimeNs(packet), s, packet};
}

std::uint32_t MergedStreams::frameAt(std::size_t s, std::uint32_t number) const {
    if (s >= stores_.size() || number < 1 || number > frameCount()) return 0;
    if (s == lead_) return number;
    const Key until = closeKey(lead_, number);
    // Closing times rise with the frame number in a capture written as it was received; the
    // search finds the last frame before `until` either way.
    std::uint32_t lo = 0, hi = stores_[s].frameCount();
    while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo + 1) / 2;
        if (closeKey(s, mid) < until) lo = mid;
        else hi = mid - 1;
    }
    return lo;
}

StreamReaders MergedStreams::makeReaders() const {
    StreamReaders readers(stores_.size());
    for (std::size_t s = 0; s < stores_.size(); ++s) readers[s].packets = std::make_unique<PacketReader>(stores_[s]);
    return readers;
}

bool MergedStreams::read(std::uint32_t number, int echo, StreamReaders& readers, MuchLidarData& out) const {
    out.clear();
    if (number < 1 || number > frameCount() || readers.size() != stores_.size()) return false;
    if (!readFrame(stores_[lead_], number, echo, *readers[lead_].packets, out)) return false;
    std::uint64_t hidden = 0;
    for (std::size_t s = 0; s < visible_.size() && s < 64; ++s)
        if (!visible_[s]) hidden |= std::uint64_t(1) << s;
    return addOthers(number, echo, hidden, readers, out);
}

bool MergedStreams::addOthers(std::uint32_t number, int echo, std::uint64_t hidden, StreamReaders& readers,
                              MuchLidarData& leadFrame) const {
    if (readers.size() != stores_.size()) return false;
    auto shown = [&](std::size_t s) { return s >= 64 || !((hidden >> s) & 1u); };
    if (shown(lead_)) leadFrame.sensor.assign(leadFrame.size(), std::uint8_t(lead_));
    else leadFrame.clear();
    for (std::size_t s = 0; s < stores_.size(); ++s) {
        if (s == lead_ || !shown(s)) continue;
        const std::uint32_t f = frameAt(s, number);
        if (f == 0) continue;
        StreamReader& r = readers[s];
        if (r.number != f || r.echo != echo) {
            r.number = 0;
            if (!readFrame(stores_[s], f, echo, *r.packets, r.frame)) return false;
            r.number = f;
            r.echo = echo;
        }
        leadFrame.appendSensor(r.frame, std::uint8_t(s));
    }
    leadFrame.number = number;
    return true;
}

}  // namespace kv::capture
