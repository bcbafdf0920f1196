// The main window driven through its widgets, on a real display.
#include <algorithm>
#include <QLabel>
#include <QProcess>
#include <QStandardItemModel>
#include <QTest>
#include <QVTKOpenGLNativeWidget.h>
#include <gtest/gtest.h>
#include <memory>

#include "cloud_view.h"
#include "getmuch.h"
#include "getset.h"
#include "gui_helpers.h"
#include "manwindow.h"
#include "settings.h"

using kvtest::waitUntil;

namespace {

std::unique_ptr<manwindow> makeWindow(const kv::AppSettings& s = kv::AppSettings()) {
    kv::installSettings(s);
    EchoFlag = 0;
    return std::make_unique<manwindow>();
}

MuchLidarData frameOf(int n, int line = 0) {
    MuchLidarData f;
    for (int i = 0; i < n; ++i) f.append(line, float(i % 180), 500.0f + float(i), i % 256);
    return f;
}

// Starts both receivers; the status receiver gets a free port unless the test chose one.
void startLive(manwindow& w, int port) {
    w.ui().lineEdit_portNumber->setText(QString::number(port));
    if (w.ui().lineEdit_portNumber_2->text() == "2369")
        w.ui().lineEdit_portNumber_2->setText(QString::number(kvtest::freeUdpPort()));
    QTest::mouseClick(w.ui().toolButton_Lidar, Qt::LeftButton);
}

}  // namespace

TEST(ManWindow, TitleFollowsConfigurationAndEchoLayout) {
    struct Case {
        int lineType;
        bool production;
        int echoFlag;
        const char* atStart;
        const char* afterFrame;
    } cases[] = {
        {1, false, 0, "VX1 Viewer", "VX1 Viewer"},
        {2, false, 2, "VX2 Viewer", "MS_VX2 Viewer"},
        {1, true, 1, "VX1 Viewer --Production", "VX1 Viewer --Production"},
        {4, true, 2, "VX4 Viewer --Production", "MS_VX4 Viewer --Production"},
    };
    for (const Case& c : cases) {
        kv::AppSettings s;
        s.LidarLineType = c.lineType;
        s.isProductionUsed = c.production;
        auto w = makeWindow(s);
        w->show();
        EXPECT_EQ(w->windowTitle(), c.atStart);
        EXPECT_TRUE(w->modelLabelText().empty());
        EchoFlag = c.echoFlag;
        w->CalculateMuch(frameOf(10));
        EXPECT_EQ(w->windowTitle(), c.afterFrame);
    }
}

TEST(ManWindow, ConstructionState) {
    auto w = makeWindow();
    auto& ui = w->ui();
    EXPECT_EQ(w->objectName(), "manwindowClass");
    EXPECT_EQ(ui.tabWidget->currentIndex(), 0);
    EXPECT_EQ(ui.tabWidget->tabText(0), "Lidar");
    EXPECT_EQ(ui.lineEdit_portNumber->text(), "2368");
    EXPECT_EQ(ui.lineEdit_portNumber_2->text(), "2369");
    EXPECT_EQ(ui.lineEdit_2->text(), "224.1.1.1");
    EXPECT_EQ(ui.comboBox_View->currentIndex(), 1);
    EXPECT_EQ(ui.comboBox_EchoSelection->currentText(), "DualEcho");
    EXPECT_EQ(ui.comboBox_4->currentText(), "Intensity");
    EXPECT_EQ(ui.doubleSpinBox_minAngle->value(), 0.0);
    EXPECT_EQ(ui.doubleSpinBox_maxAngle->value(), 180.0);
    EXPECT_EQ(ui.LidraDataDock->windowTitle(), "LidarData");
    for (QToolButton* b : {ui.toolButton_Play, ui.toolButton_GoToEnd, ui.toolButton_GoToStart,
                           ui.toolButton_SeekBackward, ui.toolButton_SeekForward, ui.toolButton_Play_PCD,
                           ui.toolButton_GoToEnd_PCD, ui.toolButton_SeekForward_PCD,
                           ui.toolButton_SeekBackward_PCD})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    for (QToolButton* b : {ui.toolButton_Open, ui.toolButton_SavePcapData, ui.toolButton_OpenPCD,
                           ui.toolButton_SavePCDData, ui.toolButton_Lidar})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    // The statistics labels hold their names and their room before any frame.
    const std::pair<const char*, const char*> labels[] = {
        {"label_X", "selectP: X_max:  X_min:  "},
        {"label_Y", "selectP: Y_max:\t\t\t\tY_min:\t\t\t\tY_average:\t\t"},
        {"label_Z", "selectP: Z_max:  Z_min:  "},
    };
    for (const auto& [name, text] : labels) {
        auto* l = w->findChild<QLabel*>(name);
        ASSERT_NE(l, nullptr) << name;
        EXPECT_EQ(l->text(), text) << name;
        EXPECT_GE(l->minimumWidth(), 150) << name;
        EXPECT_GE(l->minimumHeight(), 20) << name;
    }
    double pos[3], focal[3], up[3];
    w->cloudView().cameraPose(pos, focal, up);  // the top preset
    EXPECT_DOUBLE_EQ(pos[2], 1.0);
    EXPECT_DOUBLE_EQ(up[1], 1.0);
}

