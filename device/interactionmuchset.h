// The "Laser Config" dialog: shows the sensor's live state from its status packets, and writes
// the edited network, frame-rate, motor, packet-interval and phase-lock settings to the sensor
// as one configuration packet, with an audit trail of hex dumps and a check, a few seconds
// later, of whether the sensor took them. Before a write it lists what will change and sends
// only when the user confirms.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>
#include <sys/types.h>
#include <vector>

#include "audit_trail.h"
#include "config_packet.h"
#include "status_metatypes.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class InteractionMuchSet : public QDialog {
    Q_OBJECT
public:
    explicit InteractionMuchSet(QWidget* parent = nullptr);

    // Group "Laser Config"
    QGroupBox* groupBox_config = nullptr;
    QLabel* label_DefaultIP = nullptr;
    QLineEdit* lineEdit_DefaultIP = nullptr;
    QLabel* label_defaultPort = nullptr;
    QLineEdit* lineEdit_defaultPort = nullptr;
    QLabel* label_DestIP = nullptr;
    QLineEdit* lineEdit_DestIP = nullptr;
    QLabel* label_destPort = nullptr;
    QLineEdit* lineEdit_destPort = nullptr;
    QLabel* label_mac_addr = nullptr;
    QLineEdit* lineEdit_mac_addr = nullptr;
    QLabel* label_interval = nullptr;
    QLineEdit* lineEdit_interval = nullptr;
    QLabel* label_rotateSpeed = nullptr;
    QComboBox* comboBox_rotateSpeed = nullptr;
    QLabel* label_MotoState = nullptr;
    QComboBox* comboBox = nullptr;
    QLabel* label_PLAngle = nullptr;
    QLineEdit* lineEdit_PLAngle = nullptr;
    QLabel* label_PL = nullptr;
    QComboBox* comboBox_PL = nullptr;
    QLabel* label_PLAngleError = nullptr;
    QLineEdit* lineEdit_PLAngleError = nullptr;
    // Group "Laser State"
    QGroupBox* groupBox_real_time_status = nullptr;
    QLineEdit* lineEdit_utc_time = nullptr;
    QLineEdit* lineEdit_GPS_Position_longitude = nullptr;
    QLineEdit* lineEdit_GPS_Position_latitude = nullptr;
    QLineEdit* lineEdit_Motor_State = nullptr;
    QLineEdit* lineEdit_Motor_State_2 = nullptr;
    QLineEdit* lineEdit_HP = nullptr;
    QLineEdit* lineEdit_T = nullptr;
    QLineEdit* lineEdit_Threshold = nullptr;
    // Whether the sensor took the last write (shown without a blocking box).
    QLabel* label_WriteCheck = nullptr;
    QPushButton* pushButton_LidarRefresh = nullptr;
    QPushButton* pushButton_OK = nullptr;
    QPushButton* pushButton_Cancel = nullptr;

    // Another sensor is followed: what was shown is not its state, and neither "Refresh" nor
    // "Set" may use it until its status packets have come.
    void forgetStatus() { statusReceived_ = refreshAllowed_ = setAllowed_ = false; }

    // State, for tests and diagnostics.
    bool statusReceived() const { return statusReceived_; }
    bool refreshAllowed() const { return refreshAllowed_; }
    bool setAllowed() const { return setAllowed_; }
    bool logPending() const { return logPending_; }
    const kv::config::StatusPacket& statusCopy() const { return status_; }
    const kv::config::Packet& lastPacket() const { return packet_; }
    QString lastDestination() const { return lastDestination_; }
    bool checkPending() const { return checkPending_; }

public slots:
    void onOK_Clicked();
    void onCancel_Clicked();
    void onCleanUCWPControl();
    void OnLidarStatusReceiving(SettingData* data, std::vector<int> Mac);
    void onRefreshCilcked();
    void OnLidarDifoData(const u_char* data);

private:
    void setupUi();
    void retranslateUi();
    kv::config::ConfigFields currentFields() const;
    bool confirmWrite(const QString& text);
    kv::audit::Stamp writeAuditEntry(const char* tag, const std::uint8_t* bytes);
    void noteAuditResult(const kv::audit::WriteResult& r);
    QString sendPacket(const QString& address);
    void startWriteCheck();
    void finishWriteCheck(const std::uint8_t* status);

    kv::config::Packet packet_{};
    SettingData record_;
    int dataPort_ = 0;   // Mac[6] of the last record
    int equipPort_ = 0;  // Mac[7]
    kv::config::StatusPacket status_{};
    bool statusReceived_ = false;
    bool refreshAllowed_ = false;
    bool setAllowed_ = false;
    bool logPending_ = false;
    QDateTime lastWrite_;
    bool auditFailureShown_ = false;
    QString lastDestination_;
    bool checkPending_ = false;
    kv::config::Packet checkedPacket_{};  // the packet of the write being checked
    QTimer* checkTimer_ = nullptr;
};
