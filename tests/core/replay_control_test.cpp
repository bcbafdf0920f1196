// The replay controls of both replays, the orders they give their threads, and the pause gate
// between the window and a replay thread.
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
using kv::ReplayState;

namespace {

std::string icon(const char* s) { return s ? s : ""; }

// A control and the channels of the two threads it steers, as the window holds them: every
// effect goes through applyOrders, so the orders read below are the ones a thread would poll.
struct Rig {
    ReplayControl c;
    kv::ReplayChannel capture, pcd;
    int starts = 0;

    kv::ReplayChannel& channel(ReplayKind k) { return k == ReplayKind::Pcd ? pcd : capture; }
    kv::ReplayOrders& orders(ReplayKind k) { return channel(k).orders; }
    ReplayEffects run(const ReplayEffects& e) {
        kv::applyOrders(e, channel(e.kind), [this] { ++starts; });
        return e;
    }
    ReplayEffects open(ReplayKind k, int range = 20, bool hasData = true) {
        return run(k == ReplayKind::Capture ? c.captureOpened(range, hasData) : c.pcdOpened(range, hasData));
    }
    ReplayEffects playPause(ReplayKind k, bool threadRunning = true) {
        return run(k == ReplayKind::Capture ? c.capturePlayPause(threadRunning) : c.pcdPlayPause());
    }
    ReplayEffects seekForward(ReplayKind k) { return run(k == ReplayKind::Capture ? c.captureSeekForward() : c.pcdSeekForward()); }
    ReplayEffects seekBackward(ReplayKind k) {
        return run(k == ReplayKind::Capture ? c.captureSeekBackward() : c.pcdSeekBackward());
    }
    // The thread hands over frame `number` (0: a live frame).
    ReplayEffects frame(ReplayKind k, int number) { return run(c.frameShown(k, std::uint32_t(number))); }
    ReplayEffects finished(ReplayKind k) { return run(k == ReplayKind::Capture ? c.captureFinished(true) : c.pcdFinished(true)); }
    ReplayEffects seek(ReplayKind k, int value) { return run(c.sliderReleased(k, value)); }
    ReplayEffects rewind(ReplayKind k) { return run(k == ReplayKind::Capture ? c.captureGoToStart() : c.pcdStop()); }
    // A loaded replay of `k` (capture: 20 frames, PCD: 20 files), playing.
    static std::unique_ptr<Rig> playing(ReplayKind k) {
        auto r = std::make_unique<Rig>();
        r->open(k);
        r->playPause(k, false);
        return r;
    }
};

const ReplayKind kBoth[] = {ReplayKind::Capture, ReplayKind::Pcd};
const char* name(ReplayKind k) { return k == ReplayKind::Capture ? "capture" : "pcd"; }

}  // namespace

TEST(ReplayControl, OpeningLoadsWithOnlyPlayEnabledAndNoPendingSeek) {
    for (ReplayKind k : kBoth) {
        SCOPED_TRACE(name(k));
        Rig r;
        r.channel(k).requestSeek(7);  // made for the file before
        const ReplayEffects e = r.open(k, 12);
        EXPECT_EQ(e.kind, k);
        EXPECT_EQ(r.c.state(k), ReplayState::kLoaded);
        EXPECT_TRUE(r.c.paused(k));
        EXPECT_EQ(r.c.frameCounter(k), 0);
        EXPECT_TRUE(e.showCounter);
        EXPECT_EQ(e.play, Enable::On);
        EXPECT_EQ(e.seeks, Enable::Off);
        EXPECT_EQ(e.otherPlay, Enable::Off);
        EXPECT_EQ(e.close, k == ReplayKind::Capture ? Enable::On : Enable::Keep);
        EXPECT_FALSE(r.channel(k).seekPending.load());
        EXPECT_FALSE(r.c.offlineInUse());
    }
}

