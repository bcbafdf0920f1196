#include "pcd_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pcl/PCLPointCloud2.h>
#include <pcl/io/pcd_io.h>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <algorithm>
#include <charconv>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>

#include "frame_display.h"
#include "pcd_header.h"
#include "point_geometry.h"

static_assert(std::is_same<kv::pcd::CloudPtr, pcl::PointCloud<pcl::PointXYZRGB>::Ptr>::value,
              "CloudPtr must be the cloud's own shared pointer");

namespace kv {
namespace pcd {

namespace {

constexpr std::uint64_t kMaxFileBytes = std::uint64_t(4) << 30;

std::string systemError(int err) { return std::strerror(err); }

// Reads the whole regular file at `path`; a directory, a pipe or a device is refused without
// being read (a pipe would block).
bool readRegularFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open the file: " + systemError(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? "it is a directory" : "it is not a regular file";
        ::close(fd);
        return false;
    }
    if (std::uint64_t(st.st_size) > kMaxFileBytes) {
        error = "the file is larger than 4 GB";
        ::close(fd);
        return false;
    }
    bytes.resize(std::size_t(st.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got, bytes.size() - got, off_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "cannot read the file: " + systemError(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;  // shrank while being read
        got += std::size_t(n);
    }
    bytes.resize(got);
    ::close(fd);
    return true;
}

double valueAt(const std::uint8_t* p, std::uint8_t datatype) {
    auto get = [p](auto v) {
        std::memcpy(&v, p, sizeof v);
        return double(v);
    };
    switch (datatype) {
    case pcl::PCLPointField::INT8: return get(std::int8_t());
    case pcl::PCLPointField::UINT8: return get(std::uint8_t());
    case pcl::PCLPointField::INT16: return get(std::int16_t());
    case pcl::PCLPointField::UINT16: return get(std::uint16_t());
    case pcl::PCLPointField::INT32: return get(std::int32_t());
    case pcl::PCLPointField::UINT32: return get(std::uint32_t());
    case pcl::PCLPointField::FLOAT32: return get(float());
    case pcl::PCLPointField::FLOAT64: return get(double());
    case pcl::PCLPointField::INT64: return get(std::int64_t());
    case pcl::PCLPointField::UINT64: return get(std::uint64_t());
    default: return std::numeric_limits<double>::quiet_NaN();
    }
}

std::size_t datatypeBytes(std::uint8_t datatype) {
    switch (datatype) {
    case pcl::PCLPointField::INT8:
    case pcl::PCLPointField::UINT8: return 1;
    case pcl::PCLPointField::INT16:
    case pcl::PCLPointField::UINT16: return 2;
    case pcl::PCLPointField::INT32:
    case pcl::PCLPointField::UINT32:
    case pcl::PCLPointField::FLOAT32: return 4;
    case pcl::PCLPointField::FLOAT64:
    case pcl::PCLPointField::INT64:
    case pcl::PCLPointField::UINT64: return 8;
    default: return 0;
    }
}

const pcl::PCLPointField* blobField(const pcl::PCLPointCloud2& blob, const char* name) {
    for (const pcl::PCLPointField& f : blob.fields)
        if (f.name == name) return &f;
    return nullptr;
}

// Turns the reader's blob into coloured points, checking every offset against the blob.
bool blobToCloud(const pcl::PCLPointCloud2& blob, LoadResult& r, std::string& error) {
    const std::uint64_t points = std::uint64_t(blob.width) * blob.height;
    if (blob.point_step == 0 || std::uint64_t(blob.data.size()) < points * blob.point_step) {
        error = "the reader gave fewer bytes than points";
        return false;
    }
    auto usable = [&](const pcl::PCLPointField* f) {
        return f && datatypeBytes(f->datatype) > 0 && f->offset + datatypeBytes(f->datatype) <= blob.point_step;
    };
    const pcl::PCLPointField* axes[3] = {blobField(blob, "x"), blobField(blob, "y"), blobField(blob, "z")};
    for (const pcl::PCLPointField* f : axes) {
        if (!usable(f) || (f->datatype != pcl::PCLPointField::FLOAT32 && f->datatype != pcl::PCLPointField::FLOAT64)) {
            error = "the reader gave no float coordinates";
            return false;
        }
    }
    const pcl::PCLPointField* rgb = blobField(blob, "rgb");
    if (!rgb) rgb = blobField(blob, "rgba");
    if (rgb && (datatypeBytes(rgb->datatype) != 4 || !usable(rgb))) rgb = nullptr;
    const pcl::PCLPointField* intensity = blobField(blob, "intensity");
    if (intensity && !usable(intensity)) intensity = nullptr;
    r.hadColour = rgb != nullptr;
    r.hadIntensity = !rgb && intensity;

    // Intensities in 0..1 (as many tools write them) are spread over the colour ramp's 0..255.
    double intensityScale = 1.0;
    if (r.hadIntensity) {
        double top = 0.0;
        for (std::uint64_t i = 0; i < points; ++i) {
            const double v = valueAt(&blob.data[i * blob.point_step + intensity->offset], intensity->datatype);
            if (std::isfinite(v)) top = std::max(top, v);
        }
        if (top <= 1.0) intensityScale = 255.0;
    }

    Cloud& cloud = *r.cloud;
    cloud.clear();
    cloud.reserve(std::size_t(points));
    for (std::uint64_t i = 0; i < points; ++i) {
        const std::uint8_t* p = &blob.data[i * blob.point_step];
        const double x = valueAt(p + axes[0]->offset, axes[0]->datatype);
        const double y = valueAt(p + axes[1]->offset, axes[1]->datatype);
        const double z = valueAt(p + axes[2]->offset, axes[2]->datatype);
        if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
            ++r.droppedPoints;
            continue;
        }
        pcl::PointXYZRGB q;
        q.x = float(x);
        q.y = float(y);
        q.z = float(z);
        if (rgb) {
            std::uint32_t packed = 0;
            std::memcpy(&packed, p + rgb->offset, 4);
            q.r = std::uint8_t(packed >> 16);
            q.g = std::uint8_t(packed >> 8);
            q.b = std::uint8_t(packed);
        } else if (intensity) {
            const double v = valueAt(p + intensity->offset, intensity->datatype) * intensityScale;
            const int level = std::isfinite(v) ? int(std::lround(std::clamp(v, 0.0, 255.0))) : 0;
            const Rgb c = intensityColour(level);
            q.r = c.r;
            q.g = c.g;
            q.b = c.b;
        } else {
            q.r = q.g = q.b = 255;
        }
        q.a = 255;
        cloud.push_back(q);
    }
    cloud.width = std::uint32_t(cloud.size());
    cloud.height = 1;
    cloud.is_dense = true;
    return true;
}

// The byte after the "DATA ..." line of a file written by PCL's writer, or npos.
std::size_t dataStart(const std::vector<std::uint8_t>& bytes) {
    static const char key[] = "\nDATA ";
    const auto it = std::search(bytes.begin(), bytes.end(), key, key + sizeof key - 1);
    if (it == bytes.end()) return std::string::npos;
    const auto nl = std::find(it + 1, bytes.end(), std::uint8_t('\n'));
    if (nl == bytes.end()) return std::string::npos;
    return std::size_t(nl - bytes.begin()) + 1;
}

// The writer does not look at its stream after writing: a full disk leaves a file cut short
// and a success code. Read the file back and count what arrived.
bool writtenCompletely(const std::string& path, std::size_t points, Encoding encoding, std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!readRegularFile(path, bytes, error)) return false;
    const std::size_t start = dataStart(bytes);
    bool complete = start != std::string::npos;
    if (complete && encoding == Encoding::Ascii) {
        const std::size_t rows = std::size_t(std::count(bytes.begin() + std::ptrdiff_t(start), bytes.end(), '\n'));
        complete = rows == points && bytes.back() == '\n';
    } else if (complete) {
        complete = bytes.size() - start >= points * 16;  // x, y, z and rgb, four bytes each
    }
    if (!complete) error = "the file was cut short (is the disk full?)";
    return complete;
}

// Parses one checked ASCII value (the check has made sure it is a number): nan and inf in any
// case, with an optional sign.
double parseValue(const char* b, const char* e) {
    bool negative = false;
    if (b < e && (*b == '+' || *b == '-')) negative = *b++ == '-';
    double v = 0;
    const auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc()) {
        // Out of range for a double: zero for a large negative exponent, else infinity (the
        // point is then left out).
        const char* exp = std::find_if(b, e, [](char c) { return c == 'e' || c == 'E'; });
        v = (exp + 1 < e && exp[1] == '-') ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return negative ? -v : v;
}

std::uint32_t parseColour(const char* b, const char* e, char type) {
    if (type == 'F') {
        const float f = float(parseValue(b, e));
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        return bits;
    }
    bool negative = false;
    if (b < e && (*b == '+' || *b == '-')) negative = *b++ == '-';
    std::uint64_t v = 0;
    if (std::from_chars(b, e, v).ec != std::errc()) return 0;  // nan in an integer field reads as 0
    return std::uint32_t(negative ? std::uint64_t(0) - v : v);
}

// The ASCII body straight into coloured points, walked as the reader walks it (empty lines are
// skipped, the first POINTS rows are read). The file has passed checkFile.
void asciiToCloud(const Header& h, const std::vector<std::uint8_t>& bytes, LoadResult& r) {
    auto valueIndex = [&](const char* name) -> long {
        std::size_t index = 0;
        for (const Field& f : h.fields) {
            if (f.name == name) return long(index);
            index += std::size_t(f.count);
        }
        return -1;
    };
    const long xi = valueIndex("x"), yi = valueIndex("y"), zi = valueIndex("z");
    const char* colourName = h.find("rgb") ? "rgb" : (h.find("rgba") ? "rgba" : nullptr);
    const Field* colour = colourName ? h.find(colourName) : nullptr;
    if (colour && colour->size != 4) colour = nullptr;
    const long ci = colour ? valueIndex(colour->name.c_str()) : -1;
    const long ii = colour ? -1 : valueIndex("intensity");
    r.hadColour = colour != nullptr;
    r.hadIntensity = ii >= 0;

    struct Row {
        float x, y, z;
        std::uint32_t packed;
        double intensity;
    };
    std::vector<Row> rows;
    rows.reserve(std::size_t(h.points));
    const char* p = reinterpret_cast<const char*>(bytes.data()) + h.dataOffset;
    const char* end = reinterpret_cast<const char*>(bytes.data()) + bytes.size();
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    double top = 0.0;
    while (rows.size() < h.points && p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
        const char* lineEnd = nl ? nl : end;
        if (lineEnd != p) {
            Row row{0, 0, 0, 0, 0};
            double x = 0, y = 0, z = 0;
            long v = 0;
            for (const char* q = p; q < lineEnd; ++v) {
                while (q < lineEnd && space(*q)) ++q;
                const char* start = q;
                while (q < lineEnd && !space(*q)) ++q;
                if (q == start) break;
                if (v == xi) x = parseValue(start, q);
                else if (v == yi) y = parseValue(start, q);
                else if (v == zi) z = parseValue(start, q);
                else if (v == ci) row.packed = parseColour(start, q, colour->type);
                else if (v == ii) row.intensity = parseValue(start, q);
            }
            row.x = float(x);
            row.y = float(y);
            row.z = float(z);
            rows.push_back(row);
            if (ii >= 0 && std::isfinite(row.intensity)) top = std::max(top, row.intensity);
        }
        p = nl ? nl + 1 : end;
    }
    const double intensityScale = top <= 1.0 ? 255.0 : 1.0;

    Cloud& cloud = *r.cloud;
    cloud.clear();
    cloud.reserve(rows.size());
    for (const Row& row : rows) {
        if (!std::isfinite(row.x) || !std::isfinite(row.y) || !std::isfinite(row.z)) {
            ++r.droppedPoints;
            continue;
        }
        pcl::PointXYZRGB q;
        q.x = row.x;
        q.y = row.y;
        q.z = row.z;
        if (colour) {
            q.r = std::uint8_t(row.packed >> 16);
            q.g = std::uint8_t(row.packed >> 8);
            q.b = std::uint8_t(row.packed);
        } else if (ii >= 0) {
            const double lv = row.intensity * intensityScale;
            const Rgb c = intensityColour(std::isfinite(lv) ? int(std::lround(std::clamp(lv, 0.0, 255.0))) : 0);
            q.r = c.r;
            q.g = c.g;
            q.b = c.b;
        } else {
            q.r = q.g = q.b = 255;
        }
        q.a = 255;
        cloud.push_back(q);
    }
    cloud.width = std::uint32_t(cloud.size());
    cloud.height = 1;
    cloud.is_dense = true;
}

}  // namespace

