#include "manwindow.h"

#include <QApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTimer>
#include <QVTKOpenGLNativeWidget.h>
#include <algorithm>
#include <cstdio>

#include "cloud_view.h"
#include "csv_session.h"
#include "savedata.h"
#include "selection_session.h"
#include "selectpointrange.h"
#include "getmuch.h"
#include "getset.h"
#include "live_receivers.h"
#include "capture_device.h"
#include "capture_recorder.h"
#include "capture_store.h"
#include "file_names.h"
#include "playback.h"
#include "readliveoffdata.h"
#include "saveandplay_pcd.h"
#include "qlaserselectionmuch.h"
#include "receiver_health.h"
#include "settings.h"
#include "about.h"
#include "acwpsetmuch.h"
#include "codedialog.h"
#include "interactionmuchset.h"
#include "capture_recording.h"
#include "replay_panels.h"
#include "view_tools.h"
#include "window_parts.h"

using namespace kv::window;

manwindow::manwindow(QWidget* parent) : QMainWindow(parent) {
    const kv::AppSettings& settings = kv::appSettings();
    filter_.ignoreLineSelection = settings.isProductionUsed;

    ui_.setupUi(this);
    installPalette();
    setWindowState(Qt::WindowMaximized);

    replay_ = new ReadLiveOffData(this);
    recording_ = new CaptureRecording(this);
    connect(recording_, &CaptureRecording::failed, this, &manwindow::onRecordingFailed);
    getMuch_ = new GetMuch(this);
    getMuch_->productionMode = settings.isProductionUsed;
    getSet_ = new GetSet(this);
    receivers_ = std::make_unique<kv::LiveReceivers>(getMuch_, getSet_);
    interactionSet_ = new InteractionMuchSet();
    laserSelection_ = new QLaserSelectionMuch(settings.LineShowNumber);
    codeDialog_ = new CodeDialog();
    advancedSet_ = new ACWPSetMuch();
    advancedSet_->setStatusSourceProvider([this] { return getSet_->lastSourceIp.load(); });
    about_ = new About();
    connect(codeDialog_, &CodeDialog::sendCode, this, &manwindow::onCodeData);
    rangeDialog_ = new SelectPointRange();
    connect(rangeDialog_, &SelectPointRange::sendOkCliced, this, &manwindow::changeSelectPointRange);
    saveData_ = new SaveData(settings.LineShowNumber, settings.LidarLineType);
    connect(saveData_, &SaveData::sendOkSignal, this, &manwindow::getSaveDataOkSignal, Qt::UniqueConnection);
    connect(ui_.checkBox_round, &QCheckBox::stateChanged, this, &manwindow::RepeatChange);
    SaveAndPlay_PCD::registerMetaTypes();
    pcdReplay_ = new SaveAndPlay_PCD(this);
    connect(pcdReplay_, SIGNAL(SendPointCloudData(pcl::PointCloud<pcl::PointXYZRGB>::Ptr)), this,
            SLOT(onGetPointCloutPlay(pcl::PointCloud<pcl::PointXYZRGB>::Ptr)), Qt::UniqueConnection);
    connect(pcdReplay_, SIGNAL(sendFinish(bool)), this, SLOT(onFinishPCD(bool)), Qt::UniqueConnection);
    connect(ui_.checkBox_round_PCD, SIGNAL(stateChanged(int)), this, SLOT(RepeatChangePCD(int)), Qt::UniqueConnection);

    geometry_ = kv::BeamGeometry::forLineType(settings.LidarLineType);
    refreshTitle();

    cloudView_ = std::make_unique<kv::CloudView>(ui_.screen);
    const StatusBarParts bar = addStatusBarParts(this, ui_.statusBar);
    labelX_ = bar.x;
    labelY_ = bar.y;
    labelZ_ = bar.z;
    csvStatus_ = bar.csvExport;
    csvEnd_ = bar.csvEnd;
    viewTools_ = std::make_unique<ViewTools>(ui_, *cloudView_, this, [this] { return QString::fromStdString(modelLabel_); });
    cloudView_->setKeyPressHandler([this](char key) { handleViewKey(key); });
    cloudView_->setAreaPickHandler([this](const std::vector<int>& indices) { handleAreaPick(indices); });
    connect(csvEnd_, &QPushButton::clicked, this, &manwindow::endCsvExport);
    connect(ui_.toolButton_select, &QToolButton::clicked, this, &manwindow::SelectPoints);
    connect(ui_.toolButton_select_Range, &QToolButton::clicked, this, &manwindow::SelectPointsRange);
    connect(ui_.toolButton_clear, &QToolButton::clicked, this, &manwindow::clearSelection);
    connect(ui_.toolButton_4, &QToolButton::clicked, this, &manwindow::saveDataClicked);
    // The selectors stay editable, but typed text never becomes an entry (an entry that names
    // no mode would select one that does not exist).
    for (QComboBox* c : {ui_.comboBox_View, ui_.comboBox_EchoSelection, ui_.comboBox_4})
        c->setInsertPolicy(QComboBox::NoInsert);

    connect(ui_.toolButton_Lidar, &QToolButton::clicked, this, &manwindow::startReception);
    connect(ui_.tolbtn_SuspendData, &QToolButton::clicked, this, &manwindow::toggleSuspend);
    connect(ui_.toolButton_LidarDataList, &QToolButton::clicked, this, &manwindow::toggleDataList);
    connect(ui_.toolButton_Coor, &QToolButton::clicked, this, &manwindow::toggleCoordinate);
    connect(ui_.toolButton_MeaGrid, &QToolButton::clicked, this, &manwindow::toggleGrid);
    connect(ui_.toolButton_3, &QToolButton::clicked, laserSelection_, &QWidget::show);
    connect(ui_.toolButton, &QToolButton::clicked, interactionSet_, &QWidget::show);
    connect(ui_.toolButton_2, &QToolButton::clicked, codeDialog_, &QWidget::show);
    connect(ui_.toolButton_About, &QToolButton::clicked, about_, &QWidget::show);
    connect(ui_.toolButton_Open, &QToolButton::clicked, this, &manwindow::openCapture);
    ui_.toolButton_SavePcapData->setCheckable(true);
    connect(ui_.toolButton_SavePcapData, &QToolButton::clicked, this, &manwindow::toggleRecording);
    connect(ui_.toolButton_Play, &QToolButton::clicked, this, &manwindow::playPause);
    connect(ui_.toolButton_GoToStart, &QToolButton::clicked, this, &manwindow::goToStart);
    connect(ui_.toolButton_GoToEnd, &QToolButton::clicked, this, &manwindow::goToEnd);
    connect(ui_.toolButton_SeekForward, &QToolButton::clicked, this, &manwindow::seekForward);
    connect(ui_.toolButton_SeekBackward, &QToolButton::clicked, this, &manwindow::seekBackward);
    connect(ui_.Slider_Frame, &QSlider::sliderMoved, this, &manwindow::progressMoved);
    connect(ui_.Slider_Frame, &QSlider::sliderReleased, this, &manwindow::progressReleased);
    connect(ui_.Spbox_Frame, &QSpinBox::editingFinished, this, &manwindow::frameBoxEntered);
    // Made here rather than at the first Play, so that a seek before it is not lost.
    connect(this, SIGNAL(sendProgressChangeValue(int)), replay_, SLOT(getProgressChangeValue(int)),
            Qt::UniqueConnection);
    // A capture that changes or shrinks while it is open ends its replay with a message.
    connect(replay_, SIGNAL(ReadFailed(QString)), this, SLOT(showErrorMessage(QString)), Qt::UniqueConnection);
    connect(ui_.toolButton_SavePCDData, &QToolButton::clicked, this, &manwindow::onSavePCD);
    connect(ui_.toolButton_OpenPCD, &QToolButton::clicked, this, &manwindow::onOpenPCD);
    connect(ui_.toolButton_Play_PCD, &QToolButton::clicked, this, &manwindow::onPlayPCD);
    connect(ui_.toolButton_SeekForward_PCD, &QToolButton::clicked, this, &manwindow::onSeekForwardPCD);
    connect(ui_.toolButton_SeekBackward_PCD, &QToolButton::clicked, this, &manwindow::onSeekBackwardPCD);
    connect(ui_.toolButton_GoToEnd_PCD, &QToolButton::clicked, this, &manwindow::onSeekGoToEndPCD);
    connect(ui_.Slider_Frame_PCD, &QSlider::sliderMoved, this, &manwindow::progressMovedPCD);
    connect(ui_.Slider_Frame_PCD, &QSlider::sliderReleased, this, &manwindow::progressReleasedPCD);
    ui_.toolButton_SavePCDData->setCheckable(true);
    connect(ui_.comboBox_View, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &manwindow::view);
    connect(ui_.comboBox_EchoSelection, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &manwindow::AirReturn_Mode);

    replayPanels_ = std::make_unique<ReplayPanels>(ui_);
    replayPanels_->disableAll();
    ui_.toolButton_Develop->hide();
    ui_.toolButton_User->hide();

    ui_.comboBox_View->setCurrentIndex(1);
    view();
    setUpHealthReadout();
}

