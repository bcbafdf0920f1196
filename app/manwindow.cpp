#include "manwindow.h"

#include <QApplication>
#include <algorithm>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QDateTime>
#include <QDockWidget>
#include <QTimer>
#include <QFileInfo>
#include <QProgressDialog>
#include <cstdio>
#include <QUrl>
#include <QHeaderView>
#include <QMessageBox>
#include <QPalette>
#include <QStandardItemModel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVTKOpenGLNativeWidget.h>

#include "cloud_view.h"
#include "csv_export.h"
#include "savedata.h"
#include "selection.h"
#include "selectpointrange.h"
#include "getmuch.h"
#include "getset.h"
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

namespace {

void installPalette() {
    QPalette p;
    const QColor grey105(105, 105, 105);
    p.setColor(QPalette::Window, QColor(230, 230, 230));
    p.setColor(QPalette::WindowText, Qt::black);
    p.setColor(QPalette::Base, QColor(255, 255, 255));
    p.setColor(QPalette::AlternateBase, grey105);
    p.setColor(QPalette::ToolTipBase, Qt::black);
    p.setColor(QPalette::ToolTipText, Qt::black);
    p.setColor(QPalette::Text, Qt::black);
    p.setColor(QPalette::Button, grey105);
    p.setColor(QPalette::ButtonText, Qt::black);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Highlight, QColor(142, 45, 197).lighter(150));
    p.setColor(QPalette::HighlightedText, Qt::black);
    QApplication::setPalette(p);
}

QLabel* statusLabel(QWidget* parent, int w = 0, int h = 0) {
    auto* l = new QLabel(parent);
    if (w > 0) l->setFixedSize(w, h);
    return l;
}

// The project's page: its README, beside the program, where the package installs it
// (/usr/share/kv-cloudscope beside /usr/bin) or at the top of the source tree.
QLabel* projectLinkLabel(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName("label_projectLink");
    const QDir bin(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {bin.filePath("README.md"), bin.filePath("../share/kv-cloudscope/README.md"),
                                     bin.filePath("../../README.md")}) {
        if (!QFileInfo::exists(candidate)) continue;
        const QString url = QUrl::fromLocalFile(QFileInfo(candidate).canonicalFilePath()).toString();
        l->setText(QString("<a href=\"%1\">KV CloudScope</a>").arg(url));
        l->setTextFormat(Qt::RichText);
        l->setOpenExternalLinks(true);
        return l;
    }
    l->setText("KV CloudScope");
    return l;
}

}  // namespace

