#include "selectpointrange.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

SelectPointRange::SelectPointRange(QWidget* parent) : QWidget(parent) {
    setupUi();
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_QuitOnClose, false);
    connect(okButton, &QPushButton::clicked, this, &SelectPointRange::okButton_clicked);
    connect(cancelButton, &QPushButton::clicked, this, &SelectPointRange::cancelButton_clicked);
}

void SelectPointRange::setupUi() {
    setObjectName("SelectPointRange");
    resize(360, 170);
    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout();
    auto makeRow = [&](int row, const char* labelName, QLabel*& l, const char* minName, QLineEdit*& lo,
                       const char* maxName, QLineEdit*& hi) {
        l = new QLabel(this);
        l->setObjectName(labelName);
        lo = new QLineEdit(this);
        lo->setObjectName(minName);
        hi = new QLineEdit(this);
        hi->setObjectName(maxName);
        grid->addWidget(l, row, 0);
        grid->addWidget(lo, row, 1);
        grid->addWidget(hi, row, 2);
    };
    makeRow(0, "label_X", label_X, "lineEdit_Xmin", lineEdit_Xmin, "lineEdit_Xmax", lineEdit_Xmax);
    makeRow(1, "label_Y", label_Y, "lineEdit_Ymin", lineEdit_Ymin, "lineEdit_Ymax", lineEdit_Ymax);
    makeRow(2, "label_Z", label_Z, "lineEdit_Zmin", lineEdit_Zmin, "lineEdit_Zmax", lineEdit_Zmax);
    top->addLayout(grid);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    okButton = new QPushButton(this);
    okButton->setObjectName("okButton");
    buttons->addWidget(okButton);
    buttons->addStretch(1);
    cancelButton = new QPushButton(this);
    cancelButton->setObjectName("cancelButton");
    buttons->addWidget(cancelButton);
    buttons->addStretch(1);
    top->addLayout(buttons);
    retranslateUi();
}

void SelectPointRange::retranslateUi() {
    auto tr = [](const char* s) { return QCoreApplication::translate("SelectPointRange", s); };
    setWindowTitle(tr("SelectPointRange"));
    label_X->setText(tr("选取 X 的范围："));
    label_Y->setText(tr("选取 Y 的范围："));
    label_Z->setText(tr("选取 Z 的范围："));
    okButton->setText(tr("OK"));
    cancelButton->setText(tr("Cancel"));
}

QLineEdit* SelectPointRange::field(int i) const {
    QLineEdit* const fields[6] = {lineEdit_Xmin, lineEdit_Xmax, lineEdit_Ymin, lineEdit_Ymax, lineEdit_Zmin, lineEdit_Zmax};
    return fields[i];
}

void SelectPointRange::setValues(const double values[6]) {
    for (int i = 0; i < 6; ++i) {
        values_[i] = values[i];
        field(i)->setText(QString::number(values[i], 'g', 6));
    }
}

void SelectPointRange::okButton_clicked() {
    for (int i = 0; i < 6; ++i) values_[i] = field(i)->text().toDouble();  // 0 for text that is not a number
    emit sendOkCliced();
}

void SelectPointRange::cancelButton_clicked() { close(); }
