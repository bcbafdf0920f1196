// PCD files through PCL: the writer's round trip and failures, the guarded reader over the
// malformed fixtures, colours for files without colour, and parallel loading in list order.
#include <gtest/gtest.h>

#include <pcl/io/pcd_io.h>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <limits>
#include <fstream>
#include <random>

#include "frame_display.h"
#include "pcd_fixtures.h"
#include "pcd_io.h"

namespace fs = std::filesystem;

// A point with a field of three values, as descriptors are written.
struct PointWithHistogram {
    PCL_ADD_POINT4D;
    float hist[3];
    PCL_MAKE_ALIGNED_OPERATOR_NEW
};
POINT_CLOUD_REGISTER_POINT_STRUCT(PointWithHistogram, (float, x, x)(float, y, y)(float, z, z)(float[3], hist, hist))

namespace {

struct TempDir {
    fs::path path;
    TempDir() {
        char tmpl[] = "/tmp/kv_pcd_test_XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, ec);
        fs::remove_all(path, ec);
    }
    std::string file(const std::string& name, const std::string& bytes) const {
        const fs::path p = path / name;
        std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        return p.string();
    }
};

std::vector<kv::ColouredPoint> randomPoints(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> coord(-120.f, 120.f);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<kv::ColouredPoint> pts(n);
    for (auto& p : pts) {
        p.xM = coord(rng);
        p.yM = coord(rng);
        p.zM = coord(rng) / 40.f;
        p.rgb = {std::uint8_t(byte(rng)), std::uint8_t(byte(rng)), std::uint8_t(byte(rng))};
    }
    return pts;
}

// Equal to eight significant digits.
bool close8(float written, float read) {
    if (written == read) return true;
    return std::fabs(double(written) - double(read)) <= std::fabs(double(written)) * 1e-7;
}

TEST(PcdRead, MalformedFilesAreSkippedAndGoodOnesBesideThemLoad) {
    TempDir dir;
    std::vector<std::string> paths;
    std::vector<bool> good;
    auto add = [&](const std::string& path, bool isGood) {
        paths.push_back(path);
        good.push_back(isGood);
    };
    add(dir.file("a_good_ascii.pcd", kvtest::goodAsciiPcd()), true);
    for (const kvtest::MalformedPcd& f : kvtest::malformedPcds()) add(dir.file(f.file, f.bytes), false);
    add(dir.file("m_good_binary.pcd", kvtest::goodBinaryPcd()), true);
    fs::create_directory(dir.path / "x.pcd");
    add((dir.path / "x.pcd").string(), false);
    ASSERT_EQ(mkfifo((dir.path / "fifo.pcd").c_str(), 0644), 0);
    add((dir.path / "fifo.pcd").string(), false);  // must not block
    fs::create_symlink(dir.path / "gone.pcd", dir.path / "unreadable.pcd");
    add((dir.path / "unreadable.pcd").string(), false);
    if (geteuid() != 0) {
        const std::string locked = dir.file("locked.pcd", kvtest::goodAsciiPcd());
        chmod(locked.c_str(), 0);
        add(locked, false);
    }
    add(dir.file("z_good_again.pcd", kvtest::goodAsciiPcd()), true);

    std::vector<std::size_t> order;
    kv::pcd::loadClouds(paths, 2, [&](std::size_t i, kv::pcd::LoadResult&& r) {
        order.push_back(i);
        SCOPED_TRACE(paths[i]);
        EXPECT_EQ(r.ok, bool(good[i])) << r.error;
        if (!r.ok) {
            EXPECT_FALSE(r.error.empty());
            EXPECT_FALSE(r.cloud);
            return;
        }
        ASSERT_TRUE(r.cloud);
        ASSERT_EQ(r.cloud->size(), 3u);
        const kv::pcd::Cloud& c = *r.cloud;
        EXPECT_EQ(c[0].x, 1.f);
        EXPECT_EQ(c[1].y, 5.f);
        EXPECT_EQ(c[2].z, 9.f);
        EXPECT_EQ(int(c[0].r), 255);
        EXPECT_EQ(int(c[1].g), 255);
        EXPECT_EQ(int(c[2].b), 255);
        EXPECT_EQ(int(c[0].g) + c[0].b, 0);
    });
    ASSERT_EQ(order.size(), paths.size());
    for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);

