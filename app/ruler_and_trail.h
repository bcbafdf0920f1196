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

class QAbstractButton;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;
class QStatusBar;
class QWidget;

namespace kv {
class CloudView;
class RulerView;
class TrailView;
struct ColouredPoint;
}  // namespace kv

namespace kv::window {

// The widgets the two tools are built from: their own row, the render widget and the status
// bar they use, and the controls whose change empties the trail.
struct RulerAndTrailWidgets {
    QAbstractButton* measure;
    QSpinBox* framesShown;
    QWidget* screen;
    QStatusBar* statusBar;
    QAbstractButton* clear;
    QAbstractButton* lidar;
    QComboBox* echo;
    QComboBox* colourMode;
    QDoubleSpinBox* minAngle;
    QDoubleSpinBox* maxAngle;
    QAbstractButton* linesOk;  // the line selection window's OK
};

class RulerAndTrail : public QObject {
    Q_OBJECT
public:
    // Connects the row's widgets, "Clear", the selectors whose change empties the trail and
    // the line selection window's OK; watches the render widget for clicks.
    RulerAndTrail(const RulerAndTrailWidgets& widgets, CloudView& view, QObject* parent = nullptr);
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

    RulerAndTrailWidgets ui_;
    std::unique_ptr<RulerView> rulerView_;
    std::unique_ptr<TrailView> trailView_;
    Ruler ruler_;
    QLabel* status_ = nullptr;
    bool pressed_ = false;
    QPoint pressAt_;
};

}  // namespace kv::window
