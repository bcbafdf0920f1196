// CSV export: the number format against printf, the two layouts, which points become rows,
// and the file writer (round trips through an independent reader, page-window boundaries,
// files that cannot be created or fill up part way).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "csv_export.h"
#include "csv_session.h"

namespace {

using kv::csv::Layout;

std::string printfG(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

std::string tempPath(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/kv_csv_" + std::to_string(::getpid()) + "_" + name;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : line) {
        if (c == ',') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    out.push_back(cur);
    return out;
}

// The row as printf would write it: the reference the writer is held to.
std::string printfRow(Layout layout, int frame, int line, const kv::PointM& p, float distanceCm, float azimuth,
                      int intensity) {
    char buf[256];
    if (layout == Layout::kMultiFrame)
        std::snprintf(buf, sizeof buf, "%d,%d,%g,%g,%g,%g,%g,%d,\n", frame, line, p.xM, p.yM, p.zM,
                      double(distanceCm / 100.0f), double(azimuth), intensity);
    else
        std::snprintf(buf, sizeof buf, "%d,%g,%g,%g,%g,%g,%d,\n", line, p.xM, p.yM, p.zM,
                      double(distanceCm / 100.0f), double(azimuth), intensity);
    return buf;
}

MuchLidarData syntheticFrame(int points, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> line(0, 3), inten(0, 255);
    std::uniform_int_distribution<int> az(0, 35999), dist(0, 20000);
    MuchLidarData f;
    for (int i = 0; i < points; ++i) f.append(line(rng), float(az(rng)) / 100.0f, float(dist(rng)) * 1.5f, inten(rng));
    return f;
}

TEST(CsvNumberFormat, MatchesPrintfForTheValuesThatMatter) {
    const kv::BeamGeometry tilted = kv::BeamGeometry::forLineType(2);
    const kv::PointM real = kv::computePoint(tilted, 3, 12.34, 1234.5);
    const double values[] = {
        1.5, 12.3457, 12.345678, 1e-05, 0.0001, 0.00012345678, 0.000099999949, 100000, 999999, 999999.4,
        999999.5, 9999995, 1e+06, 1234567, 123456.7, 0.0, -0.0, -1.5, -12.3457, -0.000123, -1e+06, 3.4028234663852886e38,
        1.7976931348623157e308, 1.1754943508222875e-38, 1.401298464324817e-45, 4.9406564584124654e-324, 1e-300,
        1e22, 1e23, 1e-22, 1e-23, 0.1, 0.2, 0.3, 1.0 / 3.0, 2.0 / 3.0, 9.9985, 0.34905, 359.99, 180.0, 180.5,
        // exact binary ties: printf rounds them to even
        100000.5, 100001.5, 1234565, 1234575, 999999.5, -2500005, 0.5, 2.5, 0.3125, 1.03125,
        double(real.xM), double(real.yM), double(real.zM), double(1234.5f / 100.0f), double(12.34f),
        double(0.33f), double(float(1e-5)), double(123.456f), double(-0.001f), double(65504.0f),
    };
    for (double v : values) EXPECT_EQ(kv::csv::general(v), printfG(v)) << "value " << printfG(v);
}

TEST(CsvNumberFormat, MatchesPrintfForNonFiniteValues) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double v : {inf, -inf, nan, -nan}) EXPECT_EQ(kv::csv::general(v), printfG(v));
}

TEST(CsvNumberFormat, MatchesPrintfOverRandomFloatsAndDoubles) {
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<std::uint32_t> bits;
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-30, 30);
    int mismatches = 0;
    for (int i = 0; i < 300000 && mismatches < 10; ++i) {
        // Every float bit pattern (the points' own values), and doubles of every magnitude.
        std::uint32_t b = bits(rng);
        float f;
        std::memcpy(&f, &b, sizeof f);
        const double d = unit(rng) * std::pow(10.0, exponent(rng));
        for (double v : {double(f), d}) {
            if (kv::csv::general(v) != printfG(v)) {
                ++mismatches;
                ADD_FAILURE() << "value " << std::hexfloat << v << ": " << kv::csv::general(v) << " vs " << printfG(v);
            }
        }
    }
}