    // Files other readers read differently load as their header says.
    for (const kvtest::ReadOurWayPcd& f : kvtest::pcdsReadOurWay()) {
        SCOPED_TRACE(f.file);
        const kv::pcd::LoadResult r = kv::pcd::loadCloud(dir.file(f.file, f.bytes));
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.droppedPoints, f.dropped);
        ASSERT_EQ(r.cloud->size(), f.kept.size());
        for (std::size_t i = 0; i < f.kept.size(); ++i)
            EXPECT_EQ((std::array<float, 3>{(*r.cloud)[i].x, (*r.cloud)[i].y, (*r.cloud)[i].z}), f.kept[i]) << i;
    }
}

TEST(PcdRead, ColoursFilesWithoutColourVisiblyAndDropsNonFinitePoints) {
    TempDir dir;
    using kvtest::pcdHeader;
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<kv::Rgb> colours;  // of the points kept, in order
        std::size_t dropped;
    };
    const Case cases[] = {
        {"xyz only: white", pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2, 1, 2, "ascii") + "1 2 3\n4 5 6\n",
         {{255, 255, 255}, {255, 255, 255}}, 0},
        {"intensity 0..255", pcdHeader("x y z intensity", "4 4 4 4", "F F F F", "1 1 1 1", 2, 1, 2, "ascii") + "1 2 3 0\n4 5 6 200\n",
         {kv::intensityColour(0), kv::intensityColour(200)}, 0},
        {"intensity 0..1 spread over the ramp", pcdHeader("x y z intensity", "4 4 4 4", "F F F F", "1 1 1 1", 2, 1, 2, "ascii") + "1 2 3 0.5\n4 5 6 1\n",
         {kv::intensityColour(128), kv::intensityColour(255)}, 0},
        {"intensity as bytes", pcdHeader("x y z intensity", "4 4 4 1", "F F F U", "1 1 1 1", 1, 1, 1, "ascii") + "1 2 3 40\n",
         {kv::intensityColour(40)}, 0},
        {"nan coordinates dropped", pcdHeader("x y z rgb", "4 4 4 4", "F F F U", "1 1 1 1", 3, 1, 3, "ascii") + "nan nan nan 255\n1 2 3 255\n4 inf 6 255\n",
         {{0, 0, 255}}, 2},
        {"doubles", pcdHeader("x y z", "8 8 8", "F F F", "1 1 1", 1, 1, 1, "ascii") + "1.5 2.5 3.5\n", {{255, 255, 255}}, 0},
        {"out of range: huge dropped, tiny kept", pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2, 1, 2, "ascii") + "1e999 2 3\n1 -2e-999 3\n",
         {{255, 255, 255}}, 1},
        {"signs, bare dots, CRLF, a field of three", pcdHeader("n x y z rgb", "4 4 4 4 4", "F F F F U", "3 1 1 1 1", 1, 1, 1, "ascii") + "0 0 1 +1. -.5 +2e1 +65280\r\n",
         {{0, 255, 0}}, 0},
        {"rgba with alpha in the top byte", pcdHeader("x y z rgba", "4 4 4 4", "F F F U", "1 1 1 1", 1, 1, 1, "ascii") + "1 2 3 4278255360\n",
         {{0, 255, 0}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const kv::pcd::LoadResult r = kv::pcd::loadCloud(dir.file("f.pcd", c.bytes));
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.cloud->size(), c.colours.size());
        EXPECT_EQ(r.droppedPoints, c.dropped);
        for (std::size_t i = 0; i < c.colours.size(); ++i) {
            const pcl::PointXYZRGB& p = (*r.cloud)[i];
            EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
            EXPECT_FALSE(p.x == 0 && p.y == 0 && p.z == 0);
            EXPECT_EQ((kv::Rgb{p.r, p.g, p.b}), c.colours[i]) << i;
        }
    }
}

