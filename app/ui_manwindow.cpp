#include "ui_manwindow.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QVTKOpenGLNativeWidget.h>

#include "trail.h"

namespace Ui {

namespace {

QIcon resourceIcon(const char* file) { return QIcon(QString(":/image/Resources/images/") + file); }

QToolButton* makeToolButton(QWidget* parent, QHBoxLayout* row, const char* name, const char* iconFile = nullptr) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setIconSize(QSize(32, 32));
    b->setMinimumWidth(64);
    if (iconFile) b->setIcon(resourceIcon(iconFile));
    row->addWidget(b);
    return b;
}

QHBoxLayout* tabRow(QWidget* tab) {
    auto* row = new QHBoxLayout(tab);
    row->setSpacing(6);
    row->setContentsMargins(6, 2, 6, 2);
    return row;
}

// A button of a row of view tools: a smaller icon with its text beside it.
QToolButton* makeRowToolButton(QWidget* parent, QHBoxLayout* row, const char* name, const char* iconFile) {
    QToolButton* b = makeToolButton(parent, row, name, iconFile);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setIconSize(QSize(20, 20));
    b->setMinimumWidth(0);
    return b;
}

template <class W>
W* named(W* w, const char* name) {
    w->setObjectName(name);
    return w;
}

}  // namespace

