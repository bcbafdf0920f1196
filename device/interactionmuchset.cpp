#include "interactionmuchset.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>

#include "audit_trail.h"
#include "config_changes.h"
#include "dialog_support.h"
#include "settings.h"
#include "status_texts.h"
#include "udp_socket.h"
#include "write_check.h"

namespace st = kv::statuspkt;
namespace stext = kv::statustext;

namespace {

constexpr const char* kNoStatusText = "Please check the device package port !";
constexpr int kLabelWidth = 110, kPhaseLockLabelWidth = 130;

QLabel* fixedLabel(QWidget* parent, const char* name, int width) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setFixedWidth(width);
    return l;
}

QLineEdit* lineEdit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    return e;
}

}  // namespace

InteractionMuchSet::InteractionMuchSet(QWidget* parent) : QDialog(parent) {
    kv::registerStatusMetaTypes();
    setupUi();
    retranslateUi();
    // No validators: a validator drops the keystroke that makes a text invalid ("300.1.2.3"
    // would become "30.1.2.3"). The fields show what was typed; "Set" refuses what is not usable.
    for (const char* item : {" 40 Frame", " 80 Frame", " 120 Frame", " 160 Frame", " 200 Frame", " 240 Frame"})
        comboBox_rotateSpeed->addItem(item);
    comboBox->addItem(kv::device::imageIcon("Resources/images/YES.png"), "Run");
    comboBox->addItem(kv::device::imageIcon("Resources/images/NO.png"), "Stop");
    comboBox_PL->addItem("Close");
    comboBox_PL->addItem("Open");

    connect(pushButton_OK, &QPushButton::clicked, this, &InteractionMuchSet::onOK_Clicked);
    connect(pushButton_Cancel, &QPushButton::clicked, this, &InteractionMuchSet::onCancel_Clicked);
    connect(pushButton_LidarRefresh, &QPushButton::clicked, this, &InteractionMuchSet::onRefreshCilcked);
    onCleanUCWPControl();

    lineEdit_GPS_Position_longitude->setFocusPolicy(Qt::NoFocus);
    lineEdit_GPS_Position_latitude->setFocusPolicy(Qt::NoFocus);
    lineEdit_Motor_State->setFocusPolicy(Qt::NoFocus);

    const kv::AppSettings& s = kv::appSettings();
    const bool showPhaseLock = s.showPLSAngle || s.AngleShowValue == 1;
    for (QWidget* w : std::initializer_list<QWidget*>{label_PLAngle, label_PL, label_PLAngleError, lineEdit_PLAngle,
                                                      comboBox_PL, lineEdit_PLAngleError})
        w->setVisible(showPhaseLock);

    checkTimer_ = new QTimer(this);
    checkTimer_->setSingleShot(true);
    connect(checkTimer_, &QTimer::timeout, this, [this] {
        if (checkPending_) label_WriteCheck->setText(QString::fromStdString(kv::writecheck::noStatusText()));
    });
}

