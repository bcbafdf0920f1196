// The simulated sensor's status packet decodes to the settings it was given.
#include <gtest/gtest.h>

#include "status_decode.h"
#include "status_state.h"

TEST(StatusFromSimulatedSensor, DecodesToTheGivenSettings) {
    kv::sim::SensorSettings s;
    s.motorSpeedRpm = 1800;
    s.motorStopped = true;
    s.destIp = {10, 0, 0, 7};
    s.mac = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    s.dataPort = 2400;
    s.equipPort = 2401;
    s.packetInterval = 3;
    const std::int64_t t = 1640263383;  // 2021-12-23 12:43:03 UTC
    const auto pk = kv::sim::StatusState(s, 1, t).buildStatusPacket(0.0);

    SettingData d;
    std::vector<int> mac;
    ASSERT_TRUE(decodeStatusPacket(pk.data(), pk.size(), d, mac));
    EXPECT_EQ(d.motorSpeed, 1800);
    EXPECT_EQ(d.motorState, 1);
    EXPECT_EQ(d.packetInterval, 3);
    EXPECT_EQ(d.destIp, s.destIp);
    EXPECT_EQ(std::vector<int>(mac.begin(), mac.begin() + 8),
              (std::vector<int>{0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 2400, 2401}));
    EXPECT_EQ(std::vector<int>(d.gpsTime.begin(), d.gpsTime.begin() + 6), (std::vector<int>{21, 12, 23, 12, 43, 3}));
    EXPECT_EQ(mac[kv::statuspkt::kMacIndexPhaseLockError], 0);  // no error while the lock is off
}