void manwindowClass::setupUi(QMainWindow* w) {
    if (w->objectName().isEmpty()) w->setObjectName("manwindowClass");
    w->resize(1280, 860);
    w->setWindowIcon(resourceIcon("korvane.ico"));

    centralWidget = named(new QWidget(w), "centralWidget");
    verticalLayout = new QVBoxLayout(centralWidget);
    verticalLayout->setObjectName("verticalLayout");
    verticalLayout->setSpacing(4);
    verticalLayout->setContentsMargins(4, 4, 4, 4);

    tabWidget = named(new QTabWidget(centralWidget), "tabWidget");
    tabWidget->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    // Lidar
    tab_Lidar = named(new QWidget(), "tab_Lidar");
    {
        auto* rows = new QVBoxLayout(tab_Lidar);
        rows->setSpacing(0);
        rows->setContentsMargins(0, 0, 0, 0);
        auto* row = new QHBoxLayout();
        row->setSpacing(6);
        row->setContentsMargins(6, 2, 6, 2);
        rows->addLayout(row);
        toolButton_Lidar = makeToolButton(tab_Lidar, row, "toolButton_Lidar", "Lidar.png");
        toolButton_MeaGrid = makeToolButton(tab_Lidar, row, "toolButton_MeaGrid", "Grid.png");
        toolButton_select = makeToolButton(tab_Lidar, row, "toolButton_select", "select.png");
        tolbtn_SuspendData = makeToolButton(tab_Lidar, row, "tolbtn_SuspendData", "Red.png");
        toolButton_select_Range = makeToolButton(tab_Lidar, row, "toolButton_select_Range", "SelectRange.png");
        toolButton_clear = makeToolButton(tab_Lidar, row, "toolButton_clear", "clear.png");
        toolButton_Coor = makeToolButton(tab_Lidar, row, "toolButton_Coor", "Coordinate.png");
        toolButton_LidarDataList = makeToolButton(tab_Lidar, row, "toolButton_LidarDataList", "LidarDataList.png");
        comboBox_View = named(new QComboBox(tab_Lidar), "comboBox_View");
        comboBox_View->setEditable(true);
        comboBox_View->addItem(resourceIcon("zhengshi.png"), QString());
        comboBox_View->addItem(resourceIcon("fushi.png"), QString());
        comboBox_View->addItem(resourceIcon("zuoshi.png"), QString());
        comboBox_View->setMinimumWidth(90);
        row->addWidget(comboBox_View);
        label_portNumber = named(new QLabel(tab_Lidar), "label_portNumber");
        row->addWidget(label_portNumber);
        lineEdit_portNumber = named(new QLineEdit(tab_Lidar), "lineEdit_portNumber");
        lineEdit_portNumber->setMaximumWidth(70);
        row->addWidget(lineEdit_portNumber);
        label_portNumber_2 = named(new QLabel(tab_Lidar), "label_portNumber_2");
        row->addWidget(label_portNumber_2);
        lineEdit_portNumber_2 = named(new QLineEdit(tab_Lidar), "lineEdit_portNumber_2");
        lineEdit_portNumber_2->setMaximumWidth(70);
        row->addWidget(lineEdit_portNumber_2);
        label_2 = named(new QLabel(tab_Lidar), "label_2");
        row->addWidget(label_2);
        lineEdit_2 = named(new QLineEdit(tab_Lidar), "lineEdit_2");
        lineEdit_2->setMaximumWidth(120);
        row->addWidget(lineEdit_2);
        row->addStretch(1);

        viewToolsRow = new QHBoxLayout();
        viewToolsRow->setObjectName("viewToolsRow");
        viewToolsRow->setSpacing(6);
        viewToolsRow->setContentsMargins(6, 0, 6, 2);
        rows->addLayout(viewToolsRow);
        toolButton_Legend = makeRowToolButton(tab_Lidar, viewToolsRow, "toolButton_Legend", "Legend.png");
        toolButton_Legend->setCheckable(true);
        toolButton_Legend->setChecked(true);
        toolButton_Snapshot = makeRowToolButton(tab_Lidar, viewToolsRow, "toolButton_Snapshot", "Snapshot.png");
        toolButton_Measure = makeRowToolButton(tab_Lidar, viewToolsRow, "toolButton_Measure", "Measure.png");
        toolButton_Measure->setCheckable(true);
        label_FramesShown = named(new QLabel(tab_Lidar), "label_FramesShown");
        viewToolsRow->addWidget(label_FramesShown);
        spinBox_FramesShown = named(new QSpinBox(tab_Lidar), "spinBox_FramesShown");
        spinBox_FramesShown->setRange(kv::kTrailMin, kv::kTrailMax);
        spinBox_FramesShown->setValue(kv::kTrailMin);
        viewToolsRow->addWidget(spinBox_FramesShown);
        label_FramesShown->setBuddy(spinBox_FramesShown);
        viewToolsRow->addStretch(1);
    }
    tabWidget->addTab(tab_Lidar, QString());

    // offLine
    tab_offLine = named(new QWidget(), "tab_offLine");
    {
        QHBoxLayout* row = tabRow(tab_offLine);
        toolButton_Open = makeToolButton(tab_offLine, row, "toolButton_Open", "OpenCaptureFile.png");
        toolButton_Close = makeToolButton(tab_offLine, row, "toolButton_Close", "CloseCapture.png");
        toolButton_GoToStart = makeToolButton(tab_offLine, row, "toolButton_GoToStart", "Gotostart.png");
        toolButton_SeekBackward = makeToolButton(tab_offLine, row, "toolButton_SeekBackward", "Seekbackward.png");
        toolButton_Play = makeToolButton(tab_offLine, row, "toolButton_Play", "Play.png");
        toolButton_SeekForward = makeToolButton(tab_offLine, row, "toolButton_SeekForward", "Seekforward.png");
        toolButton_GoToEnd = makeToolButton(tab_offLine, row, "toolButton_GoToEnd", "StopRewind.png");
        toolButton_SavePcapData = makeToolButton(tab_offLine, row, "toolButton_SavePcapData", "Record.png");
        Slider_Frame = named(new QSlider(Qt::Horizontal, tab_offLine), "Slider_Frame");
        Slider_Frame->setMinimumWidth(240);
        row->addWidget(Slider_Frame);
        Spbox_Frame = named(new QSpinBox(tab_offLine), "Spbox_Frame");
        row->addWidget(Spbox_Frame);
        label_Frame_Count = named(new QLabel(tab_offLine), "label_Frame_Count");
        row->addWidget(label_Frame_Count);
        checkBox_round = named(new QCheckBox(tab_offLine), "checkBox_round");
        row->addWidget(checkBox_round);
        row->addStretch(1);
    }
    tabWidget->addTab(tab_offLine, QString());

    // OffLinePCD
    tab_OffLinePCD = named(new QWidget(), "tab_OffLinePCD");
    {
        QHBoxLayout* row = tabRow(tab_OffLinePCD);
        toolButton_OpenPCD = makeToolButton(tab_OffLinePCD, row, "toolButton_OpenPCD", "OpenCaptureFile.png");
        toolButton_SeekBackward_PCD = makeToolButton(tab_OffLinePCD, row, "toolButton_SeekBackward_PCD", "Seekbackward.png");
        toolButton_Play_PCD = makeToolButton(tab_OffLinePCD, row, "toolButton_Play_PCD", "Play.png");
        toolButton_SeekForward_PCD = makeToolButton(tab_OffLinePCD, row, "toolButton_SeekForward_PCD", "Seekforward.png");
        toolButton_GoToEnd_PCD = makeToolButton(tab_OffLinePCD, row, "toolButton_GoToEnd_PCD", "Gotostop.png");
        toolButton_SavePCDData = makeToolButton(tab_OffLinePCD, row, "toolButton_SavePCDData", "Record.png");
        lineEdit_SavePCD_Num = named(new QLineEdit(tab_OffLinePCD), "lineEdit_SavePCD_Num");
        lineEdit_SavePCD_Num->setMaximumWidth(60);
        row->addWidget(lineEdit_SavePCD_Num);
        Slider_Frame_PCD = named(new QSlider(Qt::Horizontal, tab_OffLinePCD), "Slider_Frame_PCD");
        Slider_Frame_PCD->setMinimumWidth(240);
        row->addWidget(Slider_Frame_PCD);
        label_PCD_Count = named(new QLabel(tab_OffLinePCD), "label_PCD_Count");
        row->addWidget(label_PCD_Count);
        checkBox_round_PCD = named(new QCheckBox(tab_OffLinePCD), "checkBox_round_PCD");
        row->addWidget(checkBox_round_PCD);
        row->addStretch(1);
    }
    tabWidget->addTab(tab_OffLinePCD, QString());

    // ZQ09A
    tab_ZQ09A = named(new QWidget(), "tab_ZQ09A");
    {
        QHBoxLayout* row = tabRow(tab_ZQ09A);
        toolButton = makeToolButton(tab_ZQ09A, row, "toolButton", "InteractionSetUp.png");
        toolButton_2 = makeToolButton(tab_ZQ09A, row, "toolButton_2", "AdvancedSetting.png");
        toolButton_3 = makeToolButton(tab_ZQ09A, row, "toolButton_3", "Chanel.png");
        toolButton_4 = makeToolButton(tab_ZQ09A, row, "toolButton_4", "Csv.png");
        comboBox_EchoSelection = named(new QComboBox(tab_ZQ09A), "comboBox_EchoSelection");
        comboBox_EchoSelection->setEditable(true);
        comboBox_EchoSelection->setDuplicatesEnabled(false);
        for (int i = 0; i < 3; ++i) comboBox_EchoSelection->addItem(QString());
        row->addWidget(comboBox_EchoSelection);
        comboBox_4 = named(new QComboBox(tab_ZQ09A), "comboBox_4");
        comboBox_4->setEditable(true);
        for (int i = 0; i < 6; ++i) comboBox_4->addItem(QString());
        row->addWidget(comboBox_4);
        label = named(new QLabel(tab_ZQ09A), "label");
        row->addWidget(label);
        doubleSpinBox_minAngle = named(new QDoubleSpinBox(tab_ZQ09A), "doubleSpinBox_minAngle");
        doubleSpinBox_minAngle->setRange(0, 180);
        doubleSpinBox_minAngle->setValue(0);
        row->addWidget(doubleSpinBox_minAngle);
        doubleSpinBox_maxAngle = named(new QDoubleSpinBox(tab_ZQ09A), "doubleSpinBox_maxAngle");
        doubleSpinBox_maxAngle->setRange(0, 180);
        doubleSpinBox_maxAngle->setValue(180);
        row->addWidget(doubleSpinBox_maxAngle);
        row->addStretch(1);
    }
    tabWidget->addTab(tab_ZQ09A, QString());

    // Help
    tab_Help = named(new QWidget(), "tab_Help");
    {
        QHBoxLayout* row = tabRow(tab_Help);
        toolButton_About = makeToolButton(tab_Help, row, "toolButton_About", "About.png");
        toolButton_User = makeToolButton(tab_Help, row, "toolButton_User", "User.png");
        toolButton_Develop = makeToolButton(tab_Help, row, "toolButton_Develop", "Develop.png");
        row->addStretch(1);
    }
    tabWidget->addTab(tab_Help, QString());
    verticalLayout->addWidget(tabWidget);

    splitter = named(new QSplitter(Qt::Horizontal, centralWidget), "splitter");
    splitter->setHandleWidth(2);
    LidraDataDock = named(new QDockWidget(splitter), "LidraDataDock");
    LidraDataDock->setFloating(false);
    dockWidgetContents = named(new QWidget(), "dockWidgetContents");
    auto* dockLayout = new QVBoxLayout(dockWidgetContents);
    dockLayout->setContentsMargins(0, 0, 0, 0);
    tableView = named(new QTableView(dockWidgetContents), "tableView");
    dockLayout->addWidget(tableView);
    LidraDataDock->setWidget(dockWidgetContents);
    splitter->addWidget(LidraDataDock);
    screen = named(new QVTKOpenGLNativeWidget(splitter), "screen");
    screen->setFocusPolicy(Qt::ClickFocus);
    screen->setAutoFillBackground(true);
    splitter->addWidget(screen);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({520, 760});
    verticalLayout->addWidget(splitter, 1);

    w->setCentralWidget(centralWidget);
    statusBar = named(new QStatusBar(w), "statusBar");
    w->setStatusBar(statusBar);

    retranslateUi(w);
    tabWidget->setCurrentIndex(0);
}

