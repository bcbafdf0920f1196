// Two view tools of the "Lidar" tab's second row: "Measure" (the ruler: two clicks in the view,
// each snapped to the nearest drawn point, joined by a line with its figures, which the status
// bar shows as selectable text) and "Frames shown" (the last N handled frames drawn together).
// Wires the widgets to the ruler and the trail of the view; the decisions are theirs.
#pragma once

#include <QObject>
#include <QPoint>
#include <cstdint>
#include <memory>
#include <vector>

#include "ruler.h"
#include "trail.h"

namespace Ui {
class manwindowClass;
}
class QLabel;
class QLaserSelectionMuch;

namespace kv {
class CloudView;
class RulerView;
class TrailView;
struct ColouredPoint;
}  // namespace kv

namespace kv::window {

class RulerAndTrail : public QObject {
    Q_OBJECT
public:
    // Connects the row's widgets, "Clear", the selectors whose change empties the trail and
    // the line selection window's OK; watches the render widget for clicks.
    RulerAndTrail(Ui::manwindowClass& ui, CloudView& view, QLaserSelectionMuch* lines, QObject* parent = nullptr);
    ~RulerAndTrail() override;

    // The trail: whether handled frames' points are wanted, a handled frame, and the window's
    // other events.
    bool trailing() const;
    void frameHandled(std::uint64_t seq, const std::vector<ColouredPoint>& points);
    void report(TrailEvent event);

    const Ruler& ruler() const { return ruler_; }
    RulerView& rulerView() const { return *rulerView_; }
    TrailView& trailView() const { return *trailView_; }
    QLabel* rulerStatusLabel() const { return status_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setMeasuring(bool on);
    void clickAt(QPoint widgetPos);
    void clearRuler();
    void showRuler();

    Ui::manwindowClass& ui_;
    std::unique_ptr<RulerView> rulerView_;
    std::unique_ptr<TrailView> trailView_;
    Ruler ruler_;
    QLabel* status_ = nullptr;
    bool pressed_ = false;
    QPoint pressAt_;
};

}  // namespace kv::window
