#include "csv_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

namespace kv::csv {

namespace {

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kExactPowers = 22;  // 10^0 to 10^22 are exact doubles

char* exactGeneral(char* out, double v) {
    return std::to_chars(out, out + kNumberChars, v, std::chars_format::general, 6).ptr;
}

char* putExponent(char* p, int x) {
    *p++ = 'e';
    *p++ = x < 0 ? '-' : '+';
    unsigned u = unsigned(x < 0 ? -x : x);
    if (u < 10) *p++ = '0';
    return std::to_chars(p, p + 8, u).ptr;
}

}  // namespace

// The six significant digits come from one multiplication (or division) by an exact power
// of ten, which is off by at most half a unit in the last place: far from a rounding tie the
// digits are those of the exact value. Near a tie, and for exponents beyond the exact powers,
// the exact conversion decides.
char* writeGeneral(char* out, double v) {
    if (!std::isfinite(v)) return exactGeneral(out, v);
    char* p = out;
    if (v == 0.0) {
        if (std::signbit(v)) *p++ = '-';
        *p++ = '0';
        return p;
    }
    double a = v;
    if (a < 0) {
        *p++ = '-';
        a = -a;
    }
    int e2 = 0;
    std::frexp(a, &e2);
    int x = int(std::floor((e2 - 1) * 0.30102999566398120));  // floor(log10 a) or one below
    auto scaled = [a](int e10) {
        const int k = 5 - e10;
        return k >= 0 ? a * kPow10[k] : a / kPow10[-k];
    };
    if (5 - x > kExactPowers || x - 5 > kExactPowers) return exactGeneral(out, v);
    double s = scaled(x);
    if (s >= 1e6) {
        ++x;
        if (x - 5 > kExactPowers) return exactGeneral(out, v);
        s = scaled(x);
    }
    const double whole = std::floor(s);
    const double frac = s - whole;
    if (std::fabs(frac - 0.5) < 1e-6) return exactGeneral(out, v);
    unsigned m = unsigned(whole) + (frac > 0.5 ? 1u : 0u);
    if (m >= 1000000u) {
        m /= 10u;
        ++x;
    }
    if (m < 100000u) return exactGeneral(out, v);  // not reached: s is at least 1e5 - 1e-9
    char d[6];
    for (int i = 5; i >= 0; --i) {
        d[i] = char('0' + m % 10u);
        m /= 10u;
    }
    int last = 5;  // the last significant digit kept: trailing zeros go
    while (last > 0 && d[last] == '0') --last;

    if (x >= -4 && x < 6) {
        if (x >= 0) {
            for (int i = 0; i <= x; ++i) *p++ = d[i];
            if (last > x) {
                *p++ = '.';
                for (int i = x + 1; i <= last; ++i) *p++ = d[i];
            }
        } else {
            *p++ = '0';
            *p++ = '.';
            for (int i = 0; i < -x - 1; ++i) *p++ = '0';
            for (int i = 0; i <= last; ++i) *p++ = d[i];
        }
        return p;
    }
    *p++ = d[0];
    if (last > 0) {
        *p++ = '.';
        for (int i = 1; i <= last; ++i) *p++ = d[i];
    }
    return putExponent(p, x);
}

std::string general(double v) {
    char buf[kNumberChars];
    return std::string(buf, writeGeneral(buf, v));
}

std::string headerLine(Layout layout, bool sensorColumn) {
    std::string h = layout == Layout::kMultiFrame ? "FrameNumbers," : "";
    h += "Laser_id,Points_X,Points_Y,Points_Z,Distance,Azimuth,Intensity,";
    if (sensorColumn) h += "Sensor,";
    return h + "\n";
}

RowFilter RowFilter::singleFrame(bool selectionActive, const SelectionBox& box) {
    RowFilter f;
    f.boxActive = selectionActive;
    f.box = box;
    return f;
}

RowFilter RowFilter::multiFrame(float minAngleDeg, float maxAngleDeg, const std::array<int, kLineCount>& lineState,
                                bool productionUsed, bool selectionActive, const SelectionBox& box) {
    RowFilter f;
    f.angleRange = true;
    f.minAngleDeg = minAngleDeg;
    f.maxAngleDeg = maxAngleDeg;
    f.lineStates = !productionUsed;
    f.lineState = lineState;
    f.boxActive = selectionActive;
    f.box = box;
    return f;
}

bool RowFilter::accepts(int line, float azimuthDeg, float distanceCm) const {
    if (!isModelLine(line)) return false;  // no geometry to compute it with
    if (!(distanceCm >= 0.0f)) return false;
    if (angleRange && !(minAngleDeg <= azimuthDeg && azimuthDeg <= maxAngleDeg)) return false;
    if (lineStates && lineState[std::size_t(line)] == 0) return false;
    return true;
}

namespace {
inline char* putInt(char* p, int v) {
    p = std::to_chars(p, p + 12, v).ptr;
    *p++ = ',';
    return p;
}
inline char* putNumber(char* p, double v) {
    p = writeGeneral(p, v);
    *p++ = ',';
    return p;
}
}  // namespace

char* writeRow(char* out, Layout layout, int frameNumber, int line, const PointM& p, float distanceCm,
               float azimuthDeg, int intensity) {
    char* o = out;
    if (layout == Layout::kMultiFrame) o = putInt(o, frameNumber);
    o = putInt(o, line);
    o = putNumber(o, p.xM);
    o = putNumber(o, p.yM);
    o = putNumber(o, p.zM);
    o = putNumber(o, distanceCm / 100.0f);  // metres, in single precision
    o = putNumber(o, azimuthDeg);
    o = putInt(o, intensity);
    *o++ = '\n';
    return o;
}

// ---- CsvFile ----

CsvFile::CsvFile(std::size_t bufferBytes)
    : bufferBytes_(std::max(bufferBytes, kRowChars)), pageBytes_(std::size_t(sysconf(_SC_PAGESIZE))) {}

CsvFile::~CsvFile() { close(); }

bool CsvFile::fail(const std::string& what, int err) {
    error_ = what + " " + path_ + ": " + std::strerror(err);
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    return false;
}

bool CsvFile::open(const std::string& path, Layout layout) {
    close();
    error_.clear();
    path_ = path;
    layout_ = layout;
    rows_ = 0;
    committed_ = 0;
    buffered_ = 0;
    bufferedRows_ = 0;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        const int err = errno;
        fd_ = -1;
        return fail("Cannot create", err);
    }
    struct stat st {};
    regular_ = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    if (!buffer_) buffer_.reset(new char[bufferBytes_ + kRowChars]);
    const std::string header = headerLine(layout, !sensorNames_.empty());
    return writeLines(header.data(), header.size());
}

