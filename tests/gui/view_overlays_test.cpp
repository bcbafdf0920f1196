// The 3D view's overlays and the line selection window, driven through the window's widgets.
#include <QCheckBox>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QVTKOpenGLNativeWidget.h>
#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include <memory>
#include <pcl/io/pcd_io.h>
#include <pcl/point_types.h>

#include "cloud_view.h"
#include "getmuch.h"
#include <QStatusBar>
#include <QApplication>
#include "gui_helpers.h"
#include "replay_fixture.h"
#include "manwindow.h"
#include "playback.h"
#include "qlaserselectionmuch.h"
#include "settings.h"

using kvtest::waitUntil;

namespace {

std::unique_ptr<manwindow> makeWindow(int lineShowNumber = 1, bool production = false) {
    kv::AppSettings s;
    s.LineShowNumber = lineShowNumber;
    s.isProductionUsed = production;
    kv::installSettings(s);
    EchoFlag = 0;
    auto w = std::make_unique<manwindow>();
    w->show();
    return w;
}

// One point on each of the four lines.
MuchLidarData fourLines() {
    MuchLidarData f;
    for (int line = 0; line < 4; ++line) f.append(line, 90.0f, 1000.0f, 50);
    return f;
}

long drawnPoints(manwindow& w, const MuchLidarData& f) {
    const auto before = w.framesDrawn();
    w.CalculateMuch(f);
    waitUntil([&] { return w.framesDrawn() > before; });
    return w.cloudView().cloudPointCount(kv::CloudView::kRealTimeId);
}

constexpr std::size_t kGridShapes = 82 + 360 + 10;

}  // namespace

TEST(ViewOverlays, GridToggleDrawsRemovesAndRedraws) {
    auto w = makeWindow();
    w->ui().toolButton_MeaGrid->click();
    EXPECT_EQ(w->cloudView().shapeCount(), kGridShapes);
    for (const char* id : {"LineX-200", "LineX200", "LineY0", "Circle100", "Circle190350", "Circle10", "Circle190"})
        EXPECT_TRUE(w->cloudView().hasShape(id)) << id;
    w->ui().toolButton_MeaGrid->click();
    EXPECT_EQ(w->cloudView().shapeCount(), 0u);
    w->ui().toolButton_MeaGrid->click();
    EXPECT_EQ(w->cloudView().shapeCount(), kGridShapes);
}

TEST(ViewOverlays, ReadoutTextFollowsEveryFrameAndSurvivesTheGrid) {
    auto w = makeWindow();
    drawnPoints(*w, fourLines());
    EXPECT_TRUE(w->cloudView().hasShape("0"));
    // The text is on screen with the first frame: blue pixels along the bottom of the view.
    const QImage img = w->ui().screen->grabFramebuffer();
    long blue = 0;
    for (int y = img.height() - 30; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            blue += qBlue(p) > 150 && qRed(p) < 80 && qGreen(p) < 80;
        }
    EXPECT_GT(blue, 100);
    EXPECT_TRUE(w->lastReadout().startsWith("Distance:")) << w->lastReadout().toStdString();
    EXPECT_TRUE(w->lastReadout().contains("    Azimuth:"));
    w->ui().toolButton_MeaGrid->click();
    w->ui().toolButton_MeaGrid->click();  // removing the grid removes the readout too
    EXPECT_FALSE(w->cloudView().hasShape("0"));
    drawnPoints(*w, fourLines());  // the next frame brings it back
    EXPECT_TRUE(w->cloudView().hasShape("0"));
}

