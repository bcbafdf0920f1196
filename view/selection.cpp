#include "selection.h"

#include <algorithm>

namespace kv {

std::array<std::string, 5> pointRowTexts(const PointRow& row, RowFormat format) {
    std::array<std::string, 5> t = pointRowTexts(row, format == RowFormat::kListing ? 3 : 4);
    if (format == RowFormat::kAreaPick) t[4] = std::to_string(row.intensity);
    return t;
}

AreaPick pickArea(const std::vector<ColouredPoint>& displayed, const std::vector<int>& indices) {
    AreaPick pick;
    pick.points.reserve(indices.size());
    for (int i : indices) {
        if (i < 0 || std::size_t(i) >= displayed.size()) continue;
        const ColouredPoint& p = displayed[std::size_t(i)];
        SelectionBox& b = pick.box;
        if (pick.points.empty()) {
            b = {p.xM, p.xM, p.yM, p.yM, p.zM, p.zM};
        } else {
            b.xMin = std::min(b.xMin, p.xM);
            b.xMax = std::max(b.xMax, p.xM);
            b.yMin = std::min(b.yMin, p.yM);
            b.yMax = std::max(b.yMax, p.yM);
            b.zMin = std::min(b.zMin, p.zM);
            b.zMax = std::max(b.zMax, p.zM);
        }
        pick.points.push_back(p);
    }
    pick.count = int(pick.points.size());
    return pick;
}

PickListing listPicked(const MuchLidarData& frame, const BeamGeometry& geometry, const DisplayFilter& lines,
                       const SelectionBox& box, int pickedCount) {
    PickListing out;
    const std::size_t n = frame.commonSize();
    int r = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int line = frame.channel[i];
        if (!isModelLine(line)) continue;
        if (!lines.ignoreLineSelection && !lines.lineShown[std::size_t(line)]) continue;
        const float distance = frame.distance[i];
        if (!(distance > 0.0f)) continue;
        const PointM p = computePoint(geometry, line, frame.azimuth[i], distance);
        if (!box.contains(p)) continue;
        out.stats.add(p);
        if (r >= pickedCount) r = 0;
        out.rows.push_back({r, PointRow{line, p, distance, frame.azimuth[i], frame.intensity[i]}});
        ++r;
    }
    return out;
}

void forEachSelectedRow(std::size_t inBox, int pickedCount, int scrollValue,
                        const std::function<void(int row, std::size_t k)>& write) {
    int r = 0;
    for (std::size_t k = 0; k < inBox; ++k) {
        if (r >= pickedCount) r = 0;
        if (scrollValue <= r && r <= scrollValue + kSelectedRowSpan) write(r, k);
        ++r;
    }
}

}  // namespace kv