TEST(ManWindow, FrameReachesTheViewTableAndLabels) {
    auto w = makeWindow();
    w->show();
    QStandardItemModel* model = nullptr;
    // The table model comes with the first start; use an unused port so nothing arrives.
    startLive(*w, kvtest::freeUdpPort());
    model = w->pointTableModel();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->columnCount(), 5);
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Points_m_XYZ");

    MuchLidarData f = frameOf(300);
    f.distance[0] = 0;  // no return: not drawn, no row
    w->CalculateMuch(f);
    ASSERT_TRUE(waitUntil([&] { return w->framesDrawn() == 1; }));
    EXPECT_EQ(w->cloudView().cloudPointCount(kv::CloudView::kRealTimeId), 299);
    EXPECT_EQ(w->cloudView().cloudPointCount(kv::CloudView::kClickedId), 0);
    EXPECT_EQ(model->rowCount(), 256);
    EXPECT_EQ(model->item(0, 0)->text(), "0");
    EXPECT_EQ(model->item(0, 3)->text(), "1.000");      // the second point: azimuth 1
    EXPECT_EQ(model->item(0, 2)->text(), "5.010");      // 501 cm
    EXPECT_EQ(model->item(0, 4)->text(), "1.0000");
    EXPECT_EQ(w->lastFrame(), f);
    EXPECT_EQ(w->findChild<QLabel*>("label_X")->text(), " ");

    // Only line 0 is offered by default: a frame of line 1 draws nothing.
    w->CalculateMuch(frameOf(50, 1));
    ASSERT_TRUE(waitUntil([&] { return w->framesDrawn() == 2; }));
    EXPECT_EQ(w->cloudView().cloudPointCount(kv::CloudView::kRealTimeId), 0);
}

TEST(ManWindow, DrawingSkipsToTheNewestFrameWhenBehind) {
    auto w = makeWindow();
    for (int i = 1; i <= 10; ++i) w->CalculateMuch(frameOf(i * 10));
    EXPECT_EQ(w->framesHandled(), 10u);
    EXPECT_EQ(w->lastFrame().size(), 100u);
    ASSERT_TRUE(waitUntil([&] { return w->framesDrawn() == 1; }));
    QApplication::processEvents();
    EXPECT_EQ(w->framesDrawn(), 1u);
    EXPECT_EQ(w->drawsSkipped(), 9u);
    EXPECT_EQ(w->cloudView().cloudPointCount(kv::CloudView::kRealTimeId), 100);
}