TEST(CsvLayout, HeadersEndWithAnEmptyField) {
    struct Row {
        Layout layout;
        const char* text;
        std::size_t fields;
    };
    const Row rows[] = {
        {Layout::kSingleFrame, "Laser_id,Points_X,Points_Y,Points_Z,Distance,Azimuth,Intensity,\n", 8},
        {Layout::kMultiFrame, "FrameNumbers,Laser_id,Points_X,Points_Y,Points_Z,Distance,Azimuth,Intensity,\n", 9},
    };
    for (const Row& r : rows) {
        const std::string h = kv::csv::headerLine(r.layout);
        EXPECT_EQ(h, r.text);
        const auto fields = splitFields(h.substr(0, h.size() - 1));
        EXPECT_EQ(fields.size(), r.fields);
        EXPECT_TRUE(fields.back().empty());
    }
}

TEST(CsvLayout, RowsInBothLayouts) {
    const kv::PointM p{9.99851f, 0.0f, 0.349051f};
    char buf[kv::csv::kRowChars];
    struct Row {
        Layout layout;
        int frame;
        std::string text;
    };
    const Row rows[] = {
        {Layout::kSingleFrame, 7, "3,9.99851,0,0.349051,10,0,100,\n"},
        {Layout::kMultiFrame, 7, "7,3,9.99851,0,0.349051,10,0,100,\n"},
    };
    for (const Row& r : rows) {
        char* end = kv::csv::writeRow(buf, r.layout, r.frame, 3, p, 1000.0f, 0.0f, 100);
        EXPECT_EQ(std::string(buf, end), r.text);
        EXPECT_EQ(std::string(buf, end), printfRow(r.layout, r.frame, 3, p, 1000.0f, 0.0f, 100));
    }
    // Distance / 100 in single precision: 1234.5f / 100.0f, not 12.345 in double.
    char* end = kv::csv::writeRow(buf, Layout::kSingleFrame, 0, 0, p, 1234.5f, 0.0f, 0);
    EXPECT_NE(std::string(buf, end).find(",12.345,"), std::string::npos) << std::string(buf, end);
}

TEST(CsvRowFilter, WhichPointsBecomeRows) {
    kv::SelectionBox box{0.0f, 5.0f, -1.0f, 1.0f, -1.0f, 1.0f};
    const std::array<int, 4> onlyLine0{{1, 0, 0, 0}};
    const std::array<int, 4> none{{0, 0, 0, 0}};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Row {
        const char* what;
        kv::csv::RowFilter filter;
        int line;
        float azimuth, distance;
        bool written;
    };
    const Row rows[] = {
        {"azimuth 180 is inside 0-180", kv::csv::RowFilter::multiFrame(0, 180, onlyLine0, false, false, box), 0, 180.0f, 100, true},
        {"azimuth 180.5 is not", kv::csv::RowFilter::multiFrame(0, 180, onlyLine0, false, false, box), 0, 180.5f, 100, false},
        {"azimuth 0 is inside", kv::csv::RowFilter::multiFrame(0, 180, onlyLine0, false, false, box), 0, 0.0f, 100, true},
        {"below the minimum", kv::csv::RowFilter::multiFrame(10, 180, onlyLine0, false, false, box), 0, 9.99f, 100, false},
        {"a deselected line", kv::csv::RowFilter::multiFrame(0, 180, onlyLine0, false, false, box), 1, 90.0f, 100, false},
        {"no line selected", kv::csv::RowFilter::multiFrame(0, 180, none, false, false, box), 0, 90.0f, 100, false},
        {"production lets every line through", kv::csv::RowFilter::multiFrame(0, 180, none, true, false, box), 2, 90.0f, 100, true},
        {"zero distance is written", kv::csv::RowFilter::multiFrame(0, 180, onlyLine0, false, false, box), 0, 90.0f, 0, true},
        {"negative distance", kv::csv::RowFilter::multiFrame(0, 180, onlyLine0, false, false, box), 0, 90.0f, -1, false},
        {"distance not a number", kv::csv::RowFilter::singleFrame(false, box), 0, 90.0f, nan, false},
        {"line 4 has no geometry", kv::csv::RowFilter::multiFrame(0, 180, onlyLine0, true, false, box), 4, 90.0f, 100, false},
        {"line -1 has no geometry", kv::csv::RowFilter::singleFrame(false, box), -1, 90.0f, 100, false},
        {"single frame: no angle range", kv::csv::RowFilter::singleFrame(false, box), 0, 270.0f, 100, true},
        {"single frame: every line", kv::csv::RowFilter::singleFrame(false, box), 3, 90.0f, 100, true},
        {"azimuth not a number", kv::csv::RowFilter::multiFrame(0, 180, onlyLine0, false, false, box), 0, nan, 100, false},
    };
    for (const Row& r : rows) EXPECT_EQ(r.filter.accepts(r.line, r.azimuth, r.distance), r.written) << r.what;
}

