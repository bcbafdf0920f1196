// The replay controls shared by the capture and PCD replays, and the pause gate between the
// window and a replay thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "playback.h"
#include "replay_control.h"
#include "replay_gate.h"

using kv::Enable;
using kv::ReplayControl;
using kv::ReplayEffects;
using kv::ReplayKind;

namespace {

void resetPlayback() {
    replayRewind = 0;
    replayStep = 1;
    replaySpeed = 0;
    replayPauseAfterFrame = 0;
}

std::string icon(const char* s) { return s ? s : ""; }

// A control with a loaded replay of `kind` (capture range 20, or 20 PCD files), playing.
ReplayControl playing(ReplayKind kind) {
    resetPlayback();
    ReplayControl c;
    if (kind == ReplayKind::Capture) {
        c.captureOpened(20, true);
        c.capturePlayPause(false);
    } else {
        c.pcdOpened(20, true);
        c.pcdPlayPause();
    }
    return c;
}

ReplayEffects playPause(ReplayControl& c, ReplayKind kind, bool threadRunning = true) {
    return kind == ReplayKind::Capture ? c.capturePlayPause(threadRunning) : c.pcdPlayPause();
}
ReplayEffects seekForward(ReplayControl& c, ReplayKind kind) {
    return kind == ReplayKind::Capture ? c.captureSeekForward() : c.pcdSeekForward();
}
ReplayEffects seekBackward(ReplayControl& c, ReplayKind kind) {
    return kind == ReplayKind::Capture ? c.captureSeekBackward() : c.pcdSeekBackward();
}
// The thread hands over frame `number` (0: a live frame).
ReplayEffects frame(ReplayControl& c, ReplayKind kind, int number) { return c.frameShown(kind, std::uint32_t(number)); }
ReplayEffects finished(ReplayControl& c, ReplayKind kind) {
    return kind == ReplayKind::Capture ? c.captureFinished(true) : c.pcdFinished(true);
}

const ReplayKind kBoth[] = {ReplayKind::Capture, ReplayKind::Pcd};
const char* name(ReplayKind k) { return k == ReplayKind::Capture ? "capture" : "pcd"; }

}  // namespace

TEST(ReplayControl, OpeningLoadsPausedWithOnlyPlayEnabledAndNoPendingSeek) {
    for (ReplayKind k : kBoth) {
        SCOPED_TRACE(name(k));
        ReplayControl c;
        const ReplayEffects e = k == ReplayKind::Capture ? c.captureOpened(12, true) : c.pcdOpened(12, true);
        EXPECT_EQ(e.kind, k);
        EXPECT_TRUE(c.paused());
        EXPECT_EQ(c.frameCounter(), 0);
        EXPECT_TRUE(e.showCounter);
        EXPECT_EQ(e.play, Enable::On);
        EXPECT_EQ(e.seeks, Enable::Off);
        EXPECT_EQ(e.otherPlay, Enable::Off);
        EXPECT_TRUE(e.dropPendingSeek);
        EXPECT_EQ(c.startCounter(), k == ReplayKind::Capture ? 1 : 2);
        EXPECT_FALSE(c.offlineInUse());
    }
}

TEST(ReplayControl, PlayStartsThenPauseClosesAndResumeOpensTheGate) {
    for (ReplayKind k : kBoth) {
        SCOPED_TRACE(name(k));
        resetPlayback();
        replayStep = -1;
        replayRewind = 1;
        ReplayControl c;
        if (k == ReplayKind::Capture) c.captureOpened(20, true);
        else c.pcdOpened(20, true);
        ReplayEffects e = playPause(c, k, false);
        EXPECT_TRUE(e.startThread);
        EXPECT_FALSE(e.openGate || e.closeGate);
        EXPECT_STREQ(e.playIcon, "Pause.png");
        EXPECT_EQ(e.seeks, Enable::On);
        EXPECT_EQ(e.otherPlay, Enable::Off);
        EXPECT_EQ(e.open, Enable::Off);
        EXPECT_TRUE(c.offlineInUse() && c.playing() && c.replayActive() && !c.paused());
        EXPECT_EQ(replayStep.load(), 1);
        EXPECT_EQ(replayRewind.load(), 0);

        e = playPause(c, k);  // pause
        EXPECT_TRUE(e.closeGate);
        EXPECT_FALSE(e.startThread);
        EXPECT_STREQ(e.playIcon, "Play.png");
        EXPECT_TRUE(c.paused());

        e = playPause(c, k);  // resume
        EXPECT_TRUE(e.openGate);
        EXPECT_FALSE(e.startThread);
        EXPECT_FALSE(c.paused());
    }
}

