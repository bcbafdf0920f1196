// PCD file checks, reading every layout, and the naming of PCD recordings (pure: no PCL, no files).
#include <gtest/gtest.h>

#include "pcd_fixtures.h"
#include "pcd_header.h"
#include "pcd_points.h"
#include "pcd_recording.h"
#include "recording_status.h"

namespace {

kv::pcd::Check check(const std::string& bytes) {
    return kv::pcd::checkFile(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(PcdCheck, RefusesEveryMalformedFixtureWithItsReason) {
    for (const kvtest::MalformedPcd& f : kvtest::malformedPcds()) {
        SCOPED_TRACE(f.file);
        const kv::pcd::PointsRead r =
            kv::pcd::readPoints(reinterpret_cast<const std::uint8_t*>(f.bytes.data()), f.bytes.size());
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.points.empty());
        EXPECT_NE(r.error.find(f.reason), std::string::npos) << r.error;
    }
}

TEST(PcdRead, ReadsEveryLayoutByTheCheckedHeaderAlone) {
    for (const kvtest::ReadOurWayPcd& f : kvtest::pcdsReadOurWay()) {
        SCOPED_TRACE(f.file);
        const kv::pcd::PointsRead r =
            kv::pcd::readPoints(reinterpret_cast<const std::uint8_t*>(f.bytes.data()), f.bytes.size());
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.droppedPoints, f.dropped);
        ASSERT_EQ(r.points.size(), f.kept.size());
        for (std::size_t i = 0; i < f.kept.size(); ++i) {
            const kv::ColouredPoint& p = r.points[i];
            EXPECT_EQ((std::array<float, 3>{p.xM, p.yM, p.zM}), f.kept[i]) << i;
            EXPECT_EQ(p.rgb, (kv::Rgb{255, 255, 255})) << i;
        }
    }
}

TEST(PcdCheck, AcceptsGoodFilesAndDescribesThem) {
    struct Case {
        const char* name;
        std::string bytes;
        kv::pcd::DataKind kind;
        std::uint64_t points;
        std::size_t pointBytes, values;
    };
    using kvtest::pcdHeader;
    const Case cases[] = {
        {"ascii", kvtest::goodAsciiPcd(), kv::pcd::DataKind::Ascii, 3, 16, 4},
        {"binary", kvtest::goodBinaryPcd(), kv::pcd::DataKind::Binary, 3, 16, 4},
        {"no COUNT line, CRLF rows, blank line, comment",
         "# written elsewhere\r\n" + pcdHeader("x y z", "4 4 4", "F F F", "", 2, 1, 2, "ascii") + "1 2 3\r\n\n-4.5e-1 +5. .6\r\n",
         kv::pcd::DataKind::Ascii, 2, 12, 3},
        {"nan coordinates", pcdHeader("x y z intensity", "4 4 4 4", "F F F F", "1 1 1 1", 2, 1, 2, "ascii") + "nan nan nan 3\n1 2 3 NaN\n",
         kv::pcd::DataKind::Ascii, 2, 16, 4},
        {"doubles and a multi-value field", pcdHeader("x y z normal", "8 8 8 4", "F F F F", "1 1 1 3", 1, 1, 1, "ascii") + "1 2 3 0 0 1\n",
         kv::pcd::DataKind::Ascii, 1, 36, 6},
        {"organised, no POINTS", "WIDTH 2\nHEIGHT 2\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nDATA ascii\n1 2 3\n1 2 3\n1 2 3\n1 2 3\n",
         kv::pcd::DataKind::Ascii, 4, 12, 3},
        {"zero points", pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 0, 1, 0, "binary"), kv::pcd::DataKind::Binary, 0, 12, 3},
        {"extra rows beyond POINTS", pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 1, 1, 1, "ascii") + "1 2 3\n4 5 6\n",
         kv::pcd::DataKind::Ascii, 1, 12, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const kv::pcd::Check r = check(c.bytes);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.header.data, c.kind);
        EXPECT_EQ(r.header.points, c.points);
        EXPECT_EQ(r.header.pointBytes, c.pointBytes);
        EXPECT_EQ(r.header.valuesPerPoint, c.values);
        EXPECT_LE(r.header.dataOffset, c.bytes.size());
    }
}

TEST(PcdCheck, EveryCutOfAGoodFileIsRefusedUnlessEveryValueIsThere) {
    // A binary file passes only whole; an ASCII file only while its last row still holds a
    // digit of its last value.
    const std::string ascii = kvtest::goodAsciiPcd(), binary = kvtest::goodBinaryPcd();
    for (std::size_t n = 0; n < binary.size(); ++n) EXPECT_FALSE(check(binary.substr(0, n)).ok) << n;
    const std::size_t lastValue = ascii.rfind(' ') + 1;
    for (std::size_t n = 0; n < ascii.size(); ++n) EXPECT_EQ(check(ascii.substr(0, n)).ok, n > lastValue) << n;
}

TEST(PcdNames, BaseNameDropsFourCharacters) {
    const struct {
        const char* answer;
        const char* base;
    } cases[] = {
        {"/data/scan.pcd", "/data/scan"},
        {"/data/scan", "/data/"},        // no extension: four characters go all the same
        {"/data/scan.PCD", "/data/scan"},
        {"abc", ""},
        {"", ""},
        {"/d/\xC3\xA9t\xC3\xA9.pcd", "/d/\xC3\xA9t\xC3\xA9"},  // UTF-8 names keep whole characters
        {"/d/ab\xC3\xA9\xC3\xA9", "/d/"},
    };
    for (const auto& c : cases) EXPECT_EQ(kv::pcd::baseName(c.answer), c.base) << c.answer;
}