manwindow::~manwindow() {
    healthTimer_->stop();
    delete recording_;  // stops and waits
    recording_ = nullptr;
    replay_->stopAndWait();
    pcdReplay_->stopAndWait();
    stopReceivers();
    delete laserSelection_;
    delete rangeDialog_;
    delete saveData_;
    delete interactionSet_;
    delete codeDialog_;
    delete advancedSet_;
    delete about_;
}

void manwindow::stopReceivers() { receivers_->stop(); }

bool manwindow::saveSnapshotTo(const QString& fileName) { return viewTools_->snapshotTo(fileName); }

void manwindow::handleViewKey(char key) { cloudView_->stepPointSize(key); }

void manwindow::toggleCoordinate() { cloudView_->toggleCoordinateSystem(); }

void manwindow::toggleGrid() { cloudView_->toggleMeasuringGrid(); }

int manwindow::pointSize() const { return cloudView_->pointSize(); }

std::uint64_t manwindow::kernelDrops() const { return getMuch_->kernelDrops.load(); }

void manwindow::view() { cloudView_->applyCameraPreset(ui_.comboBox_View->currentIndex()); }

// The model label of the frames so far; before the first frame, of the configuration and the
// echo layout last seen (the prefix of the proposed PCD name).
std::string manwindow::currentModelLabel() const {
    return modelLabel_.empty() ? kv::modelLabel(kv::appSettings().LidarLineType, EchoFlag.load(std::memory_order_relaxed))
                               : modelLabel_;
}

