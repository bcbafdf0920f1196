// The two replays' panels ("offLine" and "OffLinePCD" tabs), built from their own widgets: the
// buttons, sliders, frame box, counters and looping boxes. The panel connects them itself to
// the replay engine (kv::ReplayControl), shows what the engine decides on them (buttons
// enabled, icons, the counter on the slider and its display, the looping box) and hands each
// replay thread its orders through kv::applyOrders. What needs the window (its file dialogs,
// loading a file into the view, starting the capture thread in the receivers' place) comes in
// as hooks.
#pragma once

#include <QObject>
#include <functional>

#include "replay_control.h"

class QCheckBox;
class QLabel;
class QSlider;
class QSpinBox;
class QToolButton;

namespace kv::window {

struct CaptureReplayWidgets {
    QToolButton* open;
    QToolButton* close;
    QToolButton* goToStart;
    QToolButton* seekBackward;
    QToolButton* play;
    QToolButton* seekForward;
    QToolButton* goToEnd;  // stop and rewind
    QSlider* slider;
    QSpinBox* frameBox;
    QLabel* count;
    QCheckBox* loop;
};

struct PcdReplayWidgets {
    QToolButton* open;
    QToolButton* seekBackward;
    QToolButton* play;
    QToolButton* seekForward;
    QToolButton* stop;
    QSlider* slider;
    QLabel* count;
    QCheckBox* loop;
};

// What a panel asks of the window and of the replay threads.
struct ReplayHooks {
    ReplayChannel* captureChannel = nullptr;
    std::function<bool()> captureThreadRunning;
    std::function<void()> startCaptureThread;  // "Lidar"'s start routine in replay mode
    std::function<void(const ReplayEffects&)> pcdOrders;  // the PCD thread's applyOrders
    std::function<void()> openCapture;  // "Open": the file dialog and the loading
    std::function<void()> closeCapture;
    std::function<void()> openPcd;      // "OpenPCD"
    std::function<void()> jumped;       // a seek or a rewind: the trail starts over
};

class ReplayPanels : public QObject {
    Q_OBJECT
public:
    ReplayPanels(const CaptureReplayWidgets& capture, const PcdReplayWidgets& pcd, QToolButton* lidar,
                 ReplayHooks hooks, QObject* parent = nullptr);

    ReplayControl& control() { return control_; }
    const ReplayControl& control() const { return control_; }

    // Shows what the engine decided and gives the thread its orders; a looping end plays again
    // here, after everything else.
    void apply(ReplayEffects e);

    // A file was loaded: `range` frames (capture) or file names (PCD).
    void captureOpened(int range, bool hasPackets);
    void pcdOpened(int fileCount, bool hasClouds);
    void captureClosed();

    // The buttons, the sliders, the boxes and the threads' reports.
    void capturePlayPause();
    void captureGoToStart();
    void captureSeekForward() { apply(control_.captureSeekForward()); }
    void captureSeekBackward() { apply(control_.captureSeekBackward()); }
    void captureFinished(bool finished) { apply(control_.captureFinished(finished)); }
    void captureReadFailed() { apply(control_.captureReadFailed()); }
    void pcdPlayPause() { apply(control_.pcdPlayPause()); }
    void pcdSeekForward() { apply(control_.pcdSeekForward()); }
    void pcdSeekBackward() { apply(control_.pcdSeekBackward()); }
    void pcdStop() { apply(control_.pcdStop()); }
    void pcdFinished(bool finished) { apply(control_.pcdFinished(finished)); }
    void frameShown(ReplayKind kind, std::uint32_t number) { apply(control_.frameShown(kind, number)); }
    void sliderMoved(ReplayKind kind);
    void sliderReleased(ReplayKind kind);
    void frameBoxEntered();
    void setRepeat(ReplayKind kind, bool on) { control_.setRepeat(kind, on); }
    // The echo selection changed: a paused capture shows the frame on screen cut again.
    void echoChanged() { apply(control_.captureShowAgain()); }

private:
    void applyToWidgets(const ReplayEffects& e);
    void showCounter(ReplayKind kind);

    CaptureReplayWidgets capture_;
    PcdReplayWidgets pcd_;
    QToolButton* lidar_;
    ReplayHooks hooks_;
    ReplayControl control_;
};

}  // namespace kv::window
