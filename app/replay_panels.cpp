#include "replay_panels.h"

#include <QAbstractSlider>
#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QString>
#include <QToolButton>

#include "window_parts.h"

namespace kv::window {

ReplayPanels::ReplayPanels(const CaptureReplayWidgets& capture, const PcdReplayWidgets& pcd, QToolButton* lidar,
                           ReplayHooks hooks, QObject* parent)
    : QObject(parent), capture_(capture), pcd_(pcd), lidar_(lidar), hooks_(std::move(hooks)) {
    // The buttons of both replays are off until a file is opened.
    for (QToolButton* b : {capture_.play, capture_.close, capture_.goToEnd, capture_.goToStart, capture_.seekBackward,
                           capture_.seekForward, pcd_.play, pcd_.stop, pcd_.seekForward, pcd_.seekBackward})
        b->setEnabled(false);

    connect(capture_.open, &QToolButton::clicked, this, [this] { hooks_.openCapture(); });
    connect(capture_.close, &QToolButton::clicked, this, [this] { hooks_.closeCapture(); });
    connect(capture_.play, &QToolButton::clicked, this, &ReplayPanels::capturePlayPause);
    connect(capture_.goToStart, &QToolButton::clicked, this, &ReplayPanels::captureGoToStart);
    // The end button stops and rewinds: the replay shows its first frame and waits there.
    connect(capture_.goToEnd, &QToolButton::clicked, this, &ReplayPanels::captureGoToStart);
    connect(capture_.seekForward, &QToolButton::clicked, this, &ReplayPanels::captureSeekForward);
    connect(capture_.seekBackward, &QToolButton::clicked, this, &ReplayPanels::captureSeekBackward);
    connect(capture_.frameBox, &QSpinBox::editingFinished, this, &ReplayPanels::frameBoxEntered);
    connect(capture_.loop, &QCheckBox::stateChanged, this, [this](int s) { setRepeat(ReplayKind::Capture, s != 0); });

    connect(pcd_.open, &QToolButton::clicked, this, [this] { hooks_.openPcd(); });
    connect(pcd_.play, &QToolButton::clicked, this, &ReplayPanels::pcdPlayPause);
    connect(pcd_.seekForward, &QToolButton::clicked, this, &ReplayPanels::pcdSeekForward);
    connect(pcd_.seekBackward, &QToolButton::clicked, this, &ReplayPanels::pcdSeekBackward);
    connect(pcd_.stop, &QToolButton::clicked, this, &ReplayPanels::pcdStop);
    connect(pcd_.loop, &QCheckBox::stateChanged, this, [this](int s) { setRepeat(ReplayKind::Pcd, s != 0); });

    for (ReplayKind kind : {ReplayKind::Capture, ReplayKind::Pcd}) {
        QSlider* slider = kind == ReplayKind::Capture ? capture_.slider : pcd_.slider;
        connect(slider, &QSlider::sliderMoved, this, [this, kind] { sliderMoved(kind); });
        connect(slider, &QSlider::sliderReleased, this, [this, kind] { sliderReleased(kind); });
        // A click on the track (or a key, or the wheel) moves the handle: the replay goes there,
        // as after a drag, once the slider has taken its new value.
        connect(slider, &QAbstractSlider::actionTriggered, this, [this, kind](int action) {
            if (action != QAbstractSlider::SliderMove)
                QMetaObject::invokeMethod(this, [this, kind] { sliderReleased(kind); }, Qt::QueuedConnection);
        });
    }
}

void ReplayPanels::apply(ReplayEffects e) {
    // A looping end plays again: a loop here rather than a call back into this function.
    for (;;) {
        applyToWidgets(e);
        if (e.seekTo >= 0 || e.orders.replayRewind == 1) hooks_.jumped();
        if (e.kind == ReplayKind::Pcd) hooks_.pcdOrders(e);
        else applyOrders(e, *hooks_.captureChannel, hooks_.startCaptureThread);
        if (!e.playAgain) return;
        e = e.kind == ReplayKind::Pcd ? control_.pcdPlayPause() : control_.capturePlayPause(hooks_.captureThreadRunning());
    }
}

void ReplayPanels::applyToWidgets(const ReplayEffects& e) {
    const bool pcd = e.kind == ReplayKind::Pcd;
    auto enable = [](QToolButton* b, Enable v) {
        if (v != Enable::Keep) b->setEnabled(v == Enable::On);
    };
    QToolButton* play = pcd ? pcd_.play : capture_.play;
    QToolButton* forward = pcd ? pcd_.seekForward : capture_.seekForward;
    QToolButton* backward = pcd ? pcd_.seekBackward : capture_.seekBackward;
    enable(play, e.play);
    for (QToolButton* b : {forward, backward, pcd ? pcd_.stop : capture_.goToEnd}) enable(b, e.seeks);
    if (!pcd) enable(capture_.goToStart, e.seeks);
    enable(pcd ? capture_.play : pcd_.play, e.otherPlay);
    enable(pcd ? pcd_.open : capture_.open, e.open);
    if (!pcd) enable(capture_.close, e.close);
    enable(lidar_, e.lidar);
    if (e.playIcon) play->setIcon(imageFile(e.playIcon));
    if (e.forwardIcon) forward->setIcon(imageFile(e.forwardIcon));
    if (e.backwardIcon) backward->setIcon(imageFile(e.backwardIcon));
    if (e.showCounter) showCounter(e.kind);
    if (e.uncheckRepeat) (pcd ? pcd_.loop : capture_.loop)->setChecked(false);
}

void ReplayPanels::showCounter(ReplayKind kind) {
    const int counter = control_.frameCounter(kind);
    if (kind == ReplayKind::Pcd) {
        if (!control_.dragging(kind)) pcd_.slider->setValue(counter);
        pcd_.count->setText(QString("%1/%2").arg(counter).arg(control_.pcdFileCount()));
        return;
    }
    if (!control_.dragging(kind)) capture_.slider->setValue(counter);
    capture_.frameBox->setValue(counter);
    capture_.count->setText(QString("%1/%2").arg(counter).arg(control_.captureRange()));
}

void ReplayPanels::captureOpened(int range, bool hasPackets) {
    capture_.frameBox->setEnabled(true);
    capture_.slider->setEnabled(true);
    capture_.frameBox->setRange(0, range);
    capture_.slider->setRange(0, range);
    apply(control_.captureOpened(range, hasPackets));
}

void ReplayPanels::pcdOpened(int fileCount, bool hasClouds) {
    pcd_.slider->setRange(0, fileCount);
    apply(control_.pcdOpened(fileCount, hasClouds));
}

void ReplayPanels::captureClosed() {
    apply(control_.captureClosed());
    capture_.frameBox->setRange(0, 0);
    capture_.slider->setRange(0, 0);
    capture_.frameBox->setEnabled(false);
    capture_.slider->setEnabled(false);
    capture_.count->clear();
}

void ReplayPanels::capturePlayPause() { apply(control_.capturePlayPause(hooks_.captureThreadRunning())); }

void ReplayPanels::captureGoToStart() { apply(control_.captureGoToStart()); }

void ReplayPanels::sliderMoved(ReplayKind kind) {
    control_.sliderMoved(kind, (kind == ReplayKind::Capture ? capture_.slider : pcd_.slider)->value());
}

void ReplayPanels::sliderReleased(ReplayKind kind) {
    apply(control_.sliderReleased(kind, (kind == ReplayKind::Capture ? capture_.slider : pcd_.slider)->value()));
}

// A frame number typed into the frame box (Enter, or leaving the box) seeks there as the
// slider does.
void ReplayPanels::frameBoxEntered() {
    if (capture_.frameBox->value() == control_.frameCounter(ReplayKind::Capture)) return;
    apply(control_.sliderReleased(ReplayKind::Capture, capture_.frameBox->value()));
}

}  // namespace kv::window
