#include "manwindow.h"

#include <QApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVTKOpenGLNativeWidget.h>
#include <algorithm>

#include "ruler_and_trail.h"
#include "cloud_fill.h"
#include "cloud_view.h"
#include "savedata.h"
#include "selectpointrange.h"
#include "getmuch.h"
#include "getset.h"
#include "live_receivers.h"
#include "capture_store.h"
#include "file_names.h"
#include "readliveoffdata.h"
#include "saveandplay_pcd.h"
#include "qlaserselectionmuch.h"
#include "settings.h"
#include "about.h"
#include "codedialog.h"
#include "interactionmuchset.h"
#include "capture_opening.h"
#include "merged_streams.h"
#include "sensors_panel.h"
#include "capture_recording.h"
#include "csv_export_panel.h"
#include "device_dialogs.h"
#include "health_panel.h"
#include "pcd_recording_panel.h"
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
    RecordHooks record;
    record.dialogParent = this;
    record.proposedName = [this] { return defaultCaptureFileName(); };
    record.filter = [this] { return "port " + ui_.lineEdit_portNumber->text().toLatin1(); };
    record.sensorIp = [this] { return liveRunning_ ? getMuch_->lastSourceIp.load() : 0u; };
    record.showStatus = [this](const QString& text, int timeoutMs) { statusBar()->showMessage(text, timeoutMs); };
    recording_ = new CaptureRecording(ui_.toolButton_SavePcapData, std::move(record), this);
    connect(recording_, &CaptureRecording::failed, this, [this](const QString& message) { showErrorMessage(message); });
    getMuch_ = new GetMuch(this);
    getMuch_->productionMode = settings.isProductionUsed;
    getSet_ = new GetSet(this);
    receivers_ = std::make_unique<kv::LiveReceivers>(getMuch_, getSet_);
    dialogs_ = std::make_unique<DeviceDialogs>(getSet_, DeviceButtons{ui_.toolButton, ui_.toolButton_2, ui_.toolButton_About});
    laserSelection_ = new QLaserSelectionMuch(settings.LineShowNumber);
    connect(dialogs_->codeDialog(), &CodeDialog::sendCode, this, &manwindow::onCodeData);
    rangeDialog_ = new SelectPointRange();
    connect(rangeDialog_, &SelectPointRange::sendOkCliced, this, &manwindow::changeSelectPointRange);
    SaveAndPlay_PCD::registerMetaTypes();
    pcdReplay_ = new SaveAndPlay_PCD(this);
    connect(pcdReplay_, SIGNAL(SendPointCloudData(pcl::PointCloud<pcl::PointXYZRGB>::Ptr)), this,
            SLOT(onGetPointCloutPlay(pcl::PointCloud<pcl::PointXYZRGB>::Ptr)), Qt::UniqueConnection);
    connect(pcdReplay_, SIGNAL(sendFinish(bool)), this, SLOT(onFinishPCD(bool)), Qt::UniqueConnection);
    pcdRecording_ = std::make_unique<PcdRecordingPanel>(this, ui_.toolButton_SavePCDData, ui_.lineEdit_SavePCD_Num,
                                                        pcdReplay_, [this] { return modelLabel_; });

    geometry_ = kv::BeamGeometry::forLineType(settings.LidarLineType);
    refreshTitle();

    cloudView_ = std::make_unique<kv::CloudView>(ui_.screen);
    const StatusBarParts bar = addStatusBarParts(this, ui_.statusBar);
    labelX_ = bar.x;
    labelY_ = bar.y;
    labelZ_ = bar.z;
    csv_ = std::make_unique<CsvExportPanel>(
        this, bar.csvExport, bar.csvEnd,
        CsvExportPanel::Source{pipeline_, geometry_, selection_, modelLabel_,
                               [this] { return kv::csv::ExportSensors{sensors_->poses(), sensors_->names()}; }});
    connect(csv_->saveDataWindow(), &SaveData::sendOkSignal, this, &manwindow::getSaveDataOkSignal, Qt::UniqueConnection);
    viewTools_ = std::make_unique<ViewTools>(
        ViewToolsWidgets{ui_.toolButton_Legend, ui_.toolButton_Snapshot, ui_.comboBox_4, ui_.screen}, *cloudView_, this,
        [this] { return QString::fromStdString(modelLabel_); });
    cloudView_->setKeyPressHandler([this](char key) { handleViewKey(key); });
    // The cursor readout follows the mouse also while no frame comes (paused, suspended): one
    // render queued at a time, however fast the mouse moves.
    cloudView_->setMouseMoveHandler([this] {
        if (!selection_.readout() || readoutPending_) return;
        readoutPending_ = true;
        QTimer::singleShot(0, this, [this] {
            readoutPending_ = false;
            lastReadout_ = QString::fromStdString(cloudView_->runCursorReadout());
            cloudView_->renderNow();
        });
    });
    cloudView_->setAreaPickHandler([this](const std::vector<int>& indices) { handleAreaPick(indices); });
    connect(ui_.toolButton_select, &QToolButton::clicked, this, &manwindow::SelectPoints);
    connect(ui_.toolButton_select_Range, &QToolButton::clicked, this, &manwindow::SelectPointsRange);
    connect(ui_.toolButton_clear, &QToolButton::clicked, this, &manwindow::clearSelection);
    connect(ui_.toolButton_4, &QToolButton::clicked, this, &manwindow::saveDataClicked);
    // The selectors stay editable, but typed text never becomes an entry (an entry that names
    // no mode would select one that does not exist).
    for (QComboBox* c : {ui_.comboBox_View, ui_.comboBox_EchoSelection, ui_.comboBox_4})
        c->setInsertPolicy(QComboBox::NoInsert);
    // The colour mode, the lines ("Chanel", OK, after the window has taken the boxes) and the
    // angle range redraw the frame on screen.
    connect(ui_.comboBox_4, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &manwindow::filterChanged);
    for (QDoubleSpinBox* angle : {ui_.doubleSpinBox_minAngle, ui_.doubleSpinBox_maxAngle})
        connect(angle, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &manwindow::filterChanged);
    connect(laserSelection_->pushButton_OK, &QPushButton::clicked, this, &manwindow::filterChanged);

    connect(ui_.toolButton_Lidar, &QToolButton::clicked, this, &manwindow::startReception);
    connect(ui_.tolbtn_SuspendData, &QToolButton::clicked, this, &manwindow::toggleSuspend);
    connect(ui_.toolButton_LidarDataList, &QToolButton::clicked, this, &manwindow::toggleDataList);
    connect(ui_.toolButton_Coor, &QToolButton::clicked, this, &manwindow::toggleCoordinate);
    connect(ui_.toolButton_MeaGrid, &QToolButton::clicked, this, &manwindow::toggleGrid);
    connect(ui_.toolButton_3, &QToolButton::clicked, laserSelection_, &QWidget::show);
    // Made here rather than at the first Play, so that a seek before it is not lost.
    connect(this, SIGNAL(sendProgressChangeValue(int)), replay_, SLOT(getProgressChangeValue(int)),
            Qt::UniqueConnection);
    // A capture that changes or shrinks while it is open ends its replay with a message.
    connect(replay_, &ReadLiveOffData::ReadFailed, this, &manwindow::onCaptureReadFailed, Qt::UniqueConnection);
    connect(ui_.comboBox_View, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &manwindow::view);
    connect(ui_.comboBox_EchoSelection, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &manwindow::AirReturn_Mode);

    ReplayHooks hooks;
    hooks.captureChannel = &replay_->channel;
    hooks.captureThreadRunning = [this] { return replay_->isRunning(); };
    hooks.startCaptureThread = [this] { startCaptureThread(); };
    hooks.pcdOrders = [this](const kv::ReplayEffects& e) { pcdReplay_->applyOrders(e); };
    hooks.openCapture = [this] { openCapture(); };
    hooks.closeCapture = [this] { closeCapture(); };
    hooks.openPcd = [this] { onOpenPCD(); };
    hooks.jumped = [this] { rulerAndTrail_->report(kv::TrailEvent::kReplaySeek); };
    replayPanels_ = std::make_unique<ReplayPanels>(
        CaptureReplayWidgets{ui_.toolButton_Open, ui_.toolButton_Close, ui_.toolButton_GoToStart, ui_.toolButton_SeekBackward,
                             ui_.toolButton_Play, ui_.toolButton_SeekForward, ui_.toolButton_GoToEnd, ui_.Slider_Frame,
                             ui_.Spbox_Frame, ui_.label_Frame_Count, ui_.checkBox_round},
        PcdReplayWidgets{ui_.toolButton_OpenPCD, ui_.toolButton_SeekBackward_PCD, ui_.toolButton_Play_PCD,
                         ui_.toolButton_SeekForward_PCD, ui_.toolButton_GoToEnd_PCD, ui_.Slider_Frame_PCD,
                         ui_.label_PCD_Count, ui_.checkBox_round_PCD},
        ui_.toolButton_Lidar, std::move(hooks), this);
    ui_.toolButton_Develop->hide();
    ui_.toolButton_User->hide();

    rulerAndTrail_ = std::make_unique<RulerAndTrail>(
        RulerAndTrailWidgets{ui_.toolButton_Measure, ui_.spinBox_FramesShown, ui_.screen, ui_.statusBar,
                             ui_.toolButton_clear, ui_.toolButton_Lidar, ui_.comboBox_EchoSelection, ui_.comboBox_4,
                             ui_.doubleSpinBox_minAngle, ui_.doubleSpinBox_maxAngle, laserSelection_->pushButton_OK},
        *cloudView_);
    ui_.comboBox_View->setCurrentIndex(1);
    view();
    SensorsHooks sensorHooks;
    sensorHooks.liveStats = [this] { return liveRunning_ ? getMuch_->sensorStats() : std::vector<kv::SensorStreams::Stats>{}; };
    sensorHooks.changed = [this] { filterChanged(); };
    sensorHooks.merge = [this](int lead, std::uint64_t hidden) {
        getMuch_->leadSensor = lead;
        getMuch_->hiddenSensors = hidden;
        replay_->hiddenStreams = hidden;
    };
    sensorHooks.follow = [this](std::uint32_t ip) { dialogs_->followSensor(ip); };
    sensorHooks.say = [this](const QString& text) { statusBar()->showMessage(text, 10000); };
    sensorHooks.refit = [this] { cloudView_->fitCameraToNextFrame(); };
    sensors_ = std::make_unique<SensorsPanel>(this, std::move(sensorHooks));
    health_ = std::make_unique<HealthPanel>(this, ui_.screen, ui_.lineEdit_portNumber, getMuch_, getSet_,
                                            [this] { refreshHealth(); });
    // Under the health readout, each the window's whole width: the window does not widen.
    splitDockWidget(health_->dock(), sensors_->dock(), Qt::Vertical);
    refreshHealth();
}