void manwindow::refreshTitle() {
    const kv::AppSettings& s = kv::appSettings();
    const QString title = QString::fromStdString(
        kv::windowTitle(modelLabel_.empty() ? kv::modelLabel(s.LidarLineType, 0) : modelLabel_, s.isProductionUsed));
    if (title != title_) {
        title_ = title;
        setWindowTitle(title);
    }
}

void manwindow::startReception() {
    hideStartHint();
    stopReceivers();
    kv::registerAcquisitionMetaTypes();
    kv::registerStatusMetaTypes();

    tableModel_ = resetPointTable(ui_.tableView, this);

    if (replayControl_.playing()) {
        // A loaded capture is playing: the replay thread takes the receivers' place.
        if (!replay_->isRunning()) {
            replay_->setPacketStore(store_);
            cloudView_->fitCameraToNextFrame();
        }
        connect(replay_, SIGNAL(SendData(MuchLidarData)), this, SLOT(CalculateMuch(MuchLidarData)),
                Qt::UniqueConnection);
        connect(replay_, SIGNAL(SendBool(bool)), this, SLOT(FinshorStart(bool)), Qt::UniqueConnection);
        connect(this, SIGNAL(sendProgressChangeValue(int)), replay_, SLOT(getProgressChangeValue(int)),
                Qt::UniqueConnection);
        if (!replay_->isRunning()) replay_->start();
        liveRunning_ = false;
        return;
    }
    ui_.toolButton_Play->setEnabled(false);
    liveRunning_ = true;
    cloudView_->fitCameraToNextFrame();
    connect(getMuch_, SIGNAL(SendLidarData(MuchLidarData)), this, SLOT(CalculateMuch(MuchLidarData)),
            Qt::UniqueConnection);
    connect(getMuch_, SIGNAL(SendError(QString)), this, SLOT(showErrorMessage(QString)), Qt::UniqueConnection);
    connect(getSet_, SIGNAL(SendError(QString)), this, SLOT(showErrorMessage(QString)), Qt::UniqueConnection);
    connect(getSet_, SIGNAL(SendDataDifo(const u_char*)), interactionSet_, SLOT(OnLidarDifoData(const u_char*)),
            Qt::UniqueConnection);
    connect(getSet_, SIGNAL(SendLidarStatusToSettingUI(SettingData*, std::vector<int>)), interactionSet_,
            SLOT(OnLidarStatusReceiving(SettingData*, std::vector<int>)), Qt::UniqueConnection);
    connect(getSet_, SIGNAL(SendLidarStatusToSettingUI(SettingData*, std::vector<int>)), advancedSet_,
            SLOT(onLidarStatusReceiving(SettingData*, std::vector<int>)), Qt::UniqueConnection);
    connect(getSet_, SIGNAL(SendMasterPanelVersion(QString)), about_, SLOT(displayMasterPanelVersion(QString)),
            Qt::UniqueConnection);
    receivers_->start(ui_.lineEdit_2->text().toStdString(), ui_.lineEdit_portNumber->text().toInt(nullptr, 10),
                      ui_.lineEdit_portNumber_2->text().toInt(nullptr, 10));
    healthMeter_->restart(kv::steadyNowMs());
    refreshHealth();
}

void manwindow::toggleSuspend() { suspended_ = !suspended_; }

void manwindow::onCodeData(QString code) {
    if (kv::isAccessCode(code)) {
        advancedSet_->show();
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString(), "密码错误", QMessageBox::Ok, this);
    box.exec();
}

void manwindow::toggleDataList() {
    if (ui_.LidraDataDock->isVisible()) ui_.LidraDataDock->hide();
    else ui_.LidraDataDock->show();
}

