// The receiver health readout and the receive back-off: rates, the stopped-stream rule, the
// texts the user reads, and how a failing receive call is reported and slowed down.
#include <gtest/gtest.h>

#include "receive_backoff.h"
#include "receiver_health.h"

namespace {

kv::HealthCounters counters(std::uint64_t packets, std::uint64_t handled = 0, std::uint64_t drawn = 0) {
    kv::HealthCounters c;
    c.packetsAccepted = packets;
    c.framesHandled = handled;
    c.framesDrawn = drawn;
    return c;
}

// One sample a second, as the window takes them; each row is the cumulative packet count at
// that second and what the readout must say then.
struct StreamRow {
    std::uint64_t packets;
    double perSecond;
    bool everReceived, stalled;
    const char* head;  // the text starts so
};

TEST(HealthMeter, RatesAndAStoppedStreamOverOneSampleASecond) {
    const StreamRow rows[] = {
        {0, 0, false, false, "Waiting for data on port 2368 |"},
        {1000, 1000, true, false, "1000 packets/s |"},
        {3000, 2000, true, false, "2000 packets/s |"},
        {3000, 0, true, true, "NO DATA for 1 s |"},   // stopped right after the last sample
        {3000, 0, true, true, "NO DATA for 2 s |"},
        {3500, 500, true, false, "500 packets/s |"},  // it comes back
    };
    kv::HealthMeter m;
    m.restart(10'000);
    std::int64_t t = 10'000;
    for (const StreamRow& row : rows) {
        SCOPED_TRACE(row.packets);
        t += 1000;
        const kv::HealthReadout r = m.sample(counters(row.packets), t);
        EXPECT_DOUBLE_EQ(r.packetsPerS, row.perSecond);
        EXPECT_EQ(r.everReceived, row.everReceived);
        EXPECT_EQ(r.stalled, row.stalled);
        EXPECT_EQ(r.text.rfind(row.head, 0), 0u) << r.text;
    }
}

TEST(HealthMeter, AStopShowsWithinTwoSecondsWhateverTheSamplePhase) {
    // Packets until the stop at 5.0 s; samples every second at a phase of 0-999 ms.
    for (std::int64_t phase : {0, 1, 500, 999}) {
        SCOPED_TRACE(phase);
        kv::HealthMeter m;
        m.restart(0);
        std::int64_t shownAt = -1;
        for (std::int64_t t = phase + 1000; t < 10'000 && shownAt < 0; t += 1000) {
            const std::uint64_t packets = std::uint64_t(std::min<std::int64_t>(t, 5000));  // one a ms
            if (m.sample(counters(packets), t).stalled) shownAt = t;
        }
        ASSERT_GE(shownAt, 5000);
        EXPECT_LE(shownAt - 5000, 2000);
    }
}

TEST(HealthMeter, FramesPerSecondAndACounterRestartOfTheReceiver) {
    kv::HealthMeter m;
    m.restart(0);
    kv::HealthReadout r = m.sample(counters(400, 20, 10), 2000);  // over two seconds
    EXPECT_DOUBLE_EQ(r.packetsPerS, 200);
    EXPECT_DOUBLE_EQ(r.framesHandledPerS, 10);
    EXPECT_DOUBLE_EQ(r.framesDrawnPerS, 5);
    EXPECT_NE(r.text.find("frames 10.0/s handled, 5.0/s drawn"), std::string::npos) << r.text;
    // The receiver started over (its count fell): the new count is the new run's.
    r = m.sample(counters(50, 25, 15), 3000);
    EXPECT_DOUBLE_EQ(r.packetsPerS, 50);
    EXPECT_DOUBLE_EQ(r.framesHandledPerS, 5);
    EXPECT_FALSE(r.stalled);
    // A sample at the same moment divides by nothing.
    r = m.sample(counters(60, 25, 15), 3000);
    EXPECT_DOUBLE_EQ(r.packetsPerS, 0);
}

TEST(HealthText, EveryFieldTheUserReads) {
    kv::HealthCounters c = counters(10);
    c.dataPort = 47368;
    c.rejectedWrongSize = 3;
    c.statusRejectedWrongSize = 4;
    c.statusRejectedWrongHeader = 5;
    c.kernelDrops = 6;
    c.framePointsDropped = 7;
    c.sourceIp = 0xC0A801C8;  // 192.168.1.200
    c.statusAgeMs = 400;
    kv::HealthReadout r;
    r.everReceived = true;
    r.packetsPerS = 1234.4;
    r.framesHandledPerS = 10;
    r.framesDrawnPerS = 9.5;
    EXPECT_EQ(kv::healthText(c, r),
              "1234 packets/s | frames 10.0/s handled, 9.5/s drawn | rejected: 3 wrong size; status 4 wrong "
              "size, 5 wrong header | kernel drops 6 | frame bound drops 7 | from 192.168.1.200 | status 0.4 s ago");
    c.receiveErrors = 2;
    c.sourceIp = 0;
    c.statusAgeMs = -1;
    const std::string t = kv::healthText(c, r);
    EXPECT_NE(t.find("| receive errors 2 |"), std::string::npos) << t;
    EXPECT_NE(t.find("| from - | no status"), std::string::npos) << t;
}

TEST(HealthText, StatusAge) {
    const struct {
        std::int64_t ms;
        const char* text;
    } cases[] = {{-1, "no status"}, {0, "status 0.0 s ago"}, {1250, "status 1.2 s ago"},
                 {9999, "status 10.0 s ago"}, {10'000, "status 10 s ago"}, {75'400, "status 75 s ago"}};
    for (const auto& c : cases) EXPECT_EQ(kv::statusAgeText(c.ms), c.text) << c.ms;
}

TEST(ReceiveBackoff, ReportsOnceAndWaitsLongerEachFailureInARow) {
    kv::ReceiveBackoff b;
    const int expected[] = {10, 20, 40, 80, 160, 320, 640, 1000, 1000};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const kv::ReceiveBackoff::Step s = b.failed();
        EXPECT_EQ(s.report, i == 0) << i;
        EXPECT_EQ(s.delayMs, expected[i]) << i;
    }
    b.succeeded();
    const kv::ReceiveBackoff::Step again = b.failed();
    EXPECT_FALSE(again.report) << "one report a run, however often the socket recovers";
    EXPECT_EQ(again.delayMs, kv::ReceiveBackoff::kFirstDelayMs);
    EXPECT_EQ(b.failures(), std::size(expected) + 1);
}

}  // namespace

// What the dock says by what the window is doing, and when it is an alarm.
TEST(HealthText, LineBySource) {
    kv::HealthCounters c;
    c.dataPort = 47368;
    kv::HealthReadout r;
    r.framesHandledPerS = 10.04;
    r.framesDrawnPerS = 9.96;
    r.stalled = true;
    EXPECT_EQ(kv::healthLine(kv::HealthSource::kIdle, c, r, 0), "Press Lidar to receive on port 47368");
    EXPECT_EQ(kv::healthLine(kv::HealthSource::kReplay, c, r, 12),
              "Capture replay | frames 10.0/s handled, 10.0/s drawn | frame bound drops 12");
    EXPECT_EQ(kv::healthLine(kv::HealthSource::kLive, c, r, 12), kv::healthText(c, r));
    EXPECT_TRUE(kv::healthAlarm(kv::HealthSource::kLive, r));
    EXPECT_FALSE(kv::healthAlarm(kv::HealthSource::kReplay, r));
    EXPECT_EQ(kv::healthLine(kv::HealthSource::kPcdReplay, c, r, 12), "PCD replay | no receiver runs");
    EXPECT_FALSE(kv::healthAlarm(kv::HealthSource::kIdle, r));
}