TEST(ReplayControl, CaptureThreadThatEndedIsStartedAfreshOnPlay) {
    ReplayControl c = playing(ReplayKind::Capture);
    c.capturePlayPause(true);  // pause
    const ReplayEffects e = c.capturePlayPause(false);
    EXPECT_TRUE(e.startThread);
    EXPECT_FALSE(e.openGate);
}

TEST(ReplayControl, SpeedCyclesWhilePlayingInBothReplays) {
    const struct {
        const char* icon;
        int speed;
    } forward[] = {{"Seekforward_2x.png", 1}, {"Seekforward_3x.png", 2}, {"Seekforward_0.5x.png", 3},
                   {"Seekforward_0.25x.png", 4}, {"Seekforward.png", 0}};
    const struct {
        const char* icon;
        int speed;
    } backward[] = {{"Seekbackward.png", 0}, {"Seekbackward_2x.png", 1}, {"Seekbackward_3x.png", 2},
                    {"Seekbackward_0.5x.png", 3}, {"Seekbackward_0.25x.png", 4}};
    for (ReplayKind k : kBoth) {
        SCOPED_TRACE(name(k));
        ReplayControl c = playing(k);
        for (const auto& step : forward) {
            const ReplayEffects e = seekForward(c, k);
            EXPECT_EQ(e.kind, k);
            EXPECT_EQ(icon(e.forwardIcon), step.icon);
            EXPECT_EQ(replaySpeed.load(), step.speed);
            EXPECT_EQ(replayStep.load(), 1);
            EXPECT_FALSE(e.openGate);
        }
        for (int f = 1; f <= 5; ++f) frame(c, k, f);  // away from the first frame
        for (std::size_t i = 0; i < 5; ++i) {
            const ReplayEffects e = seekBackward(c, k);
            EXPECT_EQ(icon(e.backwardIcon), backward[i].icon);
            EXPECT_EQ(replaySpeed.load(), backward[i].speed);
            EXPECT_EQ(replayStep.load(), -1);
            EXPECT_FALSE(c.forwardFlag());
            EXPECT_TRUE(c.backwardFlag());
            // Switching from forward resets the forward icon once.
            EXPECT_EQ(icon(e.forwardIcon), i == 0 ? "Seekforward.png" : "");
        }
    }
}

TEST(ReplayControl, SingleStepsWhilePausedStopAtTheEnds) {
    struct Case {
        ReplayKind kind;
        int counter;
        bool forward;
        bool steps;
    };
    // Both: forward while below the last frame (20), backward from the second on; a seek to 0
    // shows the first frame.
    const Case cases[] = {
        {ReplayKind::Capture, 0, true, true},   {ReplayKind::Capture, 19, true, true},
        {ReplayKind::Capture, 20, true, false}, {ReplayKind::Capture, 0, false, false},
        {ReplayKind::Capture, 1, false, false}, {ReplayKind::Capture, 2, false, true},
        {ReplayKind::Pcd, 0, true, true},       {ReplayKind::Pcd, 19, true, true},
        {ReplayKind::Pcd, 20, true, false},     {ReplayKind::Pcd, 1, false, false},
        {ReplayKind::Pcd, 2, false, true},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(std::string(name(t.kind)) + " at " + std::to_string(t.counter) + (t.forward ? " forward" : " backward"));
        ReplayControl c = playing(t.kind);
        playPause(c, t.kind);  // pause
        EXPECT_TRUE(c.sliderReleased(t.kind, t.counter).openGate);  // shown while paused
        const int shown = std::max(t.counter, 1);
        frame(c, t.kind, shown);
        replayPauseAfterFrame = 1;  // left from an earlier step
        const ReplayEffects e = t.forward ? seekForward(c, t.kind) : seekBackward(c, t.kind);
        EXPECT_EQ(e.openGate, t.steps);
        // A refused step clears a pause-after-frame left over.
        EXPECT_EQ(replayPauseAfterFrame.load(), t.steps ? 1 : 0);
        if (t.steps) {
            EXPECT_EQ(replayStep.load(), t.forward ? 1 : -1);
            EXPECT_EQ(replaySpeed.load(), 0);
            EXPECT_STREQ(e.forwardIcon, "Seekforward.png");
            EXPECT_STREQ(e.backwardIcon, "Seekbackward.png");
            EXPECT_EQ(c.forwardFlag(), t.forward);
            EXPECT_EQ(c.backwardFlag(), !t.forward);
            frame(c, t.kind, shown + (t.forward ? 1 : -1));
            EXPECT_EQ(c.frameCounter(), shown + (t.forward ? 1 : -1));
        }
    }
}

