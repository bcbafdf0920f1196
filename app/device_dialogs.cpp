#include "device_dialogs.h"

#include <QAbstractButton>
#include <QMessageBox>

#include "about.h"
#include "acwpsetmuch.h"
#include "codedialog.h"
#include "getset.h"
#include "interactionmuchset.h"

namespace kv::window {

DeviceDialogs::DeviceDialogs(GetSet* statusReceiver, const DeviceButtons& buttons)
    : statusReceiver_(statusReceiver),
      interactionSet_(new InteractionMuchSet()),
      codeDialog_(new CodeDialog()),
      advancedSet_(new ACWPSetMuch()),
      about_(new About()) {
    // The followed sensor's adapter when several sensors send; the last sender's otherwise.
    advancedSet_->setStatusSourceProvider([statusReceiver] {
        const std::uint32_t followed = statusReceiver->sensorFilterIp.load();
        return followed != 0 ? followed : statusReceiver->lastSourceIp.load();
    });
    QObject::connect(buttons.parameter, &QAbstractButton::clicked, interactionSet_, &QWidget::show);
    QObject::connect(buttons.distance, &QAbstractButton::clicked, codeDialog_, &QWidget::show);
    QObject::connect(buttons.about, &QAbstractButton::clicked, about_, &QWidget::show);
}

DeviceDialogs::~DeviceDialogs() {
    delete interactionSet_;
    delete codeDialog_;
    delete advancedSet_;
    delete about_;
}

void DeviceDialogs::followSensor(std::uint32_t ip) {
    if (ip == statusReceiver_->sensorFilterIp.load()) return;
    interactionSet_->forgetStatus();
    statusReceiver_->followSensor(ip);  // hands over that sensor's last status packet, if any
}

void DeviceDialogs::followStatus() {
    QObject::connect(statusReceiver_, SIGNAL(SendDataDifo(const u_char*)), interactionSet_,
                     SLOT(OnLidarDifoData(const u_char*)), Qt::UniqueConnection);
    QObject::connect(statusReceiver_, SIGNAL(SendLidarStatusToSettingUI(SettingData*, std::vector<int>)),
                     interactionSet_, SLOT(OnLidarStatusReceiving(SettingData*, std::vector<int>)),
                     Qt::UniqueConnection);
    QObject::connect(statusReceiver_, SIGNAL(SendLidarStatusToSettingUI(SettingData*, std::vector<int>)), advancedSet_,
                     SLOT(onLidarStatusReceiving(SettingData*, std::vector<int>)), Qt::UniqueConnection);
    QObject::connect(statusReceiver_, SIGNAL(SendMasterPanelVersion(QString)), about_,
                     SLOT(displayMasterPanelVersion(QString)), Qt::UniqueConnection);
}

void DeviceDialogs::codeEntered(const QString& code, QWidget* parent) {
    if (isAccessCode(code)) {
        advancedSet_->show();
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString(), "密码错误", QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace kv::window