// The states each replay goes through, and what its thread is told at each step.
TEST(ReplayControl, PlayPauseResumeEndAndPlayAgainInBothReplays) {
    for (ReplayKind k : kBoth) {
        SCOPED_TRACE(name(k));
        Rig r;
        r.open(k);
        r.orders(k).replayStep = -1;  // left from an earlier file
        r.orders(k).replayRewind = 1;
        ReplayEffects e = r.playPause(k, false);
        EXPECT_EQ(r.starts, 1);
        EXPECT_FALSE(e.openGate || e.closeGate);
        EXPECT_STREQ(e.playIcon, "Pause.png");
        EXPECT_EQ(e.seeks, Enable::On);
        EXPECT_EQ(e.otherPlay, Enable::Off);
        EXPECT_EQ(e.open, Enable::Off);
        EXPECT_EQ(r.c.state(k), ReplayState::kPlaying);
        EXPECT_TRUE(r.c.offlineInUse() && r.c.playing() && !r.c.paused());
        EXPECT_EQ(r.orders(k).replayStep.load(), 1);
        EXPECT_EQ(r.orders(k).replayRewind.load(), 0);

        e = r.playPause(k);  // pause
        EXPECT_TRUE(e.closeGate);
        EXPECT_STREQ(e.playIcon, "Play.png");
        EXPECT_EQ(r.c.state(k), ReplayState::kPaused);
        EXPECT_TRUE(r.c.offlineInUse());

        e = r.playPause(k);  // resume
        EXPECT_TRUE(e.openGate);
        EXPECT_EQ(r.starts, 1);
        EXPECT_EQ(r.c.state(k), ReplayState::kPlaying);

        r.frame(k, 20);
        e = r.finished(k);
        EXPECT_EQ(r.c.state(k), ReplayState::kFinished);
        EXPECT_FALSE(r.c.offlineInUse());
        // Play after the end: the capture's thread waits at its end, the PCD thread has ended.
        e = r.playPause(k);
        EXPECT_EQ(e.openGate, k == ReplayKind::Capture);
        EXPECT_EQ(r.starts, k == ReplayKind::Capture ? 1 : 2);
    }
}

TEST(ReplayControl, CaptureThreadThatEndedIsStartedAfreshOnPlay) {
    auto r = Rig::playing(ReplayKind::Capture);
    r->playPause(ReplayKind::Capture);  // pause
    const ReplayEffects e = r->playPause(ReplayKind::Capture, false);
    EXPECT_EQ(r->starts, 2);
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
        auto r = Rig::playing(k);
        for (const auto& step : forward) {
            const ReplayEffects e = r->seekForward(k);
            EXPECT_EQ(e.kind, k);
            EXPECT_EQ(icon(e.forwardIcon), step.icon);
            EXPECT_EQ(r->orders(k).replaySpeed.load(), step.speed);
            EXPECT_EQ(r->orders(k).replayStep.load(), 1);
            EXPECT_FALSE(e.openGate);
        }
        for (int f = 1; f <= 5; ++f) r->frame(k, f);  // away from the first frame
        for (std::size_t i = 0; i < 5; ++i) {
            const ReplayEffects e = r->seekBackward(k);
            EXPECT_EQ(icon(e.backwardIcon), backward[i].icon);
            EXPECT_EQ(r->orders(k).replaySpeed.load(), backward[i].speed);
            EXPECT_EQ(r->orders(k).replayStep.load(), -1);
            EXPECT_FALSE(r->c.forwardFlag());
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
        auto r = Rig::playing(t.kind);
        r->playPause(t.kind);  // pause
        EXPECT_TRUE(r->seek(t.kind, t.counter).openGate);  // shown while paused
        const int shown = std::max(t.counter, 1);
        r->frame(t.kind, shown);
        const ReplayEffects e = t.forward ? r->seekForward(t.kind) : r->seekBackward(t.kind);
        EXPECT_EQ(e.openGate, t.steps);
        // A refused step clears the pause-after-frame the seek left.
        EXPECT_EQ(r->orders(t.kind).replayPauseAfterFrame.load(), t.steps ? 1 : 0);
        if (t.steps) {
            EXPECT_EQ(r->orders(t.kind).replayStep.load(), t.forward ? 1 : -1);
            EXPECT_EQ(r->orders(t.kind).replaySpeed.load(), 0);
            EXPECT_STREQ(e.forwardIcon, "Seekforward.png");
            EXPECT_STREQ(e.backwardIcon, "Seekbackward.png");
            EXPECT_EQ(r->c.forwardFlag(), t.forward);
        }
    }
}

TEST(ReplayControl, SeekButtonsAfterTheEndOnlyResetTheirIcon) {
    for (ReplayKind k : kBoth) {
        SCOPED_TRACE(name(k));
        auto r = Rig::playing(k);
        r->seekForward(k);
        r->frame(k, 3);
        r->finished(k);
        r->orders(k).replaySpeed = 3;
        ReplayEffects e = r->seekForward(k);
        EXPECT_STREQ(e.forwardIcon, "Seekforward.png");
        EXPECT_EQ(r->orders(k).replaySpeed.load(), 0);
        EXPECT_FALSE(e.openGate);
        r->orders(k).replaySpeed = 3;
        e = r->seekBackward(k);
        EXPECT_STREQ(e.backwardIcon, "Seekbackward.png");
        EXPECT_EQ(e.forwardIcon, nullptr);
        EXPECT_EQ(r->orders(k).replaySpeed.load(), 0);
        EXPECT_EQ(r->c.backwardSpeedState(), 1);
    }
}