// The frames of a file read back by a reader of its own: rows of accepted points in order,
// the numbers within six significant digits.
struct ParsedRow {
    int frame, line;
    double x, y, z, distanceM, azimuth;
    int intensity;
};

std::vector<ParsedRow> parseCsv(const std::string& text, Layout layout, std::string* header) {
    std::vector<ParsedRow> rows;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    if (header) *header = line;
    while (std::getline(in, line)) {
        const auto f = splitFields(line);
        const std::size_t base = layout == Layout::kMultiFrame ? 1 : 0;
        EXPECT_EQ(f.size(), base + 8) << line;
        if (f.size() != base + 8) continue;
        EXPECT_TRUE(f.back().empty());
        ParsedRow r{};
        r.frame = base ? std::atoi(f[0].c_str()) : 0;
        r.line = std::atoi(f[base].c_str());
        r.x = std::strtod(f[base + 1].c_str(), nullptr);
        r.y = std::strtod(f[base + 2].c_str(), nullptr);
        r.z = std::strtod(f[base + 3].c_str(), nullptr);
        r.distanceM = std::strtod(f[base + 4].c_str(), nullptr);
        r.azimuth = std::strtod(f[base + 5].c_str(), nullptr);
        r.intensity = std::atoi(f[base + 6].c_str());
        rows.push_back(r);
    }
    return rows;
}

void expectClose(double got, double want, const char* what) {
    EXPECT_NEAR(got, want, std::fabs(want) * 6e-6 + 1e-30) << what;
}

TEST(CsvFile, MultiFrameRoundTripThroughAnIndependentReader) {
    const kv::BeamGeometry g = kv::BeamGeometry::forLineType(2);
    const std::string path = tempPath("multi.csv");
    const std::array<int, 4> lines{{1, 0, 1, 1}};
    const auto filter = kv::csv::RowFilter::multiFrame(10.0f, 170.0f, lines, false, false, kv::SelectionBox());
    std::vector<MuchLidarData> frames;
    for (unsigned s = 0; s < 3; ++s) frames.push_back(syntheticFrame(5000, s));
    frames[1].distance[0] = -5.0f;  // never written

    kv::csv::CsvFile file(4096);  // a small buffer: each frame goes out in many pieces
    ASSERT_TRUE(file.open(path, Layout::kMultiFrame)) << file.error();
    for (std::size_t k = 0; k < frames.size(); ++k) ASSERT_TRUE(file.writeFrame(frames[k], g, filter, int(k + 1)));
    ASSERT_TRUE(file.close()) << file.error();

    std::string header;
    const auto rows = parseCsv(readFile(path), Layout::kMultiFrame, &header);
    EXPECT_EQ(header, "FrameNumbers,Laser_id,Points_X,Points_Y,Points_Z,Distance,Azimuth,Intensity,");
    std::size_t r = 0;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const MuchLidarData& f = frames[k];
        for (std::size_t i = 0; i < f.size(); ++i) {
            if (f.distance[i] < 0 || f.azimuth[i] < 10.0f || f.azimuth[i] > 170.0f || lines[std::size_t(f.channel[i])] == 0)
                continue;
            ASSERT_LT(r, rows.size());
            const kv::PointM p = kv::computePoint(g, f.channel[i], f.azimuth[i], f.distance[i]);
            EXPECT_EQ(rows[r].frame, int(k + 1));
            EXPECT_EQ(rows[r].line, f.channel[i]);
            expectClose(rows[r].x, p.xM, "x");
            expectClose(rows[r].y, p.yM, "y");
            expectClose(rows[r].z, p.zM, "z");
            expectClose(rows[r].distanceM, f.distance[i] / 100.0f, "distance");
            expectClose(rows[r].azimuth, f.azimuth[i], "azimuth");
            EXPECT_EQ(rows[r].intensity, f.intensity[i]);
            ++r;
        }
    }
    EXPECT_EQ(r, rows.size());
    EXPECT_EQ(file.rows(), rows.size());
    std::remove(path.c_str());
}

