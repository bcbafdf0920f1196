#include "frame_assembler.h"

#include "data_packet.h"

namespace kv {

FrameAssembler::FrameAssembler(bool productionMode, unsigned seed, std::size_t maxFramePoints)
    : productionMode_(productionMode), rng_(seed == 0 ? 1u : seed), maxPoints_(maxFramePoints) {
    drawProductionLine();
}

void FrameAssembler::drawProductionLine() { productionLine_ = int(rng_() % 4u); }

void FrameAssembler::reset() {
    markers_ = 0;
    first_.clear();
    second_.clear();
    drawProductionLine();
}

void FrameAssembler::closeFrame(int echoMode, bool dualLayout, std::vector<MuchLidarData>& out) {
    const std::size_t capacity = first_.size() + second_.size();
    if (!dualLayout) {
        out.push_back(std::move(first_));
    } else {
        switch (echoMode) {
        case kDualEchoBoth:
            first_.appendAll(second_);
            out.push_back(std::move(first_));
            break;
        case kFirstEcho:
            out.push_back(std::move(first_));
            break;
        case kSecondEcho:
            out.push_back(std::move(second_));
            break;
        default:
            break;  // an unknown selection shows nothing
        }
    }
    first_ = MuchLidarData();
    second_ = MuchLidarData();
    first_.reserve(capacity);
    if (dualLayout) second_.reserve(capacity);
    markers_ = 1;
    drawProductionLine();
}

// Bounded: the frame may reach its bound within this packet, so every point is checked; the
// usual packet, far from the bound, walks without the check.
template <bool Bounded>
struct FrameAssembler::Visitor {
    FrameAssembler& a;
    int echoMode;
    std::vector<MuchLidarData>& out;
    bool dualLayout;

    // Single-echo records test the counter after every record, markers included; dual-echo
    // records skip the test on a marker, so the frame closes on the record after it.
    void marker() {
        ++a.markers_;
        if (!dualLayout && a.markers_ >= kMarkersPerFrame) a.closeFrame(echoMode, false, out);
    }
    void boundary() {
        if (a.markers_ >= kMarkersPerFrame) a.closeFrame(echoMode, dualLayout, out);
    }
    void noPoint() { boundary(); }
    void single(const datapkt::SingleEcho& e) {
        boundary();
        if (!a.keepsLine(e.line)) return;
        if (Bounded && a.first_.size() >= a.maxPoints_) {
            ++a.dropped_;
            return;
        }
        a.first_.append(e.line, e.azimuthDeg, e.distanceCm, e.intensity);
    }
    void dual(const datapkt::DualEcho& e) {
        boundary();
        if (!a.keepsLine(e.line)) return;
        if (Bounded && a.first_.size() >= a.maxPoints_) {  // both stores grow together
            a.dropped_ += 2;
            return;
        }
        a.first_.append(e.line, e.azimuthDeg, e.distance1Cm, e.intensity1);
        a.second_.append(e.line, e.azimuthDeg, e.distance2Cm, e.intensity2);
    }
};

void FrameAssembler::feed(const std::uint8_t* packet, int echoMode, std::vector<MuchLidarData>& out) {
    const bool dualLayout = datapkt::isDualEcho(packet);
    // A frame only shrinks at a boundary, so one look before the packet covers all its records.
    const std::size_t records = dualLayout ? datapkt::dual::kRecordCount : datapkt::single::kRecordCount;
    if (first_.size() + records < maxPoints_) {
        Visitor<false> v{*this, echoMode, out, dualLayout};
        datapkt::forEachRecord(packet, v);
    } else {
        Visitor<true> v{*this, echoMode, out, dualLayout};
        datapkt::forEachRecord(packet, v);
    }
}

}  // namespace kv