void fillCloud(const std::vector<ColouredPoint>& points, Cloud& cloud) {
    cloud.resize(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        pcl::PointXYZRGB& q = cloud[i];
        const ColouredPoint& p = points[i];
        q.x = p.xM;
        q.y = p.yM;
        q.z = p.zM;
        q.r = p.rgb.r;
        q.g = p.rgb.g;
        q.b = p.rgb.b;
        q.a = 255;
    }
    cloud.width = std::uint32_t(points.size());
    cloud.height = 1;
}

WriteResult writeCloud(const Cloud& cloud, const std::string& path, Encoding encoding, int precision) {
    WriteResult r;
    if (cloud.empty()) {
        r.ok = true;
        return r;
    }
    if (std::uint64_t(cloud.width) * cloud.height != cloud.size()) {
        r.error = "Couldn't write " + path + ": the cloud's width x height is not its size";
        return r;
    }
    pcl::PCDWriter writer;
    int rc = -1;
    errno = 0;
    try {
        rc = encoding == Encoding::Ascii ? writer.writeASCII(path, cloud, precision) : writer.writeBinary(path, cloud);
    } catch (const std::exception& e) {
        const int err = errno;
        r.error = "Couldn't write " + path + ": " + (err ? systemError(err) : std::string(e.what()));
        return r;
    } catch (...) {
        r.error = "Couldn't write " + path;
        return r;
    }
    std::string why;
    if (rc != 0) {
        r.error = "Couldn't write " + path + (errno ? ": " + systemError(errno) : std::string());
        return r;
    }
    if (!writtenCompletely(path, cloud.size(), encoding, why)) {
        r.error = "Couldn't write " + path + ": " + why;
        return r;
    }
    r.ok = r.written = true;
    return r;
}

