// PLY files of coloured points: the one writer (kv-export; clouds are filled by kv::fillCloud,
// cloud_fill.h), through the point library's PLY writer: per vertex x, y, z as floats and red,
// green, blue as bytes. Failures are values. PCL's headers stay in ply_io.cpp.
#pragma once

#include <string>

#include "pcd_io.h"

namespace kv {
namespace ply {

// Writes `cloud` to `path`, ASCII (coordinates with six significant digits, as the point
// library's writer prints them) or binary little-endian (every bit of every float). An empty cloud writes nothing and succeeds, as for
// PCD files. A file that cannot be opened or ends up incomplete, and any exception of the
// writer, come back as an error.
pcd::WriteResult writeCloud(const pcd::Cloud& cloud, const std::string& path, pcd::Encoding encoding);

}  // namespace ply
}  // namespace kv