TEST(ReplayControl, SeekButtonsAfterTheEndOnlyResetTheirIcon) {
    for (ReplayKind k : kBoth) {
        SCOPED_TRACE(name(k));
        ReplayControl c = playing(k);
        seekForward(c, k);
        finished(c, k);
        replaySpeed = 3;
        ReplayEffects e = seekForward(c, k);
        EXPECT_STREQ(e.forwardIcon, "Seekforward.png");
        EXPECT_EQ(replaySpeed.load(), 0);
        EXPECT_FALSE(e.openGate);
        replaySpeed = 3;
        e = seekBackward(c, k);
        EXPECT_STREQ(e.backwardIcon, "Seekbackward.png");
        EXPECT_EQ(e.forwardIcon, nullptr);
        EXPECT_EQ(replaySpeed.load(), 0);
        EXPECT_EQ(c.backwardSpeedState(), 1);
    }
}

TEST(ReplayControl, EndResetsTheWindowAndLoopsOnlyWithSomethingToPlay) {
    struct Case {
        ReplayKind kind;
        bool repeat;
        bool hasData;
        bool again;
    };
    const Case cases[] = {
        {ReplayKind::Capture, false, true, false}, {ReplayKind::Capture, true, true, true},
        {ReplayKind::Capture, true, false, false}, {ReplayKind::Pcd, false, true, false},
        {ReplayKind::Pcd, true, true, true},       {ReplayKind::Pcd, true, false, false},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(std::string(name(t.kind)) + (t.repeat ? " looping" : "") + (t.hasData ? "" : " empty"));
        resetPlayback();
        ReplayControl c;
        if (t.kind == ReplayKind::Capture) c.captureOpened(t.hasData ? 20 : 0, t.hasData);
        else c.pcdOpened(t.hasData ? 20 : 0, t.hasData);
        c.setRepeat(t.kind, t.repeat);
        playPause(c, t.kind, false);
        for (int f = 1; f <= 3; ++f) frame(c, t.kind, f);
        seekForward(c, t.kind);
        const ReplayEffects e = finished(c, t.kind);
        EXPECT_TRUE(c.finished() && c.paused());
        EXPECT_FALSE(c.playing() || c.replayActive() || c.offlineInUse());
        EXPECT_EQ(c.frameCounter(), 3) << "the last frame stays on screen, and so does its number";
        EXPECT_TRUE(e.showCounter);
        EXPECT_EQ(replaySpeed.load(), 0);
        EXPECT_EQ(e.seeks, Enable::Off);
        EXPECT_EQ(e.open, Enable::On);
        EXPECT_EQ(e.lidar, Enable::On);
        EXPECT_STREQ(e.playIcon, "Play.png");
        EXPECT_STREQ(e.forwardIcon, "Seekforward.png");
        EXPECT_STREQ(e.backwardIcon, "Seekbackward.png");
        EXPECT_EQ(e.playAgain, t.again);
        if (t.kind == ReplayKind::Pcd) {
            EXPECT_EQ(c.startCounter(), 2);
            EXPECT_EQ(e.play, Enable::On);
            // Play after the end starts a new run.
            EXPECT_TRUE(c.pcdPlayPause().startThread);
        } else {
            // Play after the end resumes the waiting thread from the first frame.
            const ReplayEffects again = c.capturePlayPause(true);
            EXPECT_TRUE(again.openGate);
            frame(c, t.kind, 1);
            EXPECT_EQ(c.frameCounter(), 1);
        }
    }
}

