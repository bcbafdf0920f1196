// The hex dump and its round trip, the audit trail's places and rule, what the dialog shows of
// a status record, the captured-frame rule and the write check.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "audit_trail.h"
#include "byte_order.h"
#include "hex_dump.h"
#include "hex_dump_parser.h"
#include "status_capture.h"
#include "status_texts.h"
#include "write_check.h"
#include "wire_layout.h"

namespace {

namespace st = kv::statuspkt;
using Bytes = std::vector<std::uint8_t>;

Bytes randomBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b) x = std::uint8_t(rng());
    return b;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(HexDump, LayoutAndRoundTrip) {
    struct Case {
        std::size_t bytes;
        std::size_t lines;
    } cases[] = {{1206, 76}, {0, 0}, {1, 1}, {6, 1}, {7, 2}, {22, 2}, {23, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const Bytes in = randomBytes(c.bytes, std::uint32_t(c.bytes) + 1);
        const std::string dump = kv::hexDump(in.data(), in.size());
        EXPECT_EQ(kvtest::lineCount(dump), c.lines);
        std::string why;
        const auto back = kvtest::parseHexDump(dump, &why);
        ASSERT_TRUE(back.has_value()) << why;
        EXPECT_EQ(*back, in);
    }
    const std::uint8_t head[] = {0xA5, 0xFF, 0x00, 0x5A, 0x0b, 0xC0, 0x01};
    EXPECT_EQ(kv::hexDump(head, 7), "a5 ff 00 5a 0b c0 \n01 ");
}

TEST(HexDump, TheParserRefusesOtherLayouts) {
    const char* bad[] = {"a5 ff 00 5a 0b c0 \n", "a5 ff 00 5a 0b c0 01 ", "A5 ff ", "a5 ff", "a5  ff ",
                         "a5 ff 00 5a 0b c0 \n01 \n02 "};
    for (const char* text : bad) EXPECT_FALSE(kvtest::parseHexDump(text).has_value()) << text;
}

TEST(AuditTrail, Places) {
    struct Case {
        const char* xdg;
        const char* home;
        const char* want;
    } cases[] = {
        {"/data", "/home/u", "/data/kv-cloudscope/DIRuzur_Ivo/"},
        {"/data/", "/home/u", "/data/kv-cloudscope/DIRuzur_Ivo/"},
        {"", "/home/u", "/home/u/.local/share/kv-cloudscope/DIRuzur_Ivo/"},
        {"relative/dir", "/home/u", "/home/u/.local/share/kv-cloudscope/DIRuzur_Ivo/"},
        {"", "", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(kv::audit::logDirectory(c.xdg, c.home), c.want) << c.xdg << "|" << c.home;

    const kv::audit::Stamp t{2021, 12, 23, 9, 5, 0, 7};
    EXPECT_EQ(kv::audit::entryDirectory("/d/DIRuzur_Ivo/", t), "/d/DIRuzur_Ivo/VX1_display_v1.1.4_211223/2021-12-23");
    EXPECT_EQ(kv::audit::entryFileName(t, "Before"), "VX1_display_v1.1.4_211223__2021-12-23-09-05-00-007__Before.ini");
}

TEST(AuditTrail, NewEntryWaitsForMoreThanTwoWholeSeconds) {
    struct Case {
        long long ms;
        bool due;
    } cases[] = {{0, false}, {2000, false}, {2999, false}, {3000, true}, {60000, true}, {-5000, false}};
    for (const Case& c : cases) EXPECT_EQ(kv::audit::newEntryDue(c.ms), c.due) << c.ms;
}

TEST(AuditTrail, WritesAppendsAndReportsFailure) {
    char tmpl[] = "/tmp/kv_audit_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string root = std::string(tmpl) + "/app/DIRuzur_Ivo/";
    const kv::audit::Stamp t{2024, 2, 29, 23, 59, 58, 999};
    const Bytes a = randomBytes(1206, 1), b = randomBytes(1206, 2);

    const auto first = kv::audit::writeEntry(root, t, "Modify", a.data(), a.size());
    ASSERT_TRUE(first.written) << first.error;
    EXPECT_EQ(first.path, root + "VX1_display_v1.1.4_211223/2024-02-29/"
                                 "VX1_display_v1.1.4_211223__2024-02-29-23-59-58-999__Modify.ini");
    EXPECT_EQ(kvtest::parseHexDump(readFile(first.path)), a);
    // The same stamp and tag again: appended, as the file is opened for appending.
    ASSERT_TRUE(kv::audit::writeEntry(root, t, "Modify", b.data(), b.size()).written);
    EXPECT_EQ(readFile(first.path), kv::hexDump(a.data(), a.size()) + kv::hexDump(b.data(), b.size()));

    // A file where a directory should be, and no place at all.
    const std::string blocked = std::string(tmpl) + "/blocked";
    std::ofstream(blocked) << "x";
    const auto r = kv::audit::writeEntry(blocked + "/DIRuzur_Ivo/", t, "New", a.data(), a.size());
    EXPECT_FALSE(r.written);
    EXPECT_FALSE(r.error.empty());
    EXPECT_FALSE(kv::audit::writeEntry("", t, "New", a.data(), a.size()).written);

    // A packet that was not sent: one line after its "Modify" entry, in a file of its own.
    const kv::audit::Stamp later{2024, 3, 1, 0, 0, 0, 12};
    const auto notSent = kv::audit::writeNotSentEntry(root, later, t, "sending to 127.255.255.255:2368 failed (x)");
    ASSERT_TRUE(notSent.written) << notSent.error;
    EXPECT_EQ(notSent.path, root + "VX1_display_v1.1.4_211223/2024-03-01/"
                                   "VX1_display_v1.1.4_211223__2024-03-01-00-00-00-012__NotSent.ini");
    EXPECT_EQ(readFile(notSent.path), "Not sent: the packet of VX1_display_v1.1.4_211223__2024-02-29-23-59-58-999"
                                      "__Modify.ini (sending to 127.255.255.255:2368 failed (x))\n");
    EXPECT_FALSE(kv::audit::writeNotSentEntry(blocked + "/DIRuzur_Ivo/", later, t, "e").written);
    std::system(("rm -rf " + std::string(tmpl)).c_str());
}

SettingData recordWith(std::function<void(SettingData&)> edit) {
    SettingData d;
    edit(d);
    return d;
}

TEST(StatusTexts, WhatTheDialogShows) {
    using namespace kv::statustext;
    EXPECT_EQ(gpsTimeText(recordWith([](SettingData& d) { d.gpsTime = {21, 3, 7, 9, 5, 0}; })), "2021/3/7 9:5:0");
    EXPECT_EQ(gpsTimeText(recordWith([](SettingData& d) { d.gpsTime = {23, 12, 31, 23, 59, 59}; })),
              "2023/12/31 23:59:59");
    const SettingData geo = recordWith([](SettingData& d) {
        std::memcpy(d.latitude.data(), "04808.2130N", 11);
        std::memcpy(d.longitude.data(), "01134.5170E", 11);
    });
    EXPECT_EQ(latitudeText(geo), "4808.2130N");
    EXPECT_EQ(longitudeText(geo), "01134.5170E");
    EXPECT_EQ(macText({0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e, 2368, 2369, 0, 0, 0, 0}), "00-1a-2b-3c-4d-5e");
    EXPECT_EQ(macText({0xff, 0, 1}), "");

    struct Readout {
        float ref;
        int hv, t;
        const char* hp;
        const char* temp;
    } readouts[] = {
        {2.5f, 1889, 1434, "150.255", "37.5244"},
        {3.3f, 1000, 1000, "279.538", "30.5664"},
        {2.5f, 0, 0, "281", "-50"},
    };
    for (const Readout& r : readouts) {
        const auto v = convertReadouts(r.hv, r.t, r.ref);
        ASSERT_TRUE(v.has_value());
        EXPECT_EQ(shortest6(v->highPressure), r.hp);
        EXPECT_EQ(shortest6(v->temperature), r.temp);
    }
    EXPECT_FALSE(convertReadouts(100, 100, 5.0f).has_value());

    struct PlError {
        int raw;
        const char* text;
    } errors[] = {{0xFF38, "-2"}, {0xFF9C, "-1"}, {0x0032, "0.5"}, {0, "0"}, {0x8000, "-327.68"}, {0x7FFF, "327.67"}};
    for (const PlError& e : errors) EXPECT_EQ(plAngleErrorText(e.raw), e.text) << e.raw;

    struct Speed {
        int rpm;
        std::optional<int> item;
        int frame;
    } speeds[] = {{2450, 3, 163}, {2600, std::nullopt, 173}, {500, 0, 33}, {700, 0, 46}, {499, std::nullopt, 33},
                  {701, std::nullopt, 46}, {3700, 5, 246}, {3701, std::nullopt, 246}, {0, std::nullopt, 0}};
    for (const Speed& s : speeds) {
        EXPECT_EQ(frameItemForSpeed(s.rpm), s.item) << s.rpm;
        EXPECT_EQ(frameFigure(s.rpm), s.frame) << s.rpm;
    }

    struct Lock {
        std::uint8_t b32, b33;
        const char* angle;
        bool on;
    } locks[] = {{0x82, 0x69, "12.34", true}, {0x02, 0x69, "12.34", false}, {0x00, 0x00, "0", false},
                 {0xFF, 0xFF, "655.34", true}};
    for (const Lock& l : locks) {
        std::array<std::uint8_t, st::kPacketBytes> p{};
        p[32] = l.b32;
        p[33] = l.b33;
        EXPECT_EQ(plAngleText(p.data()), l.angle);
        EXPECT_EQ(phaseLockOn(p.data()), l.on);
    }
}

TEST(StatusCapture, WhichFramesAreStatusPackets) {
    auto frame = [](std::size_t size, std::uint8_t fourth) {
        Bytes f(size, 0);
        if (size >= 46) {
            f[42] = 0xA5, f[43] = 0xFF, f[44] = 0x00, f[45] = fourth;
        }
        return f;
    };
    struct Case {
        const char* name;
        Bytes f;
        std::size_t wire;
        bool status;
    } cases[] = {
        {"1248 bytes, A5 FF 00 5A", frame(1248, 0x5A), 1248, true},
        {"1250 bytes", frame(1250, 0x5A), 1250, false},
        {"1247 bytes", frame(1247, 0x5A), 1247, false},
        {"A5 FF 00 5B", frame(1248, 0x5B), 1248, false},
        {"captured short of the wire length", frame(1248, 0x5A), 1300, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kv::statuscapture::isStatusFrame(c.f.data(), c.f.size(), c.wire), c.status) << c.name;
    EXPECT_FALSE(kv::statuscapture::isStatusFrame(nullptr, 1248, 1248));

    Bytes f = frame(1248, 0x5A);
    for (std::size_t i = 0; i < 6; ++i) f[6 + i] = std::uint8_t(0x10 + i);
    const std::uint8_t ips[] = {127, 0, 0, 2, 127, 0, 0, 1};
    std::memcpy(f.data() + 26, ips, 8);
    const auto a = kv::statuscapture::frameAddresses(f.data());
    EXPECT_EQ(Bytes(a.sensorMac.begin(), a.sensorMac.end()), (Bytes{0x10, 0x11, 0x12, 0x13, 0x14, 0x15}));
    EXPECT_EQ(Bytes(a.sensorIp.begin(), a.sensorIp.end()), (Bytes{127, 0, 0, 2}));
    EXPECT_EQ(Bytes(a.destIp.begin(), a.destIp.end()), (Bytes{127, 0, 0, 1}));
}

TEST(WriteCheck, ComparesWhatWasWrittenWithWhatIsReported) {
    using Packet = std::array<std::uint8_t, st::kPacketBytes>;
    Packet written{};
    kv::writeBe16(written.data() + st::kMotorSpeedRpm, 1200);
    const std::uint8_t ips[] = {127, 0, 0, 2, 127, 0, 0, 1};
    std::memcpy(written.data() + st::kSensorIp, ips, 8);
    kv::writeBe16(written.data() + st::kDataPort, 2370);
    kv::writeBe16(written.data() + st::kEquipPort, 2371);
    kv::writeBe16(written.data() + st::kPacketInterval, 1);
    kv::writeBe16(written.data() + st::kPhaseLock, 0x8269);
    struct Case {
        const char* name;
        std::function<void(Packet&)> report;
        std::vector<std::string> differing;
    } cases[] = {
        {"all taken", [](Packet&) {}, {}},
        {"speed within 100 rpm", [](Packet& p) { kv::writeBe16(p.data() + st::kMotorSpeedRpm, 1290); }, {}},
        {"speed off", [](Packet& p) { kv::writeBe16(p.data() + st::kMotorSpeedRpm, 600); }, {"Set Frame"}},
        {"motor", [](Packet& p) { kv::writeBe16(p.data() + st::kMotorState, 1); }, {"Moto State"}},
        {"addresses and MAC", [](Packet& p) { p[st::kSensorIp + 3] = 9, p[st::kDestIp] = 10, p[st::kMac + 5] = 1; },
         {"Lidar IP", "Computer IP", "Mac"}},
        {"ports", [](Packet& p) { kv::writeBe16(p.data() + st::kDataPort, 2368), kv::writeBe16(p.data() + st::kEquipPort, 2369); },
         {"Data Port", "Equipment Port"}},
        {"interval and phase lock",
         [](Packet& p) { kv::writeBe16(p.data() + st::kPacketInterval, 0), kv::writeBe16(p.data() + st::kPhaseLock, 0x0269); },
         {"Packet interval", "Phase lock"}},
        {"other bytes do not count", [](Packet& p) { p[36] = 1, p[300] = 2, p[1205] = 3; }, {}},
    };
    for (const Case& c : cases) {
        Packet reported = written;
        c.report(reported);
        const auto d = kv::writecheck::differingFields(written.data(), reported.data());
        EXPECT_EQ(d, c.differing) << c.name;
    }
    // A write that stops the motor is not judged by the speed the motor then reports.
    Packet stopping = written;
    kv::writeBe16(stopping.data() + st::kMotorState, 1);
    Packet reported = stopping;
    kv::writeBe16(reported.data() + st::kMotorSpeedRpm, 0);
    EXPECT_TRUE(kv::writecheck::differingFields(stopping.data(), reported.data()).empty());

    EXPECT_EQ(kv::writecheck::outcomeText({}), "Sensor check: applied");
    EXPECT_EQ(kv::writecheck::outcomeText({"Set Frame", "Mac"}), "Sensor check: not taken: Set Frame, Mac");
}

}  // namespace
