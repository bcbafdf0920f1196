// The replay controls of both replays (capture files and PCD folders). Each replay is one
// explicit state (not loaded, loaded, playing, paused, finished) with its frame counter, its
// seek buttons' speed cycles, its looping box and its slider; what each button, the slider and
// the thread's reports do to it is decided here, and returned as ReplayEffects: what the window
// shows on that replay's widgets and what that replay's thread is told (applyOrders). Pure: no
// widgets, no threads; the orders a thread polls are written only through applyOrders.
//
// The counter rule, for both replays: the counter names the frame on screen by its number in
// the capture or folder (from 1); 0 until a replay has shown its first frame. Every frame a
// thread hands over carries its number, so play, single steps, seeks (paused or not), go to
// start, the end button and looping agree with the capture index by construction.
#pragma once

#include <atomic>
#include <climits>
#include <cstdint>

#include "playback.h"
#include "replay_gate.h"

namespace kv {

enum class ReplayKind { Capture, Pcd };

enum class ReplayState {
    kNotLoaded,  // no file
    kLoaded,     // a file, its thread not started (or ended): Play starts one
    kPlaying,
    kPaused,     // paused by the window, the thread waits at its gate
    kFinished,   // an end was reached (or a rewind reported): the thread waits for Play
};

enum class Enable : signed char { Keep = -1, Off = 0, On = 1 };

// New values for a replay's orders; kKeep leaves one as it is.
struct OrderValues {
    static constexpr int kKeep = INT_MIN;
    int replayRewind = kKeep;
    int replayStep = kKeep;
    int replaySpeed = kKeep;
    int replayPauseAfterFrame = kKeep;
};

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
    Enable close = Enable::Keep;      // this replay's close button (capture only)
    Enable lidar = Enable::Keep;
    bool showCounter = false;         // show the frame counter on this replay's slider and display
    bool uncheckRepeat = false;       // uncheck this replay's looping box
    // Orders for this replay's thread, carried out by applyOrders in this order.
    bool dropPendingSeek = false;
    OrderValues orders;
    bool stopThread = false;   // raise the stop flag
    bool startThread = false;  // capture: the start routine of "Lidar"; PCD: start the thread
    int seekTo = -1;           // a frame number, from 1 (capture: of the index; PCD: a cloud); -1 none
    bool openGate = false;
    bool closeGate = false;
    bool playAgain = false;    // looping: press play again, after everything else
};

// What a replay thread takes its orders through: the orders it polls, its pause gate, its stop
// flag and its pending seek. One per replay thread.
struct ReplayChannel {
    ReplayOrders orders;
    ReplayGate gate;
    std::atomic<bool> stopRequested{false};
    std::atomic<int> seekTarget{0};
    std::atomic<bool> seekPending{false};
    void requestSeek(int target) {
        seekTarget = target;
        seekPending = true;
    }
};

// Carries out a control's orders on a replay's channel, the same way for both replays: drop a
// pending seek, set the orders, raise the stop flag, start the thread (`startThread`, the
// caller's), seek, then open or close the gate, so that a thread let through sees the seek.
template <class StartThread>
void applyOrders(const ReplayEffects& e, ReplayChannel& c, StartThread&& startThread) {
    if (e.dropPendingSeek) c.seekPending = false;
    const OrderValues& o = e.orders;
    if (o.replayRewind != OrderValues::kKeep) c.orders.replayRewind = o.replayRewind;
    if (o.replayStep != OrderValues::kKeep) c.orders.replayStep = o.replayStep;
    if (o.replaySpeed != OrderValues::kKeep) c.orders.replaySpeed = o.replaySpeed;
    if (o.replayPauseAfterFrame != OrderValues::kKeep) c.orders.replayPauseAfterFrame = o.replayPauseAfterFrame;
    if (e.stopThread) c.stopRequested = true;
    if (e.startThread) startThread();
    if (e.seekTo >= 0) c.requestSeek(e.seekTo);
    if (e.openGate) c.gate.open();
    if (e.closeGate) c.gate.close();
}

class ReplayControl {
public:
    // ---- Capture replay ----
    // A capture was loaded: `frames` whole frames; `hasPackets` whether it holds any.
    ReplayEffects captureOpened(int frames, bool hasPackets);
    // The capture was closed: its thread is told to stop; the buttons go back to no file.
    ReplayEffects captureClosed();
    // Play/pause; `threadRunning`: the replay thread runs (an ended thread is started afresh).
    ReplayEffects capturePlayPause(bool threadRunning);
    // Go to start and the end button: the thread rewinds, shows the first frame and waits.
    ReplayEffects captureGoToStart();
    ReplayEffects captureSeekForward() { return seekForward(ReplayKind::Capture); }
    ReplayEffects captureSeekBackward() { return seekBackward(ReplayKind::Capture); }
    // The thread's end report (SendBool).
    ReplayEffects captureFinished(bool finished);
    // The capture could not be read on (it changed or shrank): its thread ends, and the end
    // report that follows does not loop.
    ReplayEffects captureReadFailed();

