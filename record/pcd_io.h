// PCD files of coloured points: the one writer (recording, and any tool that saves clouds; clouds
// are filled by kv::fillCloud, cloud_fill.h) and the reader (our own, pcd_points.h, for every
// layout). Failures are values. PCL's headers stay in pcd_io.cpp: this header only names the
// cloud type.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cloud_fill.h"  // also names the point library's cloud and point types

namespace kv {
namespace pcd {

using Cloud = pcl::PointCloud<pcl::PointXYZRGB>;
using CloudPtr = std::shared_ptr<Cloud>;  // what Cloud::Ptr names

enum class Encoding { Ascii, Binary };

struct WriteResult {
    bool ok = false;
    bool written = false;  // false for an empty cloud, which writes no file
    std::string error;     // why the file could not be written
};

// Writes `cloud` to `path`: ASCII with `precision` significant digits, or PCL's binary layout.
// An empty cloud writes nothing and succeeds. A file that cannot be opened, a disk that fills
// up and any exception of the writer come back as an error.
WriteResult writeCloud(const Cloud& cloud, const std::string& path, Encoding encoding = Encoding::Ascii,
                       int precision = 8);

struct LoadResult {
    bool ok = false;
    std::string error;   // why the file was skipped
    CloudPtr cloud;      // the points with finite coordinates, unorganised
    bool hadColour = false;     // the file has an rgb or rgba field
    bool hadIntensity = false;  // without colour, points are coloured by this field
    std::size_t droppedPoints = 0;  // points whose coordinates were not finite
};

// Reads one PCD file (see readPoints) into a cloud filled as the view fills its own. Files
// without colour are drawn visibly: by their intensity field when they have one, white otherwise.
LoadResult loadCloud(const std::string& path);

// Reads `paths` on `threads` workers (0: one per core) and hands each result to `onResult`
// on the calling thread, in list order, as soon as it and all before it are read.
void loadClouds(const std::vector<std::string>& paths, unsigned threads,
                const std::function<void(std::size_t index, LoadResult&& result)>& onResult);

}  // namespace pcd
}  // namespace kv
