#include "replay_control.h"

#include "playback.h"

namespace kv {

namespace {
constexpr const char* kPlay = "Play.png";
constexpr const char* kPause = "Pause.png";
constexpr const char* kForward = "Seekforward.png";
constexpr const char* kBackward = "Seekbackward.png";

ReplayEffects effectsFor(ReplayKind kind) {
    ReplayEffects e;
    e.kind = kind;
    return e;
}
}  // namespace

// ---- Capture replay ----

ReplayEffects ReplayControl::captureOpened(int frameRange, bool hasPackets) {
    ReplayEffects e = effectsFor(ReplayKind::Capture);
    captureRange_ = frameRange;
    captureHasPackets_ = hasPackets;
    e.playIcon = kPlay;
    paused_ = true;
    e.otherPlay = Enable::Off;
    e.seeks = Enable::Off;
    e.lidar = Enable::Off;
    e.play = Enable::On;
    frameCounter_ = 0;
    e.showCounter = true;
    // A seek made for the previous capture does not apply to this one.
    e.dropPendingSeek = true;
    captureReadFailed_ = false;
    return e;
}

ReplayEffects ReplayControl::capturePlayPause(bool threadRunning) {
    ReplayEffects e = effectsFor(ReplayKind::Capture);
    e.seeks = Enable::On;
    e.otherPlay = Enable::Off;
    e.open = Enable::Off;
    offlineInUse_ = true;

    if (paused_) {
        e.playIcon = kPause;
        playing_ = true;
        paused_ = false;
        replayActive_ = true;
        replayRewind = 0;
        replayPauseAfterFrame = 0;
        // The thread may have ended (an empty capture ends at once): then this is a first start.
        if (startCounter_ == 1 || !threadRunning) {
            startCounter_ = 1;
            replayStep = 1;
            forwardFlag_ = true;
            backwardFlag_ = false;
            e.startThread = true;
            forwardSpeedState_ = backwardSpeedState_ = 1;
            finished_ = false;
        } else {
            e.openGate = true;
            finished_ = false;
        }
        ++startCounter_;
    } else {
        e.playIcon = kPlay;
        paused_ = true;
        replayActive_ = true;
        // Closing the gate waits for the packet in hand; a thread waiting at an end it has
        // just reported stays paused where it is.
        if (startCounter_ > 1) e.closeGate = true;
    }
    return e;
}

ReplayEffects ReplayControl::captureGoToStart() {
    ReplayEffects e = effectsFor(ReplayKind::Capture);
    frameCounter_ = 0;
    e.showCounter = true;
    e.playIcon = kPlay;
    replayRewind = 1;
    if (paused_) e.openGate = true;
    paused_ = true;
    repeat_ = false;
    e.uncheckRepeat = true;
    return e;
}

// A run that has reached its end, in either replay: paused at frame 0, normal speed, the
// thread's controls off and the way back to the receivers and the other file open.
void ReplayControl::endOfRun(ReplayEffects& e) {
    finished_ = true;
    paused_ = true;
    forwardFlag_ = true;
    backwardFlag_ = false;
    replaySpeed = 0;
    e.seeks = Enable::Off;
    e.playIcon = kPlay;
    e.forwardIcon = kForward;
    e.backwardIcon = kBackward;
    e.showCounter = true;  // still the last frame's number: that frame stays on screen
    e.open = Enable::On;
    e.lidar = Enable::On;
    offlineInUse_ = false;
    playing_ = false;
    replayActive_ = false;
}

ReplayEffects ReplayControl::captureFinished(bool finished) {
    ReplayEffects e = effectsFor(ReplayKind::Capture);
    // A replay thread that has not been started for the loaded capture has nothing to report:
    // this is the last word of a thread stopped when another capture was opened.
    if (startCounter_ == 1) return e;
    if (finished) endOfRun(e);
    // Looping an empty capture would restart the thread forever, and one that could not be
    // read would fail again at once: its thread has ended.
    e.playAgain = repeat_ && captureHasPackets_ && !captureReadFailed_;
    if (captureReadFailed_) {
        captureReadFailed_ = false;
        startCounter_ = 1;  // the next Play starts a thread afresh
    }
    return e;
}

ReplayEffects ReplayControl::captureReadFailed() {
    captureReadFailed_ = true;
    return effectsFor(ReplayKind::Capture);
}

// The counter rule, for both replays: the counter names the frame on screen, by its number in
// the capture or folder (from 1); 0 until a replay has shown its first frame. Every frame
// carries its number, so play, single steps, seeks (paused or not), go-to-start, the end
// button and looping all agree with the index by construction.
ReplayEffects ReplayControl::frameShown(ReplayKind kind, std::uint32_t number) {
    ReplayEffects e = effectsFor(kind);
    // Live frames carry no number; a capture not started yet has no frame to count (what a
    // thread stopped for another file left in the queue).
    if (number == 0 || (kind == ReplayKind::Capture && startCounter_ == 1)) return e;
    frameCounter_ = int(number);
    e.showCounter = true;
    return e;
}

// ---- PCD replay ----

ReplayEffects ReplayControl::pcdOpened(int fileCount, bool hasClouds) {
    ReplayEffects e = effectsFor(ReplayKind::Pcd);
    pcdFiles_ = fileCount;
    pcdHasClouds_ = hasClouds;
    frameCounter_ = 0;
    e.showCounter = true;
    e.otherPlay = Enable::Off;
    e.seeks = Enable::Off;
    e.play = Enable::On;
    startCounter_ = 2;
    paused_ = true;
    e.dropPendingSeek = true;
    return e;
}

ReplayEffects ReplayControl::pcdPlayPause() {
    ReplayEffects e = effectsFor(ReplayKind::Pcd);
    e.open = Enable::Off;
    offlineInUse_ = true;
    if (paused_) {
        e.playIcon = kPause;
        paused_ = false;
        replayActive_ = true;
        replayRewind = 0;
        replayPauseAfterFrame = 0;
        if (startCounter_ == 2) {
            forwardFlag_ = true;
            backwardFlag_ = false;
            forwardSpeedState_ = backwardSpeedState_ = 1;
            replayStep = 1;
            e.startThread = true;  // clears the stop flag first
            finished_ = false;
        } else if (startCounter_ > 2) {
            e.openGate = true;
        }
        ++startCounter_;
    } else {
        e.playIcon = kPlay;
        paused_ = true;
        replayActive_ = true;
        if (startCounter_ > 2) e.closeGate = true;
    }
    e.lidar = Enable::Off;
    e.otherPlay = Enable::Off;
    playing_ = true;
    replayActive_ = true;
    e.seeks = Enable::On;
    return e;
}

ReplayEffects ReplayControl::pcdStop() {
    ReplayEffects e = effectsFor(ReplayKind::Pcd);
    repeatPcd_ = false;
    e.uncheckRepeat = true;
    replayRewind = 1;  // read only by the capture replay, whose Play clears it
    e.stopThread = true;
    if (paused_) e.openGate = true;
    paused_ = true;
    return e;
}

ReplayEffects ReplayControl::pcdFinished(bool finished) {
    ReplayEffects e = effectsFor(ReplayKind::Pcd);
    if (finished) {
        startCounter_ = 2;
        e.play = Enable::On;
        endOfRun(e);
    }
    // A directory without a readable cloud ends at once: looping it would never stop.
    e.playAgain = repeatPcd_ && pcdHasClouds_;
    return e;
}

// ---- Both ----

ReplayEffects ReplayControl::stepOneFrame(ReplayKind kind, bool forward) {
    ReplayEffects e = effectsFor(kind);
    replayActive_ = true;
    forwardFlag_ = forward;
    backwardFlag_ = !forward;
    e.forwardIcon = kForward;
    e.backwardIcon = kBackward;
    forwardSpeedState_ = backwardSpeedState_ = 1;
    replaySpeed = 0;
    replayStep = forward ? 1 : -1;
    replayPauseAfterFrame = 1;
    e.openGate = true;
    return e;
}

ReplayEffects ReplayControl::seekForward(ReplayKind kind) {
    ReplayEffects e = effectsFor(kind);
    if (finished_) {
        e.forwardIcon = kForward;
        forwardSpeedState_ = 1;
        replaySpeed = 0;
        return e;
    }
    if (!forwardEntered_) {
        e.backwardIcon = kBackward;
        forwardSpeedState_ = backwardSpeedState_ = 1;
        replaySpeed = 0;
        replayStep = 1;
    }
    forwardEntered_ = true;
    forwardFlag_ = true;
    if (!paused_) {
        const SpeedStep step = forwardSpeedStep(forwardSpeedState_);
        e.forwardIcon = step.icon;
        replaySpeed = step.speed;
        forwardSpeedState_ = step.next;
        replayStep = 1;
        backwardFlag_ = false;
        return e;
    }
    if (frameCounter_ < forwardStepLimit(kind) && !finished_) {
        ReplayEffects step = stepOneFrame(kind, true);
        return step;
    }
    if (replayPauseAfterFrame == 1) replayPauseAfterFrame = 0;
    return e;
}

ReplayEffects ReplayControl::seekBackward(ReplayKind kind) {
    ReplayEffects e = effectsFor(kind);
    if (frameCounter_ == 0 || finished_) {
        e.backwardIcon = kBackward;
        backwardSpeedState_ = 1;
        replaySpeed = 0;
        return e;
    }
    if (forwardEntered_) {
        e.forwardIcon = kForward;
        replayStep = -1;
        forwardFlag_ = false;
        forwardSpeedState_ = backwardSpeedState_ = 1;
        replaySpeed = 0;
    }
    forwardEntered_ = false;
    backwardFlag_ = true;
    if (!paused_) {
        const SpeedStep step = backwardSpeedStep(backwardSpeedState_);
        e.backwardIcon = step.icon;
        replaySpeed = step.speed;
        backwardSpeedState_ = step.next;
        replayStep = -1;
        forwardFlag_ = false;
        return e;
    }
    // From the first frame there is no frame before it to step to.
    if (frameCounter_ > 1 && !finished_) return stepOneFrame(kind, false);
    if (replayPauseAfterFrame == 1) replayPauseAfterFrame = 0;
    return e;
}

void ReplayControl::sliderMoved(int sliderValue) {
    dragging_ = true;
    dragValue_ = sliderValue;
}

ReplayEffects ReplayControl::sliderReleased(ReplayKind kind, int sliderValue) {
    ReplayEffects e = effectsFor(kind);
    dragValue_ = sliderValue;
    frameCounter_ = dragValue_;
    dragging_ = false;
    e.showCounter = true;
    // Frames are numbered from 1: position 0, before the first frame, goes to the first.
    e.seekTo = dragValue_ < 1 ? 1 : dragValue_;
    const bool started = kind == ReplayKind::Capture ? startCounter_ > 1 : startCounter_ > 2;
    if (paused_ && started && !finished_) {
        // Paused in a running replay: the thread goes to the target and shows its frame at
        // once, then waits again, as after a single step forwards.
        forwardFlag_ = true;
        backwardFlag_ = false;
        replayStep = 1;
        replaySpeed = 0;
        forwardSpeedState_ = backwardSpeedState_ = 1;
        e.forwardIcon = kForward;
        e.backwardIcon = kBackward;
        replayPauseAfterFrame = 1;
        e.openGate = true;
    }
    return e;
}

}  // namespace kv
