// The export itself: the frames of a loaded capture in replay order, handed to the writers the
// window uses (CSV export, PCD recording), with progress and a summary. Plain C++; the PCD
// writer needs PCL and comes in through a factory (export_pcd.h), so that everything else
// here builds and runs without it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "capture_store.h"
#include "csv_export.h"
#include "export_options.h"
#include "much_lidar_data.h"
#include "point_geometry.h"

namespace kv::exporter {

// Walks `store` from its first packet as the capture replay does, and calls
// onFrame(number, frame, packet) for every frame it finishes: `number` counts from 1, `packet`
// is the packet that finished the frame. Dual-echo frames keep the echoes `echo` selects. The
// walk ends after frame `last` or when onFrame returns false. `progress(done, total)` counts
// packets, now and then, and once at the end: with done == total unless onFrame ended the
// walk. Returns the number of frames finished.
using FrameCallback = std::function<bool(std::uint32_t number, MuchLidarData&& frame, const std::uint8_t* packet)>;
using PacketProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;
// A packet the file cannot give (it shrank or changed since it was opened) ends the walk, with
// the reason in `readError` when given.
// `droppedPoints`, when given, receives the points dropped at the frame bound (a long stretch
// without markers), as the replay drops them.
std::uint32_t walkFrames(const capture::CaptureStore& store, int echo, std::uint32_t last, const FrameCallback& onFrame,
                         const PacketProgress& progress = {}, std::uint64_t* droppedPoints = nullptr,
                         std::string* readError = nullptr);

// A capture opened for export, its stream chosen: `stream` (when given) or the largest to
// `destPort` (when >= 0), by default the largest. kv-export and the Python module say the same
// words with it.
struct OpenedCapture {
    capture::CaptureLoad load;
    int status = 0;        // 0, or the exit status of a refusal (kExitFailed, kExitDamaged)
    std::string error;     // the refusal, one line
    std::string note;      // which stream, when none was asked for
    std::string damage;    // the damage, when the file is damaged after its first data packet
};
OpenedCapture openForExport(const std::string& path, const wire::StreamKey* stream, int destPort,
                            const capture::CaptureProgress& progress = {});

// A writer of exported frames. `exported` counts the frames handed to it from 1; `echoFlag`
// is the echo flag of the packet that finished the frame. Failures are values.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual bool write(int exported, const MuchLidarData& frame, int echoFlag) = 0;
    virtual bool finish() = 0;
    virtual const std::string& error() const = 0;
    virtual std::string summary() const = 0;  // what was written, for the closing line
};

// The CSV file of the window's multi-frame export: its layout, its row filter (angle range
// and line states; no selection box) and its frame numbers. The file is created (or
// replaced) when the first frame comes: an export that writes no frame leaves it as it was.
class CsvSink : public FrameSink {
public:
    CsvSink(const ExportOptions& options, const BeamGeometry& geometry, std::string path);
    bool write(int exported, const MuchLidarData& frame, int echoFlag) override;
    bool finish() override;
    const std::string& error() const override { return file_.error(); }
    std::string summary() const override;
    std::uint64_t rows() const { return file_.rows(); }
    bool written() const { return opened_; }  // the file was created or replaced

private:
    std::string path_;
    bool opened_ = false;
    csv::CsvFile file_;
    csv::RowFilter filter_;
    BeamGeometry geometry_;
};

// The name of an exported frame's file: "<capture name>_<frame number, 6 digits><ext>", the
// capture's file name without its directory and last extension ("run.pcap", 7 -> "run_000007.pcd").
// The same frame of the same capture gets the same name on every run.
std::string exportFileName(const std::string& capturePath, std::uint32_t frameNumber, const std::string& ext);

// Whatever the program needs from outside the core.
struct Environment {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool terminal = false;       // err is a terminal: draw a progress bar
    std::string configPath;      // config.ini as the viewer finds it; empty: none
    // Make the PCD and the PLY writer for `dir`; null with `error` set when that fails or is
    // not built.
    using MakeSink = std::function<std::unique_ptr<FrameSink>(const ExportOptions&, const BeamGeometry&,
                                                              const std::string& dir, std::string& error)>;
    MakeSink makePcdSink;
    MakeSink makePlySink;
    // Polled once a frame: true ends the export as a write failure would, with every file
    // closed on whole lines and whole files.
    std::function<bool()> interrupted;
};

enum ExitStatus : int { kExitOk = 0, kExitFailed = 1, kExitBadOption = 2, kExitDamaged = 3, kExitInterrupted = 130 };

// The whole program: options, capture, writers, progress and summary. Returns the exit status.
int exportMain(int argc, const char* const* argv, const Environment& env);

// Progress on a stream: a bar redrawn in place on a terminal, a line per tenth otherwise.
class ProgressReport {
public:
    ProgressReport(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}
    void update(const std::string& phase, std::uint64_t done, std::uint64_t total);
    void end();  // ends the bar's line

private:
    std::FILE* out_;
    bool terminal_;
    std::string phase_;
    int shown_ = -1;  // percent (terminal) or tenth (lines) last shown
    bool barOpen_ = false;
};

}  // namespace kv::exporter
