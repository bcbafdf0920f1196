// The ruler's arithmetic: which drawn point a click lands on (nearest in screen space within a
// few pixels), the figures between two points and their text. Pure; the view projects the
// points and draws the line, the window shows the text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kv {

constexpr double kRulerSnapPx = 6.0;  // a click snaps to a point at most this far away

struct ScreenPoint {
    double x, y;  // pixels, display coordinates
};

// The index of the point of `projected` nearest to `click`, if it lies within `radiusPx`
// (inclusive). Among equally near points the first wins. Non-finite entries are skipped.
std::optional<std::size_t> nearestInScreen(const std::vector<ScreenPoint>& projected, ScreenPoint click,
                                           double radiusPx = kRulerSnapPx);

struct RulerPoint {
    double x, y, z;  // metres
};

struct RulerFigures {
    double distanceM;     // Euclidean distance a-b
    double heightDiffM;   // b.z - a.z
    double azimuthDeg;    // horizontal direction a->b, atan2(dy, dx), in [0, 360)
};
RulerFigures rulerFigures(const RulerPoint& a, const RulerPoint& b);

// The label drawn by the line: "1.234 m, dz 0.500 m, 45.0°".
std::string rulerLabel(const RulerFigures& f);
// The status bar text: both points and the figures.
std::string rulerStatus(const RulerPoint& a, const RulerPoint& b, const RulerFigures& f);

}  // namespace kv