LoadResult loadCloud(const std::string& path) {
    LoadResult r;
    try {
        std::vector<std::uint8_t> bytes;
        if (!readRegularFile(path, bytes, r.error)) return r;
        const Check check = checkFile(bytes.data(), bytes.size());
        if (!check.ok) {
            r.error = check.error;
            return r;
        }
        r.cloud = std::make_shared<Cloud>();
        if (check.header.points == 0) {
            r.hadColour = check.header.find("rgb") || check.header.find("rgba");
            r.ok = true;
            return r;
        }
        if (check.header.data == DataKind::Ascii) {
            // The check has walked every row already; parsing them here costs a fraction of
            // the reader's stream per value, and its shared locale would serialise workers.
            asciiToCloud(check.header, bytes, r);
            r.ok = true;
            return r;
        }
        bytes = std::vector<std::uint8_t>();  // the reader reads the binary layouts itself

        pcl::PCLPointCloud2 blob;
        Eigen::Vector4f origin;
        Eigen::Quaternionf orientation;
        int version = 0;
        pcl::PCDReader reader;
        if (reader.read(path, blob, origin, orientation, version, 0) < 0) {
            r.error = "the PCD reader refused it";
            r.cloud.reset();
            return r;
        }
        if (std::uint64_t(blob.width) * blob.height != check.header.points) {
            // Changed between the check and the read.
            r.error = "the file changed while it was read";
            r.cloud.reset();
            return r;
        }
        if (!blobToCloud(blob, r, r.error)) {
            r.cloud.reset();
            return r;
        }
        r.ok = true;
    } catch (const std::bad_alloc&) {
        r = LoadResult();
        r.error = "not enough memory for its points";
    } catch (const std::exception& e) {
        r = LoadResult();
        r.error = std::string("the PCD reader failed: ") + e.what();
    } catch (...) {
        r = LoadResult();
        r.error = "the PCD reader failed";
    }
    return r;
}

