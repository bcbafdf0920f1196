// CSV export of frames: the number format, the two layouts, the row filter and the file
// writer that the window's exports (and command-line tools) share. Plain C++, no Qt.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

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

// The header line, with its trailing "," and the newline.
std::string headerLine(Layout layout);

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

// One CSV file being written. Every line is in the file (the kernel's page cache) as soon as
// it has been formatted, with no buffer of its own: an export that ends for any reason keeps
// every line written so far, and only whole lines. Errors are values: a call that fails
// returns false, error() says why, and the file keeps the lines written before the failure.
class CsvFile {
public:
    // `windowBytes`: how far the file grows ahead of the rows (a multiple of the page size).
    explicit CsvFile(std::size_t windowBytes = std::size_t(4) << 20);
    ~CsvFile();
    CsvFile(const CsvFile&) = delete;
    CsvFile& operator=(const CsvFile&) = delete;

    // Creates (or replaces) the file and writes the header of `layout`. A file already open is
    // closed first.
    bool open(const std::string& path, Layout layout);
    // Appends the accepted points of `frame` as rows. Points beyond the shortest of the four
    // arrays do not exist.
    bool writeFrame(const MuchLidarData& frame, const BeamGeometry& geometry, const RowFilter& filter,
                    int frameNumber = 0);
    // Cuts the file to the lines written and closes it. False when that failed.
    bool close();

    bool isOpen() const { return fd_ >= 0; }
    Layout layout() const { return layout_; }
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }
    std::uint64_t rows() const { return rows_; }
    std::uint64_t bytes() const { return committed_; }

private:
    bool put(const char* data, std::size_t n);  // one whole line
    bool mapWindow(std::uint64_t offset);
    void unmapWindow();
    bool fail(const std::string& what, int err);

    std::size_t windowBytes_;
    int fd_ = -1;
    bool mapped_ = false;        // a regular file written through a shared mapping
    char* window_ = nullptr;     // the mapped part of the file
    std::uint64_t windowAt_ = 0; // file offset of window_[0]
    std::uint64_t committed_ = 0;// bytes of whole lines in the file
    std::uint64_t rows_ = 0;
    Layout layout_ = Layout::kSingleFrame;
    std::string path_;
    std::string error_;
};

}  // namespace kv::csv
