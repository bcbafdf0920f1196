#include "ply_io.h"

#include <pcl/PCLPointCloud2.h>
#include <pcl/conversions.h>
#include <pcl/io/ply_io.h>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

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
    errno = 0;
    try {
        // No camera element. The precision given is not used for the vertices: the writer prints
        // them with its stream's six significant digits.
        rc = encoding == pcd::Encoding::Ascii ? writer.writeASCII(path, blob, origin, orientation, 8, false)
                                              : writer.writeBinary(path, blob, origin, orientation, false);
    } catch (const std::exception& e) {
        const int err = errno;
        r.error = "Couldn't write " + path + ": " + (err ? std::strerror(err) : std::string(e.what()));
        return r;
    } catch (...) {
        r.error = "Couldn't write " + path;
        return r;
    }
    if (rc != 0) {
        r.error = "Couldn't write " + path + (errno ? std::string(": ") + std::strerror(errno) : std::string());
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
