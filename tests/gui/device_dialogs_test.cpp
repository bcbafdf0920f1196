// The device configuration windows driven through their widgets on a real display, inside a
// loopback-only network namespace: the laser configuration dialog against a loopback socket and
// the simulated sensor, the advanced dialog's reset packet and parameter file, the code dialog
// and the About window through the main window.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegExpValidator>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "about.h"
#include "capture_permission.h"
#include "acwpsetmuch.h"
#include "codedialog.h"
#include "config_packet.h"
#include "device_helpers.h"
#include "getset.h"
#include "gui_helpers.h"
#include "hex_dump.h"
#include "hex_dump_parser.h"
#include "interactionmuchset.h"
#include "manwindow.h"
#include "settings.h"
#include "udp_socket.h"

using kvtest::ModalScript;
using kvtest::waitUntil;

namespace {

constexpr const char* kNoStatus = "Please check the device package port !";

std::vector<std::uint8_t> fileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    std::string why;
    const auto bytes = kvtest::parseHexDump(f.readAll().toStdString(), &why);
    EXPECT_TRUE(bytes.has_value()) << path.toStdString() << ": " << why;
    return bytes.value_or(std::vector<std::uint8_t>{});
}

template <class A>
std::vector<std::uint8_t> vec(const A& a) {
    return std::vector<std::uint8_t>(a.begin(), a.end());
}

// A socket standing in for the sensor's port 2368 on the loopback adapter.
struct SensorPort {
    kv::UdpSocket socket;
    bool bound = false;
    explicit SensorPort(int port = kv::configpkt::kSensorPort) {
        bound = socket.open() && socket.bindAny(port) && socket.setReceiveTimeoutMs(1500);
    }
    // The next datagram, or empty after the time-out.
    std::vector<std::uint8_t> receive() {
        std::vector<std::uint8_t> buf(2048);
        kv::UdpSocket::Datagram d;
        if (socket.receiveBatch(buf.data(), buf.size(), &d, 1) != 1) return {};
        buf.resize(d.length);
        return buf;
    }
};

class DeviceDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dataHome_.isValid());
        qputenv("XDG_DATA_HOME", dataHome_.path().toLocal8Bit());
        kv::installSettings(kv::AppSettings());
    }
    void TearDown() override { qunsetenv("XDG_DATA_HOME"); }
    QTemporaryDir dataHome_;
};

#define REQUIRE_LOOPBACK_ONLY() \
    if (!kvtest::onlyLoopback()) GTEST_SKIP() << kvtest::kNotIsolated

