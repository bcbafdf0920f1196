#include "replay_control.h"

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

constexpr int OrderValues::*kRewind = &OrderValues::replayRewind;
constexpr int OrderValues::*kStep = &OrderValues::replayStep;
constexpr int OrderValues::*kSpeed = &OrderValues::replaySpeed;
constexpr int OrderValues::*kPauseAfterFrame = &OrderValues::replayPauseAfterFrame;
}  // namespace

bool ReplayControl::paused(ReplayKind kind) const { return of(kind).state != ReplayState::kPlaying; }

ReplayEffects ReplayControl::opened(ReplayKind kind, int range, bool hasData) {
    ReplayEffects e = effectsFor(kind);
    Replay& r = of(kind);
    const bool repeat = r.repeat;
    const OrderValues orders = r.orders;
    r = Replay();
    r.repeat = repeat;
    r.orders = orders;
    r.state = ReplayState::kLoaded;
    r.range = range;
    r.hasData = hasData;
    active_ = kind;
    e.playIcon = kPlay;
    e.play = Enable::On;
    e.seeks = Enable::Off;
    e.otherPlay = Enable::Off;
    e.showCounter = true;
    // A seek made for the previous file does not apply to this one.
    e.dropPendingSeek = true;
    return e;
}

// ---- Capture replay ----

ReplayEffects ReplayControl::captureOpened(int frames, bool hasPackets) {
    ReplayEffects e = opened(ReplayKind::Capture, frames, hasPackets);
    e.lidar = Enable::Off;
    e.close = Enable::On;
    return e;
}

ReplayEffects ReplayControl::captureClosed() {
    ReplayEffects e = effectsFor(ReplayKind::Capture);
    capture_.state = ReplayState::kNotLoaded;
    capture_.range = 0;
    capture_.counter = 0;
    capture_.hasData = false;
    e.stopThread = true;
    e.dropPendingSeek = true;
    e.playIcon = kPlay;
    e.forwardIcon = kForward;
    e.backwardIcon = kBackward;
    e.play = Enable::Off;
    e.seeks = Enable::Off;
    e.close = Enable::Off;
    e.open = Enable::On;
    e.lidar = Enable::On;
    if (pcd_.state != ReplayState::kNotLoaded) {
        e.otherPlay = Enable::On;
        active_ = ReplayKind::Pcd;
    }
    e.showCounter = true;
    return e;
}

// Play/pause of either replay: a pause closes the gate (waiting for the packet in hand; a
// thread waiting at an end it has just reported stays where it is); Play lets a waiting thread
// go on, or starts one where none runs (`fresh`).
ReplayEffects ReplayControl::playPause(ReplayKind kind, bool fresh) {
    ReplayEffects e = effectsFor(kind);
    Replay& r = of(kind);
    if (r.state == ReplayState::kNotLoaded) return e;
    active_ = kind;
    e.seeks = Enable::On;
    e.otherPlay = Enable::Off;
    e.open = Enable::Off;
    if (kind == ReplayKind::Pcd) e.lidar = Enable::Off;
    if (r.state == ReplayState::kPlaying) {
        e.playIcon = kPlay;
        r.state = ReplayState::kPaused;
        e.closeGate = true;
        return e;
    }
    e.playIcon = kPause;
    order(e, r, kRewind, 0);
    order(e, r, kPauseAfterFrame, 0);
    if (fresh) {
        order(e, r, kStep, 1);
        r.forward = true;
        r.forwardSpeedState = r.backwardSpeedState = 1;
        e.startThread = true;
    } else {
        e.openGate = true;
    }
    r.state = ReplayState::kPlaying;
    return e;
}

// The capture's thread may have ended (an empty capture ends at once, an unreadable one on
// its failure): then Play starts one.
ReplayEffects ReplayControl::capturePlayPause(bool threadRunning) {
    return playPause(ReplayKind::Capture, capture_.state == ReplayState::kLoaded || !threadRunning);
}

ReplayEffects ReplayControl::captureGoToStart() {
    ReplayEffects e = effectsFor(ReplayKind::Capture);
    Replay& r = capture_;
    if (r.state == ReplayState::kNotLoaded || r.state == ReplayState::kLoaded) return e;
    r.counter = 0;  // until the first frame is shown again
    e.showCounter = true;
    e.playIcon = kPlay;
    order(e, r, kRewind, 1);
    if (paused(ReplayKind::Capture)) e.openGate = true;
    if (r.state == ReplayState::kPlaying) r.state = ReplayState::kPaused;
    r.repeat = false;
    e.uncheckRepeat = true;
    return e;
}