// Each write() lies within one page of the file, or holds just the one line that crosses
// into the next page, and ends at a line end. The kernel copies a write page by page and a
// kill is noticed between pages, so a write within one page is in the file whole or not at
// all, and a process killed between two writes leaves whole lines. (The kernel grows the
// file after each page it copies: a reader that looks while a line that crosses a page end is
// being copied can find its first part, and its end a moment later.) Through a pipe such a
// write, at most a page, reaches the reader in one piece.
bool CsvFile::writeLines(const char* data, std::size_t n) {
    if (fd_ < 0) {
        if (error_.empty()) error_ = "No CSV file is open";
        return false;
    }
    while (n > 0) {
        const std::size_t room = pageBytes_ - std::size_t(committed_ % pageBytes_);
        std::size_t k = n;
        if (n > room) {
            if (const void* nl = ::memrchr(data, '\n', room)) {
                k = std::size_t(static_cast<const char*>(nl) - data) + 1;
            } else {  // the first line crosses the page end: it goes alone
                const void* end = std::memchr(data + room, '\n', n - room);
                k = end ? std::size_t(static_cast<const char*>(end) - data) + 1 : n;
            }
        }
        std::size_t done = 0;
        while (done < k) {
            const ssize_t w = ::write(fd_, data + done, k - done);
            if (w > 0) {
                done += std::size_t(w);
                continue;
            }
            if (w < 0 && errno == EINTR) continue;
            const int err = w < 0 ? errno : ENOSPC;
            if (done > 0) {
                // A write cut short mid-line (a size limit, a full disk) is cut back to the
                // last line end. A pipe or a device cannot take bytes back: they count.
                if (regular_) {
                    const int cut = ::ftruncate(fd_, off_t(committed_));
                    (void)cut;
                } else {
                    committed_ += done;
                }
            }
            return fail("Cannot write", err);
        }
        committed_ += k;
        data += k;
        n -= k;
    }
    return true;
}

