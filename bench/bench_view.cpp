// View benchmarks, on a real display (Xvfb + Mesa in headless runs):
//  - PresentFrame: the window's per-frame drawing of a 100k-point frame (display points to
//    PCL cloud, the clouds replaced under their ids, render) against
//  - BareVisualiser: PCL's own remove/add/render of the same, ready-made cloud.
//  - LiveViewer: the running window fed by the simulated sensor at line rate for 10 s.
//  - PresentFourSensors against BareFourSensors: a merged frame of four posed sensors drawn as
//    the window draws it against the point library's own view. Goal: at most 1.15 times.
//  - FourSensorsLive: four simulated sensors into the running window for 10 s: kernel drops.
//  - TrailTenFrames against OneCloud200k: "Frames shown" 10 with frames of 20,000 points (the
//    current frame presented, the one before it kept as an older frame, the oldest removed,
//    render) against one frame of 200,000 points presented. Goal: at most 1.2 times.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QSurfaceFormat>
#include <QVTKOpenGLNativeWidget.h>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>

#include "cloud_view_pcl.h"
#include "getmuch.h"
#include "getset.h"
#include "manwindow.h"
#include "settings.h"
#include "trail_view.h"
#include "udp_socket.h"

namespace {

constexpr int kFramePoints = 100000;

// A half ring of `count` points, `zM` above the sensor.
std::vector<kv::ColouredPoint> syntheticPoints(int count = kFramePoints, float zM = 0.0f) {
    std::vector<kv::ColouredPoint> pts(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double a = i * 180.0 / count * 3.14159 / 180.0;
        const float r = 5.0f + float(i % 100) * 0.3f;
        pts[std::size_t(i)] = {float(std::cos(a)) * r, float(std::sin(a)) * r, zM + float(i % 4) * 0.1f,
                               kv::intensityColour(i % 256)};
    }
    return pts;
}

struct Screen {
    QVTKOpenGLNativeWidget widget;
    std::unique_ptr<kv::CloudView> view;
    Screen() {
        widget.resize(1024, 768);
        widget.show();
        view = std::make_unique<kv::CloudView>(&widget);
        QApplication::processEvents();
    }
};

std::unique_ptr<Screen> g_screen;  // destroyed before the application object

Screen& screen() {
    if (!g_screen) g_screen = std::make_unique<Screen>();
    return *g_screen;
}

void PresentFrame(benchmark::State& state) {
    Screen& s = screen();
    const auto pts = syntheticPoints();
    const std::vector<kv::ColouredPoint> none;
    for (auto _ : state) s.view->presentFrame(pts, none, 1);  // renders
    s.view->impl().viewer->removeAllPointClouds();
    state.SetItemsProcessed(state.iterations() * kFramePoints);
}

// The point library's own remove, add and render of a ready-made cloud of `points`.
void bareView(benchmark::State& state, const std::vector<kv::ColouredPoint>& points) {
    Screen& s = screen();
    kv::Cloud::Ptr cloud(new kv::Cloud);
    kv::fillCloud(points, *cloud);
    auto& v = *s.view->impl().viewer;
    for (auto _ : state) {
        v.removePointCloud("bare");
        pcl::visualization::PointCloudColorHandlerRGBField<pcl::PointXYZRGB> own(cloud);
        v.addPointCloud<pcl::PointXYZRGB>(cloud, own, "bare");
        s.view->renderNow();
    }
    v.removeAllPointClouds();
    state.SetItemsProcessed(state.iterations() * std::int64_t(cloud->size()));
}

void BareVisualiser(benchmark::State& state) { bareView(state, syntheticPoints()); }

constexpr int kTrailFrames = 10;
constexpr int kTrailFramePoints = 20000;

void TrailTenFrames(benchmark::State& state) {
    Screen& s = screen();
    std::vector<std::vector<kv::ColouredPoint>> frames;
    for (int k = 0; k <= kTrailFrames; ++k) frames.push_back(syntheticPoints(kTrailFramePoints, 0.05f * float(k)));
    const std::vector<kv::ColouredPoint> none;
    kv::TrailView trail(*s.view);
    trail.setLength(kTrailFrames);
    std::uint64_t seq = 0;
    auto present = [&] {
        const auto& pts = frames[seq % frames.size()];
        trail.frameHandled(++seq, pts);
        s.view->presentFrame(pts, none, 1);  // renders
    };
    for (int k = 0; k < kTrailFrames; ++k) present();  // the trail is full from here on
    if (trail.olderFramesShown() != std::size_t(kTrailFrames - 1) ||
        trail.pointsShown() != long(kTrailFrames) * kTrailFramePoints) {
        state.SkipWithError("the trail does not hold ten frames");
        return;
    }
    for (auto _ : state) present();
    trail.report(kv::TrailEvent::kViewCleared);
    s.view->impl().viewer->removeAllPointClouds();
    state.SetItemsProcessed(state.iterations() * kTrailFrames * kTrailFramePoints);
}

void OneCloud200k(benchmark::State& state) {
    Screen& s = screen();
    const auto pts = syntheticPoints(kTrailFrames * kTrailFramePoints);
    const std::vector<kv::ColouredPoint> none;
    for (auto _ : state) s.view->presentFrame(pts, none, 1);  // renders
    s.view->impl().viewer->removeAllPointClouds();
    state.SetItemsProcessed(state.iterations() * kTrailFrames * kTrailFramePoints);
}

// One press of "Lidar" while both receivers run: stop both, then bind and start both again.
void LidarRestart(benchmark::State& state) {
    kv::installSettings(kv::AppSettings());
    manwindow w;
    w.show();
    auto freePort = [] {
        kv::UdpSocket probe;
        probe.open();
        probe.bindAny(0);
        return probe.localPort();
    };
    w.ui().lineEdit_portNumber->setText(QString::number(freePort()));
    w.ui().lineEdit_portNumber_2->setText(QString::number(freePort()));
    auto waitListening = [&] {
        while (!w.dataReceiver()->listening || !w.statusReceiver()->listening) QThread::usleep(200);
    };
    w.ui().toolButton_Lidar->click();
    waitListening();
    for (auto _ : state) {
        w.ui().toolButton_Lidar->click();
        waitListening();
    }
}

// The cursor readout after a presented frame: one world-point pick and the text update.
void CursorReadout(benchmark::State& state) {
    Screen& s = screen();
    s.view->presentFrame(syntheticPoints(), {}, 1);
    s.view->renderNow();
    for (auto _ : state) benchmark::DoNotOptimize(s.view->runCursorReadout());
    s.view->impl().viewer->removeAllPointClouds();
    s.view->impl().viewer->removeAllShapes();
}

// A paused capture replay: the time from a click of the step button to the frame's arrival at
// the window, and from a click of Play (resume) to the next frame. The goal is one frame's pace
// (80 ms at the plain speed).
void ReplayStepAndResume(benchmark::State& state) {
    const QString capture = QDir::temp().filePath("kv_bench_replay.pcap");
    if (!QFile::exists(capture)) {
        QProcess::execute(QString(KV_BIN_DIR) + "/kv-sensor-sim",
                          {"--pcap", capture, "--seconds", "60", "--seed", "3"});
    }
    kv::installSettings(kv::AppSettings());
    manwindow w;
    w.show();
    if (!w.openCaptureFile(capture)) {
        state.SkipWithError("no capture");
        return;
    }
    auto waitFrames = [&](std::uint64_t n) {
        while (w.framesHandled() < n) QApplication::processEvents(QEventLoop::AllEvents, 1);
    };
    auto settle = [&] {
        for (std::uint64_t last = w.framesHandled();; last = w.framesHandled()) {
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < 250) QApplication::processEvents(QEventLoop::AllEvents, 5);
            if (w.framesHandled() == last) return;
        }
    };
    w.ui().toolButton_Play->click();
    waitFrames(2);
    w.ui().toolButton_Play->click();  // pause
    settle();
    double stepMs = 0, resumeMs = 0;
    int n = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        std::uint64_t before = w.framesHandled();
        t.start();
        w.ui().toolButton_SeekForward->click();  // one frame while paused
        waitFrames(before + 1);
        stepMs += t.nsecsElapsed() / 1e6;
        settle();
        before = w.framesHandled();
        t.restart();
        w.ui().toolButton_Play->click();  // resume
        waitFrames(before + 1);
        resumeMs += t.nsecsElapsed() / 1e6;
        w.ui().toolButton_Play->click();  // pause again
        settle();
        ++n;
    }
    state.counters["step_ms"] = stepMs / n;
    state.counters["resume_ms"] = resumeMs / n;
}

