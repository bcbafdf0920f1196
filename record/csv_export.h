// CSV export of frames: the number format, the two layouts, the row filter and the file
// writer that the window's exports (and command-line tools) share. Plain C++, no Qt.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame_display.h"
#include "much_lidar_data.h"
#include "point_geometry.h"

namespace kv::csv {

// Room a formatted number needs ("-1.23457e-308" and a margin).
constexpr std::size_t kNumberChars = 32;

// Writes `v` exactly as printf("%g") does (six significant digits, trailing zeros dropped,
// "e+XX" beyond the fixed range, "-0", "inf", "nan") at `out` and returns the end.
// `out` must have kNumberChars bytes of room.
char* writeGeneral(char* out, double v);
std::string general(double v);

enum class Layout {
    kSingleFrame,  // Laser_id,Points_X,...,Intensity,
    kMultiFrame,   // FrameNumbers, then the same seven fields
};

// The header line, with its trailing "," and the newline; `sensorColumn` adds a last column
// "Sensor" (the files of frames merged from several sensors).
std::string headerLine(Layout layout, bool sensorColumn = false);

// Which points of a frame become rows. Distances below 0 (or not a number) and lines outside
// 0-3 are never written.
struct RowFilter {
    bool angleRange = false;  // keep minAngleDeg <= azimuth <= maxAngleDeg only
    float minAngleDeg = 0.0f;
    float maxAngleDeg = 180.0f;
    bool lineStates = false;  // keep lines whose state is not 0 only
    std::array<int, kLineCount> lineState{{1, 0, 0, 0}};
    bool boxActive = false;   // keep points inside the box (limits included) only
    SelectionBox box;
    SensorPoses poses;        // where each sensor of a merged frame is mounted

    // The single-frame export: every point, within the box while a selection is followed.
    static RowFilter singleFrame(bool selectionActive, const SelectionBox& box);
    // The multi-frame export: the dialog's angle range and line states (production mode lets
    // every line through), within the box while a selection is followed.
    static RowFilter multiFrame(float minAngleDeg, float maxAngleDeg, const std::array<int, kLineCount>& lineState,
                                bool productionUsed, bool selectionActive, const SelectionBox& box);

    bool accepts(int line, float azimuthDeg, float distanceCm) const;
};

// Formats one row (with its trailing "," and newline) at `out` and returns the end; the frame
// number leads in the multi-frame layout. `out` must have kRowChars bytes of room.
constexpr std::size_t kRowChars = 16 * kNumberChars;
char* writeRow(char* out, Layout layout, int frameNumber, int line, const PointM& p, float distanceCm,
               float azimuthDeg, int intensity);

// One CSV file being written. The rows of a frame are formatted into a buffer and go out with
// plain write() calls when the frame ends (or, for a frame larger than the buffer, each time
// the buffer fills), every call ending at a line end: the file holds whole lines only and
// never a byte that is not part of a row, also after a crash or a kill (writeLines() says the
// one cut the kernel can make). Errors are values: a
// call that fails returns false, error() says why, and the file keeps the whole lines written
// before the failure (a write cut short mid-line is cut back to the last line end).
class CsvFile {
public:
    // `bufferBytes`: the most a frame's rows wait in memory before they go out (at least one
    // row). The default holds the largest frame.
    explicit CsvFile(std::size_t bufferBytes = std::size_t(8) << 20);
    ~CsvFile();
    CsvFile(const CsvFile&) = delete;
    CsvFile& operator=(const CsvFile&) = delete;

    // Creates (or replaces) the file and writes the header of `layout`. A file already open is
    // closed first.
    bool open(const std::string& path, Layout layout);
    // The names of the sensors of merged frames, by sensor index, for the "Sensor" column: given
    // before open(), they add the column (empty: no column, the one-sensor layout). Commas and
    // line ends in a name become '_', and a name is cut at 64 bytes.
    void setSensorNames(std::vector<std::string> names);
    // Appends the accepted points of `frame` as rows. Points beyond the shortest of the four
    // arrays do not exist.
    bool writeFrame(const MuchLidarData& frame, const BeamGeometry& geometry, const RowFilter& filter,
                    int frameNumber = 0);
    // Appends the accepted points of a cloud that carries x, y and z only (a replayed PCD frame)
    // as rows of line 0 and intensity 0, their distance and azimuth taken from the coordinates
    // (pointRangeCm, pointAzimuthDeg). Points with a coordinate that is not finite are skipped.
    bool writeCloud(const std::vector<PointM>& points, const RowFilter& filter, int frameNumber = 0);
    // Closes the file. False when that failed.
    bool close();

    bool isOpen() const { return fd_ >= 0; }
    Layout layout() const { return layout_; }
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }
    std::uint64_t rows() const { return rows_; }
    std::uint64_t bytes() const { return committed_; }

private:
    bool addRow(int frameNumber, int line, const PointM& p, float distanceCm, float azimuthDeg, int intensity,
                std::size_t sensor = 0);
    bool flush();                                   // the buffered rows, all of them
    bool writeLines(const char* data, std::size_t n);  // whole lines, at the end of the file
    bool fail(const std::string& what, int err);

    std::size_t bufferBytes_;
    std::size_t pageBytes_;
    int fd_ = -1;
    bool regular_ = false;        // a regular file, which a failed write can be cut back in
    std::unique_ptr<char[]> buffer_;  // formatted rows waiting to go out: bufferBytes_ + a row
    std::size_t buffered_ = 0;
    std::uint64_t bufferedRows_ = 0;
    std::uint64_t committed_ = 0; // bytes of whole lines in the file
    std::uint64_t rows_ = 0;
    Layout layout_ = Layout::kSingleFrame;
    std::vector<std::string> sensorNames_;
    std::string path_;
    std::string error_;
};

}  // namespace kv::csv