bool CsvFile::flush() {
    const char* const buf = buffer_.get();
    const std::uint64_t before = committed_;
    const std::uint64_t rows = bufferedRows_;
    const bool ok = writeLines(buf, buffered_);
    // After a failure the rows in the file are those of the whole lines that went out.
    rows_ += ok ? rows : std::uint64_t(std::count(buf, buf + (committed_ - before), '\n'));
    buffered_ = 0;
    bufferedRows_ = 0;
    return ok;
}

bool CsvFile::writeFrame(const MuchLidarData& frame, const BeamGeometry& geometry, const RowFilter& filter,
                         int frameNumber) {
    if (fd_ < 0) {
        if (error_.empty()) error_ = "No CSV file is open";
        return false;
    }
    const std::size_t n = std::min(std::min(frame.channel.size(), frame.azimuth.size()),
                                   std::min(frame.distance.size(), frame.intensity.size()));
    const PoseTable poses(filter.poses);
    for (std::size_t i = 0; i < n; ++i) {
        const int line = frame.channel[i];
        const float azimuth = frame.azimuth[i];
        const float distance = frame.distance[i];
        if (!filter.accepts(line, azimuth, distance)) continue;
        const std::size_t sensor = frame.sensorOf(i);
        const PointM p = posedPoint(geometry, line, azimuth, distance, poses.any ? poses.byIndex[sensor & 0xFF] : nullptr);
        if (filter.boxActive && !filter.box.contains(p)) continue;
        if (!addRow(frameNumber, line, p, distance, azimuth, frame.intensity[i], sensor)) return false;
    }
    return flush();
}

bool CsvFile::writeCloud(const std::vector<PointM>& points, const RowFilter& filter, int frameNumber) {
    if (fd_ < 0) {
        if (error_.empty()) error_ = "No CSV file is open";
        return false;
    }
    for (const PointM& p : points) {
        if (!std::isfinite(p.xM) || !std::isfinite(p.yM) || !std::isfinite(p.zM)) continue;
        const float distance = pointRangeCm(p);
        const float azimuth = pointAzimuthDeg(p);
        if (!filter.accepts(0, azimuth, distance)) continue;
        if (filter.boxActive && !filter.box.contains(p)) continue;
        if (!addRow(frameNumber, 0, p, distance, azimuth, 0)) return false;
    }
    return flush();
}

// Formats one row into the buffer, sending the buffer out first when it is full.
void CsvFile::setSensorNames(std::vector<std::string> names) {
    for (std::string& n : names) {
        if (n.size() > 64) n.resize(64);
        for (char& c : n)
            if (c == ',' || c == '\n' || c == '\r') c = '_';
    }
    sensorNames_ = std::move(names);
}

bool CsvFile::addRow(int frameNumber, int line, const PointM& p, float distanceCm, float azimuthDeg, int intensity,
                     std::size_t sensor) {
    if (buffered_ >= bufferBytes_ && !flush()) return false;
    char* const buf = buffer_.get();
    char* end = writeRow(buf + buffered_, layout_, frameNumber, line, p, distanceCm, azimuthDeg, intensity);
    if (!sensorNames_.empty()) {  // the name before the line end: kRowChars leaves room for 64 bytes
        const std::string& name = sensorNames_[sensor < sensorNames_.size() ? sensor : 0];
        --end;
        std::memcpy(end, name.data(), name.size());
        end += name.size();
        *end++ = ',';
        *end++ = '\n';
    }
    buffered_ = std::size_t(end - buf);
    ++bufferedRows_;
    return true;
}

bool CsvFile::close() {
    if (fd_ < 0) return error_.empty();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        error_ = "Cannot finish " + path_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace kv::csv
