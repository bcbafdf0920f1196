#include "manwindow.h"

#include <QApplication>
#include <algorithm>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QHeaderView>
#include <QMessageBox>
#include <QPalette>
#include <QStandardItemModel>

#include "cloud_view.h"
#include "getmuch.h"
#include "getset.h"
#include "qlaserselectionmuch.h"
#include "settings.h"

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

// The project's page: its README, beside the program or at the top of the source tree.
QLabel* projectLinkLabel(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName("label_projectLink");
    const QDir bin(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {bin.filePath("README.md"), bin.filePath("../../README.md")}) {
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

    getMuch_ = new GetMuch(this);
    getMuch_->productionMode = settings.isProductionUsed;
    getSet_ = new GetSet(this);
    laserSelection_ = new QLaserSelectionMuch(settings.LineShowNumber);

    geometry_ = kv::BeamGeometry::forLineType(settings.LidarLineType);
    refreshTitle();

    cloudView_ = std::make_unique<kv::CloudView>(ui_.screen);
    labelY_ = statusLabel(this);
    labelY_->setObjectName("label_Y");
    labelX_ = statusLabel(this);
    labelX_->setObjectName("label_X");
    labelZ_ = statusLabel(this);
    labelZ_->setObjectName("label_Z");
    ui_.statusBar->addWidget(labelY_);
    ui_.statusBar->addWidget(statusLabel(this, 100, 20));
    ui_.statusBar->addWidget(labelX_);
    ui_.statusBar->addWidget(statusLabel(this, 10, 20));
    ui_.statusBar->addWidget(labelZ_);
    ui_.statusBar->addPermanentWidget(projectLinkLabel(this));
    cloudView_->setKeyPressHandler([this](char key) { handleViewKey(key); });

    connect(ui_.toolButton_Lidar, &QToolButton::clicked, this, &manwindow::startReception);
    connect(ui_.tolbtn_SuspendData, &QToolButton::clicked, this, &manwindow::toggleSuspend);
    connect(ui_.toolButton_LidarDataList, &QToolButton::clicked, this, &manwindow::toggleDataList);
    connect(ui_.toolButton_Coor, &QToolButton::clicked, this, &manwindow::toggleCoordinate);
    connect(ui_.toolButton_MeaGrid, &QToolButton::clicked, this, &manwindow::toggleGrid);
    connect(ui_.toolButton_3, &QToolButton::clicked, laserSelection_, &QWidget::show);
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
}

manwindow::~manwindow() {
    stopReceivers();
    delete laserSelection_;
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

    ui_.toolButton_Play->setEnabled(false);
    liveRunning_ = true;
    getMuch_->multicastAddress = ui_.lineEdit_2->text().toStdString();
    getSet_->multicastAddress = getMuch_->multicastAddress;
    getMuch_->dataPort = ui_.lineEdit_portNumber->text().toInt(nullptr, 10);
    getSet_->equipPort = ui_.lineEdit_portNumber_2->text().toInt(nullptr, 10);

    connect(getMuch_, SIGNAL(SendLidarData(MuchLidarData)), this, SLOT(CalculateMuch(MuchLidarData)),
            Qt::UniqueConnection);
    connect(getMuch_, SIGNAL(SendError(QString)), this, SLOT(showErrorMessage(QString)), Qt::UniqueConnection);
    connect(getSet_, SIGNAL(SendError(QString)), this, SLOT(showErrorMessage(QString)), Qt::UniqueConnection);
    getMuch_->start();
    getSet_->start();
}

void manwindow::toggleSuspend() { suspended_ = !suspended_; }

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
    echoIndex_ = index;
    getMuch_->echoMode = index;
}

void manwindow::CalculateMuch(MuchLidarData lidardata) {
    ++framesHandled_;
    modelLabel_ = kv::modelLabel(kv::appSettings().LidarLineType, EchoFlag.load(std::memory_order_relaxed));
    refreshTitle();
    if (suspended_) return;
    lastFrame_ = std::move(lidardata);

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
    kv::computeFramePoints(lastFrame_, geometry_, currentFilter(), framePoints_);
    writePointTable(framePoints_);
    updateStatistics(framePoints_.stats);
    cloudView_->presentFrame(framePoints_.displayed, framePoints_.selected, pointSize_);
    if (readoutFlag_) lastReadout_ = QString::fromStdString(cloudView_->runCursorReadout());
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
