// The CSV export as the window offers it: "SaveData" and its frame choice window, the save
// dialogs with their proposed names, the status bar's line and "End export" button while a
// multi-frame export runs, and the error boxes. The files themselves are kv::csv's; the
// frames, the geometry and the selection are the window's, read when an export needs them.
#pragma once

#include <functional>

#include <QString>
#include <string>

#include "csv_session.h"

class QLabel;
class QPushButton;
class QWidget;
class SaveData;

namespace kv {
class FramePipeline;
class SelectionSession;
}

namespace kv::window {

class CsvExportPanel {
public:
    // What an export reads from the window, when it runs.
    struct Source {
        // The multi-frame export takes each handled frame; the single-frame export what is on
        // screen, a frame or a replayed PCD cloud.
        const FramePipeline& frames;
        const BeamGeometry& geometry;
        const SelectionSession& selection;
        const std::string& modelLabel;  // the proposed names' prefix
        std::function<csv::ExportSensors()> sensors;  // of the frames shown now
    };
    // `status` and `end`: the status bar's parts (hidden until an export runs). The dialogs and
    // boxes open over `parent`.
    CsvExportPanel(QWidget* parent, QLabel* status, QPushButton* end, const Source& source);
    ~CsvExportPanel();  // the frame choice window goes

    SaveData* saveDataWindow() const { return saveData_; }
    QLabel* statusLabel() const { return status_; }
    QPushButton* endButton() const { return end_; }
    const csv::ExportSession& session() const { return session_; }

    // "SaveData": with the picture standing still the frame on screen goes to a file of its
    // own after the save dialog; otherwise the frame choice window opens.
    void saveDataPressed(bool frameOnScreen);
    // The frame choice window's "OK": the save dialog, then the multi-frame export.
    void frameChoiceAccepted();
    bool exportSingleFrameTo(const QString& fileName);
    bool startTo(const QString& fileName);
    void end();  // keeps what was written
    // A handled frame while the export runs; a failed write is reported once the frame is done.
    void step();

    // "<model>_yyyy-MM-dd-hh-mm-ss.csv" and "<model>_yyyy-MM-dd-hh-mm_<count>Frame.csv".
    QString defaultSingleFileName() const;
    QString defaultMultiFileName() const;

private:
    QString askFileName(const QString& proposed) const;
    void showStatus();

    QWidget* parent_;
    QLabel* status_;
    QPushButton* end_;
    Source source_;
    SaveData* saveData_;  // top-level window, owned here
    csv::ExportSession session_;
};

}  // namespace kv::window