TEST(ReplayControl, EndKeepsTheLastFrameAndLoopsOnlyWithSomethingToPlay) {
    struct Case {
        ReplayKind kind;
        bool repeat;
        bool hasData;
        bool readFailed;
        bool again;
    };
    const Case cases[] = {
        {ReplayKind::Capture, false, true, false, false}, {ReplayKind::Capture, true, true, false, true},
        {ReplayKind::Capture, true, false, false, false}, {ReplayKind::Capture, true, true, true, false},
        {ReplayKind::Pcd, false, true, false, false},     {ReplayKind::Pcd, true, true, false, true},
        {ReplayKind::Pcd, true, false, false, false},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(std::string(name(t.kind)) + (t.repeat ? " looping" : "") + (t.hasData ? "" : " empty") +
                     (t.readFailed ? " unreadable" : ""));
        Rig r;
        r.open(t.kind, t.hasData ? 20 : 0, t.hasData);
        r.c.setRepeat(t.kind, t.repeat);
        r.playPause(t.kind, false);
        for (int f = 1; f <= 3; ++f) r.frame(t.kind, f);
        r.seekForward(t.kind);
        if (t.readFailed) r.run(r.c.captureReadFailed());
        const ReplayEffects e = r.finished(t.kind);
        EXPECT_FALSE(r.c.playing() || r.c.offlineInUse());
        EXPECT_EQ(r.c.frameCounter(t.kind), 3) << "the last frame stays on screen, and so does its number";
        EXPECT_TRUE(e.showCounter);
        EXPECT_EQ(r.orders(t.kind).replaySpeed.load(), 0);
        EXPECT_EQ(e.seeks, Enable::Off);
        EXPECT_EQ(e.open, Enable::On);
        EXPECT_EQ(e.lidar, Enable::On);
        EXPECT_STREQ(e.playIcon, "Play.png");
        EXPECT_STREQ(e.forwardIcon, "Seekforward.png");
        EXPECT_STREQ(e.backwardIcon, "Seekbackward.png");
        EXPECT_EQ(e.playAgain, t.again);
        // Play after the end goes on from the first frame: the capture's waiting thread is let
        // go, a thread that has ended (PCD, or a capture that could not be read) starts afresh.
        const int startsBefore = r.starts;
        const ReplayEffects again = r.playPause(t.kind, !t.readFailed);
        const bool fresh = t.kind == ReplayKind::Pcd || t.readFailed;
        EXPECT_EQ(r.starts, startsBefore + (fresh ? 1 : 0));
        EXPECT_EQ(again.openGate, !fresh);
        r.frame(t.kind, 1);
        EXPECT_EQ(r.c.frameCounter(t.kind), 1);
    }
}

TEST(ReplayControl, EndReportOfAThreadNotStartedForThisFileIsIgnored) {
    for (ReplayKind k : kBoth) {
        SCOPED_TRACE(name(k));
        Rig r;
        r.open(k);
        r.c.setRepeat(k, true);
        const ReplayEffects e = r.finished(k);
        EXPECT_EQ(r.c.state(k), ReplayState::kLoaded);
        EXPECT_FALSE(e.playAgain);
        EXPECT_EQ(e.seeks, Enable::Keep);
        EXPECT_FALSE(r.frame(k, 4).showCounter) << "a frame a stopped thread left in the queue";
    }
}