TEST(ReplayControl, CaptureEndReportOfAThreadNotStartedForThisCaptureIsIgnored) {
    resetPlayback();
    ReplayControl c;
    c.captureOpened(20, true);
    c.setRepeat(ReplayKind::Capture, true);
    const ReplayEffects e = c.captureFinished(true);
    EXPECT_FALSE(c.finished());
    EXPECT_FALSE(e.playAgain);
    EXPECT_EQ(e.seeks, Enable::Keep);
}

// A seek while a running replay is paused lets the thread go and show the target's frame once;
// elsewhere a seek only moves the position. Either way the counter names frame 9 once it is
// shown, and a capture not started yet has no frame to count.
TEST(ReplayControl, APausedSeekShowsItsFrameAtOnce) {
    enum class State { Playing, Paused, Finished, NotStarted, PcdPaused };
    const struct {
        State state;
        bool shows;
    } cases[] = {
        {State::Playing, false}, {State::Paused, true}, {State::Finished, false}, {State::NotStarted, false},
        {State::PcdPaused, true},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(int(t.state));
        const ReplayKind kind = t.state == State::PcdPaused ? ReplayKind::Pcd : ReplayKind::Capture;
        resetPlayback();
        ReplayControl c;
        if (t.state == State::NotStarted) c.captureOpened(20, true);
        else c = playing(kind);
        if (t.state == State::Paused || t.state == State::PcdPaused) playPause(c, kind);
        if (t.state == State::Finished) c.captureFinished(true);
        replaySpeed = 3;
        const ReplayEffects e = c.sliderReleased(kind, 9);
        EXPECT_EQ(e.seekTo, 9);
        EXPECT_EQ(e.openGate, t.shows);
        EXPECT_EQ(replayPauseAfterFrame.load(), t.shows ? 1 : 0);
        if (t.shows) {
            EXPECT_EQ(replayStep.load(), 1);
            EXPECT_EQ(replaySpeed.load(), 0);
        }
        frame(c, kind, t.state == State::NotStarted ? 12 : 9);
        EXPECT_EQ(c.frameCounter(), 9);
        EXPECT_EQ(c.paused(), t.state != State::Playing);
    }
}

TEST(ReplayControl, SeekAfterTheEndIsKeptForThePlayThatFollows) {
    ReplayControl c = playing(ReplayKind::Capture);
    c.captureFinished(true);
    c.sliderMoved(7);
    EXPECT_TRUE(c.dragging());
    const ReplayEffects s = c.sliderReleased(ReplayKind::Capture, 9);
    EXPECT_FALSE(c.dragging());
    EXPECT_EQ(s.seekTo, 9);
    c.capturePlayPause(true);
    EXPECT_EQ(c.frameCounter(), 9);
}

TEST(ReplayControl, GoToStartAndStopRewindUncheckLoopingAndOpenAPausedGate) {
    for (bool paused : {false, true}) {
        for (ReplayKind k : kBoth) {
            SCOPED_TRACE(std::string(name(k)) + (paused ? " paused" : " playing"));
            ReplayControl c = playing(k);
            c.setRepeat(k, true);
            if (paused) playPause(c, k);
            const ReplayEffects e = k == ReplayKind::Capture ? c.captureGoToStart() : c.pcdStop();
            EXPECT_EQ(replayRewind.load(), 1);
            EXPECT_EQ(e.openGate, paused);
            EXPECT_TRUE(e.uncheckRepeat);
            EXPECT_FALSE(c.repeat(k));
            EXPECT_TRUE(c.paused());
            EXPECT_EQ(e.stopThread, k == ReplayKind::Pcd);
            if (k == ReplayKind::Capture) {
                EXPECT_EQ(c.frameCounter(), 0);
                EXPECT_STREQ(e.playIcon, "Play.png");
            }
        }
    }
}