manwindow::~manwindow() {
    health_.reset();  // its timer stops
    delete recording_;  // stops and waits
    recording_ = nullptr;
    replay_->stopAndWait();
    pcdReplay_->stopAndWait();
    stopReceivers();
    delete laserSelection_;
    delete rangeDialog_;
    csv_.reset();
    dialogs_.reset();
}

void manwindow::stopReceivers() { receivers_->stop(); }

bool manwindow::saveSnapshotTo(const QString& fileName) { return viewTools_->snapshotTo(fileName); }

void manwindow::handleViewKey(char key) { cloudView_->stepPointSize(key); }

void manwindow::toggleCoordinate() { cloudView_->toggleCoordinateSystem(); }

void manwindow::toggleGrid() { cloudView_->toggleMeasuringGrid(); }

int manwindow::pointSize() const { return cloudView_->pointSize(); }

std::uint64_t manwindow::kernelDrops() const { return getMuch_->kernelDrops.load(); }

void manwindow::view() { cloudView_->applyCameraPreset(ui_.comboBox_View->currentIndex()); }

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
    health_->hideStartHint();
    stopReceivers();
    kv::registerAcquisitionMetaTypes();
    kv::registerStatusMetaTypes();

    tableModel_ = resetPointTable(ui_.tableView, this);

    const kv::ReplayState capture = replayPanels_->control().state(kv::ReplayKind::Capture);
    if (capture == kv::ReplayState::kPlaying || capture == kv::ReplayState::kPaused) {
        // A loaded capture is playing: the replay thread takes the receivers' place.
        if (!replay_->isRunning()) startCaptureThread();
        return;
    }
    ui_.toolButton_Play->setEnabled(false);
    liveRunning_ = true;
    cloudView_->fitCameraToNextFrame();
    connect(getMuch_, SIGNAL(SendLidarData(MuchLidarData)), this, SLOT(CalculateMuch(MuchLidarData)),
            Qt::UniqueConnection);
    connect(getMuch_, SIGNAL(SendError(QString)), this, SLOT(showErrorMessage(QString)), Qt::UniqueConnection);
    connect(getSet_, SIGNAL(SendError(QString)), this, SLOT(showErrorMessage(QString)), Qt::UniqueConnection);
    dialogs_->followStatus();
    sensors_->followLive();
    dialogs_->followSensor(0);
    receivers_->start(ui_.lineEdit_2->text().toStdString(), ui_.lineEdit_portNumber->text().toInt(nullptr, 10),
                      ui_.lineEdit_portNumber_2->text().toInt(nullptr, 10));
    health_->restart();
    refreshHealth();
}

