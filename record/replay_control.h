// The replay controls of both replays (capture files and PCD directories): the state they
// share and what each button, the slider and the thread's end reports do to it. Every call
// updates the state and the shared playback values and returns what the window must show and
// what the replay thread must be told; the window applies that to the widgets of the replay
// in question. Pure: no widgets, no threads.
#pragma once

#include <cstdint>

namespace kv {

enum class ReplayKind { Capture, Pcd };

enum class Enable : signed char { Keep = -1, Off = 0, On = 1 };

struct ReplayEffects {
    ReplayKind kind = ReplayKind::Capture;
    // Icons (file names under ./Resources/images/); null leaves the icon as it is.
    const char* playIcon = nullptr;
    const char* forwardIcon = nullptr;
    const char* backwardIcon = nullptr;
    Enable play = Enable::Keep;       // this replay's play button
    Enable seeks = Enable::Keep;      // its seek and go-to buttons (capture: four, PCD: three)
    Enable otherPlay = Enable::Keep;  // the other replay's play button
    Enable open = Enable::Keep;       // this replay's open button
    Enable lidar = Enable::Keep;
    bool showCounter = false;         // show the frame counter on this replay's slider and display
    bool uncheckRepeat = false;       // uncheck this replay's looping box
    // Orders for this replay's thread, applied in this order after the widgets.
    bool dropPendingSeek = false;
    bool stopThread = false;   // raise the stop flag
    bool startThread = false;  // capture: the start routine of "Lidar"; PCD: start the thread
    bool openGate = false;
    bool closeGate = false;
    int seekTo = -1;           // a frame number, from 1 (capture: a frame of the index; PCD: a cloud)
    bool playAgain = false;    // looping: press play again, after everything else
};

class ReplayControl {
public:
    // ---- Capture replay ----
    // A capture was loaded: `frameRange` is M/4; `hasPackets` whether it holds any.
    ReplayEffects captureOpened(int frameRange, bool hasPackets);
    // Before loading another capture: a replay started for the old one is over.
    bool captureStarted() const { return startCounter_ > 1; }
    void captureClosed() { startCounter_ = 1; }
    // Play/pause; `threadRunning`: the replay thread runs (an ended thread is started afresh).
    ReplayEffects capturePlayPause(bool threadRunning);
    // Go to start and go to end: the thread rewinds to the first packet and waits there.
    ReplayEffects captureGoToStart();
    ReplayEffects captureSeekForward() { return seekForward(ReplayKind::Capture); }
    ReplayEffects captureSeekBackward() { return seekBackward(ReplayKind::Capture); }
    // The thread's end report (SendBool).
    ReplayEffects captureFinished(bool finished);
    // The capture could not be read on (it changed or shrank): its thread ends, and the end
    // report that follows does not loop.
    ReplayEffects captureReadFailed();

    // ---- PCD replay ----
    // A directory was listed: `fileCount` names (F), `hasClouds` whether any loaded.
    ReplayEffects pcdOpened(int fileCount, bool hasClouds);
    ReplayEffects pcdPlayPause();
    ReplayEffects pcdSeekForward() { return seekForward(ReplayKind::Pcd); }
    ReplayEffects pcdSeekBackward() { return seekBackward(ReplayKind::Pcd); }
    ReplayEffects pcdStop();
    ReplayEffects pcdFinished(bool finished);

    // ---- Both ----
    // A replayed frame of `kind` reached the window, with its number (from 1; 0: a live frame).
    ReplayEffects frameShown(ReplayKind kind, std::uint32_t number);
    void sliderMoved(int sliderValue);
    // Released at `sliderValue` (a press and release without a drag seeks too).
    ReplayEffects sliderReleased(ReplayKind kind, int sliderValue);
    void setRepeat(ReplayKind kind, bool on) { (kind == ReplayKind::Pcd ? repeatPcd_ : repeat_) = on; }

    // The shared state, for the window and for tests.
    bool offlineInUse() const { return offlineInUse_; }
    bool paused() const { return paused_; }
    bool playing() const { return playing_; }
    bool finished() const { return finished_; }
    bool replayActive() const { return replayActive_; }
    bool forwardFlag() const { return forwardFlag_; }
    bool backwardFlag() const { return backwardFlag_; }
    bool dragging() const { return dragging_; }
    bool repeat(ReplayKind kind) const { return kind == ReplayKind::Pcd ? repeatPcd_ : repeat_; }
    int startCounter() const { return startCounter_; }
    int frameCounter() const { return frameCounter_; }
    int forwardSpeedState() const { return forwardSpeedState_; }
    int backwardSpeedState() const { return backwardSpeedState_; }
    int captureRange() const { return captureRange_; }
    int pcdFileCount() const { return pcdFiles_; }

private:
    void endOfRun(ReplayEffects& e);
    ReplayEffects seekForward(ReplayKind kind);
    ReplayEffects seekBackward(ReplayKind kind);
    ReplayEffects stepOneFrame(ReplayKind kind, bool forward);
    // The frame counter's upper bound for a forward single step.
    int forwardStepLimit(ReplayKind kind) const { return kind == ReplayKind::Pcd ? pcdFiles_ : captureRange_; }

    bool offlineInUse_ = false;
    bool repeat_ = false;
    bool repeatPcd_ = false;
    bool paused_ = false;
    bool playing_ = false;
    int startCounter_ = 1;  // capture: 1 not started; PCD: 2 loaded, thread not started
    bool finished_ = false;
    bool forwardFlag_ = true;
    bool backwardFlag_ = false;
    int forwardSpeedState_ = 1;
    int backwardSpeedState_ = 1;
    bool forwardEntered_ = false;
    bool replayActive_ = false;
    int frameCounter_ = 0;
    bool dragging_ = false;
    int dragValue_ = 0;
    bool captureReadFailed_ = false;  // the capture's thread ended on a read failure

    int captureRange_ = 0;
    bool captureHasPackets_ = false;
    int pcdFiles_ = 0;
    bool pcdHasClouds_ = false;
};

}  // namespace kv
