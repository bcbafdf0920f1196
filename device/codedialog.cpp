#include "codedialog.h"

#include <QCoreApplication>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialog_support.h"

CodeDialog::CodeDialog(QWidget* parent) : QDialog(parent) {
    setupUi();
    retranslateUi();
    connect(pushButton_ok, &QPushButton::clicked, this, &CodeDialog::onOKClick);
    connect(pushButton_cancel, &QPushButton::clicked, this, &CodeDialog::onCancelClick);
}

void CodeDialog::setupUi() {
    setObjectName("CodeDialog");
    setFixedSize(300, 180);
    setWindowIcon(kv::device::imageIcon("image/Sensor.png"));
    codelabel = new QLabel(this);
    codelabel->setObjectName("codelabel");
    codelabel->setGeometry(50, 43, 70, 31);
    lineEdit = new QLineEdit(this);
    lineEdit->setObjectName("lineEdit");
    lineEdit->setGeometry(120, 50, 133, 21);
    lineEdit->setEchoMode(QLineEdit::Password);
    pushButton_ok = new QPushButton(this);
    pushButton_ok->setObjectName("pushButton_ok");
    pushButton_ok->setGeometry(60, 100, 75, 23);
    pushButton_cancel = new QPushButton(this);
    pushButton_cancel->setObjectName("pushButton_cancel");
    pushButton_cancel->setGeometry(180, 100, 75, 23);
}

void CodeDialog::retranslateUi() {
    auto tr = [](const char* text) { return QCoreApplication::translate("CodeDialog", text); };
    setWindowTitle(tr("CodeDialog"));
    codelabel->setText(tr("<html><head/><body><p><span style=\" font-size:16pt; font-weight:600; "
                          "color:#000000;\">Code：</span></p></body></html>"));
    pushButton_ok->setText(tr("确定"));
    pushButton_cancel->setText(tr("取消"));
}

void CodeDialog::onOKClick() {
    const QString code = lineEdit->text();
    emit sendCode(code);
    lineEdit->clear();
    close();
}

void CodeDialog::onCancelClick() {
    lineEdit->clear();
    close();
}

void CodeDialog::hideEvent(QHideEvent* event) {
    // A spontaneous hide is the window system's (the window minimised with its parent): the
    // dialog is still open.
    if (!event->spontaneous()) lineEdit->clear();
    QDialog::hideEvent(event);
}