void manwindow::toggleSuspend() { suspended_ = !suspended_; }

void manwindow::onCodeData(QString code) { dialogs_->codeEntered(code, this); }

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
    // A paused capture replay cuts the frame on screen again with the new selection.
    replayPanels_->echoChanged();
}

void manwindow::CalculateMuch(MuchLidarData lidardata) {
    modelLabel_ = kv::modelLabel(kv::appSettings().LidarLineType, EchoFlag.load(std::memory_order_relaxed));
    refreshTitle();
    if (suspended_) {
        pipeline_.frameHeld();
        return;
    }
    const bool queueDraw = pipeline_.frameHandled(std::move(lidardata), currentFilter());
    if (csv_->session().active()) csv_->step();
    replayPanels_->frameShown(kv::ReplayKind::Capture, pipeline_.current().number);
    if (pcdRecording_->active()) recordPcdFrame();

    if (rulerAndTrail_->trailing())
        rulerAndTrail_->frameHandled(pipeline_.framesHandled(), pipeline_.currentPoints().displayed);

    // Draw from the event queue: frames already queued behind this one take the data path
    // first, and the drawing then shows the newest of them.
    if (queueDraw) QMetaObject::invokeMethod(this, &manwindow::drawLatestFrame, Qt::QueuedConnection);
}

