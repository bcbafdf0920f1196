// Takes the README's pictures, one per main task, from a running simulated sensor and a capture
// it wrote: each scene is a fresh window driven through its own buttons and mouse events, then
// saved as a PNG under the given folder.
//   kv-screenshot DOCS_DIR DATA_PORT EQUIP_PORT CAPTURE.pcap PCD_DIR
// Scenes: screenshot.png (live view and receiver health), pick.png (a region picked with the
// rubber band, its table and statistics), replay.png (capture replay paused mid-way),
// pcd-replay.png (frames the window recorded from the capture, replayed as a folder),
// laser-config.png (the laser configuration dialog filled from the sensor's status packets) and
// legend.png (the colour bar of the azimuth colours, chosen with clicks in the colour selector)
// and sensors.png (two sensors on one data port, one posed in the "Sensors" dock).
// Nothing here presses "Set" or "Restore Laser set": nothing is sent to the sensor.
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTabBar>
#include <QSurfaceFormat>
#include <QTimer>
#include <QVTKOpenGLNativeWidget.h>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "capture_store.h"
#include "cloud_view.h"
#include "interactionmuchset.h"
#include "manwindow.h"
#include "saveandplay_pcd.h"
#include "playback.h"
#include "ruler_and_trail.h"
#include "ruler_view.h"
#include "sensors_panel.h"
#include "settings.h"

