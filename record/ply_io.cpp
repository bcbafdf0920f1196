#include "ply_io.h"

#include <pcl/PCLPointCloud2.h>
#include <pcl/conversions.h>
#include <pcl/io/ply_io.h>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kv {
namespace ply {

namespace {

constexpr std::size_t kBinaryVertexBytes = 3 * 4 + 3;  // x y z floats, red green blue bytes

// The writer reports no failed write of its stream: the file is checked for the header's vertex
// count and, after the header, that many vertices.
bool writtenCompletely(const std::string& path, std::size_t points, pcd::Encoding encoding, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "it cannot be read back";
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    const std::string bytes = all.str();
    const std::string end = "end_header\n";
    const std::size_t body = bytes.find(end);
    const std::string vertex = "\nelement vertex " + std::to_string(points) + "\n";
    if (body == std::string::npos || bytes.find(vertex) > body) {
        why = "its header is incomplete";
        return false;
    }
    const std::size_t from = body + end.size();
    bool whole = false;
    if (encoding == pcd::Encoding::Binary) {
        whole = bytes.size() - from == points * kBinaryVertexBytes;
    } else {
        std::size_t lines = 0;
        for (std::size_t i = from; i < bytes.size(); ++i) lines += bytes[i] == '\n';
        whole = lines == points && bytes.back() == '\n';
    }
    if (!whole) why = "the file holds fewer vertices than its header says (is the disk full?)";
    return whole;
}

// Why `path` cannot be written, asked of the system again: the writer leaves no errno to trust
// (it prints to the console between its failure and its return).
std::string whyNotWritable(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
        ::close(fd);
        ::unlink(path.c_str());  // made by this probe, empty
    } else if (errno == EEXIST) {
        fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
    }
    return fd < 0 ? std::strerror(errno) : "the PLY writer could not open it";
}

}  // namespace

pcd::WriteResult writeCloud(const pcd::Cloud& cloud, const std::string& path, pcd::Encoding encoding) {
    pcd::WriteResult r;
    if (cloud.empty()) {
        r.ok = true;
        return r;
    }
    pcl::PCLPointCloud2 blob;
    pcl::toPCLPointCloud2(cloud, blob);
    pcl::PLYWriter writer;
    const Eigen::Vector4f origin = Eigen::Vector4f::Zero();
    const Eigen::Quaternionf orientation = Eigen::Quaternionf::Identity();
    int rc = -1;
    try {
        // No camera element. The precision given is not used for the vertices: the writer prints
        // them with its stream's six significant digits.
        rc = encoding == pcd::Encoding::Ascii ? writer.writeASCII(path, blob, origin, orientation, 8, false)
                                              : writer.writeBinary(path, blob, origin, orientation, false);
    } catch (const std::exception& e) {
        r.error = "Couldn't write " + path + ": " + e.what();
        return r;
    } catch (...) {
        r.error = "Couldn't write " + path;
        return r;
    }
    if (rc != 0) {
        r.error = "Couldn't write " + path + ": " + whyNotWritable(path);
        return r;
    }
    std::string why;
    if (!writtenCompletely(path, cloud.size(), encoding, why)) {
        r.error = "Couldn't write " + path + ": " + why;
        return r;
    }
    r.ok = r.written = true;
    return r;
}

}  // namespace ply
}  // namespace kv
