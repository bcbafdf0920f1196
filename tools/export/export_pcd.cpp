#include "export_pcd.h"

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <filesystem>
#include <system_error>

namespace kv::exporter {

PcdSink::PcdSink(const ExportOptions& o, const BeamGeometry& geometry, StampClock clock)
    : geometry_(geometry),
      encoding_(o.binary ? pcd::Encoding::Binary : pcd::Encoding::Ascii),
      names_(o.lineType, o.rangeCount(), std::move(clock)),
      cloud_(std::make_shared<pcd::Cloud>()) {
    for (int line = 0; line < kLineCount; ++line) filter_.lineShown[std::size_t(line)] = o.lineState[std::size_t(line)] != 0;
    filter_.minAngleDeg = o.minAngleDeg;
    filter_.maxAngleDeg = o.maxAngleDeg;
    filter_.colourMode = o.colourMode;
}

PcdSink::~PcdSink() = default;

bool PcdSink::open(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir)) {
        error_ = "Cannot create the directory " + dir + (ec ? ": " + ec.message() : std::string());
        return false;
    }
    dir_ = dir;
    return true;
}

bool PcdSink::write(int, const MuchLidarData& frame, int echoFlag) {
    const std::string path = dir_ + "/" + names_.next(echoFlag);
    computeFramePoints(frame, geometry_, filter_, points_);
    fillCloud(points_.displayed, *cloud_);
    const pcd::WriteResult r = pcd::writeCloud(*cloud_, path, encoding_);
    if (!r.ok) {
        error_ = r.error.empty() ? "Cannot write " + path : r.error;
        return false;
    }
    if (r.written) ++files_;
    else ++empty_;
    names_.frameDone();
    return true;
}

std::string PcdSink::summary() const {
    std::string s = std::to_string(files_) + (encoding_ == pcd::Encoding::Binary ? " binary" : " ASCII") +
                    " PCD file" + (files_ == 1 ? "" : "s") + " in " + dir_;
    if (empty_ > 0) s += " (" + std::to_string(empty_) + " empty frame" + (empty_ == 1 ? "" : "s") + ", no file)";
    return s;
}

std::unique_ptr<FrameSink> makePcdSink(const ExportOptions& options, const BeamGeometry& geometry,
                                       const std::string& dir, std::string& error) {
    auto sink = std::make_unique<PcdSink>(options, geometry);
    if (!sink->open(dir)) {
        error = sink->error();
        return nullptr;
    }
    return sink;
}

}  // namespace kv::exporter