void manwindow::showErrorMessage(QString Mess) {
    QMessageBox box(QMessageBox::Warning, "Tips", Mess, QMessageBox::Ok, this);
    box.setDefaultButton(QMessageBox::NoButton);
    box.exec();
}

void manwindow::AirReturn_Mode() {
    const int index = ui_.comboBox_EchoSelection->currentIndex();
    if (index < 0 || index > 2) return;
    getMuch_->echoMode = index;
    replay_->setEchoSelection(index);
}

void manwindow::CalculateMuch(MuchLidarData lidardata) {
    ++framesHandled_;
    modelLabel_ = kv::modelLabel(kv::appSettings().LidarLineType, EchoFlag.load(std::memory_order_relaxed));
    refreshTitle();
    if (suspended_) return;
    lastFrame_ = std::move(lidardata);
    recordPointsCurrent_ = false;
    lastFrameExported_ = csvExport_.active();
    if (csvExport_.active()) csvExportStep(lastFrame_);
    applyReplay(replayControl_.captureFrameHandled());
    if (pcdRecording_.active()) recordPcdFrame();

    // Draw from the event queue: frames already queued behind this one take the data path
    // first, and the drawing then shows the newest of them.
    if (drawPending_) {
        ++drawsSkipped_;
        return;
    }
    drawPending_ = true;
    QMetaObject::invokeMethod(this, &manwindow::drawLatestFrame, Qt::QueuedConnection);
}

kv::DisplayFilter manwindow::currentFilter() const {
    kv::DisplayFilter f = selection_.applyTo(filter_);
    for (int line = 0; line < kv::kLineCount; ++line) f.lineShown[std::size_t(line)] = laserSelection_->isLineShown(line);
    f.minAngleDeg = ui_.doubleSpinBox_minAngle->value();
    f.maxAngleDeg = ui_.doubleSpinBox_maxAngle->value();
    f.colourMode = ui_.comboBox_4->currentIndex();
    return f;
}

void manwindow::drawLatestFrame() {
    drawPending_ = false;
    ++framesDrawn_;
    if (lastFrameExported_) {
        framePoints_.clear();  // an exported frame is not drawn: empty clouds, labels " "
    } else {
        // The recording's points of this very frame are drawn as they are (kept apart until
        // now, so that a pick in between still reads the frame on screen).
        if (recordPointsCurrent_) std::swap(framePoints_, recordPoints_);
        else kv::computeFramePoints(lastFrame_, geometry_, currentFilter(), framePoints_);
        if (selection_.followed()) writeSelectedRows(framePoints_);
        else writePointTable(framePoints_);
    }
    recordPointsCurrent_ = false;
    updateStatistics(framePoints_.stats);
    std::string readout;
    cloudView_->presentFrame(framePoints_.displayed, framePoints_.selected, cloudView_->pointSize(),
                             selection_.readout() ? &readout : nullptr);
    if (selection_.readout()) lastReadout_ = QString::fromStdString(readout);
}

void manwindow::writePointTable(const kv::FramePoints& points) {
    for (std::size_t r = 0; r < points.tableRows.size(); ++r)
        setTableRow(tableModel_, int(r), kv::pointRowTexts(points.tableRows[r]));
}

void manwindow::updateStatistics(const kv::SelectionStats& stats) {
    const auto texts = kv::selectionLabelTexts(stats);
    labelX_->setText(QString::fromStdString(texts[0]));
    labelY_->setText(QString::fromStdString(texts[1]));
    labelZ_->setText(QString::fromStdString(texts[2]));
}

// ---- Capture recording ----

QString manwindow::defaultCaptureFileName() const {
    return QString::fromStdString(modelLabel_) + "_" + QDateTime::currentDateTime().toString("yyyy-MM-dd-hh-mm") +
           ".pcap";
}