namespace {

struct Args {
    QString docs, dataPort, equipPort, capture, pcdDir;
};

void spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Spins the event loop until `done` holds or `ms` pass; returns whether it held.
bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool fail(const char* scene, const char* what) {
    std::fprintf(stderr, "kv-screenshot: %s: %s\n", scene, what);
    return false;
}

std::unique_ptr<manwindow> newWindow() {
    auto w = std::make_unique<manwindow>();
    w->resize(1280, 800);
    w->show();
    spin(200);
    return w;
}

bool save(QWidget& what, const Args& a, const char* name) {
    const QString path = QDir(a.docs).filePath(name);
    if (!what.grab().save(path)) return fail(name, "cannot write the picture");
    std::printf("kv-screenshot: saved %s\n", path.toLocal8Bit().constData());
    return true;
}

// "Lidar" with the simulator's ports, then waits for drawn frames.
bool startLive(manwindow& w, const Args& a, const char* scene) {
    w.ui().lineEdit_portNumber->setText(a.dataPort);
    w.ui().lineEdit_portNumber_2->setText(a.equipPort);
    w.ui().comboBox_4->setCurrentIndex(0);
    w.ui().toolButton_Lidar->click();
    if (!waitUntil([&] { return w.framesDrawn() >= 5; }, 10000)) return fail(scene, "no frame arrived on the data port");
    return true;
}

void mouse(QWidget* target, QEvent::Type type, QPoint p, Qt::MouseButtons held) {
    QMouseEvent e(type, p, target->mapToGlobal(p), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                  Qt::NoModifier);
    QApplication::sendEvent(target, &e);
    QApplication::processEvents();
}

// A click of the left button at `p` of `target`, as the mouse makes it.
void click(QWidget* target, QPoint p) {
    mouse(target, QEvent::MouseButtonPress, p, Qt::LeftButton);
    mouse(target, QEvent::MouseButtonRelease, p, Qt::NoButton);
}

void clickTab(manwindow& w, QWidget* tab) {
    QTabBar* bar = w.ui().tabWidget->tabBar();
    click(bar, bar->tabRect(w.ui().tabWidget->indexOf(tab)).center());
    spin(200);
}

// The colour selector opened with a click and the entry `text` clicked in its list.
bool chooseColour(manwindow& w, const QString& text) {
    QComboBox* combo = w.ui().comboBox_4;
    // The selector is editable: its arrow, at the right end, opens the list.
    click(combo, QPoint(combo->width() - 6, combo->height() / 2));
    QAbstractItemView* list = combo->view();
    if (!waitUntil([&] { return list->isVisible(); }, 2000)) return false;
    spin(300);
    const int row = combo->findText(text);
    if (row < 0) return false;
    const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
    mouse(list->viewport(), QEvent::MouseMove, at, Qt::NoButton);
    click(list->viewport(), at);
    spin(300);
    return combo->currentText() == text;
}

// The live view in the azimuth colours, with their colour bar: the colour selector of the
// "ZQ09A" tab set with clicks, then back to the "Lidar" tab with its "Legend" and "Snapshot".
bool legendScene(const Args& a) {
    auto w = newWindow();
    w->ui().toolButton_MeaGrid->click();
    if (!startLive(*w, a, "legend")) return false;
    clickTab(*w, w->ui().tab_ZQ09A);
    if (!chooseColour(*w, "Azimuth")) return fail("legend", "the colour selector did not take \"Azimuth\"");
    clickTab(*w, w->ui().tab_Lidar);
    if (!w->cloudView().colourLegendVisible()) return fail("legend", "no colour bar in the view");
    spin(1500);
    return save(*w, a, "legend.png");
}

bool liveScene(const Args& a) {
    auto w = newWindow();
    w->ui().toolButton_MeaGrid->click();
    if (!startLive(*w, a, "live")) return false;
    spin(2500);  // the health readout refreshes once a second
    return save(*w, a, "screenshot.png");
}

// "Select", then a rubber band dragged over the middle of the view; the frozen picture shows
// the picked points in blue, their rows in the table and their extremes in the status bar.
bool pickScene(const Args& a) {
    auto w = newWindow();
    if (!startLive(*w, a, "pick")) return false;
    w->ui().tolbtn_SuspendData->click();  // a still picture to pick from
    spin(500);
    w->ui().toolButton_select->click();
    if (!w->isSelectMode()) return fail("pick", "\"Select\" did not arm the rubber band");
    QWidget* screen = w->ui().screen;
    const QPoint from(screen->width() * 35 / 100, screen->height() * 30 / 100);
    const QPoint to(screen->width() * 65 / 100, screen->height() * 65 / 100);
    mouse(screen, QEvent::MouseButtonPress, from, Qt::LeftButton);
    for (int k = 1; k <= 6; ++k) mouse(screen, QEvent::MouseMove, from + (to - from) * k / 6, Qt::LeftButton);
    mouse(screen, QEvent::MouseButtonRelease, to, Qt::NoButton);
    const bool got = waitUntil([&] { return w->isSelectionActive() && w->pickedCount() > 0; }, 5000);
    if (!got)
        return fail("pick", "the rubber band picked no point");
    if (!w->ui().LidraDataDock->isVisible()) w->ui().toolButton_LidarDataList->click();
    w->ui().tolbtn_SuspendData->click();  // later frames list the points inside the region's box
    spin(1500);
    w->ui().tolbtn_SuspendData->click();
    spin(500);
    std::printf("kv-screenshot: %d points picked\n", w->pickedCount());
    return save(*w, a, "pick.png");
}

// The position nearest to `target` (in the view's pixels) where a click lands on a drawn point,
// searched ring by ring; a null point when none is within `reachPx`.
QPoint pointNear(manwindow& w, QPoint target, int reachPx) {
    const kv::RulerView& ruler = w.rulerAndTrail().rulerView();
    for (int r = 0; r <= reachPx; r += 3) {
        for (int dy = -r; dy <= r; dy += 3) {
            for (int dx = -r; dx <= r; dx += 3) {
                if (std::max(std::abs(dx), std::abs(dy)) != r) continue;  // this ring only
                const QPoint p = target + QPoint(dx, dy);
                if (ruler.snap({double(p.x()), double(p.y())})) return p;
            }
        }
    }
    return QPoint();
}

// measure.png: "Suspend Data" for a still picture, "Measure", then two clicks on drawn points,
// on the left and the right of the room. The figures are by the line and in the status bar.
bool measureScene(const Args& a) {
    auto w = newWindow();
    if (!startLive(*w, a, "measure")) return false;
    w->ui().tolbtn_SuspendData->click();
    spin(500);
    w->ui().toolButton_Measure->click();
    QWidget* screen = w->ui().screen;
    for (const QPoint target : {QPoint(screen->width() * 30 / 100, screen->height() * 40 / 100),
                                QPoint(screen->width() * 70 / 100, screen->height() * 30 / 100)}) {
        const QPoint p = pointNear(*w, target, screen->height() / 4);
        if (p.isNull()) return fail("measure", "no drawn point near where the click goes");
        mouse(screen, QEvent::MouseButtonPress, p, Qt::LeftButton);
        mouse(screen, QEvent::MouseButtonRelease, p, Qt::NoButton);
        spin(200);
    }
    if (!w->rulerAndTrail().ruler().complete()) return fail("measure", "the two clicks placed no ruler");
    std::printf("kv-screenshot: %s\n", w->rulerAndTrail().ruler().status().c_str());
    return save(*w, a, "measure.png");
}

// trail.png: "Frames shown" raised to 20 with the arrow key, as a user steps the box; the box
// that drives across the room leaves its last 20 positions in the view.
bool trailScene(const Args& a) {
    auto w = newWindow();
    if (!startLive(*w, a, "trail")) return false;
    QSpinBox* frames = w->ui().spinBox_FramesShown;
    frames->setFocus();
    for (int k = 1; k < 20; ++k) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
        QApplication::sendEvent(frames, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier);
        QApplication::sendEvent(frames, &release);
    }
    if (frames->value() != 20) return fail("trail", "the arrow key did not step \"Frames shown\"");
    spin(3000);
    return save(*w, a, "trail.png");
}

