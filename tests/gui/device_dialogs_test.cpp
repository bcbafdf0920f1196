// The device configuration windows driven through their widgets on a real display, inside a
// loopback-only network namespace: the laser configuration dialog against a loopback socket and
// the simulated sensor, the advanced dialog's reset packet and parameter file, the code dialog
// and the About window through the main window.
#include <QComboBox>
#include <QDockWidget>
#include <QTableWidget>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

#include "about.h"
#include "capture_permission.h"
#include "acwpsetmuch.h"
#include "codedialog.h"
#include "config_packet.h"
#include "device_helpers.h"
#include "frame_display.h"
#include "sensors_file.h"
#include "sensors_panel.h"
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

    // What is typed stays as typed: no keystroke is dropped, whatever the text turns into.
    const std::pair<QLineEdit*, const char*> typed[] = {
        {d.lineEdit_DefaultIP, "300.1.2.3"}, {d.lineEdit_DestIP, "192.168.1.1000"}, {d.lineEdit_defaultPort, "70000"},
        {d.lineEdit_destPort, "1024x"},      {d.lineEdit_interval, "x1"},           {d.lineEdit_PLAngle, "12,34"}};
    for (const auto& [edit, text] : typed) {
        edit->clear();
        QTest::keyClicks(edit, text);
        EXPECT_EQ(edit->text().toStdString(), text) << edit->objectName().toStdString();
    }
}

