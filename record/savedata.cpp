#include "savedata.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

SaveData::SaveData(int lineShowNumber, int lidarLineType, QWidget* parent)
    : QWidget(parent), sel_(lineShowNumber, lidarLineType) {
    setupUi();
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_QuitOnClose, false);  // closing the main window ends the program
    setFixedSize(390, 520);

    QTableWidget* t = tableWidget_laserselection;
    const int rows = sel_.linesInUse();
    t->setColumnCount(3);
    t->setRowCount(rows);
    t->verticalHeader()->hide();
    t->setSelectionBehavior(QAbstractItemView::SelectItems);
    t->setSelectionMode(QAbstractItemView::ExtendedSelection);
    t->setHorizontalHeaderLabels({" ", "Channel", "V_angle"});
    for (int i = 0; i < kv::kLineCount; ++i) {
        lineBoxes_[std::size_t(i)] = new QCheckBox(this);
        if (i >= rows) lineBoxes_[std::size_t(i)]->hide();
    }
    for (int i = 0; i < rows; ++i) {
        t->setCellWidget(i, 0, lineBoxes_[std::size_t(i)]);
        t->setItem(i, 1, new QTableWidgetItem(QString::number(i)));
        t->setItem(i, 2, new QTableWidgetItem("0"));
    }
    showChecks();
    checkBox->setChecked(true);
    if (sel_.lineCount() <= 1) checkBox->hide();

    connect(pushButton_Cancel, &QPushButton::clicked, this, &SaveData::onCancel_Clicked);
    connect(pushButton_OK, &QPushButton::clicked, this, &SaveData::onOk_Clicked);
    connect(checkBox, &QCheckBox::clicked, this, &SaveData::Checkstate);
    connect(pushButton_toggleselection, &QPushButton::clicked, this, &SaveData::Parity);
}

void SaveData::setupUi() {
    setObjectName("SaveData");
    resize(390, 520);
    auto* top = new QVBoxLayout(this);
    auto* frames = new QHBoxLayout();
    label_7 = new QLabel(this);
    label_7->setObjectName("label_7");
    lineEdit_DataFrameNum = new QLineEdit(this);
    lineEdit_DataFrameNum->setObjectName("lineEdit_DataFrameNum");
    frames->addWidget(label_7);
    frames->addWidget(lineEdit_DataFrameNum);
    top->addLayout(frames);

    groupBox_2 = new QGroupBox(this);
    groupBox_2->setObjectName("groupBox_2");
    auto* angles = new QGridLayout(groupBox_2);
    label = new QLabel(groupBox_2);
    label->setObjectName("label");
    lineEdit_MinAngle = new QLineEdit(groupBox_2);
    lineEdit_MinAngle->setObjectName("lineEdit_MinAngle");
    label_1 = new QLabel(groupBox_2);
    label_1->setObjectName("label_1");
    lineEdit_MaxAngle = new QLineEdit(groupBox_2);
    lineEdit_MaxAngle->setObjectName("lineEdit_MaxAngle");
    angles->addWidget(label, 0, 0);
    angles->addWidget(lineEdit_MinAngle, 0, 1);
    angles->addWidget(label_1, 1, 0);
    angles->addWidget(lineEdit_MaxAngle, 1, 1);
    top->addWidget(groupBox_2);

    groupBox = new QGroupBox(this);
    groupBox->setObjectName("groupBox");
    auto* lines = new QVBoxLayout(groupBox);
    auto* buttons = new QHBoxLayout();
    checkBox = new QCheckBox(groupBox);
    checkBox->setObjectName("checkBox");
    pushButton_toggleselection = new QPushButton(groupBox);
    pushButton_toggleselection->setObjectName("pushButton_toggleselection");
    buttons->addWidget(checkBox);
    buttons->addStretch(1);
    buttons->addWidget(pushButton_toggleselection);
    lines->addLayout(buttons);
    tableWidget_laserselection = new QTableWidget(groupBox);
    tableWidget_laserselection->setObjectName("tableWidget_laserselection");
    lines->addWidget(tableWidget_laserselection);
    top->addWidget(groupBox);

    auto* okRow = new QHBoxLayout();
    okRow->addStretch(1);
    pushButton_OK = new QPushButton(this);
    pushButton_OK->setObjectName("pushButton_OK");
    pushButton_Cancel = new QPushButton(this);
    pushButton_Cancel->setObjectName("pushButton_Cancel");
    okRow->addWidget(pushButton_OK);
    okRow->addWidget(pushButton_Cancel);
    okRow->addStretch(1);
    top->addLayout(okRow);
    retranslateUi();
}

void SaveData::retranslateUi() {
    auto tr = [](const char* s) { return QCoreApplication::translate("SaveData", s); };
    setWindowTitle(tr("SaveData"));
    label_7->setText(tr("SelectionDataFrameNumber:"));
    lineEdit_DataFrameNum->setText(tr("1"));
    groupBox_2->setTitle(tr("SelectionAngleRange"));
    label->setText(tr("MinAngle:"));
    lineEdit_MinAngle->setText(tr("0"));
    label_1->setText(tr("MaxAngle:"));
    lineEdit_MaxAngle->setText(tr("180"));
    groupBox->setTitle(tr("SelectionLidarLine"));
    checkBox->setText(tr("All/All no choice"));
    pushButton_toggleselection->setText(tr("Switch selection"));
    pushButton_OK->setText(tr("Ok"));
    pushButton_Cancel->setText(tr("Cancel"));
}

void SaveData::showChecks() {
    for (int i = 0; i < kv::kLineCount; ++i) lineBoxes_[std::size_t(i)]->setChecked(sel_.checked[std::size_t(i)]);
}

void SaveData::onCancel_Clicked() { close(); }

void SaveData::onOk_Clicked() {
    // The user may have clicked the boxes themselves.
    for (int i = 0; i < sel_.linesInUse(); ++i) sel_.checked[std::size_t(i)] = lineBoxes_[std::size_t(i)]->isChecked();
    // Text that is not a number gives 0, as the conversions do.
    sel_.confirm(lineEdit_DataFrameNum->text().toInt(nullptr, 10), lineEdit_MinAngle->text().toFloat(),
                 lineEdit_MaxAngle->text().toFloat());
    close();
    emit sendOkSignal(true);
}

void SaveData::Checkstate() {
    for (int i = 0; i < sel_.linesInUse(); ++i) sel_.checked[std::size_t(i)] = lineBoxes_[std::size_t(i)]->isChecked();
    sel_.checkstate();
    showChecks();
}

void SaveData::Parity() {
    for (int i = 0; i < sel_.linesInUse(); ++i) sel_.checked[std::size_t(i)] = lineBoxes_[std::size_t(i)]->isChecked();
    sel_.parity();
    showChecks();
}