TEST(CsvFile, BytesEqualPrintfAcrossBufferSizes) {
    const kv::BeamGeometry g = kv::BeamGeometry::forLineType(1);
    const MuchLidarData frame = syntheticFrame(3000, 7);
    kv::SelectionBox box{-50.0f, 50.0f, 0.0f, 200.0f, -1.0f, 1.0f};
    for (Layout layout : {Layout::kSingleFrame, Layout::kMultiFrame}) {
        for (bool boxActive : {false, true}) {
            const auto filter = kv::csv::RowFilter::singleFrame(boxActive, box);
            std::string expected = kv::csv::headerLine(layout);
            for (std::size_t i = 0; i < frame.size(); ++i) {
                const kv::PointM p = kv::computePoint(g, frame.channel[i], frame.azimuth[i], frame.distance[i]);
                if (boxActive && !box.contains(p)) continue;
                expected += printfRow(layout, 4, frame.channel[i], p, frame.distance[i], frame.azimuth[i], frame.intensity[i]);
            }
            for (std::size_t buffer : {std::size_t(1), std::size_t(8192), std::size_t(8) << 20}) {
                const std::string path = tempPath("bytes.csv");
                kv::csv::CsvFile file(buffer);
                ASSERT_TRUE(file.open(path, layout));
                ASSERT_TRUE(file.writeFrame(frame, g, filter, 4));
                ASSERT_TRUE(file.close());
                EXPECT_EQ(readFile(path), expected) << "buffer " << buffer << " box " << boxActive;
                EXPECT_EQ(file.bytes(), expected.size());
                std::remove(path.c_str());
            }
        }
    }
}

TEST(CsvFile, ReplacesAnExistingFileAndReadsOnlyTheCommonLength) {
    const std::string path = tempPath("replace.csv");
    {
        std::ofstream old(path);
        old << std::string(100000, 'x');
    }
    MuchLidarData f;
    f.append(0, 0.0f, 100.0f, 1);
    f.append(0, 1.0f, 100.0f, 2);
    f.channel.push_back(0);  // a ragged record: the second point has all four, the third not
    kv::csv::CsvFile file;
    ASSERT_TRUE(file.open(path, Layout::kSingleFrame));
    ASSERT_TRUE(file.writeFrame(f, kv::BeamGeometry::forLineType(1), kv::csv::RowFilter::singleFrame(false, {})));
    ASSERT_TRUE(file.close());
    EXPECT_EQ(readFile(path), kv::csv::headerLine(Layout::kSingleFrame) + "0,1,0,0,1,0,1,\n0,0.999848,0.0174524,0,1,1,2,\n");
    std::remove(path.c_str());
}

