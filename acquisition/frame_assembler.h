// Cuts the live packet stream into frames of four marker periods.
//
// The marker counter starts at 0, so the first frame after a reset holds whatever came
// before the first marker plus four whole periods; later frames hold exactly four periods.
// Single-echo frames close at the marker that completes them, dual-echo frames at the first
// non-marker record after it. Pure: no sockets, no threads, no clock.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "much_lidar_data.h"

namespace kv {

enum EchoMode : int { kDualEchoBoth = 0, kFirstEcho = 1, kSecondEcho = 2 };

class FrameAssembler {
public:
    static constexpr int kMarkersPerFrame = 5;  // the count at which a frame closes

    // productionMode keeps only one line per frame, drawn at random from 0-3 for each frame.
    explicit FrameAssembler(bool productionMode = false, unsigned seed = 0);

    // Feeds one whole 1206-byte data packet. `echoMode` decides how a dual-echo frame
    // closes (0 both echoes, 1 first, 2 second, other values drop the frame). Finished
    // frames are appended to `out` in stream order.
    void feed(const std::uint8_t* packet, int echoMode, std::vector<MuchLidarData>& out);

    // Drops the unfinished frame and starts over with the counter at 0.
    void reset();

    int markerCount() const { return markers_; }
    int productionLine() const { return productionLine_; }
    bool productionMode() const { return productionMode_; }

private:
    struct Visitor;
    void closeFrame(int echoMode, bool dualLayout, std::vector<MuchLidarData>& out);
    bool keepsLine(int line) const { return !productionMode_ || line == productionLine_; }
    void drawProductionLine();

    bool productionMode_;
    std::minstd_rand rng_;
    int productionLine_ = 0;
    int markers_ = 0;
    MuchLidarData first_;   // first echoes (and the single-echo points)
    MuchLidarData second_;  // second echoes
};

}  // namespace kv
