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
// A press and release of the button at most this far apart (each way) are a click; further
// apart they are a drag, which turns the camera.
constexpr double kClickSlopPx = 4.0;

struct ScreenPoint {
    double x, y;  // pixels, display coordinates
};

// The index of the point of `projected` nearest to `click`, if it lies within `radiusPx`
// (inclusive). Among equally near points the first wins. Non-finite entries are skipped.
std::optional<std::size_t> nearestInScreen(const std::vector<ScreenPoint>& projected, ScreenPoint click,
                                           double radiusPx = kRulerSnapPx);

// Whether a press at `press` and its release at `release` make a click.
bool isClick(ScreenPoint press, ScreenPoint release);

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
// The status bar text while only the first point is placed.
std::string rulerFirstPointStatus(const RulerPoint& a);

// One measurement: the first click places A, the second B; a click after that starts anew
// with A. A click that snapped to no point changes nothing.
class Ruler {
public:
    void place(const RulerPoint& p);
    void clear() { a_.reset(), b_.reset(); }
    const std::optional<RulerPoint>& a() const { return a_; }
    const std::optional<RulerPoint>& b() const { return b_; }
    bool complete() const { return b_.has_value(); }
    RulerFigures figures() const { return complete() ? rulerFigures(*a_, *b_) : RulerFigures{0, 0, 0}; }
    // The label by the line ("" until both points are placed) and the status bar text ("" when
    // nothing is placed).
    std::string label() const;
    std::string status() const;

private:
    std::optional<RulerPoint> a_, b_;
};

}  // namespace kv