// Enter in a field presses no button: "Refresh state" would overwrite the edits with the
// sensor's values.
TEST_F(DeviceDialogs, EnterInAFieldOfTheLaserConfigDialogPressesNothing) {
    InteractionMuchSet d;
    d.show();
    d.activateWindow();
    ModalScript script;
    kv::sim::StatusState sensor = kvtest::simulatedSensor();
    kvtest::deliverStatus(d, sensor.buildStatusPacket(0));
    for (QPushButton* b : d.findChildren<QPushButton*>()) {
        EXPECT_FALSE(b->isDefault()) << b->text().toStdString();
        EXPECT_FALSE(b->autoDefault()) << b->text().toStdString();
    }
    for (QLineEdit* edit : {d.lineEdit_DefaultIP, d.lineEdit_interval, d.lineEdit_destPort}) {
        SCOPED_TRACE(edit->objectName().toStdString());
        edit->setFocus();
        edit->setText("7");
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClick(edit, Qt::Key_Enter);
        QApplication::processEvents();
        EXPECT_EQ(edit->text().toStdString(), "7");
    }
    EXPECT_TRUE(script.boxes.empty()) << script.texts().toStdString();
    EXPECT_TRUE(d.refreshAllowed()) << "no Refresh happened";
    EXPECT_TRUE(d.isVisible());
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

    // First the confirmation: what changes and where the packet goes. Cancel sends nothing.
    script.boxes.clear();
    d.pushButton_OK->click();
    ASSERT_EQ(script.boxes.size(), 1u) << script.texts().toStdString();
    EXPECT_EQ(script.boxes[0].title, "Confirm");
    EXPECT_EQ(script.boxes[0].text.toStdString(),
              "Write to the sensor at 127.0.0.2 (port 2368):\nData Port: 2368 -> 2370\n"
              "Packet interval: 1 -> 2\nSet Frame: 600 rpm -> 1200 rpm");
    EXPECT_TRUE(sensorPort.receive().empty());
    EXPECT_TRUE(kvtest::auditFiles(dataHome_.path(), "Before").isEmpty());
    EXPECT_FALSE(d.setAllowed()) << "the next attempt waits for a new status packet";

    kvtest::deliverStatus(d, before);
    script.choose = kvtest::confirmWrites;
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
    using IMS = InteractionMuchSet;
    struct Case {
        const char* name;
        const char* lidarIp;
        const char* computerIp;
        const char* interval;
        QLineEdit* IMS::*field;  // typed into, key by key, after the three texts above
        const char* typed;
        const char* message;
    } cases[] = {
        {"same addresses", "127.0.0.2", "127.0.0.2", "1", nullptr, "",
         "The Lidar local IP cannot be set to the same as the destination IP.Please reset it！"},
        {"both empty", "", "", "1", nullptr, "",
         "The Lidar local IP cannot be set to the same as the destination IP.Please reset it！"},
        {"one address in two spellings", "127.0.0.02", "127.0.0.2", "1", nullptr, "",
         "The Lidar local IP cannot be set to the same as the destination IP.Please reset it！"},
        {"empty Lidar IP keeps the sensor's, typed as Computer IP", "", "127.0.0.2", "1", nullptr, "",
         "The Lidar local IP cannot be set to the same as the destination IP.Please reset it！"},
        {"unfinished Lidar IP", "192.168.1.", "127.0.0.1", "1", nullptr, "",
         "Lidar IP： \"192.168.1.\" is not an address of four numbers 0-255. Nothing was sent."},
        {"Computer IP of three numbers", "127.0.0.2", "127.0.1", "1", nullptr, "",
         "Computer IP： \"127.0.1\" is not an address of four numbers 0-255. Nothing was sent."},
        {"interval too large", "127.0.0.2", "127.0.0.1", "70000", nullptr, "",
         "Packet interval： \"70000\" is outside 0-65535. Nothing was sent."},
        {"300 typed in Lidar IP", "", "127.0.0.1", "1", &IMS::lineEdit_DefaultIP, "300.1.2.3",
         "Lidar IP： \"300.1.2.3\" is not an address of four numbers 0-255. Nothing was sent."},
        {"1000 typed in Computer IP", "127.0.0.2", "", "1", &IMS::lineEdit_DestIP, "127.0.0.1000",
         "Computer IP： \"127.0.0.1000\" is not an address of four numbers 0-255. Nothing was sent."},
        {"sensor at 0.0.0.0", "", "127.0.0.1", "1", &IMS::lineEdit_DefaultIP, "0.0.0.0",
         "Lidar IP： \"0.0.0.0\" is the unspecified address, which no sensor can have. Nothing was sent."},
        {"sensor at 255.255.255.255", "", "127.0.0.1", "1", &IMS::lineEdit_DefaultIP, "255.255.255.255",
         "Lidar IP： \"255.255.255.255\" is the broadcast address, which no sensor can have. Nothing was sent."},
        {"sensor at a multicast address", "", "127.0.0.1", "1", &IMS::lineEdit_DefaultIP, "239.1.2.3",
         "Lidar IP： \"239.1.2.3\" is a multicast address, which no sensor can have. Nothing was sent."},
        {"data port 1024", "127.0.0.2", "127.0.0.1", "1", &IMS::lineEdit_defaultPort, "1024",
         "Data Port： \"1024\" is not a port 1025-65535. Nothing was sent."},
        {"equipment port 65536", "127.0.0.2", "127.0.0.1", "1", &IMS::lineEdit_destPort, "65536",
         "Equipment Port： \"65536\" is not a port 1025-65535. Nothing was sent."},
        {"equipment port 70000", "127.0.0.2", "127.0.0.1", "1", &IMS::lineEdit_destPort, "70000",
         "Equipment Port： \"70000\" is not a port 1025-65535. Nothing was sent."},
        {"interval x1", "127.0.0.2", "127.0.0.1", "", &IMS::lineEdit_interval, "x1",
         "Packet interval： \"x1\" is not a number 0-65535. Nothing was sent."},
        {"angle abc", "127.0.0.2", "127.0.0.1", "1", &IMS::lineEdit_PLAngle, "abc",
         "PL angle： \"abc\" is not a decimal number from 0 to 655.34. Nothing was sent."},
        {"angle 12,34", "127.0.0.2", "127.0.0.1", "1", &IMS::lineEdit_PLAngle, "12,34",
         "PL angle： \"12,34\" is not a decimal number from 0 to 655.34. Nothing was sent."},
        {"angle 1e18", "127.0.0.2", "127.0.0.1", "1", &IMS::lineEdit_PLAngle, "1e18",
         "PL angle： \"1e18\" is not a decimal number from 0 to 655.34. Nothing was sent."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InteractionMuchSet d;
        d.show();
        ModalScript script;
        script.choose = kvtest::confirmWrites;  // were any of them let through, it would be sent
        kv::sim::StatusState sensor = kvtest::simulatedSensor();
        kvtest::deliverStatus(d, sensor.buildStatusPacket(0));
        d.lineEdit_DefaultIP->setText(c.lidarIp);
        d.lineEdit_DestIP->setText(c.computerIp);
        d.lineEdit_interval->setText(c.interval);
        if (c.field) {
            QLineEdit* edit = d.*c.field;
            edit->clear();
            QTest::keyClicks(edit, c.typed);
            EXPECT_EQ(edit->text().toStdString(), c.typed) << "the field shows what was typed";
        }
        d.pushButton_OK->click();
        EXPECT_TRUE(script.saw(QString::fromUtf8(c.message))) << script.texts().toStdString();
        EXPECT_EQ(script.boxes.size(), 1u) << script.texts().toStdString();
        EXPECT_TRUE(kvtest::auditFiles(dataHome_.path(), "Before").isEmpty());
        // The next attempt waits for a new status packet.
        script.boxes.clear();
        d.pushButton_OK->click();
        EXPECT_TRUE(script.saw(kNoStatus));
    }
    EXPECT_TRUE(sensorPort.receive().empty());
}

// "Refresh state" then "Set" with nothing edited sends nothing and says so; with the interval
// edited, only the interval is listed and the phase-lock bytes go back as the sensor reported
// them (the angle rows are hidden, as they are by default).
TEST_F(DeviceDialogs, RefreshThenSetWritesThePhaseLockBackUnchanged) {
    REQUIRE_LOOPBACK_ONLY();
    SensorPort sensorPort;
    ASSERT_TRUE(sensorPort.bound);
    struct Case {
        int units;
        bool on;
    } cases[] = {{53, false}, {105, true}, {117, false}, {617, true}, {32767, true}};
    int written = 0;  // "Modify" entries of the cases before
    for (const Case& c : cases) {
        SCOPED_TRACE(c.units);
        InteractionMuchSet d;
        d.show();
        ModalScript script;
        script.choose = kvtest::confirmWrites;
        kv::sim::SensorSettings set;
        set.sensorIp = {127, 0, 0, 2};
        set.destIp = {127, 0, 0, 1};
        set.phaseLockOn = c.on;
        set.phaseLockAngleUnits = c.units;
        kv::sim::StatusState sensor(set, 9, 1700000000);
        const auto status = sensor.buildStatusPacket(0);
        kvtest::deliverStatus(d, status);
        d.pushButton_LidarRefresh->click();
        EXPECT_FALSE(d.lineEdit_PLAngle->isVisible());
        script.boxes.clear();
        d.pushButton_OK->click();
        EXPECT_EQ(script.texts().toStdString(),
                  "[Tips] No field differs from the last status of the sensor at 127.0.0.2. Nothing was sent.\n");
        EXPECT_EQ(kvtest::auditFiles(dataHome_.path(), "Modify").size(), written);

        kvtest::deliverStatus(d, sensor.buildStatusPacket(1));
        d.lineEdit_interval->setText("4");
        script.boxes.clear();
        d.pushButton_OK->click();
        EXPECT_TRUE(script.saw("Write to the sensor at 127.0.0.2 (port 2368):\nPacket interval: 1 -> 4"))
            << script.texts().toStdString();
        EXPECT_TRUE(script.saw("Setup completed")) << script.texts().toStdString();
        ++written;
        const auto got = sensorPort.receive();
        ASSERT_EQ(got.size(), 1206u);
        EXPECT_EQ(kv::readBe16(got.data() + kv::statuspkt::kPhaseLock), kv::readBe16(status.data() + kv::statuspkt::kPhaseLock));
    }
    EXPECT_TRUE(sensorPort.receive().empty()) << "a Set with nothing edited sent something";
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
        d.lineEdit_interval->setText("5");
        script.choose = kvtest::confirmWrites;
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
    script.choose = kvtest::confirmWrites;
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
    // The audit trail says which "Modify" entry was not sent, and why.
    const QStringList modify = kvtest::auditFiles(dataHome_.path(), "Modify");
    const QStringList notSent = kvtest::auditFiles(dataHome_.path(), "NotSent");
    ASSERT_EQ(modify.size(), 2);
    ASSERT_EQ(notSent.size(), 1);
    QFile f(notSent[0]);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(entry.startsWith("Not sent: the packet of " + QFileInfo(modify[1]).fileName() +
                                 " (sending to 127.255.255.255:2368 failed ("))
        << entry.toStdString();
    EXPECT_TRUE(entry.endsWith(")\n")) << entry.toStdString();

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

    enum Close { OkButton, CancelButton, Escape, TitleBar };
    struct Case {
        const char* typed;
        Close how;
        bool opens;
        bool refused;
    } cases[] = {{" 739", OkButton, false, true}, {"", OkButton, false, true},    {"7390", OkButton, false, true},
                 {"739", CancelButton, false, false}, {"739", OkButton, true, false}, {"739", Escape, false, false},
                 {"739", TitleBar, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " closed by " + std::to_string(int(c.how)));
        w->advancedSet()->hide();
        QTest::mouseClick(w->ui().toolButton_2, Qt::LeftButton);
        ASSERT_TRUE(code->isVisible());
        EXPECT_TRUE(code->lineEdit->text().isEmpty()) << "each opening starts blank";
        ModalScript script;
        QTest::keyClicks(code->lineEdit, c.typed);
        switch (c.how) {
        case OkButton: code->pushButton_ok->click(); break;
        case CancelButton: code->pushButton_cancel->click(); break;
        case Escape: QTest::keyClick(code->lineEdit, Qt::Key_Escape); break;
        case TitleBar: {
            // What the window system sends when the title bar's close button is pressed.
            QCloseEvent close;
            QApplication::sendEvent(code->windowHandle(), &close);
            break;
        }
        }
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

        // A second write: from the moment it is sent, the line no longer tells the first one's outcome.
        QString lineWhenSent;
        script.choose = [&](const QMessageBox& b) {
            if (b.text() == "Setup completed") lineWhenSent = d->label_WriteCheck->text();
            return QMessageBox::Ok;
        };
        QTest::mouseClick(w->ui().toolButton, Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return d->refreshAllowed() && d->statusReceived(); }, 5000));
        d->pushButton_LidarRefresh->click();
        d->comboBox_rotateSpeed->setCurrentText(" 120 Frame");
        d->pushButton_OK->click();
        EXPECT_EQ(lineWhenSent, "Sensor check: waiting for the sensor's status packets") << script.texts().toStdString();
        sim.terminate();
        sim.waitForFinished(3000);
    }
}

