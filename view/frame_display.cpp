#include "frame_display.h"

#include <algorithm>
#include <cstdio>

namespace kv {

void SelectionStats::add(const PointM& p) {
    if (count == 0) {
        xMin = xMax = p.xM;
        yMin = yMax = p.yM;
        zMin = zMax = p.zM;
    } else {
        xMin = std::min(xMin, double(p.xM));
        xMax = std::max(xMax, double(p.xM));
        yMin = std::min(yMin, double(p.yM));
        yMax = std::max(yMax, double(p.yM));
        zMin = std::min(zMin, double(p.zM));
        zMax = std::max(zMax, double(p.zM));
    }
    ySum += p.yM;
    ++count;
}

void computeFramePoints(const MuchLidarData& frame, const BeamGeometry& geometry,
                        const DisplayFilter& filter, FramePoints& out) {
    out.clear();
    const std::size_t n = frame.commonSize();  // never read one array past its end
    out.displayed.reserve(n);
    const int* lines = frame.channel.data();
    const float* azimuths = frame.azimuth.data();
    const float* distances = frame.distance.data();
    const int* intensities = frame.intensity.data();
    const PoseTable poses(filter.poses);
    const std::uint8_t* sensors = frame.sensor.size() >= n ? frame.sensor.data() : nullptr;

    for (std::size_t i = 0; i < n; ++i) {
        const int line = lines[i];
        if (!isModelLine(line)) continue;
        if (!filter.ignoreLineSelection && !filter.lineShown[std::size_t(line)]) continue;
        const double azimuth = azimuths[i];
        if (!(filter.minAngleDeg <= azimuth && azimuth <= filter.maxAngleDeg)) continue;
        const float distance = distances[i];
        if (!(distance > 0.0f)) continue;

        const std::size_t sensor = sensors ? sensors[i] : 0;
        const PointM p = posedPoint(geometry, line, azimuth, distance, poses.any ? poses.byIndex[sensor] : nullptr);
        const ColouredPoint cp{p.xM, p.yM, p.zM,
                               pointColour(filter.colourMode, intensities[i], p.zM, azimuths[i], line, sensor)};
        if (!filter.selectionActive && out.tableRows.size() < std::size_t(kPointTableRows))
            out.tableRows.push_back({line, p, distance, azimuths[i], intensities[i]});
        if (filter.box.contains(p)) {
            out.stats.add(p);
            out.selected.push_back(cp);
            if (filter.selectionActive) out.selectedIndex.push_back(std::uint32_t(i));
        }
        out.displayed.push_back(cp);
    }
}

namespace {
std::string fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}
std::string general6(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}
}  // namespace

std::array<std::string, 5> pointRowTexts(const PointRow& row, int distanceDecimals) {
    return {std::to_string(row.line),
            fixed(row.p.xM, 4) + " " + fixed(row.p.yM, 4) + " " + fixed(row.p.zM, 4),
            fixed(double(row.distanceCm) / 100.0, distanceDecimals), fixed(row.azimuthDeg, 3),
            fixed(row.intensity, 4)};
}

std::array<std::string, 3> selectionLabelTexts(const SelectionStats& s) {
    if (s.count == 0) return {" ", " ", " "};
    const double yAverage = s.ySum / double(s.count);
    return {"selectP: X_max:  " + general6(s.xMax) + "\t\tX_min:  " + general6(s.xMin),
            "selectP: Y_max:  " + general6(s.yMax) + "\t\tY_min:  " + general6(s.yMin) +
                "\t\tY_average:  " + general6(yAverage),
            "selectP: Z_max:  " + general6(s.zMax) + "\t\tZ_min:  " + general6(s.zMin)};
}

std::array<std::string, 3> initialSelectionLabelTexts() {
    return {"selectP: X_max:  X_min:  ", "selectP: Y_max:\t\t\t\tY_min:\t\t\t\tY_average:\t\t",
            "selectP: Z_max:  Z_min:  "};
}

std::string modelLabel(int lidarLineType, int echoFlag) {
    return (echoFlag == 2 ? "MS_VX" : "VX") + std::to_string(lidarLineType);
}

std::string windowTitle(const std::string& label, bool production) {
    return label + " Viewer" + (production ? " --Production" : "");
}

}  // namespace kv
