// The frame rule: how a stream of data packets is cut into frames. Which records are markers
// (FF AA BB at the start of a record, never inside one), when a frame closes, what the echo
// selection keeps, and where each frame of a stored stream starts. The live receiver, the
// capture index, both replays and kv-export all cut frames here; the two ways they differ are
// a policy handed in, not a second loop:
//
//   kLive    the receiver's rule. The marker count starts at 0, so the first frame after a
//            start holds whatever came before the first marker plus four whole periods; later
//            frames hold exactly four periods. Single-echo frames close at the marker that
//            completes them, dual-echo frames at the first record after it that is not a
//            marker. Production mode keeps one line, drawn at random for each frame.
//   kReplay  a stored stream's rule. A frame is the four marker periods that follow a marker:
//            data before the first marker of the stream (or of a seek) belongs to no frame,
//            and every frame closes at the marker that completes it, which is also the first
//            marker of the next frame. Frame k (from 1) thus runs from marker 4k-3 to marker
//            4k+1 of the stream, whether it is reached by playing, by a seek or after a rewind,
//            and FrameIndex finds the same markers without decoding a point.
//
// Pure: no sockets, threads, files or clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <type_traits>
#include <vector>

#include "data_packet.h"
#include "much_lidar_data.h"

namespace kv {

enum EchoMode : int { kDualEchoBoth = 0, kFirstEcho = 1, kSecondEcho = 2 };

// Four marker periods make one frame: a frame closes when the marker count reaches five.
constexpr int kPeriodsPerFrame = 4;

// The most points one echo store of a frame holds. The largest real frame, four marker periods
// at the slowest motor speed (600 rpm, 40 periods a second) of a 180-degree sweep at 0.01 degrees,
// holds 4 x 18,001 = 72,004 points; ten times that, rounded up, is the bound. A stream whose
// markers went missing fills a frame up to it; the points beyond are dropped and counted, and
// the next marker periods close the frame as usual.
constexpr std::size_t kMaxFramePoints = std::size_t(1) << 20;

enum class FramePolicy { kLive, kReplay };

// Calls onMarker(record) for every marker record of one packet, in record order.
template <class OnMarker>
void forEachMarker(const std::uint8_t* packet, OnMarker&& onMarker) {
    using namespace datapkt;
    const bool dualLayout = isDualEcho(packet);
    const std::size_t recordBytes = dualLayout ? dual::kRecordBytes : single::kRecordBytes;
    const std::size_t records = dualLayout ? dual::kRecordCount : single::kRecordCount;
    for (std::size_t i = 0; i < records; ++i)
        if (isMarker(packet + i * recordBytes)) onMarker(std::uint32_t(i));
}

// Where a frame of a stored stream starts: the record of its first marker.
struct FrameStart {
    std::uint32_t packet = 0;
    std::uint32_t record = 0;
    bool operator==(const FrameStart& o) const { return packet == o.packet && record == o.record; }
};

// The frames of a stored stream under the kReplay rule, built one packet at a time in stream
// order: frame k (from 1) starts at marker 4k-3 and is whole once marker 4k+1 has been seen.
class FrameIndex {
public:
    void add(std::uint32_t packetIndex, const std::uint8_t* packet) {
        forEachMarker(packet, [&](std::uint32_t record) {
            if (markers_ % kPeriodsPerFrame == 0) starts_.push_back({packetIndex, record});
            ++markers_;
        });
    }
    std::uint64_t markers() const { return markers_; }
    // Whole frames: the last start opens a frame only once four more markers have followed it.
    std::uint32_t frameCount() const {
        return markers_ == 0 ? 0 : std::uint32_t((markers_ - 1) / kPeriodsPerFrame);
    }
    // The start of frame `number` (1..startCount()): a whole frame's end is the next one's start.
    const FrameStart& start(std::uint32_t number) const { return starts_[number - 1]; }
    std::uint32_t startCount() const { return std::uint32_t(starts_.size()); }
    std::size_t bytes() const { return starts_.capacity() * sizeof(FrameStart); }

private:
    std::uint64_t markers_ = 0;
    std::vector<FrameStart> starts_;
};

// Which packets a frame's points came from, as the rule saw them: for each packet that gave the
// frame points, its feed (counted from 0 since the rule was made) and how many first-echo (or
// single-echo) points it gave; a dual-layout packet gave as many second echoes. With the layout
// of the packet that closed the frame and the echo selection read there, this places every
// point of the frame.
struct FrameTrace {
    struct Run {
        std::uint64_t feed;
        std::uint32_t points;
        bool dual;
    };
    std::vector<Run> runs;
    bool closedDual = false;
    int echo = 0;
};

// The feed each point of a frame of `frameSize` points came from, in the frame's order: the first
// echoes (and single-echo points) in feed order, then, for both echoes, the second echoes of
// the dual-layout packets. False when the trace does not account for the frame's points.
bool pointFeeds(const FrameTrace& trace, std::size_t frameSize, std::vector<std::uint64_t>& feeds);

class FrameRule {
public:
    // `productionMode` (kLive only) keeps one line per frame, drawn at random from 0-3 for each
    // frame with `seed`. `maxFramePoints` bounds each echo store of the frame being assembled.
    explicit FrameRule(FramePolicy policy = FramePolicy::kLive, bool productionMode = false, unsigned seed = 0,
                       std::size_t maxFramePoints = kMaxFramePoints);

