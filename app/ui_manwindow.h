// The main window's form: creates and names every widget (setupUi) and sets every visible
// text under the "manwindowClass" context (retranslateUi).
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

class QVTKOpenGLNativeWidget;

namespace Ui {

class manwindowClass {
public:
    QWidget* centralWidget = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QTabWidget* tabWidget = nullptr;

    // "Lidar"
    QWidget* tab_Lidar = nullptr;
    QToolButton* toolButton_Lidar = nullptr;
    QToolButton* toolButton_MeaGrid = nullptr;
    QToolButton* toolButton_select = nullptr;
    QToolButton* tolbtn_SuspendData = nullptr;
    QToolButton* toolButton_select_Range = nullptr;
    QToolButton* toolButton_clear = nullptr;
    QToolButton* toolButton_Coor = nullptr;
    QToolButton* toolButton_LidarDataList = nullptr;
    QComboBox* comboBox_View = nullptr;
    QLabel* label_portNumber = nullptr;
    QLineEdit* lineEdit_portNumber = nullptr;
    QLabel* label_portNumber_2 = nullptr;
    QLineEdit* lineEdit_portNumber_2 = nullptr;
    QLabel* label_2 = nullptr;
    QLineEdit* lineEdit_2 = nullptr;
    // The tab's second row: tools of the view.
    QHBoxLayout* viewToolsRow = nullptr;
    QToolButton* toolButton_Legend = nullptr;
    QToolButton* toolButton_Snapshot = nullptr;
    QToolButton* toolButton_Measure = nullptr;
    QLabel* label_FramesShown = nullptr;
    QSpinBox* spinBox_FramesShown = nullptr;

    // "offLine"
    QWidget* tab_offLine = nullptr;
    QToolButton* toolButton_Open = nullptr;
    QToolButton* toolButton_Close = nullptr;
    QToolButton* toolButton_GoToStart = nullptr;
    QToolButton* toolButton_SeekBackward = nullptr;
    QToolButton* toolButton_Play = nullptr;
    QToolButton* toolButton_SeekForward = nullptr;
    QToolButton* toolButton_GoToEnd = nullptr;
    QToolButton* toolButton_SavePcapData = nullptr;
    QSlider* Slider_Frame = nullptr;
    QSpinBox* Spbox_Frame = nullptr;
    QLabel* label_Frame_Count = nullptr;  // "frame/total" beside the frame box
    QCheckBox* checkBox_round = nullptr;

    // "OffLinePCD"
    QWidget* tab_OffLinePCD = nullptr;
    QToolButton* toolButton_OpenPCD = nullptr;
    QToolButton* toolButton_SeekBackward_PCD = nullptr;
    QToolButton* toolButton_Play_PCD = nullptr;
    QToolButton* toolButton_SeekForward_PCD = nullptr;
    QToolButton* toolButton_GoToEnd_PCD = nullptr;
    QToolButton* toolButton_SavePCDData = nullptr;
    QLineEdit* lineEdit_SavePCD_Num = nullptr;
    QSlider* Slider_Frame_PCD = nullptr;
    QLabel* label_PCD_Count = nullptr;
    QCheckBox* checkBox_round_PCD = nullptr;

    // "ZQ09A"
    QWidget* tab_ZQ09A = nullptr;
    QToolButton* toolButton = nullptr;
    QToolButton* toolButton_2 = nullptr;
    QToolButton* toolButton_3 = nullptr;
    QToolButton* toolButton_4 = nullptr;
    QComboBox* comboBox_EchoSelection = nullptr;
    QComboBox* comboBox_4 = nullptr;
    QLabel* label = nullptr;
    QDoubleSpinBox* doubleSpinBox_minAngle = nullptr;
    QDoubleSpinBox* doubleSpinBox_maxAngle = nullptr;

    // "Help"
    QWidget* tab_Help = nullptr;
    QToolButton* toolButton_About = nullptr;
    QToolButton* toolButton_User = nullptr;
    QToolButton* toolButton_Develop = nullptr;

    QSplitter* splitter = nullptr;
    QDockWidget* LidraDataDock = nullptr;
    QWidget* dockWidgetContents = nullptr;
    QTableView* tableView = nullptr;
    QVTKOpenGLNativeWidget* screen = nullptr;
    QStatusBar* statusBar = nullptr;

    void setupUi(QMainWindow* manwindowClass);
    void retranslateUi(QMainWindow* manwindowClass);
};

}  // namespace Ui
