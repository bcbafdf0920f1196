// The receiver health readout and the first-start hint, with real UDP on loopback.
#include <QDockWidget>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

#include "getmuch.h"
#include "getset.h"
#include "gui_helpers.h"
#include "manwindow.h"
#include "settings.h"
#include "status_packet.h"

using kvtest::waitUntil;

namespace {

bool shows(const QLabel* l, const QString& part) { return l->text().contains(part); }

}  // namespace

TEST(HealthReadout, HintBeforeTheFirstPressThenLiveCountsThenAStoppedStream) {
    kv::installSettings(kv::AppSettings());
    auto w = std::make_unique<manwindow>();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    QLabel* hint = w->startHint();
    QLabel* health = w->healthLabel();
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->text(), "Press Lidar to receive on port 2368");
    EXPECT_TRUE(w->healthDock()->isVisible());
    EXPECT_EQ(health->text(), "Press Lidar to receive on port 2368");

    const int port = kvtest::freeUdpPort(), equip = kvtest::freeUdpPort();
    w->ui().lineEdit_portNumber->setText(QString::number(port));
    EXPECT_EQ(hint->text(), QString("Press Lidar to receive on port %1").arg(port));
    w->ui().lineEdit_portNumber_2->setText(QString::number(equip));
    QTest::mouseClick(w->ui().toolButton_Lidar, Qt::LeftButton);
    EXPECT_FALSE(hint->isVisible());
    ASSERT_TRUE(waitUntil([&] { return w->dataReceiver()->listening.load() && w->statusReceiver()->listening.load(); }));
    EXPECT_TRUE(shows(health, QString("Waiting for data on port %1").arg(port))) << health->text().toStdString();
    EXPECT_TRUE(shows(health, "| from - | no status")) << health->text().toStdString();

    kv::UdpSocket tx;
    ASSERT_TRUE(tx.open());
    const std::vector<std::uint8_t> shortOne(1205, 0), longOne(1207, 0);
    tx.sendTo("127.0.0.1", port, shortOne.data(), shortOne.size());
    tx.sendTo("127.0.0.1", port, longOne.data(), longOne.size());
    std::vector<std::uint8_t> status(kv::statuspkt::kPacketBytes, 0);
    tx.sendTo("127.0.0.1", equip, status.data(), status.size());  // no header
    // About two seconds of a stream, one frame every five packets.
    QElapsedTimer t;
    t.start();
    for (int i = 0; t.elapsed() < 2000; ++i) {
        const auto p = kvtest::singleEchoPacket(20, 1);
        tx.sendTo("127.0.0.1", port, p.data(), p.size());
        if (i == 50) {
            kv::statuspkt::writeHeader(status.data());
            tx.sendTo("127.0.0.1", equip, status.data(), status.size());
        }
        QTest::qWait(5);
    }
    const std::string text = health->text().toStdString();
    EXPECT_TRUE(shows(health, " packets/s | frames ")) << text;
    EXPECT_FALSE(shows(health, "| frames 0.0/s handled")) << text;
    EXPECT_TRUE(shows(health, "| rejected: 2 wrong size; status 0 wrong size, 1 wrong header |")) << text;
    EXPECT_TRUE(shows(health, "| kernel drops 0 | frame bound drops 0 | from 127.0.0.1 | status ")) << text;
    EXPECT_FALSE(shows(health, "no status")) << text;

    // The stream stops: the readout says so (the stall rule itself is tested without a window).
    EXPECT_TRUE(waitUntil([&] { return shows(health, "NO DATA for "); }, 4000)) << health->text().toStdString();
}
