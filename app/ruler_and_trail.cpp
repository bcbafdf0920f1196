#include "ruler_and_trail.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QStatusBar>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVTKOpenGLNativeWidget.h>

#include "ruler_view.h"
#include "trail_view.h"

namespace kv::window {

RulerAndTrail::RulerAndTrail(const RulerAndTrailWidgets& ui, CloudView& view, QObject* parent)
    : QObject(parent), ui_(ui), rulerView_(new RulerView(view)), trailView_(new TrailView(view)) {
    status_ = new QLabel(ui.statusBar);
    status_->setObjectName("label_Ruler");
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // It takes the free width of the bar, right-aligned at its end, but never widens the window.
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    status_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ui.statusBar->addPermanentWidget(status_, 1);
    status_->hide();

    connect(ui.measure, &QAbstractButton::toggled, this, &RulerAndTrail::setMeasuring);
    connect(ui.clear, &QAbstractButton::clicked, this, [this] {
        clearRuler();
        report(TrailEvent::kViewCleared);
    });
    connect(ui.framesShown, QOverload<int>::of(&QSpinBox::valueChanged), this,
            [this](int frames) { trailView_->setLength(frames); });
    auto on = [this](TrailEvent e) { return [this, e] { report(e); }; };
    connect(ui.echo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            on(TrailEvent::kEchoChanged));
    connect(ui.colourMode, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            on(TrailEvent::kColourModeChanged));
    for (QDoubleSpinBox* angle : {ui.minAngle, ui.maxAngle})
        connect(angle, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                on(TrailEvent::kAngleRangeChanged));
    connect(ui.lidar, &QAbstractButton::clicked, this, on(TrailEvent::kLidarPressed));
    connect(ui.linesOk, &QAbstractButton::clicked, this, on(TrailEvent::kLinesChanged));
    ui.screen->installEventFilter(this);
}

RulerAndTrail::~RulerAndTrail() { ui_.screen->removeEventFilter(this); }

bool RulerAndTrail::trailing() const { return trailView_->trailing(); }

void RulerAndTrail::frameHandled(std::uint64_t seq, const std::vector<ColouredPoint>& points) {
    trailView_->frameHandled(seq, points);
}

void RulerAndTrail::report(TrailEvent event) { trailView_->report(event); }

// A press and release close together is a click for the ruler; the events go on to the view
// either way, so that a drag still turns the camera.
bool RulerAndTrail::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_.screen && ui_.measure->isChecked()) {
        if (event->type() == QEvent::MouseButtonPress) {
            auto* e = static_cast<QMouseEvent*>(event);
            pressed_ = e->button() == Qt::LeftButton;
            pressAt_ = e->pos();
        } else if (event->type() == QEvent::MouseButtonRelease) {
            auto* e = static_cast<QMouseEvent*>(event);
            if (pressed_ && e->button() == Qt::LeftButton &&
                isClick({double(pressAt_.x()), double(pressAt_.y())}, {double(e->pos().x()), double(e->pos().y())}))
                clickAt(pressAt_);
            pressed_ = false;
        }
    }
    return QObject::eventFilter(watched, event);
}

void RulerAndTrail::clickAt(QPoint widgetPos) {
    const std::optional<RulerPoint> p = rulerView_->snap({double(widgetPos.x()), double(widgetPos.y())});
    if (!p) return;  // no drawn point near enough: nothing is placed
    ruler_.place(*p);
    showRuler();
}

void RulerAndTrail::setMeasuring(bool on) {
    pressed_ = false;
    if (on) {
        ui_.screen->setCursor(Qt::CrossCursor);
    } else {
        ui_.screen->unsetCursor();  // the window's own cursor again ("Select" sets one)
        clearRuler();
    }
}

void RulerAndTrail::clearRuler() {
    ruler_.clear();
    showRuler();
}

void RulerAndTrail::showRuler() {
    rulerView_->show(ruler_);
    const QString text = QString::fromStdString(ruler_.status());
    status_->setText(text);
    status_->setToolTip(text);  // the whole text, should the bar be too narrow for it
    status_->setVisible(!text.isEmpty());
}

}  // namespace kv::window