TEST(ManWindow, SuspendKeepsThePictureButFollowsTheTitle) {
    auto w = makeWindow();
    w->CalculateMuch(frameOf(20));
    ASSERT_TRUE(waitUntil([&] { return w->framesDrawn() == 1; }));
    QTest::mouseClick(w->ui().tolbtn_SuspendData, Qt::LeftButton);
    EXPECT_TRUE(w->isSuspended());
    EchoFlag = 2;
    w->CalculateMuch(frameOf(40));
    QApplication::processEvents();
    EXPECT_EQ(w->windowTitle(), "MS_VX1 Viewer");
    EXPECT_EQ(w->lastFrame().size(), 20u);
    EXPECT_EQ(w->framesDrawn(), 1u);
    EXPECT_EQ(w->cloudView().cloudPointCount(kv::CloudView::kRealTimeId), 20);
}

TEST(ManWindow, DockToggles) {
    auto w = makeWindow();
    w->show();
    for (bool visible : {false, true, false}) {
        QTest::mouseClick(w->ui().toolButton_LidarDataList, Qt::LeftButton);
        EXPECT_EQ(w->ui().LidraDataDock->isVisible(), visible);
    }
}

TEST(ManWindow, LiveFramesArriveOverUdpAndRestartKeepsOneConnection) {
    auto w = makeWindow();
    w->show();
    const int port = kvtest::freeUdpPort();
    startLive(*w, port);
    ASSERT_TRUE(waitUntil([&] { return w->dataReceiver()->isRunning(); }));
    QTest::mouseClick(w->ui().toolButton_Lidar, Qt::LeftButton);  // restart: still one connection
    ASSERT_TRUE(waitUntil([&] { return w->dataReceiver()->listening.load(); }));
    ASSERT_TRUE(waitUntil([&] { return w->statusReceiver()->listening.load(); }));
    EXPECT_TRUE(w->isLiveRunning());

    kv::UdpSocket tx;
    ASSERT_TRUE(tx.open());
    // Period 0 (before the first marker) + 4 whole periods = one frame of 5 x 20 points.
    for (int i = 0; i < 5; ++i) {
        auto p = kvtest::singleEchoPacket(20, 1);
        tx.sendTo("127.0.0.1", port, p.data(), p.size());
        QTest::qWait(5);
    }
    ASSERT_TRUE(waitUntil([&] { return w->framesHandled() >= 1; }))
        << "accepted " << w->dataReceiver()->packetsAccepted << " rejected " << w->dataReceiver()->datagramsRejected
        << " emitted " << w->dataReceiver()->framesEmitted;
    QTest::qWait(100);
    EXPECT_EQ(w->framesHandled(), 1u);  // a frame is handled once, not once per connection
    EXPECT_EQ(w->lastFrame().size(), 100u);
    ASSERT_TRUE(waitUntil([&] { return w->framesDrawn() >= 1; }));
    EXPECT_EQ(w->cloudView().cloudPointCount(kv::CloudView::kRealTimeId), 100);
    EXPECT_EQ(w->kernelDrops(), 0u);
}

TEST(ManWindow, BindErrorsArriveAsTipsBoxes) {
    for (bool dataPortTaken : {true, false}) {
        auto w = makeWindow();
        w->show();
        kv::UdpSocket holder;
        ASSERT_TRUE(holder.open());
        ASSERT_TRUE(holder.bindAny(0));
        const int taken = holder.localPort(), freePort = kvtest::freeUdpPort();
        w->ui().lineEdit_portNumber_2->setText(QString::number(dataPortTaken ? freePort : taken));
        kvtest::MessageBoxCatcher catcher;
        catcher.arm();
        startLive(*w, dataPortTaken ? taken : freePort);
        ASSERT_TRUE(waitUntil([&] { return catcher.seen; }));
        EXPECT_EQ(catcher.title, "Tips");
        EXPECT_EQ(catcher.text, QString(dataPortTaken ? "Data Port:%1 : Bind Error" : "Equi Port:%1 : Bind Error").arg(taken));
        EXPECT_EQ(catcher.buttons, 1);
        EXPECT_TRUE(waitUntil([&] {
            return dataPortTaken ? !w->dataReceiver()->isRunning() : !w->statusReceiver()->isRunning();
        }));
    }
}