void manwindow::toggleRecording() {
    if (recording_->active()) {
        recording_->stop();
        ui_.toolButton_SavePcapData->setChecked(false);
        return;
    }
    const QString name = QFileDialog::getSaveFileName(this, tr("Save PCAP"), defaultCaptureFileName(),
                                                      tr("WireSharkCaptureFile (*.pcap)"), nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    if (name.isEmpty()) ui_.toolButton_SavePcapData->setChecked(false);
    else startRecordingTo(name);
}

void manwindow::startRecordingTo(const QString& fileName) {
    if (recording_->active()) return;
    const std::uint32_t source = liveRunning_ ? getMuch_->lastSourceIp.load() : 0;
    recording_->start(kv::fileNameBytes(fileName), "port " + ui_.lineEdit_portNumber->text().toLatin1(), source);
    ui_.toolButton_SavePcapData->setChecked(recording_->active());
}

void manwindow::onRecordingFailed(const QString& message, bool endedCurrent) {
    if (endedCurrent) ui_.toolButton_SavePcapData->setChecked(false);
    showErrorMessage(message);
}

// ---- Capture replay ----

// Shows what a replay control decided on the widgets of its replay, then tells its thread.
void manwindow::applyReplay(const kv::ReplayEffects& e) {
    const bool pcd = e.kind == kv::ReplayKind::Pcd;
    replayPanels_->apply(e, replayControl_);
    if (pcd) {
        pcdReplay_->applyOrders(e);
    } else {
        if (e.dropPendingSeek) replay_->clearPendingSeek();
        if (e.startThread) startReception();  // starts the replay thread while playing
        if (e.seekTo >= 0 && store_) {
            // The table has a start for frames 0 to M/4 - 1; the top position goes to the last.
            const std::vector<std::uint32_t>& starts = store_->frameStarts;
            std::uint32_t packet = 0;
            if (!starts.empty()) packet = starts[std::min<std::size_t>(std::size_t(e.seekTo), starts.size() - 1)];
            emit sendProgressChangeValue(int(packet));  // before the gate opens for it
        }
        if (e.openGate) replay_->gate.open();
        if (e.closeGate) replay_->gate.close();
    }
    if (e.playAgain) {
        if (pcd) onPlayPCD();
        else playPause();
    }
}

// While one replay is in use, the other's Open is refused.
bool manwindow::refusedWhileOfflineInUse() {
    if (!replayControl_.offlineInUse()) return false;
    QMessageBox::warning(this, "Tips", "The offline file has been opened. Please close it first!!!", QMessageBox::Ok);
    return true;
}

void manwindow::openCapture() {
    if (refusedWhileOfflineInUse()) return;
    const QString name = QFileDialog::getOpenFileName(this, tr("WireSharkCaptureFile"), QString(),
                                                      "Supported Files (*.pcap);;pcapng files (*.pcapng);;All files (*)", nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    QApplication::processEvents();
    if (name.isEmpty()) return;
    openCaptureFile(name);
}

bool manwindow::openCaptureFile(const QString& fileName) {
    hideStartHint();
    if (liveRunning_) receivers_->requestStop();
    if (replayControl_.captureStarted()) {
        replay_->stopAndWait();
        store_.reset();
        replayControl_.captureClosed();
        cloudView_->clearAll();
        cloudView_->resetCamera();
    }

    std::unique_ptr<QProgressDialog> progress;
    auto onProgress = [&](std::uint64_t done, std::uint64_t total) {
        if (!progress) progress = waitDialog(this, "Opening file...", 1000);  // per mille of the file
        if (total > 0) progress->setValue(int(std::min<std::uint64_t>(done, total) * 1000 / total));
    };
    kv::capture::CaptureLoad load = kv::capture::loadCapture(QFile::encodeName(fileName).toStdString(), onProgress);
    progress.reset();
    if (!load.opened || load.failure != kv::capture::LoadFailure::kNone) {
        const std::string why = load.failure != kv::capture::LoadFailure::kNone ? load.failureText() : load.error;
        std::printf("%s\n", why.c_str());
        std::fflush(stdout);
        QMessageBox::warning(this, "Tips", QString("%1:\n%2").arg(fileName, QString::fromStdString(why)), QMessageBox::Ok);
        return false;
    }
    if (load.streams.size() > 1 && !chooseCaptureStream(load)) return false;
    if (load.damaged) statusBar()->showMessage(QString::fromStdString(load.damage), 15000);
    store_ = std::make_shared<const kv::capture::CaptureStore>(std::move(load.store));
    cloudView_->fitCameraToNextFrame();

    const int range = int(store_->frameRange());
    ui_.Spbox_Frame->setEnabled(true);
    ui_.Slider_Frame->setEnabled(true);
    ui_.Spbox_Frame->setRange(0, range);
    ui_.Slider_Frame->setRange(0, range);
    applyReplay(replayControl_.captureOpened(range, store_->packetCount > 0));
    ui_.LidraDataDock->show();
    return true;
}

// A capture with data from more than one sensor stream: the user picks the one to replay, the
// one with the most packets preselected. False when the choice was cancelled.
bool manwindow::chooseCaptureStream(kv::capture::CaptureLoad& load) {
    QStringList items;
    for (const std::string& choice : load.streamChoices()) items << QString::fromStdString(choice);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(
        this, "Streams", QString("This capture holds %1 sensor streams. Replay which one?").arg(items.size()), items, 0,
        false, &ok);
    return ok && load.chooseStream(std::size_t(items.indexOf(chosen)));
}

void manwindow::playPause() { applyReplay(replayControl_.capturePlayPause(replay_->isRunning())); }

void manwindow::goToStart() { applyReplay(replayControl_.captureGoToStart()); }

// The replay rewinds to the first packet as for "go to start" and waits there, so the counter
// shows where it waits.
void manwindow::goToEnd() { goToStart(); }

void manwindow::seekForward() { applyReplay(replayControl_.captureSeekForward()); }

void manwindow::seekBackward() { applyReplay(replayControl_.captureSeekBackward()); }

void manwindow::progressMoved(int) { replayControl_.sliderMoved(ui_.Slider_Frame->value()); }

void manwindow::progressReleased() {
    applyReplay(replayControl_.sliderReleased(kv::ReplayKind::Capture, ui_.Slider_Frame->value()));
}

// A frame number typed into the frame box (Enter, or leaving the box) seeks there as the slider does.
void manwindow::frameBoxEntered() {
    if (ui_.Spbox_Frame->value() == replayControl_.frameCounter()) return;
    applyReplay(replayControl_.sliderReleased(kv::ReplayKind::Capture, ui_.Spbox_Frame->value()));
}

void manwindow::RepeatChange(int state) { replayControl_.setRepeat(kv::ReplayKind::Capture, state != 0); }

void manwindow::FinshorStart(bool Finshone) { applyReplay(replayControl_.captureFinished(Finshone)); }

// ---- PCD replay ----

void manwindow::onOpenPCD() {
    if (refusedWhileOfflineInUse()) return;
    receivers_->requestStop();
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Open PCD File..."), QString());
    QApplication::processEvents();
    if (dir.isEmpty()) return;
    openPcdDirectory(dir);
}

int manwindow::openPcdDirectory(const QString& directory) {
    hideStartHint();
    const QStringList names =
        QDir(directory).entryList(QStringList{"*.pcd"}, QDir::Files | QDir::Readable, QDir::Name);
    const int fileCount = names.size();
    pcdReplay_->stopAndWait();  // a run that has reported its end may still be returning
    pcdReplay_->clearClouds();
    cloudView_->fitCameraToNextFrame();
    {
        const auto progress = waitDialog(this, "Opening PCD file...", fileCount);
        std::vector<std::string> paths;
        for (const QString& name : names) paths.push_back(directory.toStdString() + "/" + name.toStdString());
        pcdReplay_->loadPcdFiles(paths, [&](std::size_t i) { progress->setValue(int(i)); });
        progress->setValue(fileCount);
    }
    ui_.Slider_Frame_PCD->setRange(0, fileCount);
    applyReplay(replayControl_.pcdOpened(fileCount, pcdReplay_->cloudCount() > 0));
    ui_.LidraDataDock->hide();
    return int(pcdReplay_->cloudCount());
}

void manwindow::onPlayPCD() { applyReplay(replayControl_.pcdPlayPause()); }

void manwindow::onSeekForwardPCD() { applyReplay(replayControl_.pcdSeekForward()); }

void manwindow::onSeekBackwardPCD() { applyReplay(replayControl_.pcdSeekBackward()); }

void manwindow::onSeekGoToEndPCD() { applyReplay(replayControl_.pcdStop()); }

void manwindow::onFinishPCD(bool isFinish) { applyReplay(replayControl_.pcdFinished(isFinish)); }

void manwindow::RepeatChangePCD(int state) { replayControl_.setRepeat(kv::ReplayKind::Pcd, state != 0); }

void manwindow::progressMovedPCD(int) { replayControl_.sliderMoved(ui_.Slider_Frame_PCD->value()); }

void manwindow::progressReleasedPCD() {
    applyReplay(replayControl_.sliderReleased(kv::ReplayKind::Pcd, ui_.Slider_Frame_PCD->value()));
}

void manwindow::onGetPointCloutPlay(pcl::PointCloud<pcl::PointXYZRGB>::Ptr mPointCloud) {
    if (!mPointCloud) return;
    std::string readout;
    cloudView_->presentCloud(mPointCloud, cloudView_->pointSize(), selection_.readout() ? &readout : nullptr);
    applyReplay(replayControl_.pcdFrameShown());
    if (selection_.readout()) lastReadout_ = QString::fromStdString(readout);
}

// ---- PCD recording ----

namespace {
QString pcdStamp() { return QDateTime::currentDateTime().toString("yyyy-MM-dd-hh-mm-ss-zzz"); }
}  // namespace

int manwindow::pcdFrameCountField() const { return ui_.lineEdit_SavePCD_Num->text().toInt(nullptr, 10); }

void manwindow::onSavePCD() {
    if (pcdRecording_.active()) {
        pcdRecording_.pressWhileActive(pcdFrameCountField(), pcdStamp().toStdString());
        showPcdRecordingState();
        return;
    }
    const QString stamp = pcdStamp();
    const QString proposed = QString::fromStdString(currentModelLabel()) + "_" + ".pcd";
    const QString name = QFileDialog::getSaveFileName(this, tr("Save PCD"), tr(proposed.toUtf8().constData()), QString(),
                                                      nullptr, QFileDialog::DontUseNativeDialog);
    if (name.isEmpty()) {
        ui_.toolButton_SavePCDData->setChecked(false);
        return;
    }
    startPcdRecordingTo(name, stamp);
}

void manwindow::startPcdRecordingTo(const QString& answer, const QString& stamp) {
    pcdRecording_.start(answer.toStdString(), pcdFrameCountField(), (stamp.isEmpty() ? pcdStamp() : stamp).toStdString());
    showPcdRecordingState();
}

void manwindow::showPcdRecordingState() {
    ui_.toolButton_SavePCDData->setChecked(pcdRecording_.active());
    statusBar()->showMessage(QString::fromStdString(pcdRecording_.statusText()), pcdRecording_.active() ? 0 : 10000);
}

// The recording step for the frame just handled, drawn or not: its cloud is computed here, and
// the drawing reuses it when no newer frame has come in the meantime.
void manwindow::recordPcdFrame() {
    kv::computeFramePoints(lastFrame_, geometry_, currentFilter(), recordPoints_);
    recordPointsCurrent_ = true;
    kv::fillCloud(recordPoints_.displayed, pcdReplay_->pcdBuffer());
    const kv::pcd::WriteResult written = pcdReplay_->savePcdFrame(pcdRecording_.nextFileName());
    if (!written.ok) {
        // Once: the recording ends here and the files written so far stay.
        pcdRecording_.end();
        showPcdRecordingState();
        const QString text = QString::fromStdString(written.error) + "\nThe PCD recording has ended.";
        QMetaObject::invokeMethod(
            this, [this, text] { QMessageBox::warning(this, "error", text, QMessageBox::Ok); }, Qt::QueuedConnection);
        return;
    }
    pcdRecording_.frameDone(pcdFrameCountField(), pcdStamp().toStdString());
    showPcdRecordingState();
}

// ---- Selection ----

void manwindow::buildTableModel() { tableModel_ = resetPointTable(ui_.tableView, this); }

// Only the rows from the scroll position to 30 below it are rewritten.
void manwindow::writeSelectedRows(const kv::FramePoints& points) {
    const int scroll = ui_.tableView->verticalScrollBar()->value();
    kv::forEachSelectedRow(points.selectedIndex.size(), selection_.pickedCount(), scroll, [&](int row, std::size_t k) {
        setTableRow(tableModel_, row, kv::pointRowTexts(kv::selectedRow(points, lastFrame_, k), kv::RowFormat::kSelected));
    });
}

void manwindow::SelectPoints() {
    const bool armed = selection_.toggleArmed();
    cloudView_->takeFocus();
    // The interactor style toggles its rubber band on the key x: it goes straight to the
    // view's interactor, whatever the keyboard layout.
    cloudView_->deliverKey('x');
    setCursor(armed ? Qt::CrossCursor : Qt::ArrowCursor);
}

void manwindow::handleAreaPick(const std::vector<int>& indices) {
    const kv::SelectionSession::Pick pick =
        selection_.pick(framePoints_.displayed, indices, lastFrame_, geometry_, currentFilter());
    if (!pick.taken) return;  // nothing of the displayed cloud: still armed
    cloudView_->showClicked(pick.clicked);
    // The pick arrives inside the interactor's button handling: the keys that end the rubber
    // band follow once it is done, as keys from the input queue would.
    QTimer::singleShot(0, this, [this] {
        cloudView_->deliverKey('x');
        cloudView_->deliverKey('q');
    });
    buildTableModel();
    setCursor(Qt::ArrowCursor);
    for (const auto& row : pick.listing.rows)
        setTableRow(tableModel_, row.first, kv::pointRowTexts(row.second, kv::RowFormat::kAreaPick));
    updateStatistics(pick.listing.stats);
}

void manwindow::SelectPointsRange() {
    const kv::SelectionBox& b = selection_.box();
    const double values[6] = {b.xMin, b.xMax, b.yMin, b.yMax, b.zMin, b.zMax};
    rangeDialog_->setValues(values);
    rangeDialog_->show();
}

void manwindow::changeSelectPointRange() {
    const double* v = rangeDialog_->values();
    selection_.setBox({float(v[0]), float(v[1]), float(v[2]), float(v[3]), float(v[4]), float(v[5])});
}

void manwindow::clearSelection() {
    selection_.clear();
    buildTableModel();
    cloudView_->clearAll();
    cloudView_->resetCamera();
}

// ---- CSV export ----

QString manwindow::defaultSingleCsvFileName() const {
    return QString::fromStdString(modelLabel_) + "_" + QDateTime::currentDateTime().toString("yyyy-MM-dd-hh-mm-ss") +
           ".csv";
}

QString manwindow::defaultMultiCsvFileName() const {
    return QString::fromStdString(modelLabel_) + "_" + QDateTime::currentDateTime().toString("yyyy-MM-dd-hh-mm") +
           "_" + QString::number(saveData_->selection().frameCount) + "Frame" + ".csv";
}

void manwindow::showFileError(const QString& text) { QMessageBox::warning(this, "error", text, QMessageBox::Ok); }

void manwindow::saveDataClicked() {
    if (!kv::csv::exportsFrameOnScreen(suspended_, isPlaying() && isPaused())) {
        saveData_->show();
        return;
    }
    const QString name = QFileDialog::getSaveFileName(this, tr("Save CSV"), tr(defaultSingleCsvFileName().toUtf8().constData()),
                                                      QString(), nullptr, QFileDialog::DontUseNativeDialog);
    if (name.isEmpty()) return;
    exportSingleFrameTo(name);
}

bool manwindow::exportSingleFrameTo(const QString& fileName) {
    std::string error;
    const bool ok = kv::csv::exportSingleFrame(kv::fileNameBytes(fileName).toStdString(), lastFrame_, geometry_,
                                               selection_.followed(), selection_.box(), error);
    if (!ok) showFileError(QString::fromStdString(error));
    return ok;
}

void manwindow::getSaveDataOkSignal(bool) {
    const QString name = QFileDialog::getSaveFileName(this, tr("Save CSV"), tr(defaultMultiCsvFileName().toUtf8().constData()),
                                                      QString(), nullptr, QFileDialog::DontUseNativeDialog);
    if (name.isEmpty()) return;
    startCsvExportTo(name);
}

bool manwindow::startCsvExportTo(const QString& fileName) {
    const bool started = csvExport_.start(kv::fileNameBytes(fileName).toStdString());
    if (!started) showFileError(QString::fromStdString(csvExport_.error()));
    showCsvStatus();
    return started;
}

void manwindow::endCsvExport() {
    if (!csvExport_.active()) return;
    const bool closed = csvExport_.end();
    showCsvStatus();
    if (!closed) showFileError(QString::fromStdString(csvExport_.error()));
}

void manwindow::csvExportStep(const MuchLidarData& frame) {
    const auto step = csvExport_.step(frame, geometry_, saveData_->selection(), kv::appSettings().isProductionUsed,
                                      selection_.followed(), selection_.box());
    showCsvStatus();
    if (step == kv::csv::ExportSession::Step::kFailed) {
        // The file keeps every whole line written; the message waits until this frame is done.
        const QString text = QString::fromStdString(csvExport_.error());
        QTimer::singleShot(0, this, [this, text] { showFileError(text); });
    }
}

void manwindow::showCsvStatus() {
    csvStatus_->setVisible(csvExport_.active());
    csvEnd_->setVisible(csvExport_.active());
    csvStatus_->setText(QFile::decodeName(QByteArray::fromStdString(csvExport_.statusText())));
}

// ---- Receiver health readout ----

void manwindow::setUpHealthReadout() {
    healthMeter_ = std::make_unique<kv::HealthMeter>();
    healthDock_ = addHealthDock(this, healthLabel_);
    startHint_ = kv::window::startHint(ui_.screen, ui_.lineEdit_portNumber->text());
    connect(ui_.lineEdit_portNumber, &QLineEdit::textChanged, startHint_,
            [this](const QString& port) { setStartHintPort(startHint_, port); });
    healthTimer_ = new QTimer(this);
    healthTimer_->setInterval(1000);
    connect(healthTimer_, &QTimer::timeout, this, &manwindow::refreshHealth);
    healthTimer_->start();
    refreshHealth();
}

void manwindow::hideStartHint() {
    if (startHint_) startHint_->hide();
}

void manwindow::refreshHealth() {
    const std::int64_t now = kv::steadyNowMs();
    kv::HealthCounters c;
    c.dataPort = liveRunning_ ? getMuch_->dataPort : ui_.lineEdit_portNumber->text().toInt();
    c.framesHandled = framesHandled_;
    c.framesDrawn = framesDrawn_;
    getMuch_->addHealthCounters(c);
    getSet_->addHealthCounters(c, now);
    const kv::HealthReadout r = healthMeter_->sample(c, now);
    const kv::HealthSource source = liveRunning_                                 ? kv::HealthSource::kLive
                                    : (replayControl_.replayActive() || store_) ? kv::HealthSource::kReplay
                                                                                : kv::HealthSource::kIdle;
    healthLabel_->setText(QString::fromStdString(kv::healthLine(source, c, r, replay_->pointsDropped.load())));
    healthLabel_->setStyleSheet(kv::healthAlarm(source, r) ? "QLabel { color: #b00000; font-weight: bold; }" : "");
}
