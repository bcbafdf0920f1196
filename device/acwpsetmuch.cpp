#include "acwpsetmuch.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "capture_device.h"
#include "dialog_support.h"
#include "file_names.h"
#include "hex_dump.h"
#include "udp_socket.h"

namespace st = kv::statuspkt;
namespace cap = kv::statuscapture;

ACWPSetMuch::ACWPSetMuch(QWidget* parent) : QDialog(parent) {
    kv::registerStatusMetaTypes();
    setupUi();
    retranslateUi();
    pushButton_Refreshlidar->hide();
    pushButton_OK->hide();
    pushButton_Cancel->hide();
    connect(pushButton_SaveSettingfile, &QPushButton::clicked, this, &ACWPSetMuch::onSaveSettingFile);
    connect(pushButton_RecoverSetting, &QPushButton::clicked, this, &ACWPSetMuch::onRecoverSetting);
}

void ACWPSetMuch::setupUi() {
    setObjectName("ACWPSetMuch");
    resize(539, 364);
    setWindowIcon(kv::device::imageIcon("Resources/images/korvane.ico"));
    auto* top = new QVBoxLayout(this);
    groupBox_NumberSetting = new QGroupBox(this);
    groupBox_NumberSetting->setObjectName("groupBox_NumberSetting");
    auto* grid = new QGridLayout(groupBox_NumberSetting);
    struct Row {
        QLabel** label;
        const char* labelName;
        QLineEdit** edit;
        const char* editName;
    } rows[] = {
        {&label_SerialNumber, "label_SerialNumber", &lineEdit_SerialNumber, "lineEdit_SerialNumber"},
        {&label_VersionNumber, "label_VersionNumber", &lineEdit_Version, "lineEdit_Version"},
        {&label_rangeselector, "label_rangeselector", &lineEdit_rangeselector, "lineEdit_rangeselector"},
        {&label__DestIP, "label__DestIP", &lineEdit_DestIP, "lineEdit_DestIP"},
        {&label_DestPort, "label_DestPort", &lineEdit_DestPort, "lineEdit_DestPort"},
    };
    int r = 0;
    for (const Row& row : rows) {
        *row.label = new QLabel(groupBox_NumberSetting);
        (*row.label)->setObjectName(row.labelName);
        *row.edit = new QLineEdit(groupBox_NumberSetting);
        (*row.edit)->setObjectName(row.editName);
        grid->addWidget(*row.label, r, 0);
        grid->addWidget(*row.edit, r, 1);
        ++r;
    }
    top->addWidget(groupBox_NumberSetting);

    auto button = [this](const char* name) {
        auto* b = new QPushButton(this);
        b->setObjectName(name);
        return b;
    };
    auto* actions = new QHBoxLayout();
    pushButton_SaveSettingfile = button("pushButton_SaveSettingfile");
    pushButton_RecoverSetting = button("pushButton_RecoverSetting");
    actions->addWidget(pushButton_SaveSettingfile);
    actions->addWidget(pushButton_RecoverSetting);
    top->addLayout(actions);
    auto* hidden = new QHBoxLayout();
    pushButton_Refreshlidar = button("pushButton_Refreshlidar");
    pushButton_OK = button("pushButton_OK");
    pushButton_Cancel = button("pushButton_Cancel");
    hidden->addWidget(pushButton_Refreshlidar);
    hidden->addWidget(pushButton_OK);
    hidden->addWidget(pushButton_Cancel);
    top->addLayout(hidden);
}

void ACWPSetMuch::retranslateUi() {
    auto tr = [](const char* text) { return QCoreApplication::translate("ACWPSetMuch", text); };
    setWindowTitle(tr("ACWPSetMuch"));
    groupBox_NumberSetting->setTitle(tr("Version Num"));
    label_SerialNumber->setText(tr("Serial Num："));
    label_VersionNumber->setText(tr("Version Num："));
    label_rangeselector->setText(tr("Measure range："));
    lineEdit_rangeselector->setText(tr("160"));
    label__DestIP->setText(tr("Dest IP："));
    lineEdit_DestIP->setText(tr("192.168.1.200"));
    label_DestPort->setText(tr("Dest Port："));
    lineEdit_DestPort->setText(tr("2368"));
    pushButton_SaveSettingfile->setText(tr("Save set file"));
    pushButton_RecoverSetting->setText(tr("Restore Laser set"));
    pushButton_Refreshlidar->setText(tr("Refresh state"));
    pushButton_OK->setText(tr("Set"));
    pushButton_Cancel->setText(tr("Cancel"));
}

// Nothing reaches these four; they stay empty.
void ACWPSetMuch::onOK_Clicked() {}
void ACWPSetMuch::onCancel_Clicked() {}
void ACWPSetMuch::onRefreshbutton_clicked() {}
void ACWPSetMuch::onCleanACWPControl() {}

void ACWPSetMuch::onLidarStatusReceiving(SettingData* data, std::vector<int> Mac) {
    if (data == nullptr || Mac.size() < st::kMacEntryCount) return;
    record_ = *data;
    dataPort_ = Mac[st::kMacIndexDataPort];
    equipPort_ = Mac[st::kMacIndexEquipPort];
}

