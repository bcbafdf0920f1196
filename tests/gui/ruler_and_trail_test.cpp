// "Measure" and "Frames shown" on the "Lidar" tab, driven through the window's own widgets and
// real mouse events on the render widget.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QVTKOpenGLNativeWidget.h>
#include <gtest/gtest.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>
#include <cmath>
#include <functional>
#include <vector>

#include "cloud_view.h"
#include "cloud_view_pcl.h"
#include "frame_display.h"
#include "gui_helpers.h"
#include "qlaserselectionmuch.h"
#include "readliveoffdata.h"
#include "replay_fixture.h"
#include "ruler_view.h"
#include "trail_view.h"
#include "ruler_and_trail.h"

using kvtest::waitUntil;

namespace {

// Spins the event loop until no frame has come for `quietMs`.
void settle(manwindow& w, int quietMs = 400) {
    for (std::uint64_t last = w.framesHandled();; last = w.framesHandled()) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < quietMs) QApplication::processEvents(QEventLoop::AllEvents, 10);
        if (w.framesHandled() == last) return;
    }
}

void mouse(QWidget* target, QEvent::Type type, QPoint p, Qt::MouseButtons held) {
    QMouseEvent e(type, p, target->mapToGlobal(p), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                  Qt::NoModifier);
    QApplication::sendEvent(target, &e);
    QApplication::processEvents();
}

}  // namespace

