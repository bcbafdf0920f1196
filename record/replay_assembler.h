// Frame assembly in replay order, over stored data packets.
//
// It differs from the live receiver's: the first marker after a start or a seek clears the
// stores, so data before it never reaches a frame; every frame closes at the marker that
// completes it, in both layouts; and after an end or a rewind the counter restarts at 1, so the
// first frame then also holds the data before the first marker. Pure: no thread, no clock.
#pragma once

#include <cstdint>

#include "data_packet.h"
#include "frame_assembler.h"
#include "much_lidar_data.h"

namespace kv {

class ReplayAssembler {
public:
    static constexpr int kMarkersPerFrame = 5;

    // Walks one stored packet. `onFrame(MuchLidarData&&)` is called for every finished frame,
    // at the record that finishes it; `echoSelection()` is read for each dual-echo frame.
    template <class OnFrame, class EchoSelection>
    void feed(const std::uint8_t* packet, EchoSelection&& echoSelection, OnFrame&& onFrame);

    // After a seek: the next marker starts the first frame.
    void restartAtSeek() { markers_ = 0; }
    // After an end or a rewind: the data up to the next marker belongs to the first frame.
    void restartAtBeginning() {
        first_.clear();
        second_.clear();
        markers_ = 1;
    }
    void clear() {
        first_.clear();
        second_.clear();
        markers_ = 0;
    }
    int markerCount() const { return markers_; }
    // A capture without markers would grow a frame without limit: each echo store holds at most
    // kMaxFramePoints (the live receiver's bound); the points beyond are dropped and counted.
    void setMaxFramePoints(std::size_t points) { maxPoints_ = points; }
    std::uint64_t droppedPoints() const { return dropped_; }
    std::size_t pendingPoints() const { return first_.size() + second_.size(); }

private:
    int markers_ = 0;
    std::size_t maxPoints_ = kMaxFramePoints;
    std::uint64_t dropped_ = 0;
    MuchLidarData first_;
    MuchLidarData second_;
};

template <class OnFrame, class EchoSelection>
void ReplayAssembler::feed(const std::uint8_t* packet, EchoSelection&& echoSelection, OnFrame&& onFrame) {
    using namespace datapkt;
    const bool dualLayout = isDualEcho(packet);
    const std::size_t recordBytes = dualLayout ? dual::kRecordBytes : single::kRecordBytes;
    const std::size_t records = dualLayout ? dual::kRecordCount : single::kRecordCount;
    for (std::size_t i = 0; i < records; ++i) {
        const std::uint8_t* r = packet + i * recordBytes;
        if (isMarker(r)) {
            ++markers_;
            if (markers_ == 1) {
                // Both stores, whatever this packet's layout: second echoes gathered before a
                // single-echo stretch must not reach a later dual-echo frame.
                first_.clear();
                second_.clear();
            }
        }
        if (markers_ < kMarkersPerFrame && carriesPoint(r) && first_.size() >= maxPoints_) {
            dropped_ += dualLayout ? 2 : 1;
        } else if (markers_ < kMarkersPerFrame && carriesPoint(r)) {
            if (dualLayout) {
                const DualEcho e = decodeDual(r);
                first_.append(e.line, e.azimuthDeg, e.distance1Cm, e.intensity1);
                second_.append(e.line, e.azimuthDeg, e.distance2Cm, e.intensity2);
            } else {
                const SingleEcho e = decodeSingle(r);
                first_.append(e.line, e.azimuthDeg, e.distanceCm, e.intensity);
            }
        }
        if (markers_ < kMarkersPerFrame) continue;

        const std::size_t capacity = first_.size() + second_.size();
        if (!dualLayout) {
            onFrame(std::move(first_));
        } else {
            switch (echoSelection()) {
            case kDualEchoBoth:
                first_.appendAll(second_);
                onFrame(std::move(first_));
                break;
            case kFirstEcho: onFrame(std::move(first_)); break;
            case kSecondEcho: onFrame(std::move(second_)); break;
            default: break;  // an unknown selection shows nothing
            }
        }
        second_ = MuchLidarData();  // at every close, in both layouts
        first_ = MuchLidarData();
        first_.reserve(capacity);
        markers_ = 1;
    }
}

}  // namespace kv
