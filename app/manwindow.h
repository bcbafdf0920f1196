// The main window: hosts the 3D view, the controls and the receivers, and turns each frame
// that arrives into the picture, the point table and the statistics.
#pragma once

#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <memory>
#include <array>
#include <string>
#include <vector>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "frame_display.h"
#include "frame_pipeline.h"
#include "metatypes.h"
#include "pcd_io.h"
#include "pcd_recording.h"
#include "point_geometry.h"
#include "capture_recording.h"
#include "csv_export_panel.h"
#include "device_dialogs.h"
#include "health_panel.h"
#include "pcd_recording_panel.h"
#include "replay_control.h"
#include "selection_session.h"
#include "ui_manwindow.h"

class GetMuch;
class GetSet;
class ReadLiveOffData;
class SaveAndPlay_PCD;
class QLaserSelectionMuch;
class InteractionMuchSet;
class CodeDialog;
class ACWPSetMuch;
class About;
class QStandardItemModel;
class QLabel;
class QPushButton;
class SelectPointRange;
class SaveData;
class QDockWidget;

namespace kv {
class CaptureRecorder;
class LiveReceivers;
namespace window {
class ReplayPanels;
class ViewTools;
}
class CloudView;
namespace capture {
struct CaptureStore;
class MergedStreams;
}
namespace window {
class RulerAndTrail;
class SensorsPanel;
}
}

class manwindow : public QMainWindow {
    Q_OBJECT
public:
    explicit manwindow(QWidget* parent = nullptr);
    ~manwindow() override;

    // For tests and diagnostics.
    Ui::manwindowClass& ui() { return ui_; }
    GetMuch* dataReceiver() const { return getMuch_; }
    GetSet* statusReceiver() const { return getSet_; }
    kv::CloudView& cloudView() const { return *cloudView_; }
    kv::window::RulerAndTrail& rulerAndTrail() const { return *rulerAndTrail_; }  // "Measure", "Frames shown"
    const MuchLidarData& lastFrame() const { return pipeline_.current(); }
    const std::string& modelLabelText() const { return modelLabel_; }
    QStandardItemModel* pointTableModel() const { return tableModel_; }
    bool isLiveRunning() const { return liveRunning_; }
    bool isSuspended() const { return suspended_; }
    std::uint64_t framesHandled() const { return pipeline_.framesHandled(); }
    std::uint64_t framesDrawn() const { return pipeline_.framesDrawn(); }
    std::uint64_t drawsSkipped() const { return pipeline_.drawsSkipped(); }
    std::uint64_t kernelDrops() const;
    int pointSize() const;
    QLaserSelectionMuch* laserSelection() const { return laserSelection_; }
    InteractionMuchSet* interactionSet() const { return dialogs_->interactionSet(); }
    CodeDialog* codeDialog() const { return dialogs_->codeDialog(); }
    ACWPSetMuch* advancedSet() const { return dialogs_->advancedSet(); }
    About* aboutWindow() const { return dialogs_->about(); }
    bool readoutEnabled() const { return selection_.readout(); }
    const QString& lastReadout() const { return lastReadout_; }
    // What the view does on a key press ('+' and '-' change the point size).
    void handleViewKey(char key);

    // Capture replay state, for tests and diagnostics.
    ReadLiveOffData* replayThread() const { return replay_; }
    const kv::capture::CaptureStore* captureStore() const { return store_.get(); }
    const kv::ReplayControl& replayControl() const;
    int frameCounter() const { return replayControl().frameCounter(); }
    bool isPaused() const { return replayControl().paused(); }
    bool isPlaying() const { return replayControl().playing(); }
    bool isFinished() const { return replayControl().finished(); }
    bool isOfflineInUse() const { return replayControl().offlineInUse(); }
    kv::ReplayState captureState() const { return replayControl().state(kv::ReplayKind::Capture); }
    // Loads a capture file as "Open" does after its file dialog; false when nothing was loaded.
    bool openCaptureFile(const QString& fileName);

    // PCD replay and recording.
    SaveAndPlay_PCD* pcdReplayThread() const { return pcdReplay_; }
    // Loads a directory as "OpenPCD" does after its dialog; returns the clouds loaded.
    int openPcdDirectory(const QString& directory);
    const kv::pcd::PcdRecording& pcdRecording() const { return pcdRecording_->recording(); }
    // Starts a recording as "RecordPCD" does with the dialog's answer (stamp: now when empty).
    void startPcdRecordingTo(const QString& answer, const QString& stamp = QString());

    // Capture recording.
    bool isRecording() const { return recording_->active(); }
    kv::CaptureRecorder* recorder() const { return recording_->recorder(); }
    // Saves the view's picture into `fileName` as "Snapshot" does after its dialog.
    bool saveSnapshotTo(const QString& fileName);
    kv::window::ViewTools& viewTools() const { return *viewTools_; }
    // Starts recording into `fileName` as "Record" does after its dialog.
    void startRecordingTo(const QString& fileName);
    QString defaultCaptureFileName() const;

