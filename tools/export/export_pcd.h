// PCD and PLY files of exported frames: the frame cloud of the display pass (lines, angle
// range, colour mode), one file per frame through the format's one writer, named as PCD
// recording names them (PLY files end in .ply instead of .pcd).
#pragma once

#include <memory>
#include <string>

#include "export_job.h"
#include "frame_display.h"
#include "pcd_io.h"

namespace kv::exporter {

enum class CloudFormat { Pcd, Ply };

class CloudFileSink : public FrameSink {
public:
    CloudFileSink(const ExportOptions& options, const BeamGeometry& geometry, CloudFormat format,
                  StampClock clock = StampClock());
    ~CloudFileSink() override;
    // Creates `dir` (and its parents) when missing.
    bool open(const std::string& dir);
    bool write(int exported, const MuchLidarData& frame, int echoFlag) override;
    bool finish() override { return error_.empty(); }
    const std::string& error() const override { return error_; }
    std::string summary() const override;

private:
    BeamGeometry geometry_;
    DisplayFilter filter_;
    CloudFormat format_;
    pcd::Encoding encoding_;
    PcdNames names_;
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