// Through a pipe every write is at most a page and ends at a line end, so it reaches the
// reader in one piece: whatever the reader takes at once ends with a whole line.
TEST(CsvFile, ThroughAPipeTheReaderTakesWholeLines) {
    const std::string path = tempPath("fifo");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    // The read end is open before the writer comes.
    const int readEnd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(readEnd, 0);
    ::fcntl(readEnd, F_SETFL, 0);
    // A write end of the test's own, held until the export is closed: without a writer a read
    // sees the end of the pipe, and a reader that ended before the export opened its end would
    // leave that open waiting for ever.
    const int heldWriteEnd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(heldWriteEnd, 0);
    MuchLidarData f;
    f.append(2, 45.0f, 200.0f, 9);
    const MuchLidarData large = syntheticFrame(30000, 11);
    const kv::BeamGeometry g = kv::BeamGeometry::forLineType(1);
    const auto filter = kv::csv::RowFilter::singleFrame(false, {});
    std::string got;
    std::size_t reads = 0, cutReads = 0;
    std::thread reader([&] {
        std::vector<char> buf(1 << 20);
        for (ssize_t n; (n = ::read(readEnd, buf.data(), buf.size())) != 0;) {
            if (n < 0) {
                if (errno == EINTR) continue;
                break;
            }
            ++reads;
            if (buf[std::size_t(n) - 1] != '\n') ++cutReads;
            got.append(buf.data(), std::size_t(n));
            std::this_thread::sleep_for(std::chrono::microseconds(50));  // let the pipe fill
        }
        ::close(readEnd);
    });
    kv::csv::CsvFile file;
    ASSERT_TRUE(file.open(path, Layout::kMultiFrame)) << file.error();
    ASSERT_TRUE(file.writeFrame(f, g, filter, 1));
    ASSERT_TRUE(file.writeFrame(large, g, filter, 2));
    ASSERT_TRUE(file.close());
    ::close(heldWriteEnd);
    reader.join();

    const std::string regular = tempPath("fifo_twin.csv");
    kv::csv::CsvFile twin;
    ASSERT_TRUE(twin.open(regular, Layout::kMultiFrame));
    ASSERT_TRUE(twin.writeFrame(f, g, filter, 1) && twin.writeFrame(large, g, filter, 2) && twin.close());
    const std::string want = readFile(regular);
    EXPECT_EQ(want.substr(0, 200).find(kv::csv::headerLine(Layout::kMultiFrame) + "1,2,1.41421,1.41421,0,2,45,9,\n"), 0u);
    EXPECT_TRUE(got == want) << got.size() << " bytes through the pipe, " << want.size() << " in a file";
    EXPECT_GT(reads, 1u);
    EXPECT_EQ(cutReads, 0u) << "of " << reads << " reads";
    std::remove(regular.c_str());
    std::remove(path.c_str());
}

TEST(CsvFile, FailuresAreValuesAndNameTheFile) {
    struct Row {
        const char* what;
        std::string path;
        const char* reason;
    };
    const Row rows[] = {
        {"a folder that does not exist", "/nonexistent-folder-kv/x.csv", "No such file or directory"},
        {"a folder, not a file", "/tmp", "Is a directory"},
        {"a device that is always full", "/dev/full", "No space left on device"},
    };
    for (const Row& r : rows) {
        kv::csv::CsvFile file;
        EXPECT_FALSE(file.open(r.path, Layout::kMultiFrame)) << r.what;
        EXPECT_FALSE(file.isOpen()) << r.what;
        EXPECT_NE(file.error().find(r.path), std::string::npos) << file.error();
        EXPECT_NE(file.error().find(r.reason), std::string::npos) << file.error();
        MuchLidarData f;
        f.append(0, 1.0f, 1.0f, 1);
        EXPECT_FALSE(file.writeFrame(f, kv::BeamGeometry::forLineType(1), kv::csv::RowFilter::singleFrame(false, {})));
        EXPECT_FALSE(file.close());
    }
}