// A merged frame of four sensors as the window draws it (each sensor's frame of 7,204 points,
// posed around a vehicle, in the Sensor colours) against the point library's own view of the
// same points. Goal: at most 1.15 times.
std::vector<kv::ColouredPoint> fourSensorPoints() {
    MuchLidarData merged;
    for (int k = 0; k < 4; ++k) {
        MuchLidarData f;
        for (int i = 0; i < 7204; ++i) f.append(i % 4, float(i % 1801) * 0.1f, float(1000 + (i * 37) % 2000), i % 256);
        f.sensor.assign(f.size(), std::uint8_t(k));
        merged.appendAll(f);
    }
    kv::DisplayFilter filter;
    filter.lineShown = {{true, true, true, true}};
    filter.colourMode = kv::kColourSensor;
    for (int k = 0; k < 4; ++k) filter.poses.emplace_back(kv::Pose{2.0 * (k % 2), 1.0 * (k / 2), 1.5, 0, -5, 90.0 * k});
    kv::FramePoints out;
    kv::computeFramePoints(merged, kv::BeamGeometry::forLineType(2), filter, out);
    return out.displayed;
}

void PresentFourSensors(benchmark::State& state) {
    Screen& s = screen();
    const auto pts = fourSensorPoints();
    const std::vector<kv::ColouredPoint> none;
    for (auto _ : state) s.view->presentFrame(pts, none, 1);  // renders
    s.view->impl().viewer->removeAllPointClouds();
    state.SetItemsProcessed(state.iterations() * std::int64_t(pts.size()));
}

