// The display pass over one frame: filters, point computation, colours, the point table's
// rows and the selection statistics. Pure; the window turns the result into clouds and cells.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "much_lidar_data.h"
#include "point_geometry.h"
#include "sensor_pose.h"

namespace kv {

constexpr int kPointTableRows = 256;

// The selection box of the picked region, metres, all ends included. All zeros at start.
struct SelectionBox {
    float xMin = 0, xMax = 0, yMin = 0, yMax = 0, zMin = 0, zMax = 0;
    bool contains(const PointM& p) const {
        return xMin <= p.xM && p.xM <= xMax && yMin <= p.yM && p.yM <= yMax && zMin <= p.zM &&
               p.zM <= zMax;
    }
};

struct DisplayFilter {
    std::array<bool, kLineCount> lineShown{{true, false, false, false}};
    bool ignoreLineSelection = false;  // production mode shows every line
    double minAngleDeg = 0.0;
    double maxAngleDeg = 180.0;
    int colourMode = kColourIntensity;
    SelectionBox box;
    bool selectionActive = false;  // a picked region is followed: the table lists its points
    // Where each sensor of the frame is mounted (none: every point stays in its sensor's frame).
    SensorPoses poses;
};

struct ColouredPoint {
    float xM, yM, zM;
    Rgb rgb;
};

// One row of the point table, as numbers; pointRowTexts() formats it.
struct PointRow {
    int line;
    PointM p;
    float distanceCm;
    float azimuthDeg;
    int intensity;
};

struct SelectionStats {
    std::size_t count = 0;
    double xMin = 0, xMax = 0, yMin = 0, yMax = 0, zMin = 0, zMax = 0, ySum = 0;
    void add(const PointM& p);
};

struct FramePoints {
    std::vector<ColouredPoint> displayed;  // every accepted point
    std::vector<ColouredPoint> selected;   // accepted points inside the selection box
    std::vector<PointRow> tableRows;       // rows 0.. of the point table (at most 256)
    // While a selection is followed: the frame index of each in-box point (selectedRow()
    // makes its table row; only the rows near the table's scroll position are ever made).
    std::vector<std::uint32_t> selectedIndex;
    SelectionStats stats;

    void clear() {
        displayed.clear();
        selected.clear();
        tableRows.clear();
        selectedIndex.clear();
        stats = SelectionStats();
    }
};

// Runs the display pass over `frame` into `out` (cleared first; its capacity is reused).
// Points on lines outside 0-3 cannot be looked up in the geometry and are skipped.
void computeFramePoints(const MuchLidarData& frame, const BeamGeometry& geometry,
                        const DisplayFilter& filter, FramePoints& out);

// The table row of the k-th in-box point of `points`, computed from `frame`.
inline PointRow selectedRow(const FramePoints& points, const MuchLidarData& frame, std::size_t k) {
    const std::size_t i = points.selectedIndex[k];
    const ColouredPoint& c = points.selected[k];
    return {frame.channel[i], {c.xM, c.yM, c.zM}, frame.distance[i], frame.azimuth[i], frame.intensity[i]};
}

// The five cell texts of a table row: line, "x y z" (4 decimals), distance in metres,
// azimuth (3 decimals), intensity (4 decimals). `distanceDecimals` is 3 for the frame's rows,
// 4 for the rows of a followed selection.
std::array<std::string, 5> pointRowTexts(const PointRow& row, int distanceDecimals = 3);

// The three status-bar texts for the statistics: X, Y (with the average) and Z; " " each
// when no point lay in the box.
std::array<std::string, 3> selectionLabelTexts(const SelectionStats& s);
// The same three labels before any frame: their names with no values.
std::array<std::string, 3> initialSelectionLabelTexts();
// Least size of each statistics label, so that the status bar does not jump as values come.
constexpr int kStatisticsLabelMinWidth = 150;
constexpr int kStatisticsLabelMinHeight = 20;

// "VX<n>" or, after dual-echo packets (echo flag 2), "MS_VX<n>".
std::string modelLabel(int lidarLineType, int echoFlag);
// The model label followed by " Viewer", and " --Production" in production mode.
std::string windowTitle(const std::string& label, bool production);

}  // namespace kv