// A seek while a running replay is paused lets the thread go and show the target's frame once;
// elsewhere a seek only moves the position (while playing at once, after an end at the next
// Play, before a first start at the start). Either way the counter names frame 9 once it is shown.
TEST(ReplayControl, ASeekShowsItsFrameAtOnceOnlyWhilePaused) {
    enum class State { Playing, Paused, Finished, NotStarted };
    const struct {
        State state;
        bool shows;
    } cases[] = {{State::Playing, false}, {State::Paused, true}, {State::Finished, false}, {State::NotStarted, false}};
    for (ReplayKind k : kBoth) {
        for (const auto& t : cases) {
            SCOPED_TRACE(std::string(name(k)) + " " + std::to_string(int(t.state)));
            Rig r;
            r.open(k);
            if (t.state != State::NotStarted) r.playPause(k, false);
            if (t.state == State::Paused) r.playPause(k);
            if (t.state == State::Finished) r.finished(k);
            r.orders(k).replaySpeed = 3;
            r.c.sliderMoved(k, 7);
            EXPECT_TRUE(r.c.dragging(k));
            const ReplayEffects e = r.seek(k, 9);
            EXPECT_FALSE(r.c.dragging(k));
            EXPECT_EQ(e.seekTo, 9);
            EXPECT_EQ(r.channel(k).seekTarget.load(), 9);
            EXPECT_TRUE(r.channel(k).seekPending.load());
            EXPECT_EQ(e.openGate, t.shows);
            EXPECT_EQ(r.orders(k).replayPauseAfterFrame.load(), t.shows ? 1 : 0);
            EXPECT_EQ(r.orders(k).replaySpeed.load(), t.shows ? 0 : 3);
            EXPECT_EQ(r.c.frameCounter(k), 9);
            if (t.state == State::Finished) r.playPause(k);
            if (t.state == State::NotStarted) r.playPause(k, false);
            r.frame(k, 9);
            EXPECT_EQ(r.c.frameCounter(k), 9);
        }
    }
}

TEST(ReplayControl, GoToStartAndStopUncheckLoopingAndOpenAPausedGate) {
    for (bool paused : {false, true}) {
        for (ReplayKind k : kBoth) {
            SCOPED_TRACE(std::string(name(k)) + (paused ? " paused" : " playing"));
            auto r = Rig::playing(k);
            r->c.setRepeat(k, true);
            r->frame(k, 5);
            if (paused) r->playPause(k);
            const ReplayEffects e = r->rewind(k);
            EXPECT_EQ(e.openGate, paused);
            EXPECT_TRUE(e.uncheckRepeat);
            EXPECT_FALSE(r->c.repeat(k));
            EXPECT_EQ(e.stopThread, k == ReplayKind::Pcd);
            if (k == ReplayKind::Capture) {
                EXPECT_EQ(r->orders(k).replayRewind.load(), 1);
                EXPECT_TRUE(r->c.paused(k));
                EXPECT_STREQ(e.playIcon, "Play.png");
                // The thread reports the rewind, then shows the first frame: numbered 1.
                r->finished(k);
                r->frame(k, 1);
                EXPECT_EQ(r->c.frameCounter(k), 1);
                EXPECT_EQ(r->c.state(k), ReplayState::kFinished);
            }
        }
    }
}

TEST(ReplayControl, TheCounterNamesTheFrameOnScreenLiveFramesLeaveIt) {
    for (ReplayKind k : kBoth) {
        SCOPED_TRACE(name(k));
        Rig idle;
        EXPECT_FALSE(idle.frame(k, 0).showCounter);  // live frames: no replay
        EXPECT_EQ(idle.c.frameCounter(k), 0);
        auto r = Rig::playing(k);
        for (int f = 1; f <= 4; ++f) EXPECT_TRUE(r->frame(k, f).showCounter);
        r->seekBackward(k);  // backwards while playing: the thread shows 3, 2, ...
        r->frame(k, 3);
        EXPECT_EQ(r->c.frameCounter(k), 3);
        EXPECT_FALSE(r->frame(k, 0).showCounter);
        EXPECT_EQ(r->c.frameCounter(k), 3);
    }
}

// "Close" lets the capture go: nothing is enabled for it, and Lidar and a loaded PCD folder are
// free again; the two replays keep their own states.
TEST(ReplayControl, CloseFreesTheReceiversAndTheOtherReplay) {
    Rig r;
    r.open(ReplayKind::Pcd, 5);
    r.open(ReplayKind::Capture);
    r.playPause(ReplayKind::Capture, false);
    r.frame(ReplayKind::Capture, 2);
    EXPECT_TRUE(r.c.offlineInUse());
    const ReplayEffects e = r.run(r.c.captureClosed());
    EXPECT_EQ(r.c.state(ReplayKind::Capture), ReplayState::kNotLoaded);
    EXPECT_EQ(r.c.state(ReplayKind::Pcd), ReplayState::kLoaded);
    EXPECT_FALSE(r.c.offlineInUse());
    EXPECT_EQ(e.play, Enable::Off);
    EXPECT_EQ(e.seeks, Enable::Off);
    EXPECT_EQ(e.close, Enable::Off);
    EXPECT_EQ(e.open, Enable::On);
    EXPECT_EQ(e.lidar, Enable::On);
    EXPECT_EQ(e.otherPlay, Enable::On);
    EXPECT_EQ(r.c.frameCounter(ReplayKind::Capture), 0);
    EXPECT_FALSE(r.frame(ReplayKind::Capture, 3).showCounter);
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
