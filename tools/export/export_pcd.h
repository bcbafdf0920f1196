// PCD and PLY files of exported frames: the frame cloud of the display pass (lines, angle
// range, colour mode), one file per frame through the format's one writer, named by the
// capture and the frame number (exportFileName).
#pragma once

#include <memory>
#include <string>

#include "export_job.h"
#include "frame_display.h"
#include "pcd_io.h"

namespace kv::exporter {

enum class CloudFormat { Pcd, Ply };

// The filter of the display pass that kv-export's options ask for.
DisplayFilter exportFilter(const ExportOptions& options);

// Writes the frame cloud of `frame` (its points with a return that `filter` keeps, coloured as it
// says) to `path` as one PCD or PLY file. `points` and `cloud` are scratch space, reused.
pcd::WriteResult writeFrameCloud(const MuchLidarData& frame, const BeamGeometry& geometry, const DisplayFilter& filter,
                                 CloudFormat format, pcd::Encoding encoding, const std::string& path,
                                 FramePoints& points, pcd::Cloud& cloud);

class CloudFileSink : public FrameSink {
public:
    CloudFileSink(const ExportOptions& options, const BeamGeometry& geometry, CloudFormat format);
    ~CloudFileSink() override;
    // Creates `dir` (and its parents) when missing.
    bool open(const std::string& dir);
    // Named by the frame's number (frame.number).
    bool write(int exported, const MuchLidarData& frame, int echoFlag) override;
    bool finish() override { return error_.empty(); }
    const std::string& error() const override { return error_; }
    std::string summary() const override;

private:
    BeamGeometry geometry_;
    DisplayFilter filter_;
    CloudFormat format_;
    pcd::Encoding encoding_;
    std::string capturePath_;
    std::string dir_;
    FramePoints points_;
    pcd::CloudPtr cloud_;
    std::string error_;
    int files_ = 0;
    int empty_ = 0;
};

// The factories the program hands to exportMain.
std::unique_ptr<FrameSink> makePcdSink(const ExportOptions& options, const BeamGeometry& geometry,
                                       const std::string& dir, std::string& error);
std::unique_ptr<FrameSink> makePlySink(const ExportOptions& options, const BeamGeometry& geometry,
                                       const std::string& dir, std::string& error);

}  // namespace kv::exporter