// What a newcomer reads and sees stays put: the statistics show whole at the window's 1280 px
// and no status message hides them; the cursor readout follows the mouse while the picture is
// still; the grid on or off leaves the camera where it was; opening a capture does not widen
// the window.
TEST(ViewOverlays, FiguresCameraAndWidthStayPut) {
    QTemporaryDir dir;
    auto w = makeWindow();
    w->showNormal();
    w->resize(1280, 800);
    QApplication::processEvents();
    const int width = w->width();
    drawnPoints(*w, fourLines());

    auto* y = w->findChild<QLabel*>("label_Y");
    ASSERT_NE(y, nullptr);
    y->setText("selectP: Y_max:  -1234.56\t\tY_min:  -18.4855\t\tY_average:  34.4632");
    w->statusBar()->showMessage("a message that must not hide the figures", 15000);
    QApplication::processEvents();
    for (const char* name : {"label_X", "label_Y", "label_Z"}) {
        const QLabel* l = w->findChild<QLabel*>(name);
        EXPECT_TRUE(l->isVisible()) << name;
        EXPECT_GE(l->width(), l->sizeHint().width()) << name << " is cut";
    }

    w->ui().tolbtn_SuspendData->click();  // a still picture
    const QString before = w->lastReadout();
    QVTKOpenGLNativeWidget* screen = w->ui().screen;
    QTest::mouseMove(screen, QPoint(screen->width() / 3, screen->height() / 3));
    ASSERT_TRUE(waitUntil([&] { return w->lastReadout() != before; }, 3000)) << before.toStdString();
    const QString moved = w->lastReadout();
    QTest::mouseMove(screen, QPoint(screen->width() * 2 / 3, screen->height() * 2 / 3));
    EXPECT_TRUE(waitUntil([&] { return w->lastReadout() != moved; }, 3000));

    const auto cameraNow = [&] {
        double p[3], f[3], u[3];
        w->cloudView().cameraPose(p, f, u);
        return std::vector<double>{p[0], p[1], p[2], f[0], f[1], f[2], u[0], u[1], u[2]};
    };
    const std::vector<double> camera = cameraNow();
    w->ui().toolButton_MeaGrid->click();
    EXPECT_EQ(cameraNow(), camera) << "grid on";
    w->ui().toolButton_MeaGrid->click();
    EXPECT_EQ(cameraNow(), camera) << "grid off";

    ASSERT_TRUE(w->openCaptureFile(kvtest::simulatedCapture(dir, "one.pcap", 1)));
    QApplication::processEvents();
    EXPECT_EQ(w->width(), width);
}

TEST(ViewOverlays, CoordinateToggle) {
    auto w = makeWindow();
    for (bool shown : {true, false, true}) {
        w->ui().toolButton_Coor->click();
        EXPECT_EQ(w->cloudView().hasShape("coordinate"), shown);
    }
}

// Lit pixels of the view's own framebuffer, outside the axes glyph in the lower left corner.
static long litPixels(manwindow& w) {
    w.cloudView().renderNow();
    const QImage img = w.ui().screen->grabFramebuffer();
    long lit = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (!(x < img.width() / 5 && y > img.height() * 4 / 5)) lit += qGray(img.pixel(x, y)) > 60;
    return lit;
}

