// Cuts the live packet stream into frames of four marker periods.
//
// The marker counter starts at 0, so the first frame after a reset holds whatever came
// before the first marker plus four whole periods; later frames hold exactly four periods.
// Single-echo frames close at the marker that completes them, dual-echo frames at the first
// non-marker record after it. Pure: no sockets, no threads, no clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "much_lidar_data.h"

namespace kv {

enum EchoMode : int { kDualEchoBoth = 0, kFirstEcho = 1, kSecondEcho = 2 };

// The most points one echo store of a frame holds. The largest real frame, four marker periods
// at the slowest motor speed (600 rpm, 40 periods a second) of a 180-degree sweep at 0.01 degrees,
// holds 4 x 18,001 = 72,004 points; ten times that, rounded up, is the bound. A stream whose
// markers went missing fills a frame up to it; the points beyond are dropped and counted, and
// the next marker periods close the frame as usual.
constexpr std::size_t kMaxFramePoints = std::size_t(1) << 20;

class FrameAssembler {
public:
    static constexpr int kMarkersPerFrame = 5;  // the count at which a frame closes

    // productionMode keeps only one line per frame, drawn at random from 0-3 for each frame.
    // `maxFramePoints` bounds each echo store of the frame being assembled.
    explicit FrameAssembler(bool productionMode = false, unsigned seed = 0,
                            std::size_t maxFramePoints = kMaxFramePoints);

    // Feeds one whole 1206-byte data packet. `echoMode` decides how a dual-echo frame
    // closes (0 both echoes, 1 first, 2 second, other values drop the frame). Finished
    // frames are appended to `out` in stream order.
    void feed(const std::uint8_t* packet, int echoMode, std::vector<MuchLidarData>& out);

    // Drops the unfinished frame and starts over with the counter at 0.
    void reset();

    int markerCount() const { return markers_; }
    // Points dropped because a frame reached its bound, since construction.
    std::uint64_t droppedPoints() const { return dropped_; }
    // Points held by the frame being assembled (first and second echoes).
    std::size_t pendingPoints() const { return first_.size() + second_.size(); }
    int productionLine() const { return productionLine_; }
    bool productionMode() const { return productionMode_; }

private:
    template <bool Bounded>
    struct Visitor;
    void closeFrame(int echoMode, bool dualLayout, std::vector<MuchLidarData>& out);
    bool keepsLine(int line) const { return !productionMode_ || line == productionLine_; }
    void drawProductionLine();

    bool productionMode_;
    std::minstd_rand rng_;
    int productionLine_ = 0;
    int markers_ = 0;
    std::size_t maxPoints_;
    std::uint64_t dropped_ = 0;
    MuchLidarData first_;   // first echoes (and the single-echo points)
    MuchLidarData second_;  // second echoes
};

}  // namespace kv
