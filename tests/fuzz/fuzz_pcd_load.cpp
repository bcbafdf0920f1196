// libFuzzer harness for the PCD reader: any bytes are checked and read as a file would be,
// and what comes out must hold together (every point finite, none lost or invented).
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "pcd_header.h"
#include "pcd_points.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const kv::pcd::PointsRead r = kv::pcd::readPoints(data, size);
    if (!r.ok) {
        if (r.error.empty() || !r.points.empty()) __builtin_trap();
        return 0;
    }
    const kv::pcd::Check c = kv::pcd::checkFile(data, size);
    if (!c.ok || r.points.size() + r.droppedPoints != c.header.points) __builtin_trap();
    for (const kv::ColouredPoint& p : r.points)
        if (!std::isfinite(p.xM) || !std::isfinite(p.yM) || !std::isfinite(p.zM)) __builtin_trap();
    return 0;
}