manwindow::manwindow(QWidget* parent) : QMainWindow(parent) {
    const kv::AppSettings& settings = kv::appSettings();
    filter_.ignoreLineSelection = settings.isProductionUsed;

    ui_.setupUi(this);
    installPalette();
    setWindowState(Qt::WindowMaximized);

    replay_ = new ReadLiveOffData(this);
    recorder_ = std::make_unique<kv::CaptureRecorder>();
    getMuch_ = new GetMuch(this);
    getMuch_->productionMode = settings.isProductionUsed;
    getSet_ = new GetSet(this);
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
    csvFile_ = std::make_unique<kv::csv::CsvFile>();
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
    labelY_ = statusLabel(this);
    labelY_->setObjectName("label_Y");
    labelX_ = statusLabel(this);
    labelX_->setObjectName("label_X");
    labelZ_ = statusLabel(this);
    labelZ_->setObjectName("label_Z");
    const auto initialTexts = kv::initialSelectionLabelTexts();
    for (int i = 0; i < 3; ++i) {
        QLabel* l = std::array<QLabel*, 3>{labelX_, labelY_, labelZ_}[std::size_t(i)];
        l->setText(QString::fromStdString(initialTexts[std::size_t(i)]));
        l->setMinimumSize(kv::kStatisticsLabelMinWidth, kv::kStatisticsLabelMinHeight);
    }
    ui_.statusBar->addWidget(labelY_);
    ui_.statusBar->addWidget(statusLabel(this, 100, 20));
    ui_.statusBar->addWidget(labelX_);
    ui_.statusBar->addWidget(statusLabel(this, 10, 20));
    ui_.statusBar->addWidget(labelZ_);
    ui_.statusBar->addPermanentWidget(projectLinkLabel(this));
    cloudView_->setKeyPressHandler([this](char key) { handleViewKey(key); });
    cloudView_->setAreaPickHandler([this](const std::vector<int>& indices) { handleAreaPick(indices); });
    // A running CSV export: its file and frames so far, and a way to end it.
    csvStatus_ = new QLabel(this);
    csvStatus_->setObjectName("label_csvExport");
    csvEnd_ = new QPushButton(tr("End export"), this);
    csvEnd_->setObjectName("pushButton_endCsvExport");
    ui_.statusBar->addPermanentWidget(csvStatus_);
    ui_.statusBar->addPermanentWidget(csvEnd_);
    csvStatus_->hide();
    csvEnd_->hide();
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
    // Made here rather than at the first Play, so that a seek before it is not lost.
    connect(this, SIGNAL(sendProgressChangeValue(int)), replay_, SLOT(getProgressChangeValue(int)),
            Qt::UniqueConnection);
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

    for (QToolButton* b : {ui_.toolButton_Play, ui_.toolButton_GoToEnd, ui_.toolButton_GoToStart,
                           ui_.toolButton_SeekBackward, ui_.toolButton_SeekForward, ui_.toolButton_Play_PCD,
                           ui_.toolButton_GoToEnd_PCD, ui_.toolButton_SeekForward_PCD,
                           ui_.toolButton_SeekBackward_PCD})
        b->setEnabled(false);
    ui_.toolButton_Develop->hide();
    ui_.toolButton_User->hide();

    ui_.comboBox_View->setCurrentIndex(1);
    view();
    setUpHealthReadout();
}

manwindow::~manwindow() {
    healthTimer_->stop();
    recorder_.reset();  // stops and waits
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

void manwindow::stopReceivers() {
    // Both flags go up before either wait, so the two receive time-outs run side by side.
    const bool dataRunning = getMuch_->isRunning(), statusRunning = getSet_->isRunning();
    if (dataRunning) getMuch_->stopRequested = true;
    if (statusRunning) getSet_->stopRequested = true;
    if (dataRunning)
        while (!getMuch_->wait(20)) qDebug() << "ZoRoviv wait....";
    if (statusRunning)
        while (!getSet_->wait(20)) qDebug() << "LidarSet wait....";
}

void manwindow::handleViewKey(char key) {
    if (key == '+') pointSize_ = std::min(pointSize_ + 1, 10);
    else if (key == '-') pointSize_ = std::max(pointSize_ - 1, 1);
}

void manwindow::toggleCoordinate() {
    coordinateShown_ = !coordinateShown_;
    cloudView_->showCoordinateSystem(coordinateShown_);
}

void manwindow::toggleGrid() {
    if (gridHidden_) {
        gridHidden_ = false;
        cloudView_->drawMeasuringGrid();
    } else {
        cloudView_->removeAllShapes();
        gridHidden_ = true;
    }
}

std::uint64_t manwindow::kernelDrops() const { return getMuch_->kernelDrops.load(); }

void manwindow::view() { cloudView_->applyCameraPreset(ui_.comboBox_View->currentIndex()); }

void manwindow::refreshTitle() {
    const kv::AppSettings& s = kv::appSettings();
    const QString title = QString::fromStdString(kv::windowTitle(modelLabel_.empty() ? kv::modelLabel(s.LidarLineType, 0) : modelLabel_, s.isProductionUsed));
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

    tableModel_ = new QStandardItemModel(0, 5, this);
    tableModel_->setHorizontalHeaderLabels({"ID", "Points_m_XYZ", "Distance", "Azimuth", "Intensity"});
    QItemSelectionModel* oldSelection = ui_.tableView->selectionModel();
    QAbstractItemModel* oldModel = ui_.tableView->model();
    ui_.tableView->setModel(tableModel_);
    delete oldSelection;
    if (oldModel && oldModel->parent() == this) oldModel->deleteLater();
    const int widths[5] = {40, 200, 80, 80, 80};
    for (int c = 0; c < 5; ++c) ui_.tableView->setColumnWidth(c, widths[c]);

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
    getMuch_->multicastAddress = ui_.lineEdit_2->text().toStdString();
    getSet_->multicastAddress = getMuch_->multicastAddress;
    getMuch_->dataPort = ui_.lineEdit_portNumber->text().toInt(nullptr, 10);
    getSet_->equipPort = ui_.lineEdit_portNumber_2->text().toInt(nullptr, 10);

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
    // A flag raised for a thread that had already ended would stop the new run at once.
    getMuch_->stopRequested = false;
    getSet_->stopRequested = false;
    getMuch_->start();
    getSet_->start();
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
    lastFrameExported_ = csvExporting_;
    if (csvExporting_) csvExportStep(lastFrame_);
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
    kv::DisplayFilter f = filter_;
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
        if (filter_.selectionActive) writeSelectedRows(framePoints_);
        else writePointTable(framePoints_);
    }
    recordPointsCurrent_ = false;
    updateStatistics(framePoints_.stats);
    std::string readout;
    cloudView_->presentFrame(framePoints_.displayed, framePoints_.selected, pointSize_,
                             readoutFlag_ ? &readout : nullptr);
    if (readoutFlag_) lastReadout_ = QString::fromStdString(readout);
}

