#include "ruler.h"

#include <cmath>
#include <cstdio>

namespace kv {

std::optional<std::size_t> nearestInScreen(const std::vector<ScreenPoint>& projected, ScreenPoint click,
                                           double radiusPx) {
    std::optional<std::size_t> best;
    double bestD2 = radiusPx * radiusPx;
    for (std::size_t i = 0; i < projected.size(); ++i) {
        const double dx = projected[i].x - click.x;
        const double dy = projected[i].y - click.y;
        const double d2 = dx * dx + dy * dy;
        if (!std::isfinite(d2)) continue;
        if (d2 < bestD2 || (!best && d2 <= bestD2)) {
            best = i;
            bestD2 = d2;
        }
    }
    return best;
}

bool isClick(ScreenPoint press, ScreenPoint release) {
    return std::fabs(release.x - press.x) <= kClickSlopPx && std::fabs(release.y - press.y) <= kClickSlopPx;
}

RulerFigures rulerFigures(const RulerPoint& a, const RulerPoint& b) {
    const double dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
    double az = 0.0;
    if (dx != 0.0 || dy != 0.0) {
        az = std::atan2(dy, dx) * 180.0 / 3.14159265358979323846;
        if (az < 0.0) az += 360.0;
        if (az >= 360.0) az -= 360.0;
    }
    return {std::sqrt(dx * dx + dy * dy + dz * dz), dz, az};
}

std::string rulerLabel(const RulerFigures& f) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.3f m, dz %.3f m, %.1f\xC2\xB0", f.distanceM, f.heightDiffM, f.azimuthDeg);
    return buf;
}

std::string rulerStatus(const RulerPoint& a, const RulerPoint& b, const RulerFigures& f) {
    // Short enough to fit the status bar of a window 1280 pixels wide beside the other labels.
    char buf[256];
    std::snprintf(buf, sizeof buf, "A (%.3f, %.3f, %.3f)  B (%.3f, %.3f, %.3f)  ", a.x, a.y, a.z, b.x, b.y, b.z);
    return buf + rulerLabel(f);
}

std::string rulerFirstPointStatus(const RulerPoint& a) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "A (%.3f, %.3f, %.3f)  click a second point", a.x, a.y, a.z);
    return buf;
}

void Ruler::place(const RulerPoint& p) {
    if (!a_ || b_) {
        a_ = p;
        b_.reset();
    } else {
        b_ = p;
    }
}

std::string Ruler::label() const { return complete() ? rulerLabel(figures()) : std::string(); }

std::string Ruler::status() const {
    if (!a_) return std::string();
    return complete() ? rulerStatus(*a_, *b_, figures()) : rulerFirstPointStatus(*a_);
}

}  // namespace kv
