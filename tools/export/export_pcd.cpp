#include "export_pcd.h"

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <filesystem>
#include <system_error>

#include "ply_io.h"

namespace kv::exporter {

DisplayFilter exportFilter(const ExportOptions& o) {
    DisplayFilter filter;
    for (int line = 0; line < kLineCount; ++line) filter.lineShown[std::size_t(line)] = o.lineState[std::size_t(line)] != 0;
    filter.minAngleDeg = o.minAngleDeg;
    filter.maxAngleDeg = o.maxAngleDeg;
    filter.colourMode = o.colourMode;
    filter.poses = o.sensorPoses;
    return filter;
}

pcd::WriteResult writeFrameCloud(const MuchLidarData& frame, const BeamGeometry& geometry, const DisplayFilter& filter,
                                 CloudFormat format, pcd::Encoding encoding, const std::string& path,
                                 FramePoints& points, pcd::Cloud& cloud) {
    computeFramePoints(frame, geometry, filter, points);
    fillCloud(points.displayed, cloud);
    return format == CloudFormat::Ply ? ply::writeCloud(cloud, path, encoding) : pcd::writeCloud(cloud, path, encoding);
}

CloudFileSink::CloudFileSink(const ExportOptions& o, const BeamGeometry& geometry, CloudFormat format)
    : geometry_(geometry),
      filter_(exportFilter(o)),
      format_(format),
      encoding_(o.binary ? pcd::Encoding::Binary : pcd::Encoding::Ascii),
      capturePath_(o.capturePath),
      cloud_(std::make_shared<pcd::Cloud>()) {}

CloudFileSink::~CloudFileSink() = default;

bool CloudFileSink::open(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir)) {
        error_ = "Cannot create the directory " + dir + (ec ? ": " + ec.message() : std::string());
        return false;
    }
    dir_ = dir;
    return true;
}

bool CloudFileSink::write(int, const MuchLidarData& frame, int) {
    const std::string path =
        dir_ + "/" + exportFileName(capturePath_, frame.number, format_ == CloudFormat::Ply ? ".ply" : ".pcd");
    const pcd::WriteResult r = writeFrameCloud(frame, geometry_, filter_, format_, encoding_, path, points_, *cloud_);
    if (!r.ok) {
        error_ = r.error.empty() ? "Cannot write " + path : r.error;
        return false;
    }
    if (r.written) ++files_;
    else ++empty_;
    return true;
}

std::string CloudFileSink::summary() const {
    std::string s = std::to_string(files_) + (encoding_ == pcd::Encoding::Binary ? " binary" : " ASCII") +
                    (format_ == CloudFormat::Ply ? " PLY file" : " PCD file") + (files_ == 1 ? "" : "s") + " in " + dir_;
    if (empty_ > 0) s += " (" + std::to_string(empty_) + " empty frame" + (empty_ == 1 ? "" : "s") + ", no file)";
    return s;
}

namespace {
std::unique_ptr<FrameSink> makeSink(const ExportOptions& options, const BeamGeometry& geometry, CloudFormat format,
                                    const std::string& dir, std::string& error) {
    auto sink = std::make_unique<CloudFileSink>(options, geometry, format);
    if (!sink->open(dir)) {
        error = sink->error();
        return nullptr;
    }
    return sink;
}
}  // namespace

std::unique_ptr<FrameSink> makePcdSink(const ExportOptions& options, const BeamGeometry& geometry,
                                       const std::string& dir, std::string& error) {
    return makeSink(options, geometry, CloudFormat::Pcd, dir, error);
}

std::unique_ptr<FrameSink> makePlySink(const ExportOptions& options, const BeamGeometry& geometry,
                                       const std::string& dir, std::string& error) {
    return makeSink(options, geometry, CloudFormat::Ply, dir, error);
}

}  // namespace kv::exporter