// Clouds of several point types, one with organised NaN gaps, written by the point library's
// writer in each layout; its reader is the reference our own reading must equal.
template <typename PointT, typename Fill>
pcl::PointCloud<PointT> sampleCloud(std::uint32_t width, std::uint32_t height, unsigned seed, Fill fill) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> coord(-90.f, 90.f);
    pcl::PointCloud<PointT> c;
    c.resize(std::size_t(width) * height);
    c.width = width;
    c.height = height;
    c.is_dense = height == 1;
    for (std::size_t i = 0; i < c.size(); ++i) {
        PointT& p = c[i];
        p.x = coord(rng);
        p.y = coord(rng);
        p.z = coord(rng) / 10.f;
        fill(p, rng);
        if (height > 1 && i % 5 == 2) p.x = p.y = p.z = std::numeric_limits<float>::quiet_NaN();
    }
    return c;
}

// x y z, four bytes of padding named "_" (as writers of aligned points emit), then rgb, in
// `layout` (0 ascii, 1 binary).
std::function<void(pcl::PCDWriter&, const std::string&, int)> padded(const pcl::PointCloud<pcl::PointXYZRGB>& c) {
    return [c](pcl::PCDWriter&, const std::string& path, int layout) {
        const char* kinds[] = {"ascii", "binary", "binary_compressed"};
        std::string out = kvtest::pcdHeader("x y z _ rgb", "4 4 4 1 4", "F F F U U", "1 1 1 4 1", c.width, 1,
                                            unsigned(c.size()), kinds[layout]);
        const std::string pad("\x01\x02\x03\x04", 4);
        std::string points;
        for (const pcl::PointXYZRGB& p : c) {
            const std::string parts[5] = {kvtest::bytesOf<float>({p.x}), kvtest::bytesOf<float>({p.y}),
                                          kvtest::bytesOf<float>({p.z}), pad, kvtest::bytesOf<std::uint32_t>({p.rgba})};
            char row[128];
            std::snprintf(row, sizeof row, "%.9g %.9g %.9g 1 2 3 4 %u\n", double(p.x), double(p.y), double(p.z), unsigned(p.rgba));
            for (const std::string& part : parts) points += part;
            out += layout == 0 ? row : "";
        }
        if (layout == 1) out += points;
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(out.data(), std::streamsize(out.size()));
    };
}

