#include "qlaserselectionmuch.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

QLaserSelectionMuch::QLaserSelectionMuch(int rows, QWidget* parent) : QWidget(parent) {
    setupUi();
    rowCount = std::clamp(rows, 1, kLines);
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_QuitOnClose, false);  // closing the main window ends the program
    setFixedSize(390, 453);
    toggleFlag = false;

    for (int i = 0; i < kLines; ++i) {
        lineIndex[std::size_t(i)] = i;
        selected[std::size_t(i)] = 0;
        lineBoxes[std::size_t(i)] = new QCheckBox(this);
        lineBoxes[std::size_t(i)]->hide();
    }
    selected[0] = 1;
    lineBoxes[0]->setChecked(true);
    if (rowCount > 1) {
        for (int i = 0; i < rowCount; ++i) {
            selected[std::size_t(i)] = 1;
            lineBoxes[std::size_t(i)]->setChecked(true);
        }
    }
    if (rowCount <= 1) checkBox->hide();
    checkBox->setChecked(true);

    QTableWidget* t = tableWidget_laserselection;
    t->setColumnCount(3);
    t->setRowCount(rowCount);
    t->verticalHeader()->hide();
    t->setSelectionBehavior(QAbstractItemView::SelectItems);
    t->setSelectionMode(QAbstractItemView::ExtendedSelection);
    t->setHorizontalHeaderLabels({" ", "Channel", "V_angle"});
    for (int i = 0; i < rowCount; ++i) {
        lineBoxes[std::size_t(i)]->show();
        t->setCellWidget(i, 0, lineBoxes[std::size_t(i)]);
        t->setItem(i, 1, new QTableWidgetItem(QString::number(i)));
        t->setItem(i, 2, new QTableWidgetItem("0"));
    }

    connect(pushButton_Cancel, &QPushButton::clicked, this, &QLaserSelectionMuch::onCancel_Clicked);
    connect(pushButton_OK, &QPushButton::clicked, this, &QLaserSelectionMuch::onOk_Clicked);
    connect(checkBox, &QCheckBox::clicked, this, &QLaserSelectionMuch::Checkstate);
    connect(pushButton_toggleselection, &QPushButton::clicked, this, &QLaserSelectionMuch::Parity);
}

void QLaserSelectionMuch::setupUi() {
    setObjectName("QLaserSelectionMuch");
    resize(390, 453);
    setWindowIcon(QIcon("Resources/images/korvane.ico"));
    verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName("verticalLayout");
    verticalLayout->setSpacing(6);
    verticalLayout->setContentsMargins(11, 11, 11, 11);

    horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setObjectName("horizontalLayout_2");
    horizontalLayout_2->setSpacing(6);
    checkBox = new QCheckBox(this);
    checkBox->setObjectName("checkBox");
    horizontalLayout_2->addWidget(checkBox);
    horizontalLayout_2->addStretch(1);
    pushButton_toggleselection = new QPushButton(this);
    pushButton_toggleselection->setObjectName("pushButton_toggleselection");
    horizontalLayout_2->addWidget(pushButton_toggleselection);
    verticalLayout->addLayout(horizontalLayout_2);

    tableWidget_laserselection = new QTableWidget(this);
    tableWidget_laserselection->setObjectName("tableWidget_laserselection");
    verticalLayout->addWidget(tableWidget_laserselection);

    horizontalLayout = new QHBoxLayout();
    horizontalLayout->setObjectName("horizontalLayout");
    horizontalLayout->setSpacing(10);
    horizontalLayout->addStretch(1);
    pushButton_OK = new QPushButton(this);
    pushButton_OK->setObjectName("pushButton_OK");
    horizontalLayout->addWidget(pushButton_OK);
    pushButton_Cancel = new QPushButton(this);
    pushButton_Cancel->setObjectName("pushButton_Cancel");
    horizontalLayout->addWidget(pushButton_Cancel);
    horizontalLayout->addStretch(1);
    verticalLayout->addLayout(horizontalLayout);
    retranslateUi();
}

void QLaserSelectionMuch::retranslateUi() {
    auto tr = [](const char* s) { return QCoreApplication::translate("QLaserSelectionMuch", s); };
    setWindowTitle(tr("QLaserSelectionMuch"));
    checkBox->setText(tr("All/All no choice"));
    pushButton_toggleselection->setText(tr("Switch selection"));
    pushButton_OK->setText(tr("OK"));
    pushButton_Cancel->setText(tr("Cancel"));
}

bool QLaserSelectionMuch::isLineShown(int line) const {
    if (line < 0 || line >= kLines) return false;
    return selected[std::size_t(lineIndex[std::size_t(line)])] != 0;
}

void QLaserSelectionMuch::onOk_Clicked() {
    for (int i = 0; i < rowCount; ++i) selected[std::size_t(i)] = lineBoxes[std::size_t(i)]->isChecked() ? 1 : 0;
}

void QLaserSelectionMuch::onCancel_Clicked() { close(); }

void QLaserSelectionMuch::Checkstate() {
    const bool check = toggleFlag;  // first click unchecks all, the next checks all
    for (int i = 0; i < rowCount; ++i) lineBoxes[std::size_t(i)]->setChecked(check);
    toggleFlag = !toggleFlag;
}

void QLaserSelectionMuch::Parity() {
    lineBoxes[0]->setChecked(!toggleFlag);
    toggleFlag = !toggleFlag;
}