// A file that cannot grow past a limit (as on a full disk): the frame that hits it fails,
// the file keeps whole lines only, they are the lines written before, and they fill the room
// there was, whether the limit falls after some pieces of the frame or inside the only one.
TEST(CsvFile, AWriteThatFailsPartWayKeepsTheWholeLinesWritten) {
    const std::string path = tempPath("limit.csv");
    const kv::BeamGeometry g = kv::BeamGeometry::forLineType(2);
    const MuchLidarData frame = syntheticFrame(20000, 3);
    std::string expected = kv::csv::headerLine(Layout::kMultiFrame);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        const kv::PointM p = kv::computePoint(g, frame.channel[i], frame.azimuth[i], frame.distance[i]);
        expected += printfRow(Layout::kMultiFrame, 1, frame.channel[i], p, frame.distance[i], frame.azimuth[i], frame.intensity[i]);
    }
    const rlim_t limit = 100 * 1024;
    ASSERT_GT(expected.size(), limit);

    for (const std::size_t buffer : {std::size_t(16384), std::size_t(8) << 20}) {
        SCOPED_TRACE(buffer);
        struct rlimit old {};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
        void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = old;
        lim.rlim_cur = limit;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lim), 0);
        kv::csv::CsvFile file(buffer);
        const bool opened = file.open(path, Layout::kMultiFrame);
        const bool wrote = file.writeFrame(frame, g, kv::csv::RowFilter::singleFrame(false, {}), 1);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        ASSERT_TRUE(opened);
        EXPECT_FALSE(wrote);
        EXPECT_FALSE(file.isOpen());
        EXPECT_NE(file.error().find(path), std::string::npos) << file.error();
        const std::string kept = readFile(path);
        EXPECT_GT(kept.size(), limit - 200);  // within a row of the limit
        EXPECT_LE(kept.size(), limit);
        ASSERT_FALSE(kept.empty());
        EXPECT_EQ(kept.back(), '\n');
        EXPECT_EQ(kept, expected.substr(0, kept.size()));
        EXPECT_EQ(file.bytes(), kept.size());
        EXPECT_EQ(file.rows() + 1, std::uint64_t(std::count(kept.begin(), kept.end(), '\n')));
        std::remove(path.c_str());
    }
}

// Another process reading the file while frames are written (a viewer of a growing file, a
// copy): it never finds a zero byte or a byte that the finished file does not hold there, and
// whenever it looked while no frame was being written, the file ended with a whole line and
// held every row written so far. Frames as large as the sensor's, in buffers of several sizes.
TEST(CsvFile, AReaderDuringTheExportFindsOnlyWholeLinesOfTheFinishedFile) {
    const kv::BeamGeometry g = kv::BeamGeometry::forLineType(2);
    const auto filter = kv::csv::RowFilter::singleFrame(false, {});
    std::vector<MuchLidarData> frames;
    for (unsigned s = 0; s < 4; ++s) frames.push_back(syntheticFrame(72000, s));
    for (const std::size_t buffer : {std::size_t(100000), std::size_t(8) << 20}) {
        SCOPED_TRACE(buffer);
        const std::string path = tempPath("polled.csv");
        kv::csv::CsvFile file(buffer);
        ASSERT_TRUE(file.open(path, Layout::kMultiFrame)) << file.error();
        // Odd while a frame is being written; bytes() of the file when it was last even.
        std::atomic<unsigned> generation{0};
        std::atomic<std::uint64_t> idleBytes{file.bytes()};
        std::atomic<bool> done{false};
        std::string seen;  // what the reader found, in file order
        std::size_t idleLooks = 0, zeroBytes = 0, partialWhenIdle = 0, shortWhenIdle = 0;
        std::thread reader([&] {
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            std::vector<char> buf(1 << 20);
            while (fd >= 0) {
                const bool last = done.load();
                const unsigned before = generation.load();
                const std::uint64_t wantBytes = idleBytes.load();
                for (ssize_t n; (n = ::pread(fd, buf.data(), buf.size(), off_t(seen.size()))) > 0;) {
                    zeroBytes += std::size_t(std::count(buf.begin(), buf.begin() + n, '\0'));
                    seen.append(buf.data(), std::size_t(n));
                }
                if (before % 2 == 0 && generation.load() == before) {
                    ++idleLooks;
                    if (!seen.empty() && seen.back() != '\n') ++partialWhenIdle;
                    if (seen.size() != wantBytes) ++shortWhenIdle;
                }
                if (last) break;
            }
            if (fd >= 0) ::close(fd);
        });
        for (int round = 0; round < 3; ++round)
            for (std::size_t k = 0; k < frames.size(); ++k) {
                ++generation;
                const bool ok = file.writeFrame(frames[k], g, filter, int(k + 1));
                idleBytes = file.bytes();
                ++generation;
                ASSERT_TRUE(ok) << file.error();
                std::this_thread::sleep_for(std::chrono::milliseconds(3));  // the next frame comes
            }
        ASSERT_TRUE(file.close());
        done = true;
        reader.join();
        const std::string finished = readFile(path);
        EXPECT_EQ(zeroBytes, 0u);
        EXPECT_TRUE(seen == finished) << "the reader found " << seen.size() << " bytes, the file holds " << finished.size();
        EXPECT_GT(idleLooks, 0u);
        EXPECT_EQ(partialWhenIdle, 0u) << "of " << idleLooks;
        EXPECT_EQ(shortWhenIdle, 0u) << "of " << idleLooks;
        std::remove(path.c_str());
    }
}

}  // namespace