TEST(PcdRead, OurReadingEqualsThePointLibrarysInEveryLayout) {
    TempDir dir;
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_real_distribution<float> unit(0.f, 1.f);
    auto colour = [&](auto& p, std::mt19937& rng) {
        p.r = std::uint8_t(byte(rng));
        p.g = std::uint8_t(byte(rng));
        p.b = std::uint8_t(byte(rng));
        p.a = std::uint8_t(byte(rng));
    };
    struct Sample {
        const char* name;
        bool coloured;
        std::function<void(pcl::PCDWriter&, const std::string&, int layout)> write;
        int layouts = 3;  // ascii, binary and binary_compressed, or the first two
    };
    auto sample = [&](auto cloud) {
        return [cloud](pcl::PCDWriter& w, const std::string& path, int layout) {
            if (layout == 0) w.writeASCII(path, cloud, 9);
            else if (layout == 1) w.writeBinary(path, cloud);
            else w.writeBinaryCompressed(path, cloud);
        };
    };
    const Sample samples[] = {
        {"x y z (padded)", false, sample(sampleCloud<pcl::PointXYZ>(700, 1, 1, [](auto&, auto&) {}))},
        {"x y z rgb", true, sample(sampleCloud<pcl::PointXYZRGB>(700, 1, 2, colour))},
        {"x y z rgba", true, sample(sampleCloud<pcl::PointXYZRGBA>(700, 1, 3, colour))},
        {"x y z intensity", false,
         sample(sampleCloud<pcl::PointXYZI>(700, 1, 4, [&](pcl::PointXYZI& p, std::mt19937& rng) { p.intensity = unit(rng) * 300.f; }))},
        {"extra fields: rgb, normal, curvature", true,
         sample(sampleCloud<pcl::PointXYZRGBNormal>(300, 1, 5, [&](pcl::PointXYZRGBNormal& p, std::mt19937& rng) {
             colour(p, rng);
             p.normal_x = unit(rng);
             p.curvature = unit(rng);
         }))},
        {"a field of three values", false,
         sample(sampleCloud<PointWithHistogram>(300, 1, 6, [&](PointWithHistogram& p, std::mt19937& rng) {
             for (float& h : p.hist) h = unit(rng);
         }))},
        {"organised 40 x 25 with NaN gaps", true, sample(sampleCloud<pcl::PointXYZRGB>(40, 25, 7, colour))},
        {"a padding field (not compressed: readers unpack it both ways)", true,
         padded(sampleCloud<pcl::PointXYZRGB>(500, 1, 8, colour)), 2},
    };
    const char* layouts[] = {"ascii", "binary", "binary_compressed"};
    pcl::PCDWriter writer;
    for (const Sample& s : samples) {
        for (int layout = 0; layout < s.layouts; ++layout) {
            SCOPED_TRACE(std::string(s.name) + ", " + layouts[layout]);
            const std::string path = (dir.path / "sample.pcd").string();
            s.write(writer, path, layout);
            std::ifstream in(path);
            std::string header((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            ASSERT_NE(header.find(std::string("\nDATA ") + layouts[layout] + "\n"), std::string::npos);
            pcl::PointCloud<pcl::PointXYZRGB> reference;
            ASSERT_EQ(pcl::PCDReader().read(path, reference), 0);
            const kv::pcd::LoadResult ours = kv::pcd::loadCloud(path);
            ASSERT_TRUE(ours.ok) << ours.error;
            EXPECT_EQ(ours.hadColour, s.coloured);
            std::size_t k = 0, dropped = 0;
            for (const pcl::PointXYZRGB& want : reference) {
                if (!std::isfinite(want.x)) {
                    ++dropped;
                    continue;
                }
                ASSERT_LT(k, ours.cloud->size());
                const pcl::PointXYZRGB& got = (*ours.cloud)[k++];
                ASSERT_TRUE(want.x == got.x && want.y == got.y && want.z == got.z) << k;
                if (s.coloured) {
                    ASSERT_TRUE(want.r == got.r && want.g == got.g && want.b == got.b) << k;
                }
            }
            EXPECT_EQ(k, ours.cloud->size());
            EXPECT_EQ(dropped, ours.droppedPoints);
        }
    }
}

TEST(PcdWrite, RoundTripsThroughTheReaderInBothEncodings) {
    TempDir dir;
    const std::vector<kv::ColouredPoint> pts = randomPoints(5000, 7);
    kv::pcd::Cloud cloud;
    kv::fillCloud(pts, cloud);
    ASSERT_EQ(cloud.width, 5000u);
    ASSERT_EQ(cloud.height, 1u);
    for (kv::pcd::Encoding e : {kv::pcd::Encoding::Ascii, kv::pcd::Encoding::Binary}) {
        const std::string path = (dir.path / (e == kv::pcd::Encoding::Ascii ? "a.pcd" : "b.pcd")).string();
        const kv::pcd::WriteResult w = kv::pcd::writeCloud(cloud, path, e);
        ASSERT_TRUE(w.ok && w.written) << w.error;
        // Read back by the bare reader, and by ours.
        pcl::PointCloud<pcl::PointXYZRGB> bare;
        ASSERT_EQ(pcl::PCDReader().read(path, bare), 0);
        const kv::pcd::LoadResult ours = kv::pcd::loadCloud(path);
        ASSERT_TRUE(ours.ok) << ours.error;
        EXPECT_TRUE(ours.hadColour);
        for (const pcl::PointCloud<pcl::PointXYZRGB>* back : {&bare, ours.cloud.get()}) {
            ASSERT_EQ(back->size(), pts.size());
            for (std::size_t i = 0; i < pts.size(); ++i) {
                const pcl::PointXYZRGB& q = (*back)[i];
                ASSERT_TRUE(close8(pts[i].xM, q.x) && close8(pts[i].yM, q.y) && close8(pts[i].zM, q.z)) << i;
                ASSERT_EQ((kv::Rgb{q.r, q.g, q.b}), pts[i].rgb) << i;
                if (e == kv::pcd::Encoding::Binary) {
                    ASSERT_EQ(pts[i].xM, q.x);
                }
            }
        }
    }
    // Precision 8: every written coordinate has at most eight significant digits.
    std::ifstream in(dir.path / "a.pcd");
    std::string line;
    while (std::getline(in, line) && line.rfind("DATA", 0) != 0) {
    }
    ASSERT_TRUE(std::getline(in, line));
    const std::string first = line.substr(0, line.find(' '));
    std::size_t digits = 0;
    for (char ch : first.substr(0, first.find_first_of("eE"))) digits += (ch >= '0' && ch <= '9');
    EXPECT_LE(digits, 9u) << first;  // a leading "0." adds one
}

TEST(PcdWrite, FailuresAreReportedAndAnEmptyCloudWritesNothing) {
    TempDir dir;
    kv::pcd::Cloud cloud;
    kv::fillCloud(randomPoints(2000, 3), cloud);
    struct Case {
        const char* name;
        std::string path;
    };
    const Case cases[] = {
        {"directory gone", (dir.path / "gone" / "f.pcd").string()},
        {"disk full", "/dev/full"},
        {"no permission", "/proc/version"},
        {"a directory", dir.path.string()},
    };
    for (const Case& c : cases) {
        for (kv::pcd::Encoding e : {kv::pcd::Encoding::Ascii, kv::pcd::Encoding::Binary}) {
            SCOPED_TRACE(std::string(c.name) + (e == kv::pcd::Encoding::Ascii ? " ascii" : " binary"));
            const kv::pcd::WriteResult w = kv::pcd::writeCloud(cloud, c.path, e);
            EXPECT_FALSE(w.ok);
            EXPECT_FALSE(w.written);
            EXPECT_NE(w.error.find(c.path), std::string::npos) << w.error;
        }
    }
    const std::string emptyPath = (dir.path / "empty.pcd").string();
    const kv::pcd::WriteResult w = kv::pcd::writeCloud(kv::pcd::Cloud(), emptyPath);
    EXPECT_TRUE(w.ok);
    EXPECT_FALSE(w.written);
    EXPECT_FALSE(fs::exists(emptyPath));
}

TEST(PcdRead, ParallelLoadingKeepsListOrderForAnyThreadCount) {
    TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 40; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%02d.pcd", i);
        if (i % 7 == 3) {
            paths.push_back(dir.file(name, "not a pcd"));
            continue;
        }
        kv::pcd::Cloud c;
        kv::fillCloud(randomPoints(std::size_t(1 + (i * 37) % 500), unsigned(i)), c);
        paths.push_back((dir.path / name).string());
        ASSERT_TRUE(kv::pcd::writeCloud(c, paths.back()).ok);
    }
    for (unsigned threads : {0u, 1u, 2u, 4u, 64u}) {
        SCOPED_TRACE(threads);
        std::size_t expected = 0;
        kv::pcd::loadClouds(paths, threads, [&](std::size_t i, kv::pcd::LoadResult&& r) {
            ASSERT_EQ(i, expected++);
            const int k = int(i);
            EXPECT_EQ(r.ok, k % 7 != 3);
            if (r.ok) {
                EXPECT_EQ(r.cloud->size(), std::size_t(1 + (k * 37) % 500));
            }
        });
        EXPECT_EQ(expected, paths.size());
    }
    std::size_t calls = 0;
    kv::pcd::loadClouds({}, 2, [&](std::size_t, kv::pcd::LoadResult&&) { ++calls; });
    EXPECT_EQ(calls, 0u);
}

}  // namespace