kv::DisplayFilter manwindow::currentFilter() const {
    kv::DisplayFilter f = selection_.applyTo(filter_);
    for (int line = 0; line < kv::kLineCount; ++line) f.lineShown[std::size_t(line)] = laserSelection_->isLineShown(line);
    f.minAngleDeg = ui_.doubleSpinBox_minAngle->value();
    f.maxAngleDeg = ui_.doubleSpinBox_maxAngle->value();
    f.colourMode = ui_.comboBox_4->currentIndex();
    f.poses = sensors_->poses();
    return f;
}

// A filter change shows on the frame on screen at once, also while nothing new comes (a paused
// replay, "Suspend Data"); a replayed PCD cloud keeps the colours of its file.
void manwindow::filterChanged() {
    if (pipeline_.refilter(currentFilter()))
        QMetaObject::invokeMethod(this, &manwindow::drawLatestFrame, Qt::QueuedConnection);
}

void manwindow::drawLatestFrame() {
    const kv::FramePoints* points = pipeline_.draw();
    if (!points) return;
    if (selection_.followed()) writeSelectedRows(*points);
    else writePointTable(*points);
    updateStatistics(points->stats);
    std::string readout;
    cloudView_->presentFrame(points->displayed, points->selected, cloudView_->pointSize(),
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

void manwindow::startRecordingTo(const QString& fileName) { recording_->startTo(fileName); }

// ---- Capture replay ----

// The start routine of "Lidar" in replay mode: the receivers stop and the replay thread takes
// their place, from the first frame (or the seek made before Play).
void manwindow::startCaptureThread() {
    health_->hideStartHint();
    stopReceivers();
    kv::registerAcquisitionMetaTypes();
    tableModel_ = resetPointTable(ui_.tableView, this);
    replay_->wait();  // a run that ended on a read failure may still be returning
    replay_->setPacketStore(store_);
    replay_->setMergedStreams(merged_);
    cloudView_->fitCameraToNextFrame();
    connect(replay_, SIGNAL(SendData(MuchLidarData)), this, SLOT(CalculateMuch(MuchLidarData)), Qt::UniqueConnection);
    connect(replay_, SIGNAL(SendBool(bool)), this, SLOT(FinshorStart(bool)), Qt::UniqueConnection);
    replay_->start();
    liveRunning_ = false;
    refreshHealth();
}

// While one replay is in use, the other's Open is refused.
bool manwindow::refusedWhileOfflineInUse() {
    if (!replayPanels_->control().offlineInUse()) return false;
    QMessageBox::warning(this, "Tips", "The offline file has been opened. Please close it first!!!", QMessageBox::Ok);
    return true;
}

void manwindow::openCapture() {
    if (refusedWhileOfflineInUse()) return;
    const QString name = askCaptureFileName(this);
    QApplication::processEvents();
    if (name.isEmpty()) return;
    openCaptureFile(name);
}

bool manwindow::openCaptureFile(const QString& fileName) {
    health_->hideStartHint();
    if (liveRunning_) {
        receivers_->requestStop();
        liveRunning_ = false;
    }
    // A file that gives nothing to replay (its message shown) leaves the capture loaded before
    // it, and its replay, as they were.
    OpenedCaptureFile opened = loadCaptureFile(this, fileName);
    refreshHealth();
    if (!opened.store) return false;
    const kv::ReplayState before = replayPanels_->control().state(kv::ReplayKind::Capture);
    replay_->stopAndWait();
    if (before != kv::ReplayState::kNotLoaded && before != kv::ReplayState::kLoaded) {
        cloudView_->clearAll();
        cloudView_->resetCamera();
    }
    store_ = std::move(opened.store);
    merged_ = std::move(opened.merged);
    sensors_->useStreams(opened.streams, 0);
    cloudView_->fitCameraToNextFrame();
    rulerAndTrail_->report(kv::TrailEvent::kCaptureOpened);

    replayPanels_->captureOpened(int(store_->frameCount()), store_->packetCount > 0);
    ui_.LidraDataDock->show();
    refreshHealth();
    return true;
}

// "Close": the replay ends, the file is let go, and the receivers and the PCD replay are free.
void manwindow::closeCapture() {
    if (!store_) return;
    replay_->stopAndWait();
    store_.reset();
    merged_.reset();
    replayPanels_->captureClosed();
    refreshHealth();
}

void manwindow::onCaptureReadFailed(const QString& message) {
    replayPanels_->captureReadFailed();
    showErrorMessage(message);
}

const kv::ReplayControl& manwindow::replayControl() const { return replayPanels_->control(); }

// The text's replay slots hand over to the panels.
void manwindow::progressMoved(int) { replayPanels_->sliderMoved(kv::ReplayKind::Capture); }

void manwindow::progressReleased() { replayPanels_->sliderReleased(kv::ReplayKind::Capture); }

void manwindow::frameBoxEntered() { replayPanels_->frameBoxEntered(); }

void manwindow::RepeatChange(int state) { replayPanels_->setRepeat(kv::ReplayKind::Capture, state != 0); }

void manwindow::FinshorStart(bool Finshone) { replayPanels_->captureFinished(Finshone); }

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
    health_->hideStartHint();
    const int fileCount = loadPcdFolder(this, directory, *pcdReplay_);
    cloudView_->fitCameraToNextFrame();
    rulerAndTrail_->report(kv::TrailEvent::kPcdDirOpened);
    replayPanels_->pcdOpened(fileCount, pcdReplay_->cloudCount() > 0);
    ui_.LidraDataDock->hide();
    return int(pcdReplay_->cloudCount());
}

void manwindow::onPlayPCD() { replayPanels_->pcdPlayPause(); }

void manwindow::onSeekForwardPCD() { replayPanels_->pcdSeekForward(); }

void manwindow::onSeekBackwardPCD() { replayPanels_->pcdSeekBackward(); }

void manwindow::onSeekGoToEndPCD() { replayPanels_->pcdStop(); }

void manwindow::onFinishPCD(bool isFinish) { replayPanels_->pcdFinished(isFinish); }

void manwindow::RepeatChangePCD(int state) { replayPanels_->setRepeat(kv::ReplayKind::Pcd, state != 0); }

void manwindow::progressMovedPCD(int) { replayPanels_->sliderMoved(kv::ReplayKind::Pcd); }

void manwindow::progressReleasedPCD() { replayPanels_->sliderReleased(kv::ReplayKind::Pcd); }

void manwindow::onGetPointCloutPlay(pcl::PointCloud<pcl::PointXYZRGB>::Ptr mPointCloud) {
    if (!mPointCloud) return;
    std::string readout;
    cloudView_->presentCloud(mPointCloud, cloudView_->pointSize(), selection_.readout() ? &readout : nullptr);
    pipeline_.cloudShown(kv::cloudCoordinates(*mPointCloud));
    replayPanels_->frameShown(kv::ReplayKind::Pcd, std::uint32_t(pcdReplay_->numberOf(mPointCloud)));
    if (selection_.readout()) lastReadout_ = QString::fromStdString(readout);
}

// ---- PCD recording ----

void manwindow::onSavePCD() { pcdRecording_->pressed(modelLabel_); }

void manwindow::startPcdRecordingTo(const QString& answer, const QString& stamp) { pcdRecording_->start(answer, stamp); }

// The recording step for the frame just handled, drawn or not: the points the trail and the
// drawing share.
void manwindow::recordPcdFrame() { pcdRecording_->writeFrame(pipeline_.currentPoints().displayed); }

// ---- Selection ----

void manwindow::buildTableModel() { tableModel_ = resetPointTable(ui_.tableView, this); }

// Only the rows from the scroll position to 30 below it are rewritten.
void manwindow::writeSelectedRows(const kv::FramePoints& points) {
    const int scroll = ui_.tableView->verticalScrollBar()->value();
    kv::forEachSelectedRow(points.selectedIndex.size(), selection_.pickedCount(), scroll, [&](int row, std::size_t k) {
        setTableRow(tableModel_, row,
                    kv::pointRowTexts(kv::selectedRow(points, pipeline_.frameOnScreen(), k), kv::RowFormat::kSelected));
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
        selection_.pick(pipeline_.pointsOnScreen().displayed, indices, pipeline_.frameOnScreen(), geometry_, currentFilter());
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

QString manwindow::defaultSingleCsvFileName() const { return csv_->defaultSingleFileName(); }

QString manwindow::defaultMultiCsvFileName() const { return csv_->defaultMultiFileName(); }

void manwindow::saveDataClicked() {
    csv_->saveDataPressed(kv::csv::exportsFrameOnScreen(suspended_, isPlaying() && isPaused()));
}

bool manwindow::exportSingleFrameTo(const QString& fileName) { return csv_->exportSingleFrameTo(fileName); }

void manwindow::getSaveDataOkSignal(bool) { csv_->frameChoiceAccepted(); }

bool manwindow::startCsvExportTo(const QString& fileName) { return csv_->startTo(fileName); }

void manwindow::endCsvExport() { csv_->end(); }

// ---- Receiver health readout ----

void manwindow::refreshHealth() {
    HealthPanel::WindowState w;
    w.live = liveRunning_;
    w.replay = store_ != nullptr;
    w.pcdReplay = replayPanels_->control().state(kv::ReplayKind::Pcd) != kv::ReplayState::kNotLoaded;
    w.framesHandled = pipeline_.framesHandled();
    w.framesDrawn = pipeline_.framesDrawn();
    w.replayPointsDropped = replay_->pointsDropped.load();
    health_->refresh(w);
}
