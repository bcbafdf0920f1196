// What a receive loop does after a receive call fails for a reason other than its time-out:
// the first failure of a run is reported, and each failure in a row waits twice as long as the
// one before (up to a second), so that a broken socket neither spins a core nor floods the user.
// A receive that works again brings the wait back to its shortest. Pure: no clock, no socket.
#pragma once

#include <algorithm>
#include <cstdint>

namespace kv {

class ReceiveBackoff {
public:
    static constexpr int kFirstDelayMs = 10;
    static constexpr int kMaxDelayMs = 1000;

    struct Step {
        bool report;  // tell the user (once a run)
        int delayMs;  // wait this long before the next receive
    };

    Step failed() {
        ++failures_;
        const Step s{!reported_, delayMs_};
        reported_ = true;
        delayMs_ = std::min(delayMs_ * 2, kMaxDelayMs);
        return s;
    }
    // A datagram or a time-out: the socket works.
    void succeeded() { delayMs_ = kFirstDelayMs; }
    std::uint64_t failures() const { return failures_; }

private:
    int delayMs_ = kFirstDelayMs;
    bool reported_ = false;
    std::uint64_t failures_ = 0;
};

}  // namespace kv
