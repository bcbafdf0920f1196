// The widgets of the two replays ("offLine" and "OffLinePCD" tabs) as a replay control's
// effects set them: buttons enabled, icons, the frame counter on the slider and its display,
// the looping box. The orders for the replay threads stay with the window.
#pragma once

#include "replay_control.h"

namespace Ui {
class manwindowClass;
}

namespace kv::window {

class ReplayPanels {
public:
    explicit ReplayPanels(Ui::manwindowClass& ui) : ui_(ui) {}
    // The buttons of both replays are off until a file is opened.
    void disableAll();
    void apply(const ReplayEffects& e, const ReplayControl& control);
    // The counter of `kind` on its slider (unless it is being dragged) and its display.
    void showCounter(ReplayKind kind, const ReplayControl& control);

private:
    Ui::manwindowClass& ui_;
};

}  // namespace kv::window