// Two and three simulated sensors on one data port, each sending from a loopback address of its
// own: the dock lists each, the frame on screen holds one whole frame of each sensor (four marker
// periods, never two sensors' periods in one), a pose moves only its own sensor's points, and
// the dialog fills from and writes to the selected sensor only, naming it.
TEST_F(DeviceDialogs, SeveralSensorsOnOnePortEachCutAloneAndTheDialogFollowsTheSelected) {
    REQUIRE_LOOPBACK_ONLY();
    constexpr std::size_t kFramePoints = 4 * 1801;  // four periods of 0-180 deg at 0.1 deg
    const QByteArray userConfig = qgetenv("XDG_CONFIG_HOME");
    struct Restore {
        QByteArray value;
        ~Restore() { qputenv("XDG_CONFIG_HOME", value); }
    } restore{userConfig};
    for (int count : {2, 3}) {
        SCOPED_TRACE(count);
        // Simulators send from fixed ports and are remembered: each round starts without sensors.ini.
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        const int dataPort = kvtest::freeUdpPort(), equipPort = kvtest::freeUdpPort();
        std::vector<std::unique_ptr<QProcess>> sims;
        for (int k = 0; k < count; ++k) {
            sims.push_back(std::make_unique<QProcess>());
            sims.back()->start(QString(KV_BIN_DIR) + "/kv-sensor-sim",
                               {"--dest", "127.0.0.1", "--data-port", QString::number(dataPort), "--equip-port",
                                QString::number(equipPort), "--bind-port", "2368", "--source-ip",
                                QString("127.0.0.%1").arg(2 + k), "--seconds", "40", "--seed", QString::number(k + 1)});
            ASSERT_TRUE(sims.back()->waitForStarted());
        }
        auto w = makeWindow();
        w->ui().lineEdit_portNumber->setText(QString::number(dataPort));
        w->ui().lineEdit_portNumber_2->setText(QString::number(equipPort));
        QTest::mouseClick(w->ui().toolButton_Lidar, Qt::LeftButton);
        kv::window::SensorsPanel& panel = w->sensorsPanel();
        ASSERT_TRUE(waitUntil([&] { return panel.book().size() == std::size_t(count); }, 8000));
        EXPECT_FALSE(panel.dock()->isHidden());
        const auto perSensor = [&] {
            std::vector<std::size_t> n(std::size_t(count), 0);
            const MuchLidarData& f = w->lastFrame();
            for (std::size_t i = 0; i < f.size(); ++i) ++n[std::min(f.sensorOf(i), std::size_t(count - 1))];
            return n;
        };
        const std::uint64_t start = w->framesHandled();
        ASSERT_TRUE(waitUntil([&] { return w->framesHandled() >= start + 5; }, 8000));
        EXPECT_EQ(perSensor(), std::vector<std::size_t>(std::size_t(count), kFramePoints));

        // A pose 5 m up for sensor 1 lifts its points and no other's.
        const auto heights = [&] {
            const kv::SensorPoses poses = panel.poses();
            const kv::PoseTable table(poses);
            std::vector<double> sum(std::size_t(count), 0);
            const MuchLidarData& f = w->lastFrame();
            for (std::size_t i = 0; i < f.size(); ++i)
                if (f.distance[i] > 0)
                    sum[f.sensorOf(i)] += kv::posedPoint(kv::BeamGeometry::forLineType(1), f.channel[i], f.azimuth[i],
                                                         f.distance[i], table.byIndex[f.sensorOf(i)])
                                              .zM;
            return sum;
        };
        panel.table()->item(1, 6)->setText("0,0,5,0,0,0");
        EXPECT_EQ(panel.book().at(1).pose, (kv::Pose{0, 0, 5, 0, 0, 0}));
        EXPECT_TRUE(panel.book().at(0).pose.isIdentity());
        const std::vector<double> z = heights();
        EXPECT_NEAR(z[0], 0.0, 1e-3);
        EXPECT_GT(z[1], 5.0 * 1000);
        EXPECT_TRUE(kv::readSensorsFile(kv::sensorsFilePath()).sensors.size() >= std::size_t(count));

        // The dialog follows the selected sensor: its state, then its write.
        // The last simulator started, wherever the receiver listed it.
        const QString address = QString("127.0.0.%1").arg(1 + count);
        int chosen = -1;
        for (std::size_t i = 0; i < panel.book().size(); ++i)
            if (QString::fromStdString(panel.book().at(i).source).startsWith(address + ":")) chosen = int(i);
        ASSERT_GE(chosen, 0);
        panel.table()->selectRow(chosen);
        InteractionMuchSet* d = w->interactionSet();
        QTest::mouseClick(w->ui().toolButton, Qt::LeftButton);
        ModalScript script;
        script.choose = [](const QMessageBox& b) { return b.windowTitle() == "Question" ? QMessageBox::Cancel : QMessageBox::Ok; };
        ASSERT_TRUE(waitUntil([&] { return d->refreshAllowed() && d->statusReceived(); }, 5000));
        d->pushButton_LidarRefresh->click();
        EXPECT_EQ(d->lineEdit_DefaultIP->text(), address);
        d->comboBox_rotateSpeed->setCurrentText(" 120 Frame");
        d->pushButton_OK->click();
        EXPECT_TRUE(script.texts().contains("Write to the sensor at " + address)) << script.texts().toStdString();
        EXPECT_TRUE(script.saw("Setup completed")) << script.texts().toStdString();
        std::uint32_t ip = 0;
        ASSERT_TRUE(kv::parseIpv4(address.toStdString(), ip));
        ASSERT_TRUE(waitUntil([&] {
            const auto s = w->statusReceiver()->lastStatusOf(ip);
            return s && s->record.motorSpeed == 1800;
        }, 8000));
        for (int k = 0; k < count - 1; ++k) {
            const auto other = w->statusReceiver()->lastStatusOf(0x7F000002u + std::uint32_t(k));
            ASSERT_TRUE(other);
            EXPECT_EQ(other->record.motorSpeed, 600) << "sensor " << k << " was written to";
        }
        d->close();
        for (auto& sim : sims) {
            sim->terminate();
            sim->waitForFinished(3000);
        }
    }
}

}  // namespace