// Plays the capture once while "RecordPCD" writes a dozen frames into the PCD folder.
bool recordPcdFrames(const Args& a) {
    auto w = newWindow();
    if (!w->openCaptureFile(a.capture)) return fail("record", "the capture cannot be opened");
    QDir().mkpath(a.pcdDir);
    w->ui().lineEdit_SavePCD_Num->setText("12");
    w->startPcdRecordingTo(QDir(a.pcdDir).filePath("frame.pcd"));
    w->ui().toolButton_Play->click();
    if (!waitUntil([&] { return !w->pcdRecording().active(); }, 20000)) return fail("record", "the PCD recording did not end");
    w->ui().toolButton_Play->click();  // pause
    spin(300);
    return true;
}

bool captureReplayScene(const Args& a) {
    auto w = newWindow();
    w->ui().tabWidget->setCurrentWidget(w->ui().tab_offLine);
    if (!w->openCaptureFile(a.capture)) return fail("replay", "the capture cannot be opened");
    const int half = int(w->captureStore()->frameCount()) / 2;
    w->ui().toolButton_Play->click();
    if (!waitUntil([&] { return w->frameCounter() >= half; }, 30000)) return fail("replay", "the replay stopped early");
    w->ui().toolButton_Play->click();  // pause
    spin(500);
    return save(*w, a, "replay.png");
}

bool pcdReplayScene(const Args& a) {
    auto w = newWindow();
    w->ui().tabWidget->setCurrentWidget(w->ui().tab_OffLinePCD);
    const int clouds = w->openPcdDirectory(a.pcdDir);
    if (clouds < 4) return fail("pcd replay", "the recorded PCD folder holds too few readable files");
    w->pcdReplayThread()->channel.orders.replaySpeed = 3;
    w->ui().toolButton_Play_PCD->click();
    if (!waitUntil([&] { return w->frameCounter() >= clouds / 2; }, 20000)) return fail("pcd replay", "the replay stopped early");
    w->ui().toolButton_Play_PCD->click();  // pause
    spin(500);
    return save(*w, a, "pcd-replay.png");
}

// "Parameter" once the sensor's status packets arrive, then "Refresh state"; never "Set".
bool laserConfigScene(const Args& a) {
    auto w = newWindow();
    if (!startLive(*w, a, "laser config")) return false;
    InteractionMuchSet* d = w->interactionSet();
    if (!waitUntil([&] { return d->setAllowed(); }, 6000)) return fail("laser config", "no status packet arrived");
    w->ui().toolButton->click();
    if (!waitUntil([&] { return d->isVisible(); }, 3000)) return fail("laser config", "\"Parameter\" did not open the dialog");
    spin(1500);
    // "Refresh state" confirms with a message box: it is answered once it is up.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
    });
    answer.start(50);
    d->pushButton_LidarRefresh->click();
    answer.stop();
    spin(300);
    const bool ok = save(*d, a, "laser-config.png");
    d->close();
    return ok;
}

}  // namespace

