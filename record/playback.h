// Playback values of the capture and PCD replays: the orders a replay thread polls, the
// pacing between frames and the speed cycles of the seek buttons.
#pragma once

#include <atomic>

namespace kv {

// The orders a replay thread polls at packet and frame boundaries: each replay has its own.
// The window writes them only through applyOrders (replay_control.h); the thread resets
// replayRewind and replayStep itself at the ends it reports.
struct ReplayOrders {
    std::atomic<int> replayRewind{0};           // 1: rewind to the first frame, show it and wait
    std::atomic<int> replayStep{1};             // +1 forward, -1 backward
    std::atomic<int> replaySpeed{0};            // pacing index 0-4
    std::atomic<int> replayPauseAfterFrame{0};  // 1: wait at the gate after the next frame
};

// Milliseconds slept after every emitted frame for a pacing index: 0 -> 80 (plain), 1 -> 40
// (2x), 2 -> 25 (3x), 3 -> 100 (0.5x), anything else -> 110 (0.25x).
int pacingMs(int speed);

// One step of a seek button's speed cycle: the icon to show, the pacing index to set and the
// state that follows. States run 1-5.
struct SpeedStep {
    const char* icon;  // file name under ./Resources/images/
    int speed;
    int next;
};
// Forward: 1 -> 2x, 2 -> 3x, 3 -> 0.5x, 4 -> 0.25x, 5 -> plain.
SpeedStep forwardSpeedStep(int state);
// Backward: 1 -> plain, 2 -> 2x, 3 -> 3x, 4 -> 0.5x, 5 -> 0.25x (then back to 1).
SpeedStep backwardSpeedStep(int state);

}  // namespace kv
