// The "SaveData" window: frames, angle range and lines of a multi-frame CSV export.
#pragma once

#include <QWidget>
#include <array>

#include "save_selection.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class SaveData : public QWidget {
    Q_OBJECT
public:
    SaveData(int lineShowNumber, int lidarLineType, QWidget* parent = nullptr);

    const kv::csv::SaveSelection& selection() const { return sel_; }
    QCheckBox* lineBox(int line) const { return lineBoxes_[std::size_t(line)]; }

    QLabel* label_7 = nullptr;
    QLineEdit* lineEdit_DataFrameNum = nullptr;
    QGroupBox* groupBox_2 = nullptr;
    QLabel* label = nullptr;
    QLineEdit* lineEdit_MinAngle = nullptr;
    QLabel* label_1 = nullptr;
    QLineEdit* lineEdit_MaxAngle = nullptr;
    QGroupBox* groupBox = nullptr;
    QCheckBox* checkBox = nullptr;
    QPushButton* pushButton_toggleselection = nullptr;
    QTableWidget* tableWidget_laserselection = nullptr;
    QPushButton* pushButton_OK = nullptr;
    QPushButton* pushButton_Cancel = nullptr;

signals:
    void sendOkSignal(bool finishFlag);

public slots:
    void onCancel_Clicked();
    void onOk_Clicked();
    void Checkstate();
    void Parity();

private:
    void setupUi();
    void retranslateUi();
    void showChecks();

    kv::csv::SaveSelection sel_;
    std::array<QCheckBox*, kv::kLineCount> lineBoxes_{};
};
