// The receiver health readout: turns the cumulative counters of the receivers and the window,
// sampled about once a second, into rates and one line of text for the user.
// Pure: the caller passes the time of each sample.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

// Cumulative counters at one moment (the receivers restart theirs at every start).
struct HealthCounters {
    int dataPort = 2368;
    std::uint64_t packetsAccepted = 0;
    std::uint64_t framesHandled = 0;
    std::uint64_t framesDrawn = 0;
    std::uint64_t rejectedWrongSize = 0;          // data port: not exactly 1206 bytes
    std::uint64_t statusRejectedWrongSize = 0;    // equipment port
    std::uint64_t statusRejectedWrongHeader = 0;  // equipment port: 1206 bytes, not A5 FF 00 5A
    std::uint64_t kernelDrops = 0;                // data socket, receive buffer full
    std::uint64_t framePointsDropped = 0;         // beyond the frame bound
    std::uint64_t receiveErrors = 0;              // failed receive calls of both receivers
    std::uint32_t sourceIp = 0;                   // sender of the last data packet, 0 = none yet
    std::int64_t statusAgeMs = -1;                // since the last status packet, -1 = none came
};

struct HealthReadout {
    double packetsPerS = 0;
    double framesHandledPerS = 0;
    double framesDrawnPerS = 0;
    bool everReceived = false;  // a data packet arrived since the last restart
    bool stalled = false;       // packets came, then none for kStallMs or more
    std::int64_t silentMs = 0;  // how long no packet has come (while stalled)
    std::string text;           // the one-line readout
};

class HealthMeter {
public:
    // A stream with no new packet for this long shows as stopped; with one sample a second
    // a stop shows within two seconds.
    static constexpr std::int64_t kStallMs = 1000;

    // At a start of reception: the counters start over, rates are taken from here.
    void restart(std::int64_t nowMs);
    // Rates over the time since the previous sample (or the restart), and the readout text.
    HealthReadout sample(const HealthCounters& c, std::int64_t nowMs);

private:
    HealthCounters prev_;
    std::int64_t prevMs_ = 0;
    std::int64_t lastPacketMs_ = 0;  // the sample at which the packet count last rose
    bool started_ = false;
    bool everReceived_ = false;
};

// The readout line for `c` with the rates and state of `r` (r.text is not read).
std::string healthText(const HealthCounters& c, const HealthReadout& r);

// What the readout dock says, by what the window is doing.
enum class HealthSource {
    kLive,    // the receivers run: healthText()
    kReplay,  // a capture is loaded or playing: frame rates and the replay's frame bound drops
    kPcdReplay,  // a PCD folder is loaded or playing: no receiver is involved
    kIdle,    // before the first press of "Lidar": what to do
};
std::string healthLine(HealthSource source, const HealthCounters& c, const HealthReadout& r,
                       std::uint64_t replayPointsDropped);
// Whether the line shows as an alarm: a live stream that stopped.
inline bool healthAlarm(HealthSource source, const HealthReadout& r) { return source == HealthSource::kLive && r.stalled; }

// Milliseconds of std::chrono::steady_clock, the clock of the samples and of the status age.
std::int64_t steadyNowMs();

// "no status", "status 0.4 s ago", "status 75 s ago".
std::string statusAgeText(std::int64_t ageMs);

}  // namespace kv
