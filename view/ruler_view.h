// The ruler in the 3D view: which drawn point a click lands on (every point of every cloud in
// the view, projected by the renderer), and the marks of the placed points, the line between
// them and its label. The decisions are the ruler's (ruler.h); VTK stays in ruler_view.cpp.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ruler.h"

namespace kv {

class CloudView;

class RulerView {
public:
    explicit RulerView(CloudView& view);
    ~RulerView();
    RulerView(const RulerView&) = delete;
    RulerView& operator=(const RulerView&) = delete;

    // The drawn point nearest to the widget position `at` (logical pixels from the widget's top
    // left, as mouse events give them) within kRulerSnapPx; none when no point is that near.
    std::optional<RulerPoint> snap(ScreenPoint at) const;

    // Draws the marks of the placed points and, with both placed, the line and its label;
    // nothing when none is placed. Renders.
    void show(const Ruler& ruler);
    int marksShown() const;
    bool lineShown() const;
    std::string labelShown() const;

private:
    struct Actors;
    CloudView& view_;
    std::unique_ptr<Actors> d_;
};

}  // namespace kv
