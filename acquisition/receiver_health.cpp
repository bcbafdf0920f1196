#include "receiver_health.h"

#include <chrono>
#include <cstdio>

namespace kv {

namespace {

// Counters restart at every start of a receiver: a count below the last one is a new run.
std::uint64_t delta(std::uint64_t now, std::uint64_t before) { return now >= before ? now - before : now; }

double perSecond(std::uint64_t count, std::int64_t ms) { return ms > 0 ? double(count) * 1000.0 / double(ms) : 0.0; }

std::string fixed1(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.1f", v);
    return b;
}

std::string dotted(std::uint32_t h) {
    return std::to_string(h >> 24) + "." + std::to_string((h >> 16) & 0xFF) + "." +
           std::to_string((h >> 8) & 0xFF) + "." + std::to_string(h & 0xFF);
}

}  // namespace

std::int64_t steadyNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void HealthMeter::restart(std::int64_t nowMs) {
    prev_ = HealthCounters();
    prevMs_ = nowMs;
    lastPacketMs_ = nowMs;
    started_ = true;
    everReceived_ = false;
}

HealthReadout HealthMeter::sample(const HealthCounters& c, std::int64_t nowMs) {
    if (!started_) restart(nowMs);
    HealthReadout r;
    const std::int64_t ms = nowMs - prevMs_;
    const std::uint64_t packets = delta(c.packetsAccepted, prev_.packetsAccepted);
    r.packetsPerS = perSecond(packets, ms);
    r.framesHandledPerS = perSecond(delta(c.framesHandled, prev_.framesHandled), ms);
    r.framesDrawnPerS = perSecond(delta(c.framesDrawn, prev_.framesDrawn), ms);
    if (packets > 0) {
        lastPacketMs_ = nowMs;
        everReceived_ = true;
    }
    r.everReceived = everReceived_;
    r.silentMs = nowMs - lastPacketMs_;
    r.stalled = everReceived_ && r.silentMs >= kStallMs;
    r.text = healthText(c, r);
    prev_ = c;
    prevMs_ = nowMs;
    return r;
}

std::string statusAgeText(std::int64_t ageMs) {
    if (ageMs < 0) return "no status";
    if (ageMs < 10000) return "status " + fixed1(double(ageMs) / 1000.0) + " s ago";
    return "status " + std::to_string(ageMs / 1000) + " s ago";
}

std::string healthLine(HealthSource source, const HealthCounters& c, const HealthReadout& r,
                       std::uint64_t replayPointsDropped) {
    switch (source) {
    case HealthSource::kLive: return healthText(c, r);
    case HealthSource::kReplay:
        return "Capture replay | frames " + fixed1(r.framesHandledPerS) + "/s handled, " + fixed1(r.framesDrawnPerS) +
               "/s drawn | frame bound drops " + std::to_string(replayPointsDropped);
    case HealthSource::kPcdReplay: return "PCD replay | no receiver runs";
    case HealthSource::kIdle: break;
    }
    return "Press Lidar to receive on port " + std::to_string(c.dataPort);
}

std::string healthText(const HealthCounters& c, const HealthReadout& r) {
    std::string head;
    if (!r.everReceived)
        head = "Waiting for data on port " + std::to_string(c.dataPort);
    else if (r.stalled)
        head = "NO DATA for " + std::to_string(r.silentMs / 1000) + " s";
    else
        head = std::to_string(std::uint64_t(r.packetsPerS + 0.5)) + " packets/s";
    std::string t = head + " | frames " + fixed1(r.framesHandledPerS) + "/s handled, " +
                    fixed1(r.framesDrawnPerS) + "/s drawn";
    t += " | rejected: " + std::to_string(c.rejectedWrongSize) + " wrong size";
    t += "; status " + std::to_string(c.statusRejectedWrongSize) + " wrong size, " +
         std::to_string(c.statusRejectedWrongHeader) + " wrong header";
    t += " | kernel drops " + std::to_string(c.kernelDrops);
    t += " | frame bound drops " + std::to_string(c.framePointsDropped);
    if (c.receiveErrors > 0) t += " | receive errors " + std::to_string(c.receiveErrors);
    t += " | from " + (c.sourceIp != 0 ? dotted(c.sourceIp) : std::string("-"));
    t += " | " + statusAgeText(c.statusAgeMs);
    return t;
}

}  // namespace kv