TEST(ReplayControl, TheCounterNamesTheFrameOnScreenLiveFramesLeaveIt) {
    for (ReplayKind k : kBoth) {
        SCOPED_TRACE(name(k));
        ReplayControl c;
        EXPECT_FALSE(frame(c, k, 0).showCounter);  // live frames: no replay
        EXPECT_EQ(c.frameCounter(), 0);
        c = playing(k);
        for (int f = 1; f <= 4; ++f) EXPECT_TRUE(frame(c, k, f).showCounter);
        seekBackward(c, k);  // backwards while playing: the thread shows 3, 2, ...
        frame(c, k, 3);
        EXPECT_EQ(c.frameCounter(), 3);
        EXPECT_FALSE(frame(c, k, 0).showCounter);
        EXPECT_EQ(c.frameCounter(), 3);
    }
}

// ---- The pause gate ----

namespace {
template <class F>
auto runAsync(F f) {
    return std::async(std::launch::async, f);
}
bool done(std::future<void>& f) { return f.wait_for(std::chrono::seconds(10)) == std::future_status::ready; }
template <class T>
bool done(std::future<T>& f) {
    return f.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
}
}  // namespace

TEST(ReplayGate, PauseWhileTheThreadWaitsAtItsEndIsCompleteWithoutTheThread) {
    // The thread is on its last packet when the window pauses; it then reports the end and
    // waits for the window, never opening the gate. The pause must not wait for it.
    for (bool pauseFirst : {true, false}) {
        SCOPED_TRACE(pauseFirst ? "pause, then the thread waits" : "the thread waits, then pause");
        kv::ReplayGate gate;
        gate.threadStarted();
        gate.pass();  // the last packet
        std::atomic<bool> threadGoesOn{false};
        std::promise<void> waitNow;
        auto thread = runAsync([&] {
            waitNow.get_future().wait();
            gate.waitForWindow();
            threadGoesOn = true;
            gate.release();
        });
        std::future<kv::ReplayGate::Pause> pause;
        if (pauseFirst) {
            pause = runAsync([&] { return gate.close(); });
            waitNow.set_value();
        } else {
            waitNow.set_value();
            while (!gate.threadWaiting()) std::this_thread::yield();
            pause = runAsync([&] { return gate.close(); });
        }
        ASSERT_TRUE(done(pause));
        EXPECT_EQ(pause.get(), kv::ReplayGate::Pause::ThreadWaits);
        EXPECT_FALSE(threadGoesOn);  // still paused at its end
        gate.open();                 // Play
        ASSERT_TRUE(done(thread));
        EXPECT_TRUE(threadGoesOn);
        gate.threadEnded();
    }
}

TEST(ReplayGate, PauseWaitsForThePacketInHandAndHoldsTheNext) {
    kv::ReplayGate gate;
    gate.threadStarted();
    gate.pass();
    std::atomic<bool> released{false};
    auto pause = runAsync([&] { return gate.close(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    released = true;
    gate.release();
    ASSERT_TRUE(done(pause));
    EXPECT_EQ(pause.get(), kv::ReplayGate::Pause::Closed);
    EXPECT_TRUE(released);
    // The next packet waits until the window opens; opening twice lets one packet through.
    std::atomic<int> packets{0};
    auto thread = runAsync([&] {
        gate.pass();
        ++packets;
        gate.release();
    });
    EXPECT_EQ(thread.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_EQ(packets.load(), 0);
    gate.open();
    gate.open();
    ASSERT_TRUE(done(thread));
    EXPECT_EQ(gate.close(), kv::ReplayGate::Pause::Closed);
    EXPECT_EQ(gate.close(), kv::ReplayGate::Pause::Closed) << "a second pause does not wait";
    auto second = runAsync([&] { gate.pass(); ++packets; gate.release(); });
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    gate.open();
    ASSERT_TRUE(done(second));
    EXPECT_EQ(packets.load(), 2);
}

TEST(ReplayGate, WithoutAThreadAPauseIsImmediateAndAnEndedThreadLeavesItOpen) {
    kv::ReplayGate gate;
    EXPECT_EQ(gate.close(), kv::ReplayGate::Pause::NoThread);
    gate.open();
    gate.threadStarted();
    gate.pass();
    auto pause = runAsync([&] { return gate.close(); });
    gate.threadEnded();  // ends while holding the gate: the waiting pause completes
    ASSERT_TRUE(done(pause));
    EXPECT_EQ(pause.get(), kv::ReplayGate::Pause::NoThread);
    gate.open();
    gate.threadStarted();
    gate.pass();  // open again for the next run
    gate.release();
}