void manwindow::writePointTable(const kv::FramePoints& points) {
    if (!tableModel_) return;
    const int rows = int(points.tableRows.size());
    if (tableModel_->rowCount() < rows) tableModel_->setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        const auto texts = kv::pointRowTexts(points.tableRows[std::size_t(r)]);
        for (int c = 0; c < 5; ++c) {
            const QString text = QString::fromStdString(texts[std::size_t(c)]);
            if (QStandardItem* item = tableModel_->item(r, c)) item->setText(text);
            else tableModel_->setItem(r, c, new QStandardItem(text));
        }
    }
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
    if (recording_) {
        recorder_->requestStop();
        recording_ = false;
        ui_.toolButton_SavePcapData->setChecked(false);
        return;
    }
    const QString name = QFileDialog::getSaveFileName(this, tr("Save PCAP"), defaultCaptureFileName(),
                                                      tr("WireSharkCaptureFile (*.pcap)"), nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    if (name.isEmpty()) {
        ui_.toolButton_SavePcapData->setChecked(false);
        return;
    }
    startRecordingTo(name);
}

void manwindow::startRecordingTo(const QString& fileName) {
    if (recording_) return;  // one recording at a time; waiting for this one would never end
    // A recording asked to stop ends at once; its successor gets its own error handler, so that
    // a late report of the old one cannot end the new one.
    recorder_->wait();
    const int generation = ++recordGeneration_;
    recorder_->setErrorHandler([this, generation](const std::string& message) {
        // Runs on the recording thread, which ends after reporting: the window hears of it
        // through its own event queue.
        const QString text = QString::fromStdString(message);
        QMetaObject::invokeMethod(
            this,
            [this, generation, text] {
                if (generation == recordGeneration_) {
                    recording_ = false;
                    ui_.toolButton_SavePcapData->setChecked(false);
                }
                showErrorMessage(text);
            },
            Qt::QueuedConnection);
    });
    recordPath_ = kv::fileNameBytes(fileName);
    recordFilter_ = "port " + ui_.lineEdit_portNumber->text().toLatin1();
    // Record from the adapter the sensor's data arrives on; without live data, from the first
    // real adapter. The recording thread lists the adapters, which can take a while.
    const std::uint32_t source = liveRunning_ ? getMuch_->lastSourceIp.load() : 0;
    recording_ = recorder_->startOnSensorAdapter(recordPath_.toStdString(), recordFilter_.toStdString(), source);
    ui_.toolButton_SavePcapData->setChecked(recording_);
}

// ---- Capture replay ----

