#include "pcd_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pcl/io/pcd_io.h>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>

#include "frame_display.h"
#include "pcd_points.h"

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

}  // namespace

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
        // Every layout is read here under the header the check accepted: no file reaches the
        // point library's reader, which reads some headers differently and crashes on them.
        PointsRead read = readPoints(bytes.data(), bytes.size());
        bytes = std::vector<std::uint8_t>();
        if (!read.ok) {
            r.error = std::move(read.error);
            return r;
        }
        r.cloud = std::make_shared<Cloud>();
        fillCloud(read.points, *r.cloud);
        r.hadColour = read.hadColour;
        r.hadIntensity = read.hadIntensity;
        r.droppedPoints = read.droppedPoints;
        r.ok = true;
    } catch (const std::bad_alloc&) {
        r = LoadResult();
        r.error = "not enough memory for its points";
    } catch (const std::exception& e) {
        r = LoadResult();
        r.error = std::string("reading its points failed: ") + e.what();
    } catch (...) {
        r = LoadResult();
        r.error = "reading its points failed";
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
