// The "Receiver health" dock, refreshed once a second, and the hint over the still black view
// before the first press of "Lidar". The rates and texts are kv::HealthMeter's; the window
// hands in what it is doing and its frame counts at each refresh.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class GetMuch;
class GetSet;
class QDockWidget;
class QLabel;
class QLineEdit;
class QMainWindow;
class QTimer;
class QWidget;

namespace kv {
class HealthMeter;
}

namespace kv::window {

class HealthPanel {
public:
    // The dock goes to the bottom of `window`, the hint over `view` names the port in
    // `portField` and follows its edits; `tick` is called once a second.
    HealthPanel(QMainWindow* window, QWidget* view, QLineEdit* portField, GetMuch* data, GetSet* status,
                std::function<void()> tick);
    ~HealthPanel();  // the timer stops

    QDockWidget* dock() const { return dock_; }
    QLabel* label() const { return label_; }
    QLabel* startHint() const { return startHint_; }
    void hideStartHint();
    // Reception starts: the receivers' counters start over, and so do the rates.
    void restart();

    struct WindowState {
        bool live = false;    // the receivers run
        bool replay = false;  // a capture is loaded or being replayed
        bool pcdReplay = false;  // a PCD folder is loaded or being replayed (and no capture)
        std::uint64_t framesHandled = 0;
        std::uint64_t framesDrawn = 0;
        std::uint64_t replayPointsDropped = 0;
    };
    // One sample of the receivers' counters with the window's; the line, red while a live
    // stream has stopped.
    void refresh(const WindowState& w);

private:
    QLineEdit* portField_;
    GetMuch* data_;
    GetSet* status_;
    QDockWidget* dock_ = nullptr;
    QLabel* label_ = nullptr;
    QLabel* startHint_ = nullptr;
    QTimer* timer_ = nullptr;
    std::unique_ptr<HealthMeter> meter_;
};

}  // namespace kv::window
