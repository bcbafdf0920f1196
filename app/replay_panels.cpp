#include "replay_panels.h"

#include <QString>

#include "ui_manwindow.h"
#include "window_parts.h"

namespace kv::window {

void ReplayPanels::disableAll() {
    for (QToolButton* b : {ui_.toolButton_Play, ui_.toolButton_Close, ui_.toolButton_GoToEnd, ui_.toolButton_GoToStart,
                           ui_.toolButton_SeekBackward, ui_.toolButton_SeekForward, ui_.toolButton_Play_PCD,
                           ui_.toolButton_GoToEnd_PCD, ui_.toolButton_SeekForward_PCD,
                           ui_.toolButton_SeekBackward_PCD})
        b->setEnabled(false);
}

void ReplayPanels::apply(const ReplayEffects& e, const ReplayControl& control) {
    const bool pcd = e.kind == ReplayKind::Pcd;
    auto enable = [](QToolButton* b, Enable v) {
        if (v != Enable::Keep) b->setEnabled(v == Enable::On);
    };
    QToolButton* play = pcd ? ui_.toolButton_Play_PCD : ui_.toolButton_Play;
    QToolButton* forward = pcd ? ui_.toolButton_SeekForward_PCD : ui_.toolButton_SeekForward;
    QToolButton* backward = pcd ? ui_.toolButton_SeekBackward_PCD : ui_.toolButton_SeekBackward;
    enable(play, e.play);
    for (QToolButton* b : {forward, backward, pcd ? ui_.toolButton_GoToEnd_PCD : ui_.toolButton_GoToEnd})
        enable(b, e.seeks);
    if (!pcd) enable(ui_.toolButton_GoToStart, e.seeks);
    enable(pcd ? ui_.toolButton_Play : ui_.toolButton_Play_PCD, e.otherPlay);
    enable(pcd ? ui_.toolButton_OpenPCD : ui_.toolButton_Open, e.open);
    if (!pcd) enable(ui_.toolButton_Close, e.close);
    enable(ui_.toolButton_Lidar, e.lidar);
    if (e.playIcon) play->setIcon(imageFile(e.playIcon));
    if (e.forwardIcon) forward->setIcon(imageFile(e.forwardIcon));
    if (e.backwardIcon) backward->setIcon(imageFile(e.backwardIcon));
    if (e.showCounter) showCounter(e.kind, control);
    if (e.uncheckRepeat) (pcd ? ui_.checkBox_round_PCD : ui_.checkBox_round)->setChecked(false);
}

void ReplayPanels::showCounter(ReplayKind kind, const ReplayControl& control) {
    const int counter = control.frameCounter(kind);
    if (kind == ReplayKind::Pcd) {
        if (!control.dragging(kind)) ui_.Slider_Frame_PCD->setValue(counter);
        ui_.label_PCD_Count->setText(QString("%1/%2").arg(counter).arg(control.pcdFileCount()));
        return;
    }
    if (!control.dragging(kind)) ui_.Slider_Frame->setValue(counter);
    ui_.Spbox_Frame->setValue(counter);
    ui_.label_Frame_Count->setText(QString("%1/%2").arg(counter).arg(control.captureRange()));
}

}  // namespace kv::window