    // Selection and CSV export.
    const kv::SelectionBox& selectionBox() const { return selection_.box(); }
    bool isSelectionActive() const { return selection_.followed(); }
    bool isSelectMode() const { return selection_.armed(); }
    int pickedCount() const { return selection_.pickedCount(); }
    SelectPointRange* rangeDialog() const { return rangeDialog_; }
    SaveData* saveDataWindow() const { return csv_->saveDataWindow(); }
    bool isCsvExporting() const { return csv_->session().active(); }
    int csvExportedFrames() const { return csv_->session().frames(); }
    QLabel* csvExportLabel() const { return csv_->statusLabel(); }
    QPushButton* csvEndButton() const { return csv_->endButton(); }
    // What the view's area pick hands over: indices into "realTime_points".
    void handleAreaPick(const std::vector<int>& indices);
    // The exports as "SaveData" runs them once a file name is chosen; false when they failed.
    bool exportSingleFrameTo(const QString& fileName);
    bool startCsvExportTo(const QString& fileName);
    void endCsvExport();  // keeps what was written
    QString defaultSingleCsvFileName() const;
    QString defaultMultiCsvFileName() const;
    // Receiver health readout, refreshed once a second, and the hint shown before the first
    // press of "Lidar".
    QDockWidget* healthDock() const { return health_->dock(); }
    kv::window::SensorsPanel& sensorsPanel() const { return *sensors_; }
    QLabel* healthLabel() const { return health_->label(); }
    QLabel* startHint() const { return health_->startHint(); }
    void refreshHealth();

signals:
    void sendProgressChangeValue(int);

public slots:
    void view();
    void SelectPoints();
    void SelectPointsRange();
    void CalculateMuch(MuchLidarData lidardata);
    void onCodeData(QString code);
    void FinshorStart(bool Finshone);
    void RepeatChange(int state);
    void progressMoved(int value);
    void progressReleased();
    void frameBoxEntered();
    void showErrorMessage(QString Mess);
    void AirReturn_Mode();
    // PCD recording and replay.
    void onSavePCD();
    void onOpenPCD();
    void onPlayPCD();
    void onSeekForwardPCD();
    void onSeekBackwardPCD();
    void onSeekGoToEndPCD();
    void onFinishPCD(bool isFinish);
    void RepeatChangePCD(int state);
    void progressMovedPCD(int value);
    void progressReleasedPCD();
    void onGetPointCloutPlay(pcl::PointCloud<pcl::PointXYZRGB>::Ptr mPointCloud);
    void getSaveDataOkSignal(bool finishFlag);
    void changeSelectPointRange();

private:
    void startReception();  // the "Lidar" button
    void stopReceivers();
    void toggleSuspend();
    void toggleDataList();
    void toggleCoordinate();
    void toggleGrid();
    // Capture replay controls.
    void openCapture();
    void startCaptureThread();
    void closeCapture();  // the "Close" button
    void onCaptureReadFailed(const QString& message);
    void recordPcdFrame();
    void drawLatestFrame();
    void refreshTitle();
    bool refusedWhileOfflineInUse();
    void writePointTable(const kv::FramePoints& points);
    void updateStatistics(const kv::SelectionStats& stats);
    // Selection and CSV export.
    void buildTableModel();
    void writeSelectedRows(const kv::FramePoints& points);
    void clearSelection();  // the "Clear" button
    void saveDataClicked(); // the "SaveData" button
    kv::DisplayFilter currentFilter() const;
    void filterChanged();  // the colour mode, the lines or the angle range

    Ui::manwindowClass ui_;
    std::unique_ptr<kv::CloudView> cloudView_;
    std::unique_ptr<kv::window::ViewTools> viewTools_;  // the colour bar and snapshots; goes before the view
    GetMuch* getMuch_ = nullptr;
    GetSet* getSet_ = nullptr;
    std::unique_ptr<kv::LiveReceivers> receivers_;
    ReadLiveOffData* replay_ = nullptr;
    std::shared_ptr<const kv::capture::CaptureStore> store_;  // the loaded capture
    QLaserSelectionMuch* laserSelection_ = nullptr;  // top-level window, owned here
    std::unique_ptr<kv::window::DeviceDialogs> dialogs_;
    QStandardItemModel* tableModel_ = nullptr;
    QLabel* labelY_ = nullptr;
    QLabel* labelX_ = nullptr;
    QLabel* labelZ_ = nullptr;

    kv::BeamGeometry geometry_;
    kv::DisplayFilter filter_;     // production mode; lines, angles and colours are read per frame
    // Frames can arrive faster than they can be drawn: every frame takes the data path at
    // once, the drawing runs from the event queue and shows the newest frame.
    kv::FramePipeline pipeline_{geometry_};
    std::string modelLabel_;       // empty until the first frame
    QString title_;

    QString lastReadout_;
    bool readoutPending_ = false;  // a cursor readout after a mouse move is queued
    bool suspended_ = false;
    bool liveRunning_ = false;

    // Both replays' controls, and the PCD replay thread.
    std::unique_ptr<kv::window::ReplayPanels> replayPanels_;
    SaveAndPlay_PCD* pcdReplay_ = nullptr;
    // PCD recording.
    std::unique_ptr<kv::window::PcdRecordingPanel> pcdRecording_;

    // Capture recording.
    kv::window::CaptureRecording* recording_ = nullptr;

    // Selection and CSV export.
    SelectPointRange* rangeDialog_ = nullptr;  // top-level window, owned here
    kv::SelectionSession selection_;
    std::unique_ptr<kv::window::CsvExportPanel> csv_;
    // Receiver health readout and the first-start hint.
    std::unique_ptr<kv::window::SensorsPanel> sensors_;
    std::shared_ptr<const kv::capture::MergedStreams> merged_;  // all streams of a capture together
    std::unique_ptr<kv::window::HealthPanel> health_;

    // "Measure" and "Frames shown": declared after the view, so destroyed before it.
    std::unique_ptr<kv::window::RulerAndTrail> rulerAndTrail_;
};