void loadClouds(const std::vector<std::string>& paths, unsigned threads,
                const std::function<void(std::size_t, LoadResult&&)>& onResult) {
    const std::size_t n = paths.size();
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = unsigned(std::min<std::size_t>(threads, n));
    if (threads <= 1) {
        for (std::size_t i = 0; i < n; ++i) onResult(i, loadCloud(paths[i]));
        return;
    }

    std::vector<std::optional<LoadResult>> slots(n);
    std::mutex m;
    std::condition_variable ready;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> abandon{false};
    auto work = [&] {
        for (std::size_t i; !abandon && (i = next.fetch_add(1)) < n;) {
            LoadResult r = loadCloud(paths[i]);  // catches everything itself
            {
                std::lock_guard<std::mutex> lock(m);
                slots[i].emplace(std::move(r));
            }
            ready.notify_all();
        }
    };
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (unsigned t = 0; t < threads; ++t) workers.emplace_back(work);
    try {
        for (std::size_t i = 0; i < n; ++i) {
            std::unique_lock<std::mutex> lock(m);
            ready.wait(lock, [&] { return slots[i].has_value(); });
            LoadResult r = std::move(*slots[i]);
            slots[i].reset();
            lock.unlock();
            onResult(i, std::move(r));
        }
    } catch (...) {
        abandon = true;
        for (std::thread& w : workers) w.join();
        throw;
    }
    for (std::thread& w : workers) w.join();
}

}  // namespace pcd
}  // namespace kv