TEST(ManWindow, EchoSelectorReachesTheReceiver) {
    auto w = makeWindow();
    for (int i : {2, 1, 0}) {
        w->ui().comboBox_EchoSelection->setCurrentIndex(i);
        EXPECT_EQ(w->dataReceiver()->echoMode.load(), i);
    }
}

// The picture itself, not only the visualiser's bookkeeping: the view's framebuffer shows the
// frame's points after it is presented, and loses them with an empty frame.
TEST(ManWindow, PresentedFrameIsOnScreen) {
    auto w = makeWindow();
    w->show();
    w->ui().comboBox_View->setCurrentIndex(0);
    w->ui().toolButton_Coor->click();  // resets the camera around what is drawn
    w->ui().toolButton_Coor->click();
    auto litPixels = [&] {
        const QImage img = w->ui().screen->grabFramebuffer();
        long lit = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) lit += qGray(img.pixel(x, y)) > 60;
        return lit;
    };
    const long before = litPixels();
    w->handleViewKey('+');
    w->handleViewKey('+');
    MuchLidarData f;
    for (int i = 0; i < 1800; ++i) f.append(0, float(i) * 0.1f, 300.0f, 255);  // a 3 m half circle
    w->CalculateMuch(f);
    ASSERT_TRUE(waitUntil([&] { return w->framesDrawn() == 1; }));
    w->ui().toolButton_Coor->click();  // frame the half circle
    w->ui().toolButton_Coor->click();
    const long with = litPixels();
    EXPECT_GT(with, before + 200) << "before " << before << " with " << with;
    w->CalculateMuch(MuchLidarData());
    ASSERT_TRUE(waitUntil([&] { return w->framesDrawn() == 2; }));
    EXPECT_LT(litPixels(), with - 200);
}

// The viewer as a program: its options answer and exit without a window, what it does not know
// is refused with status 2 before it looks for a display, and without a display it says so in
// one line instead of aborting.
TEST(ViewerProgram, OptionsAndNoDisplay) {
    const struct {
        QStringList args;
        bool display;
        int exitCode;
        const char* out;  // start of standard output
        const char* err;  // start of standard error (a single line)
    } cases[] = {
        {{"--help"}, true, 0, "Usage: kv-cloudscope", ""},
        {{"--version"}, true, 0, "kv-cloudscope 0.1.0\n", ""},
        {{"--version"}, false, 0, "kv-cloudscope 0.1.0\n", ""},
        {{}, false, 1, "", "kv-cloudscope: cannot open a display"},
        {{}, true, 1, "", "kv-cloudscope: cannot open a display"},  // a display that is not there
        {{"--bogus"}, false, 2, "", "kv-cloudscope: unknown option '--bogus'"},
        {{"--bogus"}, true, 2, "", "kv-cloudscope: unknown option '--bogus'"},
        {{"a.pcap", "b.pcap"}, true, 2, "", "kv-cloudscope: more than one file given"},
        {{"capture.pcap", "-style"}, false, 2, "", "kv-cloudscope: -style needs a value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString() + (c.display ? " with DISPLAY" : " without"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
        if (c.display) env.insert("DISPLAY", ":8765");  // no server listens there
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QString(KV_BIN_DIR) + "/kv-cloudscope", c.args);
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), c.exitCode);
        const std::string out = p.readAllStandardOutput().toStdString();
        const std::string err = p.readAllStandardError().toStdString();
        EXPECT_EQ(out.rfind(c.out, 0), 0u) << out;
        EXPECT_EQ(err.rfind(c.err, 0), 0u) << err;
        if (*c.err) {
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        } else {
            EXPECT_TRUE(err.empty()) << err;
        }
    }
}
