// A CSV export as the window runs it: "SaveData" writes the frame on screen at once while the
// picture stands still, otherwise it asks for frames and the next frames are appended to one
// file until the count is reached or the user ends the export. Plain C++; the window shows the
// status text and the end button and reports errors.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "csv_export.h"
#include "save_selection.h"

namespace kv::csv {

// Whether "SaveData" exports the frame on screen at once (the picture stands still: "Suspend
// Data" is on, or a replay is paused) rather than asking for a multi-frame export.
inline bool exportsFrameOnScreen(bool suspended, bool replayPaused) { return suspended || replayPaused; }

// The sensors of the frames exported: their poses, and with more than one their names, which
// add the "Sensor" column.
struct ExportSensors {
    SensorPoses poses;
    std::vector<std::string> names;
};

// The frame on screen, in a file of its own (a multi-frame export that is open goes on
// untouched). False with `error` set when the file could not be written.
bool exportSingleFrame(const std::string& path, const MuchLidarData& frame, const BeamGeometry& geometry,
                       bool selectionFollowed, const SelectionBox& box, std::string& error,
                       const ExportSensors& sensors = {});

// A replayed PCD cloud on screen, in a file of its own, in the same layout (CsvFile::writeCloud
// says what its rows hold).
bool exportSingleCloud(const std::string& path, const std::vector<PointM>& cloud, bool selectionFollowed,
                       const SelectionBox& box, std::string& error);

class ExportSession {
public:
    ExportSession();
    ~ExportSession();

    // Opens `path` (an export already running ends first, its file kept). False: error().
    // The sensors shown when it starts decide the layout of the file (the Sensor column).
    bool start(const std::string& path, const ExportSensors& sensors = {});

    enum class Step {
        kGoing,   // the frame is in the file; more follow
        kEnded,   // the frame was the last of the count; the file is closed
        kFailed,  // the write failed; the export has ended with the whole lines written so far
    };
    // One handled frame, with the window's choice of frames, angles and lines. A count of 0 or
    // less never ends by itself.
    Step step(const MuchLidarData& frame, const BeamGeometry& geometry, const SaveSelection& choice,
              bool productionUsed, bool selectionFollowed, const SelectionBox& box);
    // "End export": closes the file. False (with error()) when the close failed.
    bool end();

    bool active() const { return active_; }
    int frames() const { return frames_; }
    const std::string& path() const;
    const std::string& error() const;
    // "CSV export to <path>: <n> frames" while active, empty otherwise.
    std::string statusText() const;

private:
    std::unique_ptr<CsvFile> file_;
    ExportSensors sensors_;
    bool active_ = false;
    int frames_ = 0;
};

}  // namespace kv::csv