// The window's multi-frame export: frames counted, the end at the count (never with 0 or less),
// the status line, a second start keeping the first file, and a failed write ending the export.
TEST(CsvExportSession, CountsEndsAndFails) {
    const kv::BeamGeometry g = kv::BeamGeometry::forLineType(1);
    kv::csv::SaveSelection choice(4, 1);
    choice.lineState = {1, 1, 1, 1};
    choice.maxAngleDeg = 360.0f;
    const MuchLidarData frame = syntheticFrame(50, 3);
    using Step = kv::csv::ExportSession::Step;
    struct Case {
        const char* what;
        int frameCount, framesFed;
        std::vector<Step> steps;
        bool activeAfter;
    } cases[] = {
        {"ends at the count", 3, 3, {Step::kGoing, Step::kGoing, Step::kEnded}, false},
        {"one frame", 1, 1, {Step::kEnded}, false},
        {"0 runs until ended", 0, 4, {Step::kGoing, Step::kGoing, Step::kGoing, Step::kGoing}, true},
        {"a negative count runs until ended", -2, 2, {Step::kGoing, Step::kGoing}, true},
    };
    for (const Case& c : cases) {
        const std::string path = tempPath("session.csv");
        kv::csv::ExportSession session;
        ASSERT_TRUE(session.start(path)) << c.what;
        choice.frameCount = c.frameCount;
        for (int k = 0; k < c.framesFed; ++k)
            EXPECT_EQ(session.step(frame, g, choice, false, false, {}), c.steps[std::size_t(k)]) << c.what << " " << k;
        EXPECT_EQ(session.active(), c.activeAfter) << c.what;
        EXPECT_EQ(session.frames(), c.framesFed) << c.what;
        EXPECT_EQ(session.statusText(),
                  c.activeAfter ? "CSV export to " + path + ": " + std::to_string(c.framesFed) + " frames" : "")
            << c.what;
        EXPECT_TRUE(session.end()) << c.what;
        const std::string text = readFile(path);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 50 * c.framesFed) << c.what;  // header + rows
        std::remove(path.c_str());
    }

    // A second start ends the first export with its lines kept, and counts afresh.
    const std::string first = tempPath("first.csv"), second = tempPath("second.csv");
    kv::csv::ExportSession session;
    choice.frameCount = 0;
    ASSERT_TRUE(session.start(first));
    session.step(frame, g, choice, false, false, {});
    ASSERT_TRUE(session.start(second));
    EXPECT_EQ(session.frames(), 0);
    const std::string kept = readFile(first);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), '\n'), 51);
    session.end();
    std::remove(first.c_str());
    std::remove(second.c_str());

    // A full disk: the step fails, the export is over and says why.
    if (::access("/dev/full", W_OK) == 0) {
        if (session.start("/dev/full")) {  // the header may wait for the first frame
            EXPECT_EQ(session.step(syntheticFrame(72000, 5), g, choice, false, false, {}), Step::kFailed);
        }
        EXPECT_FALSE(session.active());
        EXPECT_FALSE(session.error().empty());
    }
}

