// A gate that is open or closed: take() waits until it is open and closes it; give() opens
// it, from any thread. Unlike a counting semaphore, giving an open gate leaves it open once,
// so a resume that arrives twice cannot let two packets through a pause.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kv {

class BinarySemaphore {
public:
    explicit BinarySemaphore(bool open = true) : open_(open) {}

    void take() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [this] { return open_; });
        open_ = false;
    }

    // Waits at most `ms` for the gate to open; false when it stayed closed.
    bool takeFor(int ms) {
        std::unique_lock<std::mutex> lock(m_);
        if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return open_; })) return false;
        open_ = false;
        return true;
    }

    bool tryTake() {
        std::lock_guard<std::mutex> lock(m_);
        if (!open_) return false;
        open_ = false;
        return true;
    }

    void give() {
        {
            std::lock_guard<std::mutex> lock(m_);
            open_ = true;
        }
        cv_.notify_one();
    }

    bool isOpen() const {
        std::lock_guard<std::mutex> lock(m_);
        return open_;
    }

private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool open_;
};

}  // namespace kv