void InteractionMuchSet::setupUi() {
    setObjectName("InteractionMuchSet");
    resize(571, 614);
    setWindowIcon(kv::device::imageIcon("Resources/images/korvane.ico"));
    auto* top = new QVBoxLayout(this);

    groupBox_config = new QGroupBox(this);
    groupBox_config->setObjectName("groupBox_config");
    auto* form = new QFormLayout(groupBox_config);
    auto row = [&](QLabel*& label, const char* labelName, QWidget* field, int width = kLabelWidth) {
        label = fixedLabel(groupBox_config, labelName, width);
        form->addRow(label, field);
    };
    lineEdit_DefaultIP = lineEdit(groupBox_config, "lineEdit_DefaultIP");
    row(label_DefaultIP, "label_DefaultIP", lineEdit_DefaultIP);
    lineEdit_defaultPort = lineEdit(groupBox_config, "lineEdit_defaultPort");
    row(label_defaultPort, "label_defaultPort", lineEdit_defaultPort);
    lineEdit_DestIP = lineEdit(groupBox_config, "lineEdit_DestIP");
    row(label_DestIP, "label_DestIP", lineEdit_DestIP);
    lineEdit_destPort = lineEdit(groupBox_config, "lineEdit_destPort");
    row(label_destPort, "label_destPort", lineEdit_destPort);
    lineEdit_mac_addr = lineEdit(groupBox_config, "lineEdit_mac_addr");
    lineEdit_mac_addr->setEnabled(false);
    row(label_mac_addr, "label_mac_addr", lineEdit_mac_addr);
    lineEdit_interval = lineEdit(groupBox_config, "lineEdit_interval");
    row(label_interval, "label_interval", lineEdit_interval);
    comboBox_rotateSpeed = new QComboBox(groupBox_config);
    comboBox_rotateSpeed->setObjectName("comboBox_rotateSpeed");
    row(label_rotateSpeed, "label_rotateSpeed", comboBox_rotateSpeed);
    comboBox = new QComboBox(groupBox_config);
    comboBox->setObjectName("comboBox");
    row(label_MotoState, "label_MotoState", comboBox);
    lineEdit_PLAngle = lineEdit(groupBox_config, "lineEdit_PLAngle");
    row(label_PLAngle, "label_PLAngle", lineEdit_PLAngle, kPhaseLockLabelWidth);
    comboBox_PL = new QComboBox(groupBox_config);
    comboBox_PL->setObjectName("comboBox_PL");
    row(label_PL, "label_PL", comboBox_PL);
    lineEdit_PLAngleError = lineEdit(groupBox_config, "lineEdit_PLAngleError");
    lineEdit_PLAngleError->setReadOnly(true);
    row(label_PLAngleError, "label_PLAngleError", lineEdit_PLAngleError, kPhaseLockLabelWidth);
    top->addWidget(groupBox_config);

    groupBox_real_time_status = new QGroupBox(this);
    groupBox_real_time_status->setObjectName("groupBox_real_time_status");
    auto* state = new QFormLayout(groupBox_real_time_status);
    struct StateRow {
        QLineEdit** edit;
        const char* name;
        const char* labelName;
        bool readOnly;
    } rows[] = {
        {&lineEdit_utc_time, "lineEdit_utc_time", "label_utc_time", true},
        {&lineEdit_GPS_Position_longitude, "lineEdit_GPS_Position_longitude", "label_longitude", true},
        {&lineEdit_GPS_Position_latitude, "lineEdit_GPS_Position_latitude", "label_latitude", true},
        {&lineEdit_Motor_State, "lineEdit_Motor_State", "label_Motor_State", false},
        {&lineEdit_Motor_State_2, "lineEdit_Motor_State_2", "label_Motor_State_2", false},
        {&lineEdit_HP, "lineEdit_HP", "label_HP", true},
        {&lineEdit_T, "lineEdit_T", "label_T", true},
        {&lineEdit_Threshold, "lineEdit_Threshold", "label_Threshold", true},
    };
    for (const StateRow& r : rows) {
        *r.edit = lineEdit(groupBox_real_time_status, r.name);
        (*r.edit)->setReadOnly(r.readOnly);
        state->addRow(fixedLabel(groupBox_real_time_status, r.labelName, kLabelWidth), *r.edit);
    }
    top->addWidget(groupBox_real_time_status);

    label_WriteCheck = new QLabel(this);
    label_WriteCheck->setObjectName("label_WriteCheck");
    label_WriteCheck->setWordWrap(true);
    top->addWidget(label_WriteCheck);

    auto* buttons = new QHBoxLayout();
    pushButton_LidarRefresh = new QPushButton(this);
    pushButton_LidarRefresh->setObjectName("pushButton_LidarRefresh");
    pushButton_OK = new QPushButton(this);
    pushButton_OK->setObjectName("pushButton_OK");
    pushButton_Cancel = new QPushButton(this);
    pushButton_Cancel->setObjectName("pushButton_Cancel");
    // Enter in a field presses no button: "Refresh state" would overwrite the edits, "Set"
    // would write them before they are finished.
    for (QPushButton* b : {pushButton_LidarRefresh, pushButton_OK, pushButton_Cancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    buttons->addWidget(pushButton_LidarRefresh);
    buttons->addStretch();
    buttons->addWidget(pushButton_OK);
    buttons->addWidget(pushButton_Cancel);
    top->addLayout(buttons);
}

void InteractionMuchSet::retranslateUi() {
    auto tr = [](const char* text) { return QCoreApplication::translate("InteractionMuchSet", text); };
    setWindowTitle(tr("InteractionMuchSet"));
    groupBox_config->setTitle(tr("Laser Config"));
    label_DefaultIP->setText(tr("Lidar IP："));
    label_defaultPort->setText(tr("Data Port："));
    label_DestIP->setText(tr("Computer IP："));
    label_destPort->setText(tr("Equipment Port："));
    label_mac_addr->setText(tr("Mac："));
    label_interval->setText(tr("Packet interval："));
    label_rotateSpeed->setText(tr("Set Frame："));
    label_MotoState->setText(tr("Moto State："));
    label_PLAngle->setText(tr("PL angle："));
    label_PL->setText(tr("Phase lock："));
    label_PLAngleError->setText(tr("PL Angle error:"));
    groupBox_real_time_status->setTitle(tr("Laser State"));
    const char* stateLabels[] = {"GPS time：",    "GPS Longitude:",  "latitude：",    "Frame：",
                                 "Motor speed：", "High pressure：", "Temperature:", "Threshold:"};
    auto* form = static_cast<QFormLayout*>(groupBox_real_time_status->layout());
    for (int i = 0; i < form->rowCount(); ++i)
        if (auto* l = qobject_cast<QLabel*>(form->itemAt(i, QFormLayout::LabelRole)->widget()))
            l->setText(tr(stateLabels[i]));
    pushButton_LidarRefresh->setText(tr("Refresh state"));
    pushButton_OK->setText(tr("Set"));
    pushButton_Cancel->setText(tr("Cancel"));
}

// ---- Slots ----

void InteractionMuchSet::onOK_Clicked() {
    if (!setAllowed_) {
        QMessageBox::information(this, "warring", kNoStatusText);
        return;
    }
    constexpr const char* kSameAddressText =
        "The Lidar local IP cannot be set to the same as the destination IP.Please reset it！";
    if (lineEdit_DestIP->text() == lineEdit_DefaultIP->text()) {
        QMessageBox::information(this, "warring", kSameAddressText);
        setAllowed_ = false;
        return;
    }
    const kv::config::ConfigFields fields = currentFields();
    if (const kv::config::FieldCheck check = kv::config::checkFields(fields); !check.ok()) {
        QMessageBox::information(this, "warring", QString::fromStdString(check.message));
        setAllowed_ = false;
        return;
    }

    // The status packet the write is built on, shown against and logged as "Before": more may
    // arrive while the confirmation is open.
    const kv::config::StatusPacket basis = status_;
    // Built before anything is logged (building has no side effects): different texts can
    // still write one address into both places.
    const kv::config::ConfigBuild build = kv::config::buildConfigPacket(basis.data(), fields);
    if (kv::config::writesSameAddresses(build.packet)) {
        QMessageBox::information(this, "warring", kSameAddressText);
        setAllowed_ = false;
        return;
    }
    const std::string destination = kv::config::ipText(build.destination.data());
    const auto changes = kv::configchange::changes(basis.data(), build.packet.data());
    if (changes.empty()) {
        QMessageBox::information(this, "Tips", QString::fromStdString(kv::configchange::nothingToWriteText(destination)));
        setAllowed_ = false;
        return;
    }
    if (!confirmWrite(QString::fromStdString(kv::configchange::confirmationText(changes, destination)))) {
        setAllowed_ = false;
        return;
    }

    writeAuditEntry("Before", basis.data());
    packet_ = build.packet;
    bool fallback = false;
    kv::config::sensorAddress(status_.data(), &fallback);
    if (build.usedFallbackAddress && fallback)
        std::memcpy(status_.data() + st::kSensorIp, build.destination.data(), build.destination.size());
    const kv::audit::Stamp modifyStamp = writeAuditEntry("Modify", packet_.data());

    lastDestination_ = QString::fromStdString(destination);
    // The line speaks of this write from here on: the check of an earlier one ends unfinished.
    checkPending_ = false;
    checkTimer_->stop();
    label_WriteCheck->setText("Sensor check: sending");
    const QString error = sendPacket(lastDestination_);
    if (!error.isEmpty()) {
        noteAuditResult(kv::audit::writeNotSentEntry(kv::audit::logDirectoryFromEnvironment(),
                                                     kv::device::stampOf(QDateTime::currentDateTime()), modifyStamp,
                                                     error.toStdString()));
        label_WriteCheck->setText("Sensor check: nothing was sent");
        QMessageBox::warning(this, "warring", "Setup failed: " + error);
        setAllowed_ = false;
        return;
    }
    logPending_ = true;
    lastWrite_ = QDateTime::currentDateTime();
    startWriteCheck();
    QMessageBox::about(this, "Tips", "Setup completed");
    if (QMessageBox::question(this, "Question", "Whether to close the Settings form?",
                              QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) == QMessageBox::Ok)
        close();
    setAllowed_ = false;
}

bool InteractionMuchSet::confirmWrite(const QString& text) {
    QMessageBox box(QMessageBox::Question, "Confirm", text, QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setObjectName("writeConfirmBox");
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void InteractionMuchSet::onCancel_Clicked() { close(); }

void InteractionMuchSet::onCleanUCWPControl() {
    for (QLineEdit* e : {lineEdit_DefaultIP, lineEdit_defaultPort, lineEdit_DestIP, lineEdit_destPort, lineEdit_mac_addr,
                         lineEdit_interval, lineEdit_PLAngle, lineEdit_PLAngleError, lineEdit_utc_time,
                         lineEdit_GPS_Position_longitude, lineEdit_GPS_Position_latitude, lineEdit_Motor_State,
                         lineEdit_Motor_State_2, lineEdit_HP, lineEdit_T, lineEdit_Threshold})
        e->clear();
}

void InteractionMuchSet::OnLidarStatusReceiving(SettingData* data, std::vector<int> Mac) {
    if (data == nullptr || Mac.size() < st::kMacEntryCount) return;  // not a delivery of the status receiver
    record_ = *data;
    dataPort_ = Mac[st::kMacIndexDataPort];
    equipPort_ = Mac[st::kMacIndexEquipPort];
    statusReceived_ = true;

    lineEdit_utc_time->clear();
    lineEdit_GPS_Position_longitude->clear();
    lineEdit_GPS_Position_latitude->clear();
    lineEdit_Motor_State->setText(QString::number(stext::frameFigure(record_.motorSpeed)));
    lineEdit_Motor_State_2->setText(QString::number(record_.motorSpeed));
    lineEdit_utc_time->setText(QString::fromStdString(stext::gpsTimeText(record_)));
    lineEdit_GPS_Position_latitude->setText(QString::fromLatin1(stext::latitudeText(record_).c_str(), 10));
    lineEdit_GPS_Position_longitude->setText(QString::fromLatin1(stext::longitudeText(record_).c_str(), 11));
    lineEdit_mac_addr->setText(QString::fromStdString(stext::macText(Mac)));
    const auto readouts = stext::convertReadouts(Mac[st::kMacIndexHighVoltage], Mac[st::kMacIndexTemperature],
                                                 kv::appSettings().HPandT);
    lineEdit_HP->setText(readouts ? QString::fromStdString(stext::shortest6(readouts->highPressure)) : QString());
    lineEdit_T->setText(readouts ? QString::fromStdString(stext::shortest6(readouts->temperature)) : QString());
    lineEdit_Threshold->setText(QString::number(Mac[st::kMacIndexThreshold]));
    lineEdit_PLAngleError->setText(QString::fromStdString(stext::plAngleErrorText(Mac[st::kMacIndexPhaseLockError])));
}

void InteractionMuchSet::onRefreshCilcked() {
    if (!refreshAllowed_) {
        QMessageBox::information(this, "warring", kNoStatusText);
        return;
    }
    lineEdit_DefaultIP->setText(QString::fromStdString(kv::config::ipText(status_.data() + st::kSensorIp)));
    lineEdit_DestIP->setText(QString::fromStdString(kv::config::ipText(status_.data() + st::kDestIp)));
    lineEdit_defaultPort->setText(QString::number(dataPort_));
    lineEdit_destPort->setText(QString::number(equipPort_));
    if (statusReceived_) {
        if (record_.motorState == 0) comboBox->setCurrentIndex(0);
        else if (record_.motorState == 1) comboBox->setCurrentIndex(1);
        lineEdit_interval->setText(QString::number(record_.packetInterval));
        lineEdit_Motor_State->setText(QString::number(stext::frameFigure(record_.motorSpeed)));
        lineEdit_Motor_State_2->setText(QString::number(record_.motorSpeed));
        if (const auto item = stext::frameItemForSpeed(record_.motorSpeed)) comboBox_rotateSpeed->setCurrentIndex(*item);
        QMessageBox::about(this, "Tips", "Resresh completed");
        statusReceived_ = false;
    }
    lineEdit_PLAngle->setText(QString::fromStdString(stext::plAngleText(status_.data())));
    comboBox_PL->setCurrentIndex(stext::phaseLockOn(status_.data()) ? 1 : 0);
    refreshAllowed_ = false;
}

void InteractionMuchSet::OnLidarDifoData(const u_char* data) {
    if (data == nullptr) return;
    std::memcpy(status_.data(), data, status_.size());
    refreshAllowed_ = true;
    setAllowed_ = true;
    if (logPending_ && kv::audit::newEntryDue(lastWrite_.msecsTo(QDateTime::currentDateTime()))) {
        writeAuditEntry("New", status_.data());
        logPending_ = false;
        finishWriteCheck(status_.data());
    }
}

// ---- Helpers ----

kv::config::ConfigFields InteractionMuchSet::currentFields() const {
    kv::config::ConfigFields f;
    f.lidarIp = lineEdit_DefaultIP->text().toStdString();
    f.computerIp = lineEdit_DestIP->text().toStdString();
    f.mac = lineEdit_mac_addr->text().toStdString();
    f.dataPort = lineEdit_defaultPort->text().toStdString();
    f.equipPort = lineEdit_destPort->text().toStdString();
    f.packetInterval = lineEdit_interval->text().toStdString();
    f.setFrame = comboBox_rotateSpeed->currentText().toStdString();
    f.motoState = comboBox->currentText().toStdString();
    f.plAngle = lineEdit_PLAngle->text().toStdString();
    f.phaseLockIndex = comboBox_PL->currentIndex();
    return f;
}

kv::audit::Stamp InteractionMuchSet::writeAuditEntry(const char* tag, const std::uint8_t* bytes) {
    const kv::audit::Stamp stamp = kv::device::stampOf(QDateTime::currentDateTime());
    noteAuditResult(kv::audit::writeEntry(kv::audit::logDirectoryFromEnvironment(), stamp, tag, bytes,
                                          kv::configpkt::kPacketBytes));
    return stamp;
}

void InteractionMuchSet::noteAuditResult(const kv::audit::WriteResult& r) {
    if (r.written || auditFailureShown_) return;
    // The write goes on without its record; say so once, without holding anything up.
    auditFailureShown_ = true;
    auto* box = new QMessageBox(QMessageBox::Information, "warring",
                                "The audit trail cannot be written (" + QString::fromStdString(r.error) +
                                    "). Configuration writes go on without it.",
                                QMessageBox::Ok, this);
    box->setObjectName("auditFailureBox");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

QString InteractionMuchSet::sendPacket(const QString& address) {
    kv::UdpSocket socket;
    if (!socket.open()) return QString("no UDP socket (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
    const long sent = socket.sendTo(address.toStdString(), kv::configpkt::kSensorPort, packet_.data(), packet_.size());
    const int err = errno;
    if (sent != long(packet_.size()))
        return QString("sending to %1:%2 failed (%3)")
            .arg(address)
            .arg(kv::configpkt::kSensorPort)
            .arg(sent < 0 ? QString::fromLocal8Bit(std::strerror(err)) : QString("only %1 bytes went").arg(sent));
    return {};
}

void InteractionMuchSet::startWriteCheck() {
    checkPending_ = true;
    checkedPacket_ = packet_;  // a later Set that fails to send does not change what is checked
    label_WriteCheck->setText("Sensor check: waiting for the sensor's status packets");
    checkTimer_->start(kv::writecheck::kWaitSeconds * 1000);
}

void InteractionMuchSet::finishWriteCheck(const std::uint8_t* status) {
    checkPending_ = false;
    checkTimer_->stop();
    label_WriteCheck->setText(
        QString::fromStdString(kv::writecheck::outcomeText(kv::writecheck::differingFields(checkedPacket_.data(), status))));
}