TEST(PcdRecording, NamesAndEndsByTheFrameCount) {
    const std::string t0 = "2026-01-02-03-04-05-006";
    struct Case {
        const char* name;
        int n;          // count field at the start and after every frame
        int frames;     // frames handled
        std::vector<std::string> files;  // names used, one per frame
        bool activeAfter;
    };
    auto stamp = [](int k) { return "2026-01-02-03-04-05-" + std::to_string(100 + k); };
    const Case cases[] = {
        {"one frame: named as chosen", 1, 2, {"/d/scan.pcd"}, false},
        {"three frames: _0 _1 _2", 3, 4,
         {"/d/scan" + t0 + "_0.pcd", "/d/scan" + stamp(1) + "_1.pcd", "/d/scan" + stamp(2) + "_2.pcd"}, false},
        {"zero never ends", 0, 3, {"/d/scan.pcd", "/d/scan" + stamp(1) + "_1.pcd", "/d/scan" + stamp(2) + "_2.pcd"}, true},
        {"negative never ends", -2, 2, {"/d/scan.pcd", "/d/scan" + stamp(1) + "_1.pcd"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kv::pcd::PcdRecording rec;
        rec.start("/d/scan.pcd", c.n, t0);
        std::vector<std::string> used;
        for (int f = 0; f < c.frames && rec.active(); ++f) {
            used.push_back(rec.nextFileName());
            rec.frameDone(c.n, stamp(f + 1));
        }
        EXPECT_EQ(used, c.files);
        EXPECT_EQ(rec.active(), c.activeAfter);
        EXPECT_EQ(kv::pcd::PcdRecording::endless(c.n), c.n <= 0);
        if (!rec.active()) {
            EXPECT_TRUE(rec.nextFileName().empty());
            EXPECT_TRUE(rec.base().empty());
        }
    }
}

// Sizes in the status bar: exact below a kilobyte, one decimal above, and a unit changes where
// the rounded figure would read 1000.
TEST(RecordingStatus, SizesReadAsPeopleReadThem) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0 bytes"},          {1, "1 byte"},           {999, "999 bytes"},       {1000, "1.0 kB"},
        {1049, "1.0 kB"},        {1050, "1.1 kB"},        {999949, "999.9 kB"},     {999950, "1.0 MB"},
        {12345678, "12.3 MB"},   {1300000000, "1.3 GB"},  {UINT64_MAX, "18.4 EB"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(kv::byteSizeText(bytes), text) << bytes;
    EXPECT_EQ(kv::captureRecordingText("/d/a.pcap", 1, 24, true), "Recording into /d/a.pcap: 1 packet, 24 bytes");
    EXPECT_EQ(kv::captureRecordingText("/d/a.pcap", 2500, 3100000, false),
              "Recording ended: /d/a.pcap, 2500 packets, 3.1 MB");
}

TEST(PcdRecording, RenameKeepsRecordingAndCountLoweredBelowWrittenEnds) {
    kv::pcd::PcdRecording rec;
    rec.start("/d/a.pcd", 5, "T0");
    rec.frameDone(5, "T1");
    rec.rename("T9");
    EXPECT_TRUE(rec.active());
    EXPECT_EQ(rec.nextFileName(), "/d/aT9_1.pcd");
    rec.frameDone(5, "T2");
    EXPECT_EQ(rec.written(), 2);
    // The count field now says 1: two frames are already written, so the recording ends.
    rec.frameDone(1, "T3");
    EXPECT_FALSE(rec.active());
    EXPECT_EQ(rec.written(), 3);
    rec.frameDone(1, "T4");  // no effect once ended
    EXPECT_EQ(rec.written(), 3);
    // Ended by hand (after a failed write): nothing more is named.
    rec.start("/d/b.pcd", 0, "T5");
    rec.end();
    EXPECT_FALSE(rec.active());
    EXPECT_TRUE(rec.nextFileName().empty());
}

}  // namespace

// A second press of "RecordPCD": an endless recording ends, one with a count is renamed; the
// status bar's line follows.
TEST(PcdRecording, PressWhileActiveAndStatusLine) {
    const struct {
        int n;
        bool activeAfter;
        const char* status;
    } cases[] = {{0, false, "PCD recording ended: 1 frames"},
                 {-3, false, "PCD recording ended: 1 frames"},
                 {5, true, "Recording PCD: 1 frames"}};
    for (const auto& c : cases) {
        kv::pcd::PcdRecording rec;
        rec.start("/d/a.pcd", c.n, "T0");
        EXPECT_EQ(rec.statusText(), "Recording PCD: 0 frames");
        rec.frameDone(c.n, "T1");
        rec.pressWhileActive(c.n, "T2");
        EXPECT_EQ(rec.active(), c.activeAfter) << c.n;
        EXPECT_EQ(rec.statusText(), c.status) << c.n;
        if (c.activeAfter) {
            EXPECT_EQ(rec.nextFileName(), "/d/aT2_1.pcd");
        }
    }
}