cap::Result ACWPSetMuch::runCapture() {
    const std::uint32_t source = statusSource_ ? statusSource_() : 0;

    // Listing the adapters probes dbus, bluetooth and usb sources and can take a while, so it
    // runs on the capture's thread with the capture itself; the window stays responsive and can
    // cancel either.
    QProgressDialog progress("Waiting for a status packet ...", "Cancel", 0, limits_.maxFrames, this);
    progress.setObjectName("captureProgress");
    progress.setWindowTitle("Save set file");
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setValue(0);
    std::atomic<bool> cancel{false}, deviceChosen{false}, done{false};
    std::atomic<int> seen{0};
    std::string device;
    cap::Result result;
    std::thread worker([&] {
        std::string listError;
        device = kv::chooseCaptureDevice(kv::listCaptureDevices(&listError), source);
        deviceChosen = true;
        if (device.empty()) {
            result.outcome = cap::Outcome::NoDevice;
            result.error = listError.empty() ? "no network adapter to capture on" : listError;
        } else if (cancel) {
            result.outcome = cap::Outcome::Cancelled;
        } else {
            result = cap::captureStatusFrame(device, limits_, cancel, &seen);
        }
        done = true;
    });
    bool labelled = false;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (progress.wasCanceled()) cancel = true;
        if (!labelled && deviceChosen && !device.empty()) {
            progress.setLabelText(QString("Waiting for a status packet on %1 ...").arg(QString::fromStdString(device)));
            labelled = true;
        }
        if (done) loop.quit();
        else progress.setValue(std::min(seen.load(), limits_.maxFrames - 1));
    });
    poll.start(30);
    loop.exec();
    worker.join();
    captureDevice_ = QString::fromStdString(device);
    progress.reset();
    return result;
}

void ACWPSetMuch::onSaveSettingFile() {
    const cap::Result r = runCapture();
    switch (r.outcome) {
    case cap::Outcome::Found: break;
    case cap::Outcome::Cancelled: return;
    case cap::Outcome::NotFound:
        QMessageBox::information(this, "error", "抓包失败,请设置发包间隔为0!");
        return;
    case cap::Outcome::NoPermission:
        QMessageBox::information(this, "error",
                                 QString("抓包失败: capturing from %1 needs root or the CAP_NET_RAW capability (%2)")
                                     .arg(captureDevice_, QString::fromStdString(r.error)));
        return;
    case cap::Outcome::NoDevice:
    case cap::Outcome::OpenFailed:
        QMessageBox::information(this, "error", "抓包失败: " + QString::fromStdString(r.error));
        return;
    }
    const QString name = QFileDialog::getSaveFileName(this, "WireSharkCaptureFile", QDir::currentPath(),
                                                      "Supported Files (*.ini)", nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    if (name.isEmpty()) return;
    writeParameterFile(name, r.payload.data());
}

void ACWPSetMuch::writeParameterFile(const QString& fileName, const std::uint8_t* payload) {
    QFile file(QFile::decodeName(kv::fileNameBytes(fileName)));
    const std::string dump = kv::hexDump(payload, st::kPacketBytes);
    const bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text) &&
                    file.write(dump.data(), qint64(dump.size())) == qint64(dump.size()) && file.flush();
    file.close();
    if (!ok) QMessageBox::information(this, "error", "打开文件失败,请检查!");
}

void ACWPSetMuch::onRecoverSetting() {
    const QString ipText = lineEdit_DestIP->text();
    const auto ip = kv::config::parseIpText(ipText.toStdString());
    if (!ip) {
        QMessageBox::information(this, "warring",
                                 QString("Dest IP： \"%1\" is not an address of four numbers 0-255. Nothing was sent.")
                                     .arg(ipText));
        return;
    }
    const auto port = kv::config::parseInteger(lineEdit_DestPort->text().toStdString());
    if (!port || *port < 1 || *port > 65535) {
        QMessageBox::information(this, "warring",
                                 QString("Dest Port： \"%1\" is not a port 1-65535. Nothing was sent.")
                                     .arg(lineEdit_DestPort->text()));
        return;
    }
    resetPacket_ = kv::config::buildFactoryResetPacket(kv::device::localTimeOf(QDateTime::currentDateTime()));

    kv::UdpSocket socket;
    QString error;
    if (!socket.open()) {
        error = QString("no UDP socket (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
    } else {
        const long sent = socket.sendTo(kv::config::ipText(ip->data()), int(*port), resetPacket_.data(),
                                        resetPacket_.size());
        const int err = errno;
        if (sent != long(resetPacket_.size()))
            error = QString("sending to %1:%2 failed (%3)")
                        .arg(QString::fromStdString(kv::config::ipText(ip->data())))
                        .arg(*port)
                        .arg(sent < 0 ? QString::fromLocal8Bit(std::strerror(err)) : QString("cut short"));
    }
    if (!error.isEmpty()) {
        QMessageBox::warning(this, "Tips", "Reset failed: " + error);
        return;
    }
    QMessageBox::about(this, "Tips", "Reset completed !");
}