// "SaveData" over a replayed PCD cloud: x, y and z as they are, the distance (metres) and the
// azimuth (0 along +x, 90 along +y, in [0, 360)) from the coordinates, line and intensity 0;
// points that are not finite are left out, and a followed selection keeps its box.
TEST(CsvExportSession, ASingleCloudDerivesDistanceAndAzimuthFromItsCoordinates) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const kv::SelectionBox box{0.0f, 2.0f, -1.0f, 1.0f, -1.0f, 1.0f};
    const struct {
        const char* what;
        kv::PointM p;
        bool boxFollowed;
        const char* row;  // empty: not written
    } cases[] = {
        {"along +x", {1.0f, 0.0f, 0.0f}, false, "0,1,0,0,1,0,0,\n"},
        {"along +y", {0.0f, 2.0f, 0.0f}, false, "0,0,2,0,2,90,0,\n"},
        {"along -x", {-3.0f, 0.0f, 0.0f}, false, "0,-3,0,0,3,180,0,\n"},
        {"along -y", {0.0f, -1.0f, 0.0f}, false, "0,0,-1,0,1,270,0,\n"},
        {"between", {3.0f, 4.0f, 0.0f}, false, "0,3,4,0,5,53.1301,0,\n"},
        {"z counts in the distance", {1.0f, 2.0f, 2.0f}, false, "0,1,2,2,3,63.4349,0,\n"},
        {"-0 along +x is azimuth 0", {1.0f, -0.0f, 0.0f}, false, "0,1,-0,0,1,0,0,\n"},
        {"just below +x is azimuth 0, not 360", {1.0f, -1e-7f, 0.0f}, false, "0,1,-1e-07,0,1,0,0,\n"},
        {"the origin", {0.0f, 0.0f, 0.0f}, false, "0,0,0,0,0,0,0,\n"},
        {"x not a number", {nan, 1.0f, 0.0f}, false, ""},
        {"z infinite", {1.0f, 1.0f, inf}, false, ""},
        {"inside a followed box", {1.0f, 0.5f, 0.0f}, true, "0,1,0.5,0,1.11803,26.5651,0,\n"},
        {"outside a followed box", {3.0f, 0.5f, 0.0f}, true, ""},
        {"outside a box not followed", {3.0f, 0.5f, 0.0f}, false, "0,3,0.5,0,3.04138,9.46232,0,\n"},
    };
    const std::string path = tempPath("cloud.csv");
    for (const auto& c : cases) {
        std::string error;
        ASSERT_TRUE(kv::csv::exportSingleCloud(path, {c.p}, c.boxFollowed, box, error)) << c.what << ": " << error;
        EXPECT_EQ(readFile(path), kv::csv::headerLine(Layout::kSingleFrame) + c.row) << c.what;
    }
    std::remove(path.c_str());

    // A point of a flat line gives back the azimuth and distance it was computed from.
    const kv::BeamGeometry flat = kv::BeamGeometry::forLineType(1);
    for (double az : {0.5, 45.0, 123.4, 271.25, 359.5}) {
        const kv::PointM p = kv::computePoint(flat, 0, az, 1234.5);
        EXPECT_NEAR(kv::pointAzimuthDeg(p), az, 1e-3) << az;
        EXPECT_NEAR(kv::pointRangeCm(p), 1234.5, 1e-2) << az;
    }

    std::string error;
    EXPECT_FALSE(kv::csv::exportSingleCloud("/nonexistent-kv-folder/cloud.csv", {}, false, box, error));
    EXPECT_NE(error.find("/nonexistent-kv-folder/cloud.csv"), std::string::npos) << error;
}
