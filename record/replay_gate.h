// The pause gate of a replay thread, both sides of it in one place.
//
// The thread passes the gate at the start of every packet (or cloud) and opens it at the end;
// to wait for the window (at an end, after a rewind, after a single step) it takes it a second
// time while holding it. The window closes it to pause and opens it to resume, step, rewind or
// stop. A pause that finds the thread already waiting for the window is complete at once: the
// thread's own hold keeps it where it is, and the window's next opening lets it go on. Every
// decision is made under the gate's lock, so a pause can never wait for a thread that is itself
// waiting for the window.
#pragma once

#include <condition_variable>
#include <mutex>

namespace kv {

class ReplayGate {
public:
    // ---- The thread's side ----
    void threadStarted() {
        std::lock_guard<std::mutex> lock(m_);
        alive_ = true;
    }
    // Leaves the gate open: whoever held it, nothing waits at it once the thread is gone.
    void threadEnded() {
        {
            std::lock_guard<std::mutex> lock(m_);
            alive_ = false;
            waiting_ = false;
            windowHolds_ = false;
            open_ = true;
        }
        cv_.notify_all();
    }
    // At the start of a packet: waits while the window holds the gate.
    void pass() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [this] { return open_ && closing_ == 0; });
        open_ = false;
    }
    // At the end of a packet.
    void release() {
        {
            std::lock_guard<std::mutex> lock(m_);
            open_ = true;
        }
        cv_.notify_all();
    }
    // Held by the thread: waits until the window opens the gate, and holds it again.
    void waitForWindow() {
        std::unique_lock<std::mutex> lock(m_);
        waiting_ = true;
        cv_.notify_all();  // a pause in progress is complete now
        cv_.wait(lock, [this] { return open_; });
        open_ = false;
        waiting_ = false;
    }

    // ---- The window's side ----
    enum class Pause {
        Closed,              // the window holds the gate; the thread stops before its next packet
        ThreadWaits,         // the thread already waits for the window
        NoThread,            // no thread runs: the gate is closed for the next one
    };
    // Waits at most for the packet in hand (with its pacing sleeps), never for the window.
    Pause close() {
        std::unique_lock<std::mutex> lock(m_);
        if (windowHolds_) return Pause::Closed;  // paused already
        // While the window waits, the thread may finish its packet but not start another: a
        // thread that releases and passes again at once would otherwise keep the pause waiting.
        ++closing_;
        cv_.wait(lock, [this] { return open_ || waiting_ || !alive_; });
        --closing_;
        if (waiting_) {
            cv_.notify_all();
            return Pause::ThreadWaits;
        }
        open_ = false;
        windowHolds_ = true;
        return alive_ ? Pause::Closed : Pause::NoThread;
    }
    // Resume, step, rewind, stop. Opening an open gate leaves it open once: a resume that
    // arrives twice cannot let two packets through a pause.
    void open() {
        {
            std::lock_guard<std::mutex> lock(m_);
            open_ = true;
            windowHolds_ = false;
        }
        cv_.notify_all();
    }

    bool threadWaiting() const {
        std::lock_guard<std::mutex> lock(m_);
        return waiting_;
    }

private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool open_ = true;
    bool waiting_ = false;
    bool alive_ = false;
    bool windowHolds_ = false;
    int closing_ = 0;  // window calls of close() waiting for the packet in hand
};

}  // namespace kv
