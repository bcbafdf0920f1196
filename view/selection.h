// The picked region: what an area pick takes from the displayed points, the listing of the
// last frame's in-box points after a pick, and which table rows a frame rewrites while a
// selection is followed. Pure; the window turns the results into cells and labels.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "frame_display.h"

namespace kv {

constexpr int kSelectedRowSpan = 30;  // rows below the scroll position rewritten per frame

// The three row formats of the point table.
enum class RowFormat {
    kListing,   // no selection: distance 3 decimals, intensity 4 decimals
    kSelected,  // a followed selection: distance 4 decimals, intensity 4 decimals
    kAreaPick,  // the listing right after a pick: distance 4 decimals, intensity an integer
};
std::array<std::string, 5> pointRowTexts(const PointRow& row, RowFormat format);

struct AreaPick {
    std::vector<ColouredPoint> points;  // the picked points, in the order of the indices
    SelectionBox box;                   // their bounding box
    int count = 0;                      // the picked count: indices that named a point
};

// The points of `displayed` named by `indices`; an index outside `displayed` is skipped.
AreaPick pickArea(const std::vector<ColouredPoint>& displayed, const std::vector<int>& indices);

struct PickListing {
    std::vector<std::pair<int, PointRow>> rows;  // table row, point (later rows overwrite earlier)
    SelectionStats stats;
};

// The last frame's points inside `box` after a pick: shown lines only (every line in
// production mode), distances above 0; the row index wraps at `pickedCount`.
PickListing listPicked(const MuchLidarData& frame, const BeamGeometry& geometry, const DisplayFilter& lines,
                       const SelectionBox& box, int pickedCount);

// Calls `write(row, k)` for each in-box point k of a frame (0..inBox-1) whose wrapped row lies
// in the window from `scrollValue` to `scrollValue` + 30.
void forEachSelectedRow(std::size_t inBox, int pickedCount, int scrollValue,
                        const std::function<void(int row, std::size_t k)>& write);

}  // namespace kv