// A run that has reached its end, in either replay: paused on its last frame, normal speed,
// the thread's controls off and the way back to the receivers and the other file open.
void ReplayControl::endOfRun(ReplayEffects& e, Replay& r) {
    r.state = ReplayState::kFinished;
    r.forward = true;
    r.orders.replayStep = 1;  // the thread's own reset at an end
    r.orders.replayRewind = 0;
    order(e, r, kSpeed, 0);
    e.seeks = Enable::Off;
    e.playIcon = kPlay;
    e.forwardIcon = kForward;
    e.backwardIcon = kBackward;
    e.showCounter = true;  // still the last frame's number: that frame stays on screen
    e.open = Enable::On;
    e.lidar = Enable::On;
}

ReplayEffects ReplayControl::captureFinished(bool finished) {
    ReplayEffects e = effectsFor(ReplayKind::Capture);
    Replay& r = capture_;
    // A replay thread that has not been started for the loaded capture has nothing to report:
    // this is the last word of a thread stopped when another capture was opened or closed.
    if (r.state == ReplayState::kNotLoaded || r.state == ReplayState::kLoaded) return e;
    if (finished) endOfRun(e, r);
    // Looping an empty capture would restart the thread forever, and one that could not be
    // read would fail again at once.
    e.playAgain = r.repeat && r.hasData && !r.readFailed;
    if (r.readFailed) {
        r.readFailed = false;
        r.state = ReplayState::kLoaded;  // its thread has ended: the next Play starts one
    }
    return e;
}

ReplayEffects ReplayControl::captureReadFailed() {
    capture_.readFailed = true;
    return effectsFor(ReplayKind::Capture);
}

ReplayEffects ReplayControl::captureShowAgain() {
    if (capture_.state != ReplayState::kPaused || capture_.counter < 1) return effectsFor(ReplayKind::Capture);
    return showAt(ReplayKind::Capture, capture_.counter);
}

// ---- PCD replay ----

ReplayEffects ReplayControl::pcdOpened(int fileCount, bool hasClouds) { return opened(ReplayKind::Pcd, fileCount, hasClouds); }

// The PCD thread ends with each run: after an end (or before the first) Play starts one.
ReplayEffects ReplayControl::pcdPlayPause() { return playPause(ReplayKind::Pcd, pcd_.state != ReplayState::kPaused); }

ReplayEffects ReplayControl::pcdStop() {
    ReplayEffects e = effectsFor(ReplayKind::Pcd);
    Replay& r = pcd_;
    r.repeat = false;
    e.uncheckRepeat = true;
    e.stopThread = true;
    if (r.state == ReplayState::kPaused) e.openGate = true;
    return e;
}

ReplayEffects ReplayControl::pcdFinished(bool finished) {
    ReplayEffects e = effectsFor(ReplayKind::Pcd);
    Replay& r = pcd_;
    // The last word of a thread stopped when another folder was opened.
    if (r.state == ReplayState::kNotLoaded || r.state == ReplayState::kLoaded) return e;
    if (finished) {
        endOfRun(e, r);
        e.play = Enable::On;
    }
    // A folder without a readable cloud ends at once: looping it would never stop.
    e.playAgain = r.repeat && r.hasData;
    return e;
}

// ---- Both ----

ReplayEffects ReplayControl::frameShown(ReplayKind kind, std::uint32_t number) {
    ReplayEffects e = effectsFor(kind);
    Replay& r = of(kind);
    // Live frames carry no number; a replay not started has no frame to count (what a thread
    // stopped for another file left in the queue).
    if (number == 0 || r.state == ReplayState::kNotLoaded || r.state == ReplayState::kLoaded) return e;
    r.counter = int(number);
    e.showCounter = true;
    return e;
}