TEST_F(DeviceDialogs, LaserConfigDialogLayout) {
    struct Case {
        bool showPLSAngle;
        int angleShowValue;
        bool phaseLockShown;
    } cases[] = {{false, -1, false}, {true, -1, true}, {false, 1, true}, {false, 0, false}};
    for (const Case& c : cases) {
        kv::AppSettings s;
        s.showPLSAngle = c.showPLSAngle;
        s.AngleShowValue = c.angleShowValue;
        kv::installSettings(s);
        InteractionMuchSet d;
        d.show();
        EXPECT_EQ(d.lineEdit_PLAngle->isVisible(), c.phaseLockShown);
        EXPECT_EQ(d.comboBox_PL->isVisible(), c.phaseLockShown);
        EXPECT_EQ(d.lineEdit_PLAngleError->isVisible(), c.phaseLockShown);
        EXPECT_EQ(d.label_PLAngle->isVisible(), c.phaseLockShown);
        EXPECT_EQ(d.label_PL->isVisible(), c.phaseLockShown);
        EXPECT_EQ(d.label_PLAngleError->isVisible(), c.phaseLockShown);
    }
    kv::installSettings(kv::AppSettings());
    InteractionMuchSet d;
    EXPECT_EQ(d.windowTitle(), "InteractionMuchSet");
    EXPECT_EQ(d.size(), QSize(571, 614));
    EXPECT_EQ(d.groupBox_config->title(), "Laser Config");
    EXPECT_EQ(d.groupBox_real_time_status->objectName(), "groupBox_real_time_status");
    EXPECT_EQ(d.groupBox_real_time_status->title(), "Laser State");
    const std::pair<QLabel*, const char*> labels[] = {
        {d.label_DefaultIP, "Lidar IP："},     {d.label_defaultPort, "Data Port："},
        {d.label_DestIP, "Computer IP："},     {d.label_destPort, "Equipment Port："},
        {d.label_mac_addr, "Mac："},           {d.label_interval, "Packet interval："},
        {d.label_rotateSpeed, "Set Frame："},  {d.label_MotoState, "Moto State："},
        {d.label_PLAngle, "PL angle："},       {d.label_PL, "Phase lock："},
        {d.label_PLAngleError, "PL Angle error:"}};
    for (const auto& [label, text] : labels) {
        EXPECT_EQ(label->text(), QString::fromUtf8(text));
        EXPECT_EQ(label->width(), label == d.label_PLAngle || label == d.label_PLAngleError ? 130 : 110) << text;
    }
    QStringList items;
    for (int i = 0; i < d.comboBox_rotateSpeed->count(); ++i) items << d.comboBox_rotateSpeed->itemText(i);
    EXPECT_EQ(items, QStringList({" 40 Frame", " 80 Frame", " 120 Frame", " 160 Frame", " 200 Frame", " 240 Frame"}));
    EXPECT_EQ(d.comboBox->itemText(0), "Run");
    EXPECT_EQ(d.comboBox->itemText(1), "Stop");
    EXPECT_FALSE(d.comboBox->itemIcon(0).isNull());
    EXPECT_FALSE(d.comboBox->itemIcon(1).isNull());
    EXPECT_EQ(d.comboBox_PL->itemText(1), "Open");
    EXPECT_FALSE(d.lineEdit_mac_addr->isEnabled());
    EXPECT_TRUE(d.lineEdit_PLAngleError->isReadOnly());
    EXPECT_TRUE(d.lineEdit_utc_time->isReadOnly());
    EXPECT_EQ(d.lineEdit_GPS_Position_latitude->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(d.lineEdit_Motor_State->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(d.pushButton_LidarRefresh->text(), "Refresh state");
    EXPECT_EQ(d.pushButton_OK->text(), "Set");
    EXPECT_EQ(d.pushButton_Cancel->text(), "Cancel");

    // The IP validator lets unfinished input through (the write refuses it), never a fifth part.
    struct Typed {
        const char* text;
        QValidator::State state;
    } typed[] = {{"192.168.1.10", QValidator::Acceptable}, {"192.168.1.", QValidator::Intermediate}};
    for (const Typed& t : typed) {
        QString text = t.text;
        int pos = 0;
        EXPECT_NE(d.lineEdit_DefaultIP->validator()->validate(text, pos), QValidator::Invalid) << t.text;
    }
    QString port = "65537";
    int pos = 0;
    EXPECT_NE(d.lineEdit_defaultPort->validator()->validate(port, pos), QValidator::Acceptable);
}

TEST_F(DeviceDialogs, RecordDeliveryAndRefresh) {
    struct Case {
        float hpAndT;
        int rpm;
        const char* setFrame;  // after Refresh (the selection was " 200 Frame")
        const char* frame;
    } cases[] = {{2.5f, 2450, " 160 Frame", "163"}, {3.3f, 2600, " 200 Frame", "173"}, {2.5f, 600, " 40 Frame", "40"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rpm);
        kv::AppSettings s;
        s.HPandT = c.hpAndT;
        kv::installSettings(s);
        InteractionMuchSet d;
        ModalScript script;
        d.comboBox_rotateSpeed->setCurrentIndex(4);
        d.pushButton_LidarRefresh->click();
        EXPECT_TRUE(script.saw(kNoStatus)) << script.texts().toStdString();

        kv::sim::SensorSettings set;
        set.sensorIp = {127, 0, 0, 2};
        set.destIp = {127, 0, 0, 1};
        set.motorSpeedRpm = c.rpm;
        set.motorStopped = true;
        set.packetInterval = 3;
        set.phaseLockOn = true;
        set.phaseLockAngleUnits = 617;
        kv::sim::StatusState sensor(set, 9, 1700000000);
        const auto p = sensor.buildStatusPacket(0);
        kvtest::deliverStatus(d, p);
        EXPECT_EQ(d.lineEdit_Motor_State->text(), c.frame);
        EXPECT_EQ(d.lineEdit_Motor_State_2->text(), QString::number(c.rpm));
        EXPECT_EQ(d.lineEdit_utc_time->text(), "2023/11/14 22:13:20");
        EXPECT_EQ(d.lineEdit_GPS_Position_latitude->text(), "4808.2130N");
        EXPECT_EQ(d.lineEdit_GPS_Position_longitude->text(), "01134.5170E");
        EXPECT_EQ(d.lineEdit_mac_addr->text(), "02-4b-56-00-10-01");
        EXPECT_EQ(d.lineEdit_Threshold->text(), "40");
        EXPECT_FALSE(d.lineEdit_HP->text().isEmpty());
        EXPECT_FALSE(d.lineEdit_T->text().isEmpty());

        d.pushButton_LidarRefresh->click();
        EXPECT_TRUE(script.saw("Resresh completed")) << script.texts().toStdString();
        EXPECT_EQ(d.lineEdit_DefaultIP->text(), "127.0.0.2");
        EXPECT_EQ(d.lineEdit_DestIP->text(), "127.0.0.1");
        EXPECT_EQ(d.lineEdit_defaultPort->text(), "2368");
        EXPECT_EQ(d.lineEdit_destPort->text(), "2369");
        EXPECT_EQ(d.lineEdit_interval->text(), "3");
        EXPECT_EQ(d.comboBox->currentText(), "Stop");
        EXPECT_EQ(d.comboBox_rotateSpeed->currentText(), c.setFrame);
        EXPECT_EQ(d.lineEdit_PLAngle->text(), "12.34");
        EXPECT_EQ(d.comboBox_PL->currentText(), "Open");
        // A second Refresh before the next status packet is refused.
        script.boxes.clear();
        d.pushButton_LidarRefresh->click();
        EXPECT_TRUE(script.saw(kNoStatus));
    }
}

TEST_F(DeviceDialogs, SetWritesThePacketTheAuditTrailAndChecksTheSensor) {
    REQUIRE_LOOPBACK_ONLY();
    SensorPort sensorPort;
    ASSERT_TRUE(sensorPort.bound) << "port 2368 is taken inside the namespace";
    InteractionMuchSet d;
    d.show();
    ModalScript script;
    kv::sim::StatusState sensor = kvtest::simulatedSensor();
    const auto before = sensor.buildStatusPacket(0);
    kvtest::deliverStatus(d, before);
    d.pushButton_LidarRefresh->click();
    d.lineEdit_DestIP->setText("127.0.0.1");
    d.lineEdit_defaultPort->setText("2370");
    d.comboBox_rotateSpeed->setCurrentText(" 80 Frame");
    d.lineEdit_interval->setText("2");
    const kv::config::ConfigBuild want = kv::config::buildConfigPacket(before.data(), [&] {
        kv::config::ConfigFields f;
        f.lidarIp = "127.0.0.2", f.computerIp = "127.0.0.1", f.mac = "02-4b-56-00-10-01", f.dataPort = "2370";
        f.equipPort = "2369", f.packetInterval = "2", f.setFrame = " 80 Frame", f.motoState = "Run", f.plAngle = "0";
        return f;
    }());

    script.boxes.clear();
    d.pushButton_OK->click();
    EXPECT_TRUE(script.saw("Setup completed")) << script.texts().toStdString();
    EXPECT_TRUE(script.saw("Whether to close the Settings form?"));
    EXPECT_TRUE(d.isVisible()) << "Cancel keeps the dialog open";
    const auto received = sensorPort.receive();
    ASSERT_EQ(received.size(), 1206u);
    EXPECT_EQ(received, vec(want.packet));
    EXPECT_EQ(d.lastDestination(), "127.0.0.2");

    const QStringList beforeFiles = kvtest::auditFiles(dataHome_.path(), "Before");
    const QStringList modifyFiles = kvtest::auditFiles(dataHome_.path(), "Modify");
    ASSERT_EQ(beforeFiles.size(), 1);
    ASSERT_EQ(modifyFiles.size(), 1);
    EXPECT_EQ(fileBytes(beforeFiles[0]), vec(before));
    EXPECT_EQ(fileBytes(modifyFiles[0]), vec(want.packet));

    // A second Set before a new status packet.
    script.boxes.clear();
    d.pushButton_OK->click();
    EXPECT_TRUE(script.saw(kNoStatus)) << script.texts().toStdString();
    EXPECT_TRUE(sensorPort.receive().empty());

    // The sensor takes it; a status packet within two seconds is not the "New" one.
    ASSERT_TRUE(sensor.applyConfigPacket(received.data(), received.size()));
    kvtest::deliverStatus(d, sensor.buildStatusPacket(1));
    EXPECT_TRUE(kvtest::auditFiles(dataHome_.path(), "New").isEmpty());
    EXPECT_TRUE(d.checkPending());
    QTest::qWait(3100);
    const auto after = sensor.buildStatusPacket(4);
    kvtest::deliverStatus(d, after);
    const QStringList newFiles = kvtest::auditFiles(dataHome_.path(), "New");
    ASSERT_EQ(newFiles.size(), 1);
    EXPECT_EQ(fileBytes(newFiles[0]), vec(after));
    EXPECT_EQ(d.label_WriteCheck->text(), "Sensor check: applied");
    // Only once per write.
    kvtest::deliverStatus(d, sensor.buildStatusPacket(5));
    EXPECT_EQ(kvtest::auditFiles(dataHome_.path(), "New").size(), 1);
}

TEST_F(DeviceDialogs, WritesThatAreRefusedSendNothing) {
    REQUIRE_LOOPBACK_ONLY();
    SensorPort sensorPort;
    ASSERT_TRUE(sensorPort.bound);
    struct Case {
        const char* name;
        const char* lidarIp;
        const char* computerIp;
        const char* interval;
        const char* message;
    } cases[] = {
        {"same addresses", "127.0.0.2", "127.0.0.2", "1",
         "The Lidar local IP cannot be set to the same as the destination IP.Please reset it！"},
        {"both empty", "", "", "1", "The Lidar local IP cannot be set to the same as the destination IP.Please reset it！"},
        {"one address in two spellings", "127.0.0.02", "127.0.0.2", "1",
         "The Lidar local IP cannot be set to the same as the destination IP.Please reset it！"},
        {"empty Lidar IP keeps the sensor's, typed as Computer IP", "", "127.0.0.2", "1",
         "The Lidar local IP cannot be set to the same as the destination IP.Please reset it！"},
        {"unfinished Lidar IP", "192.168.1.", "127.0.0.1", "1",
         "Lidar IP： \"192.168.1.\" is not an address of four numbers 0-255. Nothing was sent."},
        {"Computer IP of three numbers", "127.0.0.2", "127.0.1", "1",
         "Computer IP： \"127.0.1\" is not an address of four numbers 0-255. Nothing was sent."},
        {"interval too large", "127.0.0.2", "127.0.0.1", "70000",
         "Packet interval： \"70000\" is outside 0-65535. Nothing was sent."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InteractionMuchSet d;
        ModalScript script;
        kv::sim::StatusState sensor = kvtest::simulatedSensor();
        kvtest::deliverStatus(d, sensor.buildStatusPacket(0));
        d.lineEdit_DefaultIP->setText(c.lidarIp);
        d.lineEdit_DestIP->setText(c.computerIp);
        d.lineEdit_interval->setText(c.interval);
        d.pushButton_OK->click();
        EXPECT_TRUE(script.saw(QString::fromUtf8(c.message))) << script.texts().toStdString();
        EXPECT_TRUE(sensorPort.receive().empty());
        EXPECT_TRUE(kvtest::auditFiles(dataHome_.path(), "Before").isEmpty());
        // The next attempt waits for a new status packet.
        script.boxes.clear();
        d.pushButton_OK->click();
        EXPECT_TRUE(script.saw(kNoStatus));
    }
}

TEST_F(DeviceDialogs, AFailedSendIsReportedAndALostAuditEntryIsToldOnce) {
    REQUIRE_LOOPBACK_ONLY();
    // Audit entries cannot be written: a file stands where the data directory should be.
    QFile blocker(dataHome_.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_DATA_HOME", (dataHome_.path() + "/file").toLocal8Bit());
    InteractionMuchSet d;
    d.show();
    ModalScript script;
    kv::sim::SensorSettings set;
    set.sensorIp = {127, 255, 255, 255};  // the loopback network's broadcast address: sending is refused
    set.destIp = {127, 0, 0, 1};
    kv::sim::StatusState sensor(set, 9, 1700000000);
    for (int attempt = 0; attempt < 2; ++attempt) {
        kvtest::deliverStatus(d, sensor.buildStatusPacket(attempt));
        d.pushButton_LidarRefresh->click();
        script.boxes.clear();
        d.pushButton_OK->click();
        EXPECT_FALSE(script.saw("Setup completed")) << script.texts().toStdString();
        ASSERT_FALSE(script.boxes.empty());
        EXPECT_TRUE(script.boxes.back().text.startsWith("Setup failed: sending to 127.255.255.255:2368 failed"))
            << script.texts().toStdString();
        EXPECT_FALSE(d.logPending());
    }
    EXPECT_EQ(d.findChildren<QMessageBox*>("auditFailureBox").size(), 1);
}

TEST_F(DeviceDialogs, ASetThatFailsLeavesTheCheckOfTheWriteBeforeIt) {
    REQUIRE_LOOPBACK_ONLY();
    SensorPort sensorPort;
    ASSERT_TRUE(sensorPort.bound);
    InteractionMuchSet d;
    d.show();
    ModalScript script;
    kv::sim::StatusState sensor = kvtest::simulatedSensor();
    kvtest::deliverStatus(d, sensor.buildStatusPacket(0));
    d.pushButton_LidarRefresh->click();
    d.lineEdit_DestIP->setText("127.0.0.1");
    d.comboBox_rotateSpeed->setCurrentText(" 80 Frame");
    d.pushButton_OK->click();
    const auto received = sensorPort.receive();
    ASSERT_EQ(received.size(), 1206u);
    ASSERT_TRUE(sensor.applyConfigPacket(received.data(), received.size()));
    ASSERT_TRUE(d.checkPending());

    // A status packet that names an address nothing can be sent to, then a Set with other
    // fields that fails: the check still judges the write that went out.
    auto unreachable = sensor.buildStatusPacket(1);
    const std::uint8_t broadcast[] = {127, 255, 255, 255};
    std::memcpy(unreachable.data() + kv::statuspkt::kSensorIp, broadcast, 4);
    kvtest::deliverStatus(d, unreachable);
    d.lineEdit_interval->setText("5");
    d.comboBox_rotateSpeed->setCurrentText(" 240 Frame");
    script.boxes.clear();
    d.pushButton_OK->click();
    ASSERT_FALSE(script.boxes.empty());
    EXPECT_TRUE(script.boxes.back().text.startsWith("Setup failed:")) << script.texts().toStdString();

    QTest::qWait(3100);
    kvtest::deliverStatus(d, sensor.buildStatusPacket(4));
    EXPECT_FALSE(d.checkPending());
    EXPECT_EQ(d.label_WriteCheck->text().toStdString(), "Sensor check: applied");
}

TEST_F(DeviceDialogs, RestoreLaserSetSendsTheFactoryResetPacket) {
    REQUIRE_LOOPBACK_ONLY();
    const int port = kvtest::freeUdpPort();
    SensorPort target(port);
    ASSERT_TRUE(target.bound);
    ACWPSetMuch d;
    EXPECT_EQ(d.windowTitle(), "ACWPSetMuch");
    EXPECT_EQ(d.size(), QSize(539, 364));
    EXPECT_EQ(d.lineEdit_DestIP->text(), "192.168.1.200");
    EXPECT_EQ(d.lineEdit_DestPort->text(), "2368");
    EXPECT_EQ(d.lineEdit_rangeselector->text(), "160");
    EXPECT_TRUE(d.lineEdit_SerialNumber->text().isEmpty());
    EXPECT_EQ(d.groupBox_NumberSetting->title(), "Version Num");
    EXPECT_EQ(d.label__DestIP->text(), QString::fromUtf8("Dest IP："));
    d.show();
    EXPECT_FALSE(d.pushButton_OK->isVisible());
    EXPECT_FALSE(d.pushButton_Cancel->isVisible());
    EXPECT_FALSE(d.pushButton_Refreshlidar->isVisible());
    EXPECT_TRUE(d.pushButton_RecoverSetting->isVisible());

    ModalScript script;
    d.lineEdit_DestIP->setText("127.0.0.1");
    d.lineEdit_DestPort->setText(QString::number(port));
    const QDateTime t0 = QDateTime::currentDateTime();
    d.pushButton_RecoverSetting->click();
    EXPECT_TRUE(script.saw("Reset completed !")) << script.texts().toStdString();
    const auto got = target.receive();
    ASSERT_EQ(got.size(), 1206u);
    EXPECT_EQ(got, vec(d.lastResetPacket()));
    auto expected = kv::config::buildFactoryResetPacket({t0.date().year(), t0.date().month(), t0.date().day(),
                                                          t0.time().hour(), t0.time().minute(), t0.time().second()});
    std::copy(got.begin() + 36, got.begin() + 42, expected.begin() + 36);  // the clock may have ticked
    EXPECT_EQ(got, vec(expected));
    EXPECT_EQ(got[36], std::uint8_t(t0.date().year() - 2000));

    struct Bad {
        const char* ip;
        const char* port;
        const char* message;
    } bad[] = {{"127.0.0.", "2368", "Dest IP： \"127.0.0.\" is not an address of four numbers 0-255. Nothing was sent."},
               {"127.0.0.1", "70000", "Dest Port： \"70000\" is not a port 1-65535. Nothing was sent."},
               {"127.0.0.1", "", "Dest Port： \"\" is not a port 1-65535. Nothing was sent."}};
    for (const Bad& b : bad) {
        script.boxes.clear();
        d.lineEdit_DestIP->setText(b.ip);
        d.lineEdit_DestPort->setText(b.port);
        d.pushButton_RecoverSetting->click();
        EXPECT_TRUE(script.saw(QString::fromUtf8(b.message))) << script.texts().toStdString();
    }
    EXPECT_TRUE(target.receive().empty());
}

TEST_F(DeviceDialogs, SaveSetFileCapturesOneStatusPacket) {
    REQUIRE_LOOPBACK_ONLY();
    if (!kvtest::mayCapture()) GTEST_SKIP() << kvtest::kNoCaptureReason;
    ACWPSetMuch d;
    d.setStatusSourceProvider([] { return 0x7F000001u; });
    d.setCaptureLimits({5000, 3000});
    d.show();
    ModalScript script;

    // Nothing to capture: the wait ends at its time limit with the message.
    d.pushButton_SaveSettingfile->click();
    EXPECT_TRUE(script.saw(QString::fromUtf8("抓包失败,请设置发包间隔为0!"))) << script.texts().toStdString();
    EXPECT_EQ(d.lastCaptureDevice(), "lo");

    kv::sim::StatusState sensor = kvtest::simulatedSensor();
    const auto status = sensor.buildStatusPacket(0);
    kv::UdpSocket sink;
    ASSERT_TRUE(sink.open() && sink.bindAny(0));
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        kv::UdpSocket s;
        s.open();
        while (!stop) {
            s.sendTo("127.0.0.1", sink.localPort(), status.data(), status.size());
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const QString file = dataHome_.path() + "/param.ini";
    script.fileName = file;
    script.boxes.clear();
    d.pushButton_SaveSettingfile->click();
    stop = true;
    sender.join();
    EXPECT_TRUE(script.boxes.empty()) << script.texts().toStdString();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const std::string text = f.readAll().toStdString();
    EXPECT_EQ(kvtest::lineCount(text), 76u);
    EXPECT_EQ(kvtest::parseHexDump(text), vec(status));

    // A file that cannot be written.
    script.fileName = dataHome_.path() + "/no/such/dir/param.ini";
    script.boxes.clear();
    stop = false;
    std::thread again([&] {
        kv::UdpSocket s;
        s.open();
        while (!stop) {
            s.sendTo("127.0.0.1", sink.localPort(), status.data(), status.size());
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    d.pushButton_SaveSettingfile->click();
    stop = true;
    again.join();
    EXPECT_TRUE(script.saw(QString::fromUtf8("打开文件失败,请检查!"))) << script.texts().toStdString();
}

// ---- Through the main window ----

std::unique_ptr<manwindow> makeWindow() {
    kv::installSettings(kv::AppSettings());
    return std::make_unique<manwindow>();
}

TEST_F(DeviceDialogs, CodeDialogGuardsTheAdvancedDialog) {
    auto w = makeWindow();
    CodeDialog* code = w->codeDialog();
    EXPECT_EQ(code->windowTitle(), "CodeDialog");
    EXPECT_EQ(code->size(), QSize(300, 180));
    EXPECT_EQ(code->lineEdit->echoMode(), QLineEdit::Password);
    EXPECT_EQ(code->lineEdit->geometry(), QRect(120, 50, 133, 21));
    EXPECT_EQ(code->pushButton_ok->text(), QString::fromUtf8("确定"));
    EXPECT_EQ(code->pushButton_cancel->text(), QString::fromUtf8("取消"));

    struct Case {
        const char* typed;
        bool confirm;
        bool opens;
        bool refused;
    } cases[] = {{" 739", true, false, true}, {"", true, false, true}, {"7390", true, false, true},
                 {"739", false, false, false}, {"739", true, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        w->advancedSet()->hide();
        QTest::mouseClick(w->ui().toolButton_2, Qt::LeftButton);
        ASSERT_TRUE(code->isVisible());
        ModalScript script;
        QTest::keyClicks(code->lineEdit, c.typed);
        (c.confirm ? code->pushButton_ok : code->pushButton_cancel)->click();
        EXPECT_FALSE(code->isVisible());
        EXPECT_TRUE(code->lineEdit->text().isEmpty());
        EXPECT_EQ(w->advancedSet()->isVisible(), c.opens);
        EXPECT_EQ(script.saw(QString::fromUtf8("密码错误")), c.refused) << script.texts().toStdString();
    }
}

TEST_F(DeviceDialogs, AboutShowsTheMasterPanelVersionOfTheLiveStatusPackets) {
    auto w = makeWindow();
    About* about = w->aboutWindow();
    QTest::mouseClick(w->ui().toolButton_About, Qt::LeftButton);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->size(), QSize(500, 200));
    EXPECT_EQ(about->label_label_Master_Panel_Version->text(), QString::fromUtf8("Master panel version："));
    EXPECT_TRUE(about->label_Version_Display->text().isEmpty());
    EXPECT_EQ(about->label->font().family(), "Arial");
    EXPECT_TRUE(about->label->font().bold());

    const int equip = kvtest::freeUdpPort();
    w->ui().lineEdit_portNumber->setText(QString::number(kvtest::freeUdpPort()));
    w->ui().lineEdit_portNumber_2->setText(QString::number(equip));
    QTest::mouseClick(w->ui().toolButton_Lidar, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return w->statusReceiver()->listening.load(); }));
    kv::sim::StatusState sensor = kvtest::simulatedSensor();
    auto p = sensor.buildStatusPacket(0);
    const std::uint8_t version[] = {0x07, 0xE5, 0x0C, 0x17, 0x11, 0x04};
    std::copy(version, version + 6, p.begin() + 1198);
    kv::UdpSocket s;
    ASSERT_TRUE(s.open());
    ASSERT_TRUE(waitUntil([&] {
        s.sendTo("127.0.0.1", equip, p.data(), p.size());
        return about->label_Version_Display->text() == "2021.12.23-V1.1.04";
    }));
    // The same delivery reached both configuration dialogs.
    EXPECT_TRUE(w->interactionSet()->setAllowed());
    EXPECT_EQ(w->interactionSet()->lineEdit_mac_addr->text(), "02-4b-56-00-10-01");
    EXPECT_EQ(w->advancedSet()->equipPort(), 2369);
    // A second "Lidar" leaves one connection of each kind: one delivery per packet.
    QTest::mouseClick(w->ui().toolButton_Lidar, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return w->statusReceiver()->listening.load(); }));
    QTest::mouseClick(w->ui().toolButton, Qt::LeftButton);
    EXPECT_TRUE(w->interactionSet()->isVisible());
}

// A Set from the window reaches the simulated sensor, which applies it (or refuses what it was
// told to), and the status packets that follow show it.
TEST_F(DeviceDialogs, RoundTripThroughTheSimulatedSensor) {
    REQUIRE_LOOPBACK_ONLY();
    struct Case {
        const char* refuse;
        const char* outcome;
        int reportedRpm;
    } cases[] = {{nullptr, "Sensor check: applied", 1200}, {"speed", "Sensor check: not taken: Set Frame", 600}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refuse ? c.refuse : "none");
        const int dataPort = kvtest::freeUdpPort(), equipPort = kvtest::freeUdpPort();
        QStringList args = {"--dest", "127.0.0.1", "--data-port", QString::number(dataPort), "--equip-port",
                            QString::number(equipPort), "--bind-port", "2368", "--seconds", "30"};
        if (c.refuse) args << "--refuse" << c.refuse;
        QProcess sim;
        sim.start(QString(KV_BIN_DIR) + "/kv-sensor-sim", args);
        ASSERT_TRUE(sim.waitForStarted());

        auto w = makeWindow();
        w->ui().lineEdit_portNumber->setText(QString::number(dataPort));
        w->ui().lineEdit_portNumber_2->setText(QString::number(equipPort));
        QTest::mouseClick(w->ui().toolButton_Lidar, Qt::LeftButton);
        InteractionMuchSet* d = w->interactionSet();
        QTest::mouseClick(w->ui().toolButton, Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return d->refreshAllowed() && d->statusReceived(); }, 5000));
        ModalScript script;
        script.choose = [](const QMessageBox& b) {
            return b.windowTitle() == "Question" ? QMessageBox::Ok : QMessageBox::Ok;
        };
        d->pushButton_LidarRefresh->click();
        EXPECT_EQ(d->lineEdit_DefaultIP->text(), "127.0.0.2");
        d->comboBox_rotateSpeed->setCurrentText(" 80 Frame");
        d->pushButton_OK->click();
        EXPECT_TRUE(script.saw("Setup completed")) << script.texts().toStdString();
        EXPECT_FALSE(d->isVisible()) << "Ok closes the dialog";
        ASSERT_TRUE(waitUntil([&] { return !d->checkPending(); }, 8000)) << d->label_WriteCheck->text().toStdString();
        EXPECT_EQ(d->label_WriteCheck->text(), c.outcome);
        const auto last = w->statusReceiver()->lastStatus();
        ASSERT_TRUE(last);
        EXPECT_EQ(last->record.motorSpeed, c.reportedRpm);
        EXPECT_EQ(kvtest::auditFiles(dataHome_.path(), "New").size(), c.refuse ? 2 : 1);
        sim.terminate();
        sim.waitForFinished(3000);
    }
}

}  // namespace