    // Feeds one whole 1206-byte data packet from record `firstRecord` on (a seek starts at its
    // frame's first marker). `echo()` gives the echo selection, read at every dual-echo close
    // (0 both echoes, the first ones first; 1 first; 2 second; other values drop the frame).
    // `onFrame(MuchLidarData&&)` gets every finished frame at the record that finishes it.
    template <class Echo, class OnFrame, std::enable_if_t<std::is_invocable_v<Echo&>, int> = 0>
    void feed(const std::uint8_t* packet, Echo&& echo, OnFrame&& onFrame, std::uint32_t firstRecord = 0);
    // The same, with a fixed selection, appending finished frames to `out`.
    void feed(const std::uint8_t* packet, int echoMode, std::vector<MuchLidarData>& out) {
        feed(packet, [echoMode] { return echoMode; }, [&out](MuchLidarData&& f) { out.push_back(std::move(f)); });
    }

    // Drops the unfinished frame and starts over with the count at 0: a receiver's start, the
    // start of a replay, a seek (then fed from the frame's first marker) and a rewind alike.
    void restart();

    // Inside onFrame: the trace of the frame being handed over. Feeds count every feed() call
    // since the rule was made, restarts included.
    const FrameTrace& closingTrace() const { return closing_; }
    std::uint64_t feeds() const { return feeds_; }

    FramePolicy policy() const { return policy_; }
    int markerCount() const { return markers_; }
    // Points dropped because a frame reached its bound, since construction.
    std::uint64_t droppedPoints() const { return dropped_; }
    // Points held by the frame being assembled (first and second echoes).
    std::size_t pendingPoints() const { return first_.size() + second_.size(); }
    int productionLine() const { return productionLine_; }
    bool productionMode() const { return productionMode_; }

private:
    static constexpr int kCloseAt = kPeriodsPerFrame + 1;
    template <class Echo, class OnFrame>
    void close(bool dualLayout, Echo& echo, OnFrame& onFrame);
    void startNextFrame(std::size_t capacity, bool dualLayout);
    void drawProductionLine() { productionLine_ = int(rng_() % 4u); }

    FramePolicy policy_;
    bool productionMode_;
    std::minstd_rand rng_;
    int productionLine_ = 0;
    int markers_ = 0;
    std::size_t maxPoints_;
    std::uint64_t dropped_ = 0;
    MuchLidarData first_;   // first echoes (and the single-echo points)
    MuchLidarData second_;  // second echoes
    // The packets of the frame being assembled: runs of the feeds before this one, and where
    // this feed's points begin in first_.
    std::vector<FrameTrace::Run> runs_;
    std::size_t runStart_ = 0;
    bool feedDual_ = false;
    std::uint64_t feeds_ = 0;
    FrameTrace closing_;
    void endRun() {
        if (first_.size() > runStart_)
            runs_.push_back({feeds_ - 1, std::uint32_t(first_.size() - runStart_), feedDual_});
        runStart_ = first_.size();
    }
};

template <class Echo, class OnFrame>
void FrameRule::close(bool dualLayout, Echo& echo, OnFrame& onFrame) {
    const std::size_t capacity = first_.size() + second_.size();
    endRun();
    closing_.runs.swap(runs_);
    runs_.clear();
    closing_.closedDual = dualLayout;
    closing_.echo = dualLayout ? int(echo()) : kDualEchoBoth;
    if (!dualLayout) {
        onFrame(std::move(first_));
    } else {
        switch (closing_.echo) {
        case kDualEchoBoth:
            first_.appendAll(second_);
            onFrame(std::move(first_));
            break;
        case kFirstEcho: onFrame(std::move(first_)); break;
        case kSecondEcho: onFrame(std::move(second_)); break;
        default: break;  // an unknown selection shows nothing
        }
    }
    startNextFrame(capacity, dualLayout);
}

template <class Echo, class OnFrame, std::enable_if_t<std::is_invocable_v<Echo&>, int>>
void FrameRule::feed(const std::uint8_t* packet, Echo&& echo, OnFrame&& onFrame, std::uint32_t firstRecord) {
    using namespace datapkt;
    const bool dualLayout = isDualEcho(packet);
    const bool replay = policy_ == FramePolicy::kReplay;
    const std::size_t recordBytes = dualLayout ? dual::kRecordBytes : single::kRecordBytes;
    const std::size_t records = dualLayout ? dual::kRecordCount : single::kRecordCount;
    ++feeds_;
    feedDual_ = dualLayout;
    runStart_ = first_.size();
    for (std::size_t i = firstRecord; i < records; ++i) {
        const std::uint8_t* r = packet + i * recordBytes;
        if (isMarker(r)) {
            ++markers_;
            // Replay: the first marker opens the first frame; what came before is no frame's.
            // Both stores, whatever this packet's layout: second echoes gathered before a
            // single-echo stretch must not reach a later dual-echo frame.
            if (replay && markers_ == 1) {
                first_.clear();
                second_.clear();
                runs_.clear();
                runStart_ = 0;
            }
            // Live dual-echo frames close at the next record that is not a marker.
            if (markers_ >= kCloseAt && (replay || !dualLayout)) close(dualLayout, echo, onFrame);
            continue;
        }
        if (markers_ >= kCloseAt) close(dualLayout, echo, onFrame);
        if (!carriesPoint(r)) continue;  // void records and other 0xFF records
        if (replay && markers_ == 0) continue;  // before the first marker: no frame's
        const int line = lineOf(r);
        if (productionMode_ && line != productionLine_) continue;
        if (first_.size() >= maxPoints_) {  // both stores grow together
            dropped_ += dualLayout ? 2 : 1;
            continue;
        }
        if (dualLayout) {
            const DualEcho e = decodeDual(r);
            first_.append(e.line, e.azimuthDeg, e.distance1Cm, e.intensity1);
            second_.append(e.line, e.azimuthDeg, e.distance2Cm, e.intensity2);
        } else {
            const SingleEcho e = decodeSingle(r);
            first_.append(e.line, e.azimuthDeg, e.distanceCm, e.intensity);
        }
    }
    endRun();
}

}  // namespace kv