ReplayEffects ReplayControl::stepOneFrame(ReplayKind kind, bool forward) {
    ReplayEffects e = effectsFor(kind);
    Replay& r = of(kind);
    r.forward = forward;
    e.forwardIcon = kForward;
    e.backwardIcon = kBackward;
    r.forwardSpeedState = r.backwardSpeedState = 1;
    order(e, r, kSpeed, 0);
    order(e, r, kStep, forward ? 1 : -1);
    order(e, r, kPauseAfterFrame, 1);
    e.openGate = true;
    return e;
}

ReplayEffects ReplayControl::seekForward(ReplayKind kind) {
    ReplayEffects e = effectsFor(kind);
    Replay& r = of(kind);
    if (r.state == ReplayState::kFinished) {
        e.forwardIcon = kForward;
        r.forwardSpeedState = 1;
        order(e, r, kSpeed, 0);
        return e;
    }
    if (!r.forwardEntered) {
        e.backwardIcon = kBackward;
        r.forwardSpeedState = r.backwardSpeedState = 1;
        order(e, r, kSpeed, 0);
        order(e, r, kStep, 1);
    }
    r.forwardEntered = true;
    r.forward = true;
    if (r.state == ReplayState::kPlaying) {
        const SpeedStep step = forwardSpeedStep(r.forwardSpeedState);
        e.forwardIcon = step.icon;
        order(e, r, kSpeed, step.speed);
        r.forwardSpeedState = step.next;
        order(e, r, kStep, 1);
        return e;
    }
    if (r.state == ReplayState::kPaused && r.counter < r.range) return stepOneFrame(kind, true);
    if (r.orders.replayPauseAfterFrame == 1) order(e, r, kPauseAfterFrame, 0);
    return e;
}

ReplayEffects ReplayControl::seekBackward(ReplayKind kind) {
    ReplayEffects e = effectsFor(kind);
    Replay& r = of(kind);
    if (r.counter == 0 || r.state == ReplayState::kFinished) {
        e.backwardIcon = kBackward;
        r.backwardSpeedState = 1;
        order(e, r, kSpeed, 0);
        return e;
    }
    if (r.forwardEntered) {
        e.forwardIcon = kForward;
        order(e, r, kStep, -1);
        r.forwardSpeedState = r.backwardSpeedState = 1;
        order(e, r, kSpeed, 0);
    }
    r.forwardEntered = false;
    r.forward = false;
    if (r.state == ReplayState::kPlaying) {
        const SpeedStep step = backwardSpeedStep(r.backwardSpeedState);
        e.backwardIcon = step.icon;
        order(e, r, kSpeed, step.speed);
        r.backwardSpeedState = step.next;
        order(e, r, kStep, -1);
        return e;
    }
    // From the first frame there is no frame before it to step to.
    if (r.state == ReplayState::kPaused && r.counter > 1) return stepOneFrame(kind, false);
    if (r.orders.replayPauseAfterFrame == 1) order(e, r, kPauseAfterFrame, 0);
    return e;
}

void ReplayControl::sliderMoved(ReplayKind kind, int) { of(kind).dragging = true; }

// Paused in a running replay: the thread goes to `frame` and shows it at once, then waits
// again, as after a single step forwards.
ReplayEffects ReplayControl::showAt(ReplayKind kind, int frame) {
    ReplayEffects e = effectsFor(kind);
    Replay& r = of(kind);
    e.seekTo = frame < 1 ? 1 : frame;
    r.forward = true;
    r.forwardSpeedState = r.backwardSpeedState = 1;
    e.forwardIcon = kForward;
    e.backwardIcon = kBackward;
    order(e, r, kStep, 1);
    order(e, r, kSpeed, 0);
    order(e, r, kPauseAfterFrame, 1);
    e.openGate = true;
    return e;
}

ReplayEffects ReplayControl::sliderReleased(ReplayKind kind, int sliderValue) {
    Replay& r = of(kind);
    active_ = kind;
    r.dragging = false;
    r.counter = sliderValue < 0 ? 0 : sliderValue;
    ReplayEffects e = r.state == ReplayState::kPaused ? showAt(kind, sliderValue) : effectsFor(kind);
    // Elsewhere the seek waits for the thread: at its next packet while playing, at Play after
    // an end or before a first start. Frames are numbered from 1: position 0, before the first
    // frame, goes to the first.
    e.seekTo = sliderValue < 1 ? 1 : sliderValue;
    e.showCounter = true;
    return e;
}

}  // namespace kv