// Two sensors on one data port, back to back: a second simulated sensor sending from 127.0.0.3
// joins the running one, its pose is typed into the "Sensors" dock (turned 180 degrees, 0.5 m
// behind) and the points take the Sensor colours, so that the two halves of the circle show
// whose they are.
bool sensorsScene(const Args& a) {
    QProcess second;
    second.start(QCoreApplication::applicationDirPath() + "/kv-sensor-sim",
                 {"--dest", "127.0.0.1", "--data-port", a.dataPort, "--equip-port", a.equipPort, "--bind-port", "0",
                  "--source-ip", "127.0.0.3", "--seconds", "60", "--seed", "3"});
    if (!second.waitForStarted()) return fail("sensors", "the second simulated sensor did not start");
    auto w = newWindow();
    w->ui().toolButton_MeaGrid->click();
    if (!startLive(*w, a, "sensors")) return false;
    kv::window::SensorsPanel& panel = w->sensorsPanel();
    if (!waitUntil([&] { return panel.book().size() == 2; }, 8000)) return fail("sensors", "the second sensor was not seen");
    QTableWidget* table = panel.table();
    int row = -1;
    for (int r = 0; r < table->rowCount(); ++r)
        if (table->item(r, 2)->text().startsWith("127.0.0.3:")) row = r;
    if (row < 0) return fail("sensors", "no row for 127.0.0.3");
    // Typed into the cells, as a user edits them: a click on the cell, F2 opens its editor.
    auto type = [&](int column, const QString& text) {
        const QRect cell = table->visualItemRect(table->item(row, column));
        click(table->viewport(), cell.center());
        QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
        QApplication::sendEvent(table, &f2);
        spin(100);
        auto* editor = table->viewport()->findChild<QLineEdit*>();
        if (!editor) editor = table->findChild<QLineEdit*>();
        if (!editor) return false;
        editor->selectAll();
        editor->insert(text);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(editor, &enter);
        spin(100);
        return true;
    };
    if (!type(1, "rear") || !type(6, "-0.5,0,0,0,0,180")) return fail("sensors", "the dock took no edit");
    clickTab(*w, w->ui().tab_ZQ09A);
    if (!chooseColour(*w, "Sensor")) return fail("sensors", "the colour selector did not take \"Sensor\"");
    clickTab(*w, w->ui().tab_Lidar);
    w->view();  // the preset again (from above), the whole circle in view
    spin(2000);
    const bool saved = save(*w, a, "sensors.png");
    second.terminate();
    second.waitForFinished(3000);
    return saved;
}

int main(int argc, char* argv[]) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: kv-screenshot DOCS_DIR DATA_PORT EQUIP_PORT CAPTURE.pcap PCD_DIR\n");
        return 2;
    }
    QSurfaceFormat format = QVTKOpenGLNativeWidget::defaultFormat();
    format.setSamples(0);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    kv::AppSettings settings;
    settings.LidarLineType = 2;  // tilted lines
    settings.LineShowNumber = 4; // all four lines shown
    kv::installSettings(settings);

    const Args a{argv[1], argv[2], argv[3], argv[4], argv[5]};
    QDir().mkpath(a.docs);
    if (argc > 6 && QString(argv[6]) == "measure") return measureScene(a) ? 0 : 1;
    if (argc > 6 && QString(argv[6]) == "trail") return trailScene(a) ? 0 : 1;
    if (argc > 6 && QString(argv[6]) == "pick") return pickScene(a) ? 0 : 1;
    if (argc > 6 && QString(argv[6]) == "legend") return legendScene(a) ? 0 : 1;
    if (argc > 6 && QString(argv[6]) == "sensors") return sensorsScene(a) ? 0 : 1;
    bool ok = liveScene(a);
    ok = pickScene(a) && ok;
    ok = legendScene(a) && ok;
    ok = laserConfigScene(a) && ok;
    ok = captureReplayScene(a) && ok;
    ok = measureScene(a) && ok;
    ok = trailScene(a) && ok;
    ok = sensorsScene(a) && ok;
    ok = recordPcdFrames(a) && pcdReplayScene(a) && ok;
    return ok ? 0 : 1;
}