namespace {
// Button images are read from ./Resources/images/ beside the working directory; the copies
// compiled into the program stand in when the program runs from elsewhere.
QIcon imageFile(const char* file) {
    const QString onDisk = QString("./Resources/images/") + file;
    return QIcon(QFile::exists(onDisk) ? onDisk : QString(":/image/Resources/images/") + file);
}
}  // namespace

void manwindow::setPlayIcon(const char* file) { ui_.toolButton_Play->setIcon(imageFile(file)); }

void manwindow::showFrameCounter(kv::ReplayKind kind) {
    const int counter = replayControl_.frameCounter();
    if (kind == kv::ReplayKind::Pcd) {
        if (!replayControl_.dragging()) ui_.Slider_Frame_PCD->setValue(counter);
        ui_.label_PCD_Count->setText(QString("%1/%2").arg(counter).arg(replayControl_.pcdFileCount()));
        return;
    }
    if (!replayControl_.dragging()) ui_.Slider_Frame->setValue(counter);
    ui_.Spbox_Frame->setValue(counter);
}

// Shows what a replay control decided on the widgets of its replay, then tells its thread.
void manwindow::applyReplay(const kv::ReplayEffects& e) {
    const bool pcd = e.kind == kv::ReplayKind::Pcd;
    auto enable = [](QToolButton* b, kv::Enable v) {
        if (v != kv::Enable::Keep) b->setEnabled(v == kv::Enable::On);
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
    enable(ui_.toolButton_Lidar, e.lidar);
    if (e.playIcon) play->setIcon(imageFile(e.playIcon));
    if (e.forwardIcon) forward->setIcon(imageFile(e.forwardIcon));
    if (e.backwardIcon) backward->setIcon(imageFile(e.backwardIcon));
    if (e.showCounter) showFrameCounter(e.kind);
    if (e.uncheckRepeat) (pcd ? ui_.checkBox_round_PCD : ui_.checkBox_round)->setChecked(false);

    if (pcd) {
        if (e.dropPendingSeek) pcdReplay_->clearPendingSeek();
        if (e.stopThread) pcdReplay_->stopRequested = true;
        if (e.startThread) {
            pcdReplay_->wait();  // a finished run returns at once after its end report
            pcdReplay_->stopRequested = false;
            pcdReplay_->start();
        }
        if (e.openGate) pcdReplay_->gate.open();
        if (e.closeGate) pcdReplay_->gate.close();
        if (e.seekTo >= 0) pcdReplay_->setSeekTarget(e.seekTo);
    } else {
        if (e.dropPendingSeek) replay_->clearPendingSeek();
        if (e.startThread) startReception();  // starts the replay thread while playing
        if (e.openGate) replay_->gate.open();
        if (e.closeGate) replay_->gate.close();
        if (e.seekTo >= 0 && store_) {
            // The table has a start for frames 0 to M/4 - 1; the top position goes to the last.
            const std::vector<std::uint32_t>& starts = store_->frameStarts;
            std::uint32_t packet = 0;
            if (!starts.empty()) packet = starts[std::min<std::size_t>(std::size_t(e.seekTo), starts.size() - 1)];
            emit sendProgressChangeValue(int(packet));
        }
    }
    if (e.playAgain) {
        if (pcd) onPlayPCD();
        else playPause();
    }
}

void manwindow::openCapture() {
    if (replayControl_.offlineInUse()) {
        QMessageBox::warning(this, "Tips", "The offline file has been opened. Please close it first!!!",
                             QMessageBox::Ok);
        return;
    }
    const QString name = QFileDialog::getOpenFileName(this, tr("WireSharkCaptureFile"), QString(),
                                                      "Supported Files (*.pcap)", nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    QApplication::processEvents();
    if (name.isEmpty()) return;
    openCaptureFile(name);
}

bool manwindow::openCaptureFile(const QString& fileName) {
    hideStartHint();
    if (liveRunning_) {
        if (getMuch_->isRunning()) getMuch_->stopRequested = true;
        if (getSet_->isRunning()) getSet_->stopRequested = true;
    }
    if (replayControl_.captureStarted()) {
        replay_->stopAndWait();
        store_.reset();
        replayControl_.captureClosed();
        cloudView_->clearAll();
        cloudView_->resetCamera();
    }

    std::unique_ptr<QProgressDialog> progress;
    auto onProgress = [&](std::uint64_t done, std::uint64_t total) {
        if (!progress) {
            progress = std::make_unique<QProgressDialog>(this);
            progress->setLabelText("Opening file...");
            progress->setCancelButtonText(QString());
            progress->setWindowTitle("Please wait a moment");
            progress->setFixedWidth(300);
            progress->setMinimumDuration(5);
            progress->setWindowIcon(QIcon("./Resources/image/korvane.png"));
            progress->setWindowModality(Qt::WindowModal);
            progress->setRange(0, 1000);  // per mille of the two passes over the file
        }
        if (total > 0) progress->setValue(int(std::min<std::uint64_t>(done, total) * 1000 / total));
    };
    kv::capture::CaptureLoad load = kv::capture::loadCapture(QFile::encodeName(fileName).toStdString(), onProgress);
    progress.reset();
    if (!load.opened) {
        std::printf("%s\n", load.error.c_str());
        std::fflush(stdout);
        return false;
    }
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

void manwindow::RepeatChange(int state) { replayControl_.setRepeat(kv::ReplayKind::Capture, state != 0); }

void manwindow::FinshorStart(bool Finshone) { applyReplay(replayControl_.captureFinished(Finshone)); }

// ---- PCD replay ----

void manwindow::onOpenPCD() {
    if (replayControl_.offlineInUse()) {
        QMessageBox::warning(this, "Tips", "The offline file has been opened. Please close it first!!!",
                             QMessageBox::Ok);
        return;
    }
    if (getMuch_->isRunning()) getMuch_->stopRequested = true;
    if (getSet_->isRunning()) getSet_->stopRequested = true;
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
        QProgressDialog progress(this);
        progress.setLabelText("Opening PCD file...");
        progress.setCancelButtonText(QString());
        progress.setWindowTitle("Please wait a moment");
        progress.setFixedWidth(300);
        progress.setMinimumDuration(5);
        progress.setWindowIcon(QIcon("./Resources/image/korvane.png"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setRange(0, fileCount);
        std::vector<std::string> paths;
        paths.reserve(std::size_t(fileCount));
        for (const QString& name : names) paths.push_back(directory.toStdString() + "/" + name.toStdString());
        pcdReplay_->loadPcdFiles(paths, [&](std::size_t i) { progress.setValue(int(i)); });
        progress.setValue(fileCount);
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
    cloudView_->presentCloud(mPointCloud, pointSize_, readoutFlag_ ? &readout : nullptr);
    applyReplay(replayControl_.pcdFrameShown());
    if (readoutFlag_) lastReadout_ = QString::fromStdString(readout);
}

// ---- PCD recording ----

namespace {
QString pcdStamp() { return QDateTime::currentDateTime().toString("yyyy-MM-dd-hh-mm-ss-zzz"); }
}  // namespace

int manwindow::pcdFrameCountField() const { return ui_.lineEdit_SavePCD_Num->text().toInt(nullptr, 10); }

void manwindow::onSavePCD() {
    if (pcdRecording_.active()) {
        // A recording without an end (a count of 0 or less, or no number) ends with this press;
        // one with a count names its next file afresh and goes on.
        if (kv::pcd::PcdRecording::endless(pcdFrameCountField())) endPcdRecording();
        else pcdRecording_.rename(pcdStamp().toStdString());
        ui_.toolButton_SavePCDData->setChecked(pcdRecording_.active());
        return;
    }
    const QString stamp = pcdStamp();
    const std::string label = modelLabel_.empty()
                                  ? kv::modelLabel(kv::appSettings().LidarLineType, EchoFlag.load(std::memory_order_relaxed))
                                  : modelLabel_;
    const QString proposed = QString::fromStdString(label) + "_" + ".pcd";
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
    ui_.toolButton_SavePCDData->setChecked(true);
    statusBar()->showMessage(tr("Recording PCD: 0 frames"));
}

void manwindow::endPcdRecording() {
    const int frames = pcdRecording_.written();
    pcdRecording_.end();
    ui_.toolButton_SavePCDData->setChecked(false);
    statusBar()->showMessage(tr("PCD recording ended: %1 frames").arg(frames), 10000);
}

// The recording step for the frame just handled, drawn or not: its cloud is computed here, and
// the drawing reuses it when no newer frame has come in the meantime.
void manwindow::recordPcdFrame() {
    kv::computeFramePoints(lastFrame_, geometry_, currentFilter(), recordPoints_);
    recordPointsCurrent_ = true;
    kv::pcd::fillCloud(recordPoints_.displayed, pcdReplay_->pcdBuffer());
    const kv::pcd::WriteResult written = pcdReplay_->savePcdFrame(pcdRecording_.nextFileName());
    if (!written.ok) {
        // Once: the recording ends here and the files written so far stay.
        endPcdRecording();
        const QString text = QString::fromStdString(written.error) + "\nThe PCD recording has ended.";
        QMetaObject::invokeMethod(
            this, [this, text] { QMessageBox::warning(this, "error", text, QMessageBox::Ok); }, Qt::QueuedConnection);
        return;
    }
    pcdRecording_.frameDone(pcdFrameCountField(), pcdStamp().toStdString());
    if (pcdRecording_.active()) {
        statusBar()->showMessage(tr("Recording PCD: %1 frames").arg(pcdRecording_.written()));
    } else {
        ui_.toolButton_SavePCDData->setChecked(false);
        statusBar()->showMessage(tr("PCD recording ended: %1 frames").arg(pcdRecording_.written()), 10000);
    }
}

// ---- Selection ----

void manwindow::buildTableModel() {
    auto* model = new QStandardItemModel(0, 5, this);
    model->setHorizontalHeaderLabels({"ID", "Points_m_XYZ", "Distance", "Azimuth", "Intensity"});
    QItemSelectionModel* oldSelection = ui_.tableView->selectionModel();
    QAbstractItemModel* oldModel = ui_.tableView->model();
    ui_.tableView->setModel(model);
    delete oldSelection;
    if (oldModel && oldModel->parent() == this) oldModel->deleteLater();
    tableModel_ = model;
    const int widths[5] = {40, 200, 80, 80, 80};
    for (int c = 0; c < 5; ++c) ui_.tableView->setColumnWidth(c, widths[c]);
}

void manwindow::setTableRow(int row, const std::array<std::string, 5>& texts) {
    if (!tableModel_) return;
    if (tableModel_->rowCount() <= row) tableModel_->setRowCount(row + 1);
    for (int c = 0; c < 5; ++c) {
        const QString text = QString::fromStdString(texts[std::size_t(c)]);
        if (QStandardItem* item = tableModel_->item(row, c)) item->setText(text);
        else tableModel_->setItem(row, c, new QStandardItem(text));
    }
}

// Only the rows from the scroll position to 30 below it are rewritten.
void manwindow::writeSelectedRows(const kv::FramePoints& points) {
    const int scroll = ui_.tableView->verticalScrollBar()->value();
    kv::forEachSelectedRow(points.selectedIndex.size(), pickedCount_, scroll, [&](int row, std::size_t k) {
        setTableRow(row, kv::pointRowTexts(kv::selectedRow(points, lastFrame_, k), kv::RowFormat::kSelected));
    });
}

void manwindow::SelectPoints() {
    filter_.box = kv::SelectionBox();
    filter_.selectionActive = false;
    readoutFlag_ = false;
    cloudView_->takeFocus();
    // The interactor style toggles its rubber band on the key x: it goes straight to the
    // view's interactor, whatever the keyboard layout.
    cloudView_->deliverKey('x');
    selectMode_ = !selectMode_;
    setCursor(selectMode_ ? Qt::CrossCursor : Qt::ArrowCursor);
}

void manwindow::handleAreaPick(const std::vector<int>& indices) {
    if (indices.empty()) return;
    const kv::AreaPick pick = kv::pickArea(framePoints_.displayed, indices);
    if (pick.count <= 0) return;  // nothing of the displayed cloud: still armed
    pickedCount_ = pick.count;
    cloudView_->showClicked(pick.points);
    filter_.box = pick.box;
    // The pick arrives inside the interactor's button handling: the keys that end the rubber
    // band follow once it is done, as keys from the input queue would.
    QTimer::singleShot(0, this, [this] {
        cloudView_->deliverKey('x');
        cloudView_->deliverKey('q');
    });
    buildTableModel();
    selectMode_ = false;
    setCursor(Qt::ArrowCursor);
    filter_.selectionActive = true;
    readoutFlag_ = true;
    const kv::PickListing listing = kv::listPicked(lastFrame_, geometry_, currentFilter(), filter_.box, pickedCount_);
    for (const auto& row : listing.rows) setTableRow(row.first, kv::pointRowTexts(row.second, kv::RowFormat::kAreaPick));
    updateStatistics(listing.stats);
}

void manwindow::SelectPointsRange() {
    const kv::SelectionBox& b = filter_.box;
    const double values[6] = {b.xMin, b.xMax, b.yMin, b.yMax, b.zMin, b.zMax};
    rangeDialog_->setValues(values);
    rangeDialog_->show();
}

void manwindow::changeSelectPointRange() {
    const double* v = rangeDialog_->values();
    filter_.box = {float(v[0]), float(v[1]), float(v[2]), float(v[3]), float(v[4]), float(v[5])};
}

void manwindow::clearSelection() {
    filter_.box = kv::SelectionBox();
    filter_.selectionActive = false;
    pickedCount_ = 0;
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
    if (!suspended_ && !(isPlaying() && isPaused())) {
        saveData_->show();
        return;
    }
    const QString name = QFileDialog::getSaveFileName(this, tr("Save CSV"), tr(defaultSingleCsvFileName().toUtf8().constData()),
                                                      QString(), nullptr, QFileDialog::DontUseNativeDialog);
    if (name.isEmpty()) return;
    exportSingleFrameTo(name);
}

bool manwindow::exportSingleFrameTo(const QString& fileName) {
    // A file of its own: a multi-frame export that is open goes on untouched.
    kv::csv::CsvFile file;
    bool ok = file.open(kv::fileNameBytes(fileName).toStdString(), kv::csv::Layout::kSingleFrame) &&
              file.writeFrame(lastFrame_, geometry_, kv::csv::RowFilter::singleFrame(filter_.selectionActive, filter_.box));
    ok = file.close() && ok;
    if (!ok) showFileError(QString::fromStdString(file.error()));
    return ok;
}

void manwindow::getSaveDataOkSignal(bool) {
    const QString name = QFileDialog::getSaveFileName(this, tr("Save CSV"), tr(defaultMultiCsvFileName().toUtf8().constData()),
                                                      QString(), nullptr, QFileDialog::DontUseNativeDialog);
    if (name.isEmpty()) return;
    startCsvExportTo(name);
}

bool manwindow::startCsvExportTo(const QString& fileName) {
    if (csvExporting_) endCsvExport();  // the file so far is kept
    if (!csvFile_->open(kv::fileNameBytes(fileName).toStdString(), kv::csv::Layout::kMultiFrame)) {
        showFileError(QString::fromStdString(csvFile_->error()));
        return false;
    }
    csvExporting_ = true;
    csvFrames_ = 0;
    showCsvStatus();
    return true;
}

void manwindow::endCsvExport() {
    if (!csvExporting_) return;
    csvExporting_ = false;
    const bool closed = csvFile_->close();
    showCsvStatus();
    if (!closed) showFileError(QString::fromStdString(csvFile_->error()));
}

void manwindow::csvExportStep(const MuchLidarData& frame) {
    ++csvFrames_;
    const kv::csv::SaveSelection& s = saveData_->selection();
    const kv::csv::RowFilter filter =
        kv::csv::RowFilter::multiFrame(s.minAngleDeg, s.maxAngleDeg, s.lineState, kv::appSettings().isProductionUsed,
                                       filter_.selectionActive, filter_.box);
    if (!csvFile_->writeFrame(frame, geometry_, filter, csvFrames_)) {
        // The file keeps every whole line written; the message waits until this frame is done.
        csvExporting_ = false;
        showCsvStatus();
        const QString text = QString::fromStdString(csvFile_->error());
        QTimer::singleShot(0, this, [this, text] { showFileError(text); });
        return;
    }
    if (csvFrames_ == s.frameCount) endCsvExport();
    else showCsvStatus();
}

void manwindow::showCsvStatus() {
    csvStatus_->setVisible(csvExporting_);
    csvEnd_->setVisible(csvExporting_);
    if (csvExporting_)
        csvStatus_->setText(QString("CSV export to %1: %2 frames")
                                .arg(QFile::decodeName(QByteArray::fromStdString(csvFile_->path())))
                                .arg(csvFrames_));
}

// ---- Receiver health readout ----

void manwindow::setUpHealthReadout() {
    healthMeter_ = std::make_unique<kv::HealthMeter>();
    healthDock_ = new QDockWidget("Receiver health", this);
    healthDock_->setObjectName("dockWidget_health");
    healthDock_->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    healthLabel_ = new QLabel(healthDock_);
    healthLabel_->setObjectName("label_health");
    healthLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    healthLabel_->setContentsMargins(6, 2, 6, 2);
    healthDock_->setWidget(healthLabel_);
    addDockWidget(Qt::BottomDockWidgetArea, healthDock_);

    // Over the still black view until the first press of "Lidar" (or a capture is opened).
    startHint_ = new QLabel(ui_.screen);
    startHint_->setObjectName("label_startHint");
    startHint_->setText(QString("Press Lidar to receive on port %1").arg(ui_.lineEdit_portNumber->text()));
    startHint_->setStyleSheet("QLabel { color: white; background: rgba(0, 0, 0, 160); padding: 10px; font-size: 16pt; }");
    startHint_->adjustSize();
    startHint_->move(20, 20);
    startHint_->show();
    connect(ui_.lineEdit_portNumber, &QLineEdit::textChanged, startHint_, [this](const QString& port) {
        startHint_->setText(QString("Press Lidar to receive on port %1").arg(port));
        startHint_->adjustSize();
    });

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
    c.packetsAccepted = getMuch_->packetsAccepted.load();
    c.framesHandled = framesHandled_;
    c.framesDrawn = framesDrawn_;
    c.rejectedWrongSize = getMuch_->datagramsRejected.load();
    c.statusRejectedWrongSize = getSet_->rejectedWrongSize.load();
    c.statusRejectedWrongHeader = getSet_->rejectedWrongHeader.load();
    c.kernelDrops = getMuch_->kernelDrops.load();
    c.framePointsDropped = getMuch_->framePointsDropped.load();
    c.receiveErrors = getMuch_->receiveErrors.load() + getSet_->receiveErrors.load();
    c.sourceIp = getMuch_->lastSourceIp.load();
    const std::int64_t lastStatus = getSet_->lastStatusSteadyMs.load();
    c.statusAgeMs = lastStatus != 0 ? std::max<std::int64_t>(now - lastStatus, 0) : -1;
    const kv::HealthReadout r = healthMeter_->sample(c, now);
    QString text;
    if (liveRunning_) {
        text = QString::fromStdString(r.text);
    } else if (replayControl_.replayActive() || store_) {
        text = QString("Capture replay | frames %1/s handled, %2/s drawn | frame bound drops %3")
                   .arg(r.framesHandledPerS, 0, 'f', 1)
                   .arg(r.framesDrawnPerS, 0, 'f', 1)
                   .arg(replay_->pointsDropped.load());
    } else {
        text = QString("Press Lidar to receive on port %1").arg(c.dataPort);
    }
    healthLabel_->setText(text);
    healthLabel_->setStyleSheet(liveRunning_ && r.stalled ? "QLabel { color: #b00000; font-weight: bold; }" : "");
}