// The simulated sensor's scene (walls and posts 10-30 m away) is in view without camera work
// after each start of a stream, stays in view through every preset, and a fitted camera is
// left alone by the frames that follow.
TEST(ViewOverlays, SceneIsInViewAfterEachStartAndEveryPreset) {
    QTemporaryDir dir;
    const QString capture = kvtest::simulatedCapture(dir, "scene.pcap", 2);
    // A folder of three clouds on a ring 20 m around the sensor.
    const QString pcdDir = dir.filePath("pcd");
    QDir().mkpath(pcdDir);
    for (int k = 0; k < 3; ++k) {
        pcl::PointCloud<pcl::PointXYZRGB> ring;
        for (int i = 0; i < 3600; ++i) {
            pcl::PointXYZRGB p;
            p.x = float(20.0 * std::cos(i * 0.1 * 3.14159 / 180.0));
            p.y = float(20.0 * std::sin(i * 0.1 * 3.14159 / 180.0));
            p.z = float(k) * 0.5f;
            p.r = p.g = p.b = 255;
            ring.push_back(p);
        }
        ASSERT_EQ(pcl::io::savePCDFileASCII(QDir(pcdDir).filePath(QString("r%1.pcd").arg(k)).toStdString(), ring), 0);
    }

    struct Case {
        const char* start;
        std::function<bool(manwindow&)> begin;  // starts the stream; true once frames are drawn
    } cases[] = {
        {"Lidar",
         [](manwindow& w) {
             const int data = kvtest::freeUdpPort(), equip = kvtest::freeUdpPort();
             auto* sim = new QProcess(&w);
             sim->start(QString(KV_BIN_DIR) + "/kv-sensor-sim",
                        {"--dest", "127.0.0.1", "--data-port", QString::number(data), "--equip-port",
                         QString::number(equip), "--bind-port", "0", "--seconds", "20"});
             w.ui().lineEdit_portNumber->setText(QString::number(data));
             w.ui().lineEdit_portNumber_2->setText(QString::number(equip));
             w.ui().toolButton_Lidar->click();
             return waitUntil([&] { return w.framesDrawn() >= 3; }, 10000);
         }},
        {"capture Play",
         [&](manwindow& w) {
             if (!w.openCaptureFile(capture)) return false;
             w.ui().toolButton_Play->click();
             return waitUntil([&] { return w.framesDrawn() >= 3; }, 10000);
         }},
        {"PCD Play",
         [&](manwindow& w) {
             if (w.openPcdDirectory(pcdDir) != 3) return false;
             w.ui().checkBox_round_PCD->setChecked(true);
             w.ui().toolButton_Play_PCD->click();
             return waitUntil([&] { return w.frameCounter() >= 2; }, 10000);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        kv::installSettings(kv::AppSettings());
        auto w = std::make_unique<manwindow>();
        w->resize(1000, 700);
        w->ui().comboBox_4->setCurrentIndex(1);  // solid white: every point lights its pixels
        w->show();
        ASSERT_TRUE(waitUntil([&] { return w->ui().screen->isValid(); }));
        ASSERT_TRUE(c.begin(*w));
        EXPECT_GT(litPixels(*w), 400);
        for (int preset : {0, 2, 1}) {
            w->ui().comboBox_View->setCurrentIndex(preset);
            EXPECT_GT(litPixels(*w), 400) << "preset " << preset;
        }
        // The frames that follow leave the camera where it is.
        double before[9], after[9];
        w->cloudView().cameraPose(before, before + 3, before + 6);
        const auto drawn = w->framesDrawn();
        const int shown = w->frameCounter();
        waitUntil([&] { return w->framesDrawn() >= drawn + 3 || w->frameCounter() > shown + 1; }, 3000);
        w->cloudView().cameraPose(after, after + 3, after + 6);
        for (int i = 0; i < 9; ++i) EXPECT_DOUBLE_EQ(after[i], before[i]) << i;
    }
}

// A preset turns the camera around its focal point at its distance; the up vector is the
// preset's own.
TEST(ViewOverlays, CameraPresetsKeepFocalPointAndDistance) {
    auto w = makeWindow();
    struct Case {
        int index;
        double direction[3], up[3];
    } cases[] = {
        {0, {0, 1.2, -0.2}, {0, 0, 1}},
        {2, {1, 0, -0.2}, {0, 0, 1}},
        {1, {0, 0, -1}, {0, 1, 0}},
    };
    double pos[3], focal[3], up[3];
    w->cloudView().cameraPose(pos, focal, up);
    EXPECT_NEAR(pos[2] - focal[2], 1.0, 1e-9);  // the start: Top, a metre above the sensor
    for (const Case& c : cases) {
        w->ui().comboBox_View->setCurrentIndex(c.index);
        double p[3], f[3], u[3];
        w->cloudView().cameraPose(p, f, u);
        const double n = std::sqrt(c.direction[0] * c.direction[0] + c.direction[1] * c.direction[1] +
                                   c.direction[2] * c.direction[2]);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(f[i], focal[i], 1e-9) << "preset " << c.index;
            EXPECT_NEAR(f[i] - p[i], c.direction[i] / n, 1e-9) << "preset " << c.index;  // distance 1
        }
        double dot = 0;
        for (int i = 0; i < 3; ++i) dot += u[i] * c.up[i];
        EXPECT_GT(dot, 0.98) << "preset " << c.index;
    }
}

TEST(ViewOverlays, PointSizeKeysStayWithinOneToTen) {
    auto w = makeWindow();
    w->handleViewKey('-');
    EXPECT_EQ(w->pointSize(), 1);
    for (int i = 0; i < 11; ++i) w->handleViewKey('+');
    EXPECT_EQ(w->pointSize(), 10);
    w->handleViewKey('x');
    EXPECT_EQ(w->pointSize(), 10);
    // Through the view itself: a real key press on the render widget.
    w->ui().screen->setFocus();
    QTest::keyClick(w->ui().screen, Qt::Key_Minus, Qt::NoModifier);
    EXPECT_EQ(w->pointSize(), 9);
}

TEST(LineSelection, DefaultsFollowTheConfiguredRowCount) {
    struct Case {
        int rows;
        bool allBoxShown;
        long drawn;  // of one point per line
    } cases[] = {{1, false, 1}, {2, true, 2}, {4, true, 4}, {9, true, 4}, {0, false, 1}};
    for (const Case& c : cases) {
        auto w = makeWindow(c.rows);
        QLaserSelectionMuch* sel = w->laserSelection();
        EXPECT_EQ(sel->windowTitle(), "QLaserSelectionMuch");
        EXPECT_EQ(sel->size(), QSize(390, 453));
        EXPECT_TRUE(sel->windowFlags() & Qt::WindowStaysOnTopHint);
        const int rows = std::clamp(c.rows, 1, 4);
        EXPECT_EQ(sel->tableWidget_laserselection->rowCount(), rows);
        EXPECT_EQ(sel->tableWidget_laserselection->item(rows - 1, 1)->text(), QString::number(rows - 1));
        EXPECT_EQ(sel->tableWidget_laserselection->item(0, 2)->text(), "0");
        w->ui().toolButton_3->click();
        EXPECT_TRUE(sel->isVisible());
        EXPECT_EQ(sel->checkBox->isVisible(), c.allBoxShown) << c.rows;
        EXPECT_EQ(drawnPoints(*w, fourLines()), c.drawn) << c.rows;
        sel->hide();
    }
}

TEST(LineSelection, OkAppliesCancelKeepsBoxesAndToggles) {
    auto w = makeWindow(4);
    QLaserSelectionMuch* sel = w->laserSelection();
    w->ui().toolButton_3->click();
    sel->lineBox(2)->setChecked(false);
    EXPECT_EQ(drawnPoints(*w, fourLines()), 4);  // proposed only
    sel->pushButton_Cancel->click();
    EXPECT_FALSE(sel->isVisible());
    EXPECT_FALSE(sel->lineBox(2)->isChecked());
    EXPECT_EQ(drawnPoints(*w, fourLines()), 4);
    sel->pushButton_OK->click();
    EXPECT_FALSE(sel->isLineShown(2));
    EXPECT_EQ(drawnPoints(*w, fourLines()), 3);

    // "All/All no choice": first click unchecks all, the second checks all.
    sel->checkBox->click();
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(sel->lineBox(i)->isChecked());
    sel->checkBox->click();
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(sel->lineBox(i)->isChecked());
}

TEST(LineSelection, SwitchSelectionSharesTheFlagWithAllBox) {
    auto w = makeWindow(4);
    QLaserSelectionMuch* sel = w->laserSelection();
    sel->checkBox->click();  // all unchecked, flag set
    sel->checkBox->click();  // all checked, flag clear
    sel->lineBox(0)->setChecked(false);
    sel->pushButton_toggleselection->click();  // flag false: checks row 0, sets flag
    EXPECT_TRUE(sel->lineBox(0)->isChecked());
    sel->lineBox(1)->setChecked(false);
    sel->checkBox->click();  // flag set by the button: checks every row
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(sel->lineBox(i)->isChecked());
}

TEST(LineSelection, ProductionModeIgnoresTheSelection) {
    auto w = makeWindow(1, true);
    EXPECT_EQ(drawnPoints(*w, fourLines()), 4);
}
