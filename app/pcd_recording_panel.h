// "RecordPCD" on the "OffLinePCD" tab as the window offers it: the save dialog with its proposed
// name, the button's checked state, the status bar's line, one file per handled frame and the
// box of a failed write. The naming and counting are kv::pcd::PcdRecording's.
#pragma once

#include <functional>

#include <QString>
#include <string>
#include <vector>

#include "pcd_recording.h"

class QMainWindow;
class SaveAndPlay_PCD;

class QLineEdit;
class QToolButton;

namespace kv {
struct ColouredPoint;
}

namespace kv::window {

class PcdRecordingPanel {
public:
    // "RecordPCD" (`button`, made checkable and connected here) and its frame count field.
    // The files are written through `writer`'s recording buffer; the dialog and the status line
    // belong to `window`; `modelLabel` names the proposed file.
    PcdRecordingPanel(QMainWindow* window, QToolButton* button, QLineEdit* countField, SaveAndPlay_PCD* writer,
                      std::function<std::string()> modelLabel);

    const pcd::PcdRecording& recording() const { return recording_; }
    bool active() const { return recording_.active(); }

    // A press of "RecordPCD": while recording, the recording decides; otherwise the save
    // dialog proposes "<model>_.pcd" and a cancel unchecks the button.
    void pressed(const std::string& modelLabel);
    // Starts as a press does with the dialog's answer (stamp: now when empty).
    void start(const QString& answer, const QString& stamp);
    // The handled frame's points, into the next file. A failed write ends the recording, the
    // files so far kept, and says so once the frame is done.
    void writeFrame(const std::vector<ColouredPoint>& points);

private:
    int frameCountField() const;
    void showState();

    QMainWindow* window_;
    QToolButton* button_;
    QLineEdit* countField_;
    SaveAndPlay_PCD* writer_;
    pcd::PcdRecording recording_;
};

}  // namespace kv::window