// Two clicks snap to drawn points and measure between them; a click far from every point, a
// drag (which turns the camera instead), "Clear", a second press of "Measure" and clicks with
// "Measure" off place nothing; a third click starts a new measurement.
TEST(RulerAndTrail, RulerMeasuresBetweenTheClickedPoints) {
    // Points on line 0 (the one shown by default) spread over the view.
    MuchLidarData frame;
    const float azimuths[] = {20, 60, 100, 140, 170};
    const float distancesCm[] = {800, 1500, 2200, 1200, 1900};
    for (int i = 0; i < 5; ++i) frame.append(0, azimuths[i], distancesCm[i], 100);
    kv::FramePoints expected;
    kv::computeFramePoints(frame, kv::BeamGeometry::forLineType(kv::AppSettings().LidarLineType), kv::DisplayFilter(),
                           expected);
    ASSERT_EQ(expected.displayed.size(), 5u);
    auto point = [&](int i) {
        const kv::ColouredPoint& c = expected.displayed[std::size_t(i)];
        return kv::RulerPoint{c.xM, c.yM, c.zM};
    };

    enum Act { kClick, kClickFar, kDrag, kClear, kMeasure };
    struct Step {
        Act act;
        int at = 0;  // the point clicked, or where the drag starts
    };
    struct Case {
        const char* name;
        bool measure;  // "Measure" pressed first
        std::vector<Step> steps;
        int a, b;    // the points measured between (-1: not placed)
        int camera;  // 1: turned, 0: where it was, -1: not looked at ("Clear" resets it)
    } cases[] = {
        {"two clicks", true, {{kClick, 0}, {kClick, 3}}, 0, 3, 0},
        {"far from every point", true, {{kClickFar}}, -1, -1, 0},
        {"a far click keeps the first point", true, {{kClick, 1}, {kClickFar}, {kClick, 2}}, 1, 2, 0},
        {"a third click starts anew", true, {{kClick, 0}, {kClick, 1}, {kClick, 4}}, 4, -1, 0},
        {"a drag turns the camera", true, {{kDrag, 2}}, -1, -1, 1},
        {"Clear removes it", true, {{kClick, 0}, {kClick, 1}, {kClear}}, -1, -1, -1},
        {"Measure again removes it", true, {{kClick, 0}, {kClick, 1}, {kMeasure}}, -1, -1, 0},
        {"Measure off", false, {{kClick, 0}, {kClick, 1}}, -1, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kvtest::ReplayWindow rw;
        manwindow& w = *rw.w;
        QVTKOpenGLNativeWidget* screen = rw.ui().screen;
        ASSERT_TRUE(waitUntil([&] { return screen->isValid(); }));
        w.cloudView().fitCameraToNextFrame();
        const auto drawn = w.framesDrawn();
        w.CalculateMuch(frame);
        ASSERT_TRUE(waitUntil([&] { return w.framesDrawn() > drawn; }));
        if (c.measure) rw.ui().toolButton_Measure->click();
        kv::window::RulerAndTrail& tools = w.rulerAndTrail();
        double before[9], after[9];
        w.cloudView().cameraPose(before, before + 3, before + 6);
        // Where VTK's renderer puts a point on the display (device pixels, y up), in the
        // widget's pixels as mouse events give them (y down).
        vtkRenderer* renderer = w.cloudView().impl().viewer->getRenderWindow()->GetRenderers()->GetFirstRenderer();
        auto at = [&](int i) {
            const kv::RulerPoint p = point(i);
            renderer->SetWorldPoint(p.x, p.y, p.z, 1.0);
            renderer->WorldToDisplay();
            double d[3];
            renderer->GetDisplayPoint(d);
            const double ratio = screen->devicePixelRatioF();
            const int height = renderer->GetRenderWindow()->GetSize()[1];
            return QPoint(int(std::lround(d[0] / ratio)), int(std::lround((height - 1 - d[1]) / ratio)));
        };
        // Each point is drawn there: a lit pixel at most one pixel away.
        const QImage picture = screen->grabFramebuffer();
        for (int i = 0; i < 5; ++i) {
            const QPoint p = at(i) * screen->devicePixelRatioF();
            int lit = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    lit += picture.valid(p.x() + dx, p.y() + dy) && qGray(picture.pixel(p.x() + dx, p.y() + dy)) > 20;
            EXPECT_GT(lit, 0) << "point " << i << " is not drawn at " << p.x() << "," << p.y();
        }
        for (const Step& s : c.steps) {
            switch (s.act) {
                case kClick: QTest::mouseClick(screen, Qt::LeftButton, Qt::NoModifier, at(s.at)); break;
                case kClickFar: QTest::mouseClick(screen, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3)); break;
                case kDrag: {
                    const QPoint from = at(s.at), to = from + QPoint(60, 40);
                    mouse(screen, QEvent::MouseButtonPress, from, Qt::LeftButton);
                    for (int k = 1; k <= 6; ++k) mouse(screen, QEvent::MouseMove, from + (to - from) * k / 6, Qt::LeftButton);
                    mouse(screen, QEvent::MouseButtonRelease, to, Qt::NoButton);
                    break;
                }
                case kClear: rw.ui().toolButton_clear->click(); break;
                case kMeasure: rw.ui().toolButton_Measure->click(); break;
            }
        }
        const kv::Ruler& ruler = tools.ruler();
        QLabel* status = tools.rulerStatusLabel();
        const int placed = (c.a >= 0) + (c.b >= 0);
        EXPECT_EQ(tools.rulerView().marksShown(), placed);
        EXPECT_EQ(tools.rulerView().lineShown(), placed == 2);
        EXPECT_EQ(status->isVisible(), placed > 0);
        if (c.a >= 0) {
            ASSERT_TRUE(ruler.a().has_value());
            EXPECT_NEAR(ruler.a()->x, point(c.a).x, 1e-6);
            EXPECT_NEAR(ruler.a()->y, point(c.a).y, 1e-6);
            EXPECT_NEAR(ruler.a()->z, point(c.a).z, 1e-6);
        } else {
            EXPECT_FALSE(ruler.a().has_value());
        }
        if (placed == 2) {
            const kv::RulerPoint p = point(c.a), q = point(c.b);
            const double euclid = std::sqrt((q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y) + (q.z - p.z) * (q.z - p.z));
            EXPECT_NEAR(ruler.figures().distanceM, euclid, 1e-3);
            EXPECT_EQ(status->text().toStdString(), kv::rulerStatus(p, q, kv::rulerFigures(p, q)));
            EXPECT_EQ(tools.rulerView().labelShown(), kv::rulerLabel(kv::rulerFigures(p, q)));
            EXPECT_TRUE(status->textInteractionFlags() & Qt::TextSelectableByMouse);
        }
        w.cloudView().cameraPose(after, after + 3, after + 6);
        bool moved = false;
        for (int i = 0; i < 3; ++i) moved = moved || std::fabs(after[i] - before[i]) > 1e-6;
        if (c.camera >= 0) {
            EXPECT_EQ(moved, c.camera == 1);
        }
    }
}