void manwindowClass::retranslateUi(QMainWindow* w) {
    auto tr = [](const char* text) { return QCoreApplication::translate("manwindowClass", text); };
    w->setWindowTitle(tr("VX 1 Viewer"));
    toolButton_Lidar->setText(tr("Lidar"));
    toolButton_MeaGrid->setText(tr("MeaGrid"));
    toolButton_select->setText(tr("Select"));
    tolbtn_SuspendData->setText(tr("Suspend Data"));
    toolButton_select_Range->setText(tr("SelectRange"));
    toolButton_clear->setText(tr("Clear"));
    toolButton_Coor->setText(tr("Coordinate"));
    toolButton_LidarDataList->setText(tr("LidarDataList"));
    toolButton_Legend->setText(tr("Legend"));
    toolButton_Legend->setToolTip(tr("Show or hide the colour bar of the colour mode in the view"));
    toolButton_Snapshot->setText(tr("Snapshot"));
    toolButton_Snapshot->setToolTip(tr("Save the view, with its colour bar, as a PNG picture"));
    comboBox_View->setItemText(0, tr("Front"));
    comboBox_View->setItemText(1, tr("Top"));
    comboBox_View->setItemText(2, tr("Left"));
    label_portNumber->setText(tr("  Data Port:"));
    lineEdit_portNumber->setText(tr("2368"));
    label_portNumber_2->setText(tr("  Telemetry Port\uff1a"));
    lineEdit_portNumber_2->setText(tr("2369"));
    label_2->setText(tr(" Multicast IP:"));
    lineEdit_2->setText(tr("224.1.1.1"));
    toolButton_Measure->setText(tr("Measure"));
    toolButton_Measure->setToolTip(
        tr("Measure: click two points in the view for their distance, height difference and horizontal angle; "
           "press again to remove the ruler"));
    label_FramesShown->setText(tr("Frames shown"));
    spinBox_FramesShown->setToolTip(tr("How many of the last frames the view draws together (1: the current frame only)"));
    tabWidget->setTabText(tabWidget->indexOf(tab_Lidar), tr("Lidar"));

    toolButton_Open->setText(tr("Open"));
    toolButton_Close->setText(tr("Close"));
    toolButton_SavePcapData->setText(tr("Record"));
    checkBox_round->setText(tr("isLooping "));
    label_Frame_Count->setText(tr("0/0"));
    toolButton_Open->setToolTip(tr("Open a capture file to replay"));
    toolButton_Close->setToolTip(tr("Close the capture: its replay ends, and Lidar and the PCD replay are free again"));
    toolButton_GoToStart->setToolTip(tr("Back to the first frame, paused there"));
    toolButton_SeekBackward->setToolTip(tr("Paused: one frame back. Playing: play backwards, faster at each press"));
    toolButton_Play->setToolTip(tr("Play or pause the replay"));
    toolButton_SeekForward->setToolTip(tr("Paused: one frame forward. Playing: faster at each press"));
    toolButton_GoToEnd->setToolTip(tr("Stop and rewind: back to the first frame, shown and waiting for Play"));
    toolButton_SavePcapData->setToolTip(tr("Record the data port's traffic into a capture file; press again to stop"));
    Spbox_Frame->setToolTip(tr("Frame: type a number and press Enter to go there"));
    tabWidget->setTabText(tabWidget->indexOf(tab_offLine), tr("offLine"));

    toolButton_OpenPCD->setText(tr("OpenPCD"));
    toolButton_SavePCDData->setText(tr("RecordPCD"));
    lineEdit_SavePCD_Num->setText(tr("1"));
    label_PCD_Count->setText(tr("0/0"));
    checkBox_round_PCD->setText(tr("isLooping "));
    toolButton_OpenPCD->setToolTip(tr("Open a folder of PCD files to replay"));
    toolButton_SeekBackward_PCD->setToolTip(tr("Paused: one cloud back. Playing: play backwards, faster at each press"));
    toolButton_Play_PCD->setToolTip(tr("Play or pause the PCD replay"));
    toolButton_SeekForward_PCD->setToolTip(tr("Paused: one cloud forward. Playing: faster at each press"));
    toolButton_GoToEnd_PCD->setToolTip(tr("Stop the PCD replay"));
    toolButton_SavePCDData->setToolTip(tr("Write the next frames as PCD files, as many as the count beside it"));
    tabWidget->setTabText(tabWidget->indexOf(tab_OffLinePCD), tr("OffLinePCD"));

    toolButton->setText(tr("Parameter"));
    toolButton_2->setText(tr("Distance"));
    toolButton_3->setText(tr("Chanel"));
    toolButton_4->setText(tr("SaveData"));
    comboBox_EchoSelection->setItemText(0, tr("DualEcho"));
    comboBox_EchoSelection->setItemText(1, tr("FirstEcho"));
    comboBox_EchoSelection->setItemText(2, tr("SecondEcho"));
    comboBox_4->setItemText(0, tr("Intensity"));
    comboBox_4->setItemText(1, tr("Solid"));
    comboBox_4->setItemText(2, tr("Elevation"));
    comboBox_4->setItemText(3, tr("Azimuth"));
    comboBox_4->setItemText(4, tr("LaserID"));
    comboBox_4->setItemText(5, tr("Sensor"));
    label->setText(tr("Horizontal Angle range\uff1a"));
    tabWidget->setTabText(tabWidget->indexOf(tab_ZQ09A), tr("ZQ09A"));

    toolButton_About->setText(tr("About"));
    toolButton_User->setText(tr("UserGuide"));
    toolButton_Develop->setText(tr("Develop"));
    tabWidget->setTabText(tabWidget->indexOf(tab_Help), tr("Help"));

    LidraDataDock->setWindowTitle(tr("LidarData"));
}

}  // namespace Ui