    // ---- PCD replay ----
    // A folder was listed: `fileCount` names (F), `hasClouds` whether any loaded.
    ReplayEffects pcdOpened(int fileCount, bool hasClouds);
    ReplayEffects pcdPlayPause();
    ReplayEffects pcdSeekForward() { return seekForward(ReplayKind::Pcd); }
    ReplayEffects pcdSeekBackward() { return seekBackward(ReplayKind::Pcd); }
    ReplayEffects pcdStop();
    ReplayEffects pcdFinished(bool finished);

    // ---- Both ----
    // A replayed frame of `kind` reached the window, with its number (from 1; 0: a live frame).
    ReplayEffects frameShown(ReplayKind kind, std::uint32_t number);
    void sliderMoved(ReplayKind kind, int sliderValue);
    // The slider released at `sliderValue`, a click on its track, or a number typed into the
    // frame box: a seek there.
    ReplayEffects sliderReleased(ReplayKind kind, int sliderValue);
    void setRepeat(ReplayKind kind, bool on) { of(kind).repeat = on; }
    // Seeks to the frame on screen again (the echo selection changed while paused): the thread
    // cuts it again and shows it at once. Nothing when no frame of a paused capture is shown.
    ReplayEffects captureShowAgain();

    ReplayState state(ReplayKind kind) const { return of(kind).state; }
    // A replay has been started and has not finished: the other replay's Open is refused.
    bool offlineInUse() const { return inUse(capture_) || inUse(pcd_); }
    // The replay last opened or played, which the accessors below without a kind describe.
    ReplayKind active() const { return active_; }
    bool paused() const { return paused(active_); }
    bool paused(ReplayKind kind) const;  // not playing: Play starts or resumes it
    bool playing() const { return of(active_).state == ReplayState::kPlaying || of(active_).state == ReplayState::kPaused; }
    bool finished() const { return of(active_).state == ReplayState::kFinished; }
    bool replayActive() const { return playing(); }
    bool forwardFlag() const { return of(active_).forward; }
    bool backwardFlag() const { return !of(active_).forward; }
    bool dragging(ReplayKind kind) const { return of(kind).dragging; }
    bool repeat(ReplayKind kind) const { return of(kind).repeat; }
    int frameCounter() const { return of(active_).counter; }
    int frameCounter(ReplayKind kind) const { return of(kind).counter; }
    int forwardSpeedState() const { return of(active_).forwardSpeedState; }
    int backwardSpeedState() const { return of(active_).backwardSpeedState; }
    int captureRange() const { return capture_.range; }
    int pcdFileCount() const { return pcd_.range; }
    // The orders the control has given `kind`'s thread (as applyOrders set them).
    const OrderValues& orders(ReplayKind kind) const { return of(kind).orders; }

private:
    struct Replay {
        ReplayState state = ReplayState::kNotLoaded;
        int range = 0;          // capture: whole frames; PCD: file names
        bool hasData = false;
        bool repeat = false;
        int counter = 0;
        bool forward = true;    // the direction frames come in
        bool forwardEntered = false;  // the forward seek button was the last used
        int forwardSpeedState = 1;
        int backwardSpeedState = 1;
        bool dragging = false;
        bool readFailed = false;  // capture: the thread ended on a read failure
        OrderValues orders{0, 1, 0, 0};  // as last given, the thread's resets included
    };
    Replay& of(ReplayKind kind) { return kind == ReplayKind::Pcd ? pcd_ : capture_; }
    const Replay& of(ReplayKind kind) const { return kind == ReplayKind::Pcd ? pcd_ : capture_; }
    static bool inUse(const Replay& r) { return r.state == ReplayState::kPlaying || r.state == ReplayState::kPaused; }
    // Sets an order both in the effects and in the replay's record of it.
    static void order(ReplayEffects& e, Replay& r, int OrderValues::*field, int value) {
        e.orders.*field = value;
        r.orders.*field = value;
    }
    ReplayEffects opened(ReplayKind kind, int range, bool hasData);
    ReplayEffects playPause(ReplayKind kind, bool fresh);
    void endOfRun(ReplayEffects& e, Replay& r);
    ReplayEffects seekForward(ReplayKind kind);
    ReplayEffects seekBackward(ReplayKind kind);
    ReplayEffects stepOneFrame(ReplayKind kind, bool forward);
    ReplayEffects showAt(ReplayKind kind, int frame);

    Replay capture_;
    Replay pcd_;
    ReplayKind active_ = ReplayKind::Capture;
};

}  // namespace kv
