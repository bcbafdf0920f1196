// The advanced parameter dialog: saves one status packet captured from the network as a
// parameter file, and sends the factory-reset packet. It also keeps the last status record.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "config_packet.h"
#include "status_metatypes.h"
#include "status_capture.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class ACWPSetMuch : public QDialog {
    Q_OBJECT
public:
    explicit ACWPSetMuch(QWidget* parent = nullptr);

    QGroupBox* groupBox_NumberSetting = nullptr;
    QLabel* label_SerialNumber = nullptr;
    QLineEdit* lineEdit_SerialNumber = nullptr;
    QLabel* label_VersionNumber = nullptr;
    QLineEdit* lineEdit_Version = nullptr;
    QLabel* label_rangeselector = nullptr;
    QLineEdit* lineEdit_rangeselector = nullptr;
    QLabel* label__DestIP = nullptr;
    QLineEdit* lineEdit_DestIP = nullptr;
    QLabel* label_DestPort = nullptr;
    QLineEdit* lineEdit_DestPort = nullptr;
    QPushButton* pushButton_SaveSettingfile = nullptr;
    QPushButton* pushButton_RecoverSetting = nullptr;
    QPushButton* pushButton_Refreshlidar = nullptr;
    QPushButton* pushButton_OK = nullptr;
    QPushButton* pushButton_Cancel = nullptr;

    // The sender of the status packets (host order, 0 when none has come): the capture listens
    // on the adapter they arrive on.
    void setStatusSourceProvider(std::function<std::uint32_t()> provider) { statusSource_ = std::move(provider); }
    void setCaptureLimits(const kv::statuscapture::Limits& limits) { limits_ = limits; }

    // For tests and diagnostics.
    const SettingData& lastRecord() const { return record_; }
    int dataPort() const { return dataPort_; }
    int equipPort() const { return equipPort_; }
    const kv::config::Packet& lastResetPacket() const { return resetPacket_; }
    const QString& lastCaptureDevice() const { return captureDevice_; }

signals:
    void onACWPsend();

public slots:
    void onOK_Clicked();
    void onCancel_Clicked();
    void onLidarStatusReceiving(SettingData* data, std::vector<int> Mac);
    void onRefreshbutton_clicked();
    void onCleanACWPControl();
    void onSaveSettingFile();
    void onRecoverSetting();

private:
    void setupUi();
    void retranslateUi();
    kv::statuscapture::Result runCapture();
    void writeParameterFile(const QString& fileName, const std::uint8_t* payload);

    SettingData record_;
    int dataPort_ = 0;
    int equipPort_ = 0;
    kv::config::Packet resetPacket_{};
    std::function<std::uint32_t()> statusSource_;
    kv::statuscapture::Limits limits_;
    QString captureDevice_;
};