// "Frames shown" 3 over a capture replay: the view holds the last three handled frames' points,
// the older two as actors of their own. Each event that changes what a frame shows leaves only
// the current frame; a shorter trail keeps the newest frames.
TEST(RulerAndTrail, TrailHoldsTheLastFramesUntilAnEventEmptiesIt) {
    QTemporaryDir dir;
    const QString capture = kvtest::simulatedCapture(dir, "trail.pcap", 3);
    const QString emptyPcdDir = dir.filePath("pcd");
    QDir().mkpath(emptyPcdDir);
    // Frames fed to the window as the receivers hand them over: "Lidar" cannot be pressed
    // while a capture replays.
    auto fedFrames = [] {
        std::vector<MuchLidarData> frames(4);
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 1500 + 100 * k; ++i)
                frames[std::size_t(k)].append(0, 10.0f + 0.05f * float(i), 1000.0f + 50.0f * float(k), 80);
        return frames;
    };
    struct Case {
        const char* event;
        std::function<void(manwindow&)> apply;
        std::size_t olderAfter;
        bool replay = true;  // the frames come from the capture replay, or are fed directly
    } cases[] = {
        {"echo selection", [](manwindow& w) { w.ui().comboBox_EchoSelection->setCurrentIndex(1); }, 0},
        {"line selection OK", [](manwindow& w) { w.laserSelection()->pushButton_OK->click(); }, 0},
        {"angle range", [](manwindow& w) { w.ui().doubleSpinBox_maxAngle->setValue(170); }, 0},
        {"colour mode", [](manwindow& w) { w.ui().comboBox_4->setCurrentIndex(2); }, 0},
        {"Lidar",
         [](manwindow& w) {
             w.ui().lineEdit_portNumber->setText(QString::number(kvtest::freeUdpPort()));
             w.ui().lineEdit_portNumber_2->setText(QString::number(kvtest::freeUdpPort()));
             w.ui().toolButton_Lidar->click();
         },
         0, false},
        {"capture opened", [&](manwindow& w) { w.openCaptureFile(capture); }, 0},
        {"PCD folder opened", [&](manwindow& w) { w.openPcdDirectory(emptyPcdDir); }, 0},
        {"frame box seek",
         [](manwindow& w) {
             w.ui().Spbox_Frame->setValue(1);
             emit w.ui().Spbox_Frame->editingFinished();
         },
         0},
        {"go to start", [](manwindow& w) { w.ui().toolButton_GoToStart->click(); }, 0},
        {"Clear", [](manwindow& w) { w.ui().toolButton_clear->click(); }, 0},
        {"Frames shown 2", [](manwindow& w) { w.ui().spinBox_FramesShown->setValue(2); }, 1},
        {"Frames shown 1", [](manwindow& w) { w.ui().spinBox_FramesShown->setValue(1); }, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.event);
        kvtest::ReplayWindow rw;
        manwindow& w = *rw.w;
        ASSERT_TRUE(waitUntil([&] { return rw.ui().screen->isValid(); }));
        rw.ui().spinBox_FramesShown->setValue(3);
        std::vector<MuchLidarData> handled;
        if (c.replay) {
            ASSERT_TRUE(w.openCaptureFile(capture));
            QObject::connect(w.replayThread(), &ReadLiveOffData::SendData, &w,
                             [&](MuchLidarData f) { handled.push_back(std::move(f)); });
            rw.ui().toolButton_Play->click();
            ASSERT_TRUE(waitUntil([&] { return w.framesHandled() >= 5; }, 10000));
            rw.ui().toolButton_Play->click();  // pause
            settle(w);
        } else {
            for (const MuchLidarData& f : fedFrames()) {
                handled.push_back(f);
                w.CalculateMuch(f);
            }
            settle(w, 100);
        }
        ASSERT_GE(handled.size(), 3u);

        // The last three handled frames, as the window's filter shows them.
        kv::DisplayFilter filter;
        for (int line = 0; line < kv::kLineCount; ++line)
            filter.lineShown[std::size_t(line)] = w.laserSelection()->isLineShown(line);
        const kv::BeamGeometry geometry = kv::BeamGeometry::forLineType(kv::appSettings().LidarLineType);
        std::vector<long> framePoints;
        for (std::size_t k = handled.size() - 3; k < handled.size(); ++k) {
            kv::FramePoints p;
            kv::computeFramePoints(handled[k], geometry, filter, p);
            framePoints.push_back(long(p.displayed.size()));
        }
        kv::TrailView& trail = w.rulerAndTrail().trailView();
        EXPECT_EQ(trail.olderFramesShown(), 2u);
        EXPECT_EQ(w.cloudView().cloudPointCount(kv::CloudView::kRealTimeId), framePoints[2]);
        EXPECT_EQ(trail.pointsShown(), framePoints[0] + framePoints[1] + framePoints[2]);
        EXPECT_GT(framePoints[0], 1000);

        c.apply(w);  // checked before any further frame arrives
        EXPECT_EQ(trail.olderFramesShown(), c.olderAfter);
        const long current = std::max(0L, w.cloudView().cloudPointCount(kv::CloudView::kRealTimeId));
        EXPECT_EQ(trail.pointsShown(), current + (c.olderAfter ? framePoints[1] : 0));
    }
}