void BareFourSensors(benchmark::State& state) { bareView(state, fourSensorPoints()); }

// "Lidar" on a free data port (its status port the next one up), once the receiver listens.
int listenOnAFreePort(manwindow& w) {
    kv::UdpSocket probe;
    probe.open();
    probe.bindAny(0);
    const int port = probe.localPort();
    probe.close();
    w.ui().lineEdit_portNumber->setText(QString::number(port));
    w.ui().lineEdit_portNumber_2->setText(QString::number(port + 1));
    w.ui().toolButton_Lidar->click();
    while (!w.dataReceiver()->listening) QApplication::processEvents(QEventLoop::AllEvents, 10);
    return port;
}

// Four simulated sensors, each from a loopback address of its own at the sensor's rate, into
// the running window on one data port for 10 s: the receiver keeps up (kernel drops) and every
// sensor's frames are merged.
void FourSensorsLive(benchmark::State& state) {
    for (auto _ : state) {
        kv::installSettings(kv::AppSettings());
        manwindow w;
        w.show();
        const int port = listenOnAFreePort(w);
        std::vector<std::unique_ptr<QProcess>> sims;
        for (int k = 0; k < 4; ++k) {
            sims.push_back(std::make_unique<QProcess>());
            sims.back()->start(QString(KV_BIN_DIR) + "/kv-sensor-sim",
                               {"--dest", "127.0.0.1", "--data-port", QString::number(port), "--equip-port",
                                QString::number(port + 1), "--bind-port", "0", "--source-ip",
                                QString("127.0.0.%1").arg(2 + k), "--seconds", "10", "--seed", QString::number(k + 1)});
            sims.back()->waitForStarted();
        }
        QElapsedTimer t;
        t.start();
        auto running = [&] {
            for (auto& p : sims)
                if (p->state() != QProcess::NotRunning) return true;
            return false;
        };
        while (running()) QApplication::processEvents(QEventLoop::AllEvents, 20);
        const double seconds = t.elapsed() / 1000.0;
        QApplication::processEvents();
        GetMuch& rx = *w.dataReceiver();
        state.counters["sensors"] = double(rx.sensorStats().size());
        state.counters["packets_per_s"] = double(rx.packetsAccepted) / seconds;
        state.counters["kernel_drops"] = double(rx.kernelDrops);
        state.counters["frames_handled"] = double(w.framesHandled());
        state.counters["frames_drawn"] = double(w.framesDrawn());
    }
}

// The running window fed at `pps` packets a second by the simulated sensor for 10 s.
void LiveViewer(benchmark::State& state) {
    const int pps = int(state.range(0));
    for (auto _ : state) {
        kv::installSettings(kv::AppSettings());
        manwindow w;
        w.show();
        const int port = listenOnAFreePort(w);

        QProcess sim;
        sim.start(QString(KV_BIN_DIR) + "/kv-sensor-sim",
                  {"--dest", "127.0.0.1", "--data-port", QString::number(port), "--equip-port",
                   QString::number(port + 1), "--bind-port", "0", "--pps", QString::number(pps), "--seconds", "10"});
        sim.waitForStarted();
        QElapsedTimer t;
        t.start();
        while (sim.state() != QProcess::NotRunning) QApplication::processEvents(QEventLoop::AllEvents, 20);
        const double seconds = t.elapsed() / 1000.0;
        QApplication::processEvents();
        GetMuch& rx = *w.dataReceiver();
        state.counters["packets_per_s"] = double(rx.packetsAccepted) / seconds;
        state.counters["kernel_drops"] = double(rx.kernelDrops);
        state.counters["frames_handled"] = double(w.framesHandled());
        state.counters["frames_drawn"] = double(w.framesDrawn());
        state.counters["draws_skipped"] = double(w.drawsSkipped());
        state.counters["rcvbuf_MB"] = rx.receiveBufferBytes / 1048576.0;
    }
}

}  // namespace

BENCHMARK(PresentFrame)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(PresentFourSensors)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BareFourSensors)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(FourSensorsLive)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BareVisualiser)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(TrailTenFrames)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(OneCloud200k)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(LidarRestart)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();
BENCHMARK(CursorReadout)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReplayStepAndResume)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LiveViewer)->Arg(98000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char** argv) {
    QSurfaceFormat format = QVTKOpenGLNativeWidget::defaultFormat();
    format.setSamples(0);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_screen.reset();
    return 0;
}
