// Capture replay through the window's controls: open, play, pause, step, seek, end, loop.
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QInputDialog>
#include <pcap/pcap.h>
#include <set>
#include <tuple>
#include <QProcess>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <gtest/gtest.h>
#include <functional>
#include <memory>

#include "capture_permission.h"
#include "capture_recorder.h"
#include "capture_store.h"
#include "getmuch.h"
#include "cloud_view.h"
#include "gui_helpers.h"
#include "replay_fixture.h"
#include "manwindow.h"
#include "playback.h"
#include "readliveoffdata.h"
#include "recording_status.h"
#include "frame_rule.h"
#include "settings.h"
#include "sensors_panel.h"

using kvtest::waitUntil;

namespace {

QString simulatedCapture(const QTemporaryDir& dir, int seconds, bool dual = false) {
    return kvtest::simulatedCapture(dir, QString("sim_%1%2.pcap").arg(seconds).arg(dual ? "_dual" : ""), seconds, dual);
}

struct Replay : kvtest::ReplayWindow {
    std::uint64_t frames() const { return w->framesHandled(); }
    // Waits until no frame has arrived for `quietMs`.
    void settle(int quietMs = 400) {
        for (std::uint64_t last = frames();; last = frames()) {
            QTest::qWait(quietMs);
            if (frames() == last) return;
        }
    }
};

// Every frame of a capture, walked from its first packet as a replay from the start walks it.
std::vector<MuchLidarData> framesOf(const kv::capture::CaptureStore& store) {
    kv::capture::PacketReader reader(store);
    kv::FrameRule assembler(kv::FramePolicy::kReplay);
    std::vector<MuchLidarData> frames;
    for (std::size_t i = 0; i < store.packetCount; ++i)
        assembler.feed(reader.packet(i), [] { return 0; }, [&](MuchLidarData&& f) { frames.push_back(std::move(f)); });
    return frames;
}

bool sameFrame(const MuchLidarData& a, const MuchLidarData& b) {
    return a.size() > 0 && a.channel == b.channel && a.azimuth == b.azimuth && a.distance == b.distance &&
           a.intensity == b.intensity;
}

}  // namespace

TEST(CaptureReplay, OpenPlayPauseStepSeekEndAndLoop) {
    QTemporaryDir dir;
    const QString capture = simulatedCapture(dir, 2);
    Replay r;
    auto& ui = r.ui();

    // Open through the real (non-native) file dialog.
    kvtest::answerNextModal<QFileDialog>([&](QFileDialog* dialog) {
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText(capture);
        QTest::keyClick(name, Qt::Key_Return);
    });
    ui.toolButton_Open->click();
    ASSERT_NE(r.w->captureStore(), nullptr);
    const int range = int(r.w->captureStore()->frameCount());
    EXPECT_EQ(range, 20);  // 2 s x 40 periods / 4
    EXPECT_EQ(ui.Slider_Frame->maximum(), range);
    EXPECT_EQ(ui.Spbox_Frame->maximum(), range);
    EXPECT_TRUE(ui.toolButton_Play->isEnabled());
    for (QToolButton* b : {ui.toolButton_SeekForward, ui.toolButton_SeekBackward, ui.toolButton_GoToStart,
                           ui.toolButton_GoToEnd, ui.toolButton_Lidar})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_TRUE(r.w->isPaused());

    // Play: frames arrive and the counter follows them.
    ui.toolButton_Play->click();
    EXPECT_TRUE(r.w->isPlaying());
    EXPECT_FALSE(ui.toolButton_Open->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return r.frames() >= 3; }));
    EXPECT_GT(r.w->cloudView().cloudPointCount(kv::CloudView::kRealTimeId), 0);

    // Opening again while a replay is in use is refused ("Open" is disabled while playing; the
    // PCD replay leaves it enabled with a replay in use).
    ui.toolButton_Open->setEnabled(true);
    kvtest::MessageBoxCatcher refused;
    refused.arm();
    QMetaObject::invokeMethod(ui.toolButton_Open, "click", Qt::QueuedConnection);
    ASSERT_TRUE(waitUntil([&] { return refused.seen; }));
    EXPECT_EQ(refused.title, "Tips");
    EXPECT_EQ(refused.text, "The offline file has been opened. Please close it first!!!");
    ui.toolButton_Open->setEnabled(false);

    // Pause: no more frames.
    ui.toolButton_Play->click();
    EXPECT_TRUE(r.w->isPaused());
    r.settle();
    const std::uint64_t pausedAt = r.frames();
    const int counterAtPause = r.w->frameCounter();
    EXPECT_EQ(std::uint64_t(counterAtPause), pausedAt);
    QTest::qWait(300);
    EXPECT_EQ(r.frames(), pausedAt);

    // Steps while paused: one frame each, forwards then backwards.
    ui.toolButton_SeekForward->click();
    ASSERT_TRUE(waitUntil([&] { return r.frames() == pausedAt + 1; }));
    r.settle();
    EXPECT_EQ(r.frames(), pausedAt + 1);
    EXPECT_EQ(r.w->frameCounter(), counterAtPause + 1);
    ui.toolButton_SeekBackward->click();
    ASSERT_TRUE(waitUntil([&] { return r.frames() == pausedAt + 2; }));
    r.settle();
    EXPECT_EQ(r.frames(), pausedAt + 2);
    EXPECT_EQ(r.w->frameCounter(), counterAtPause);
    EXPECT_EQ(ui.Spbox_Frame->value(), counterAtPause);

    // Seeks while paused show the target frame at once and wait there: by slider to frame 15,
    // then by the frame box to 8; a step forward goes on from each. Frame k of the slider is
    // the k-th frame of a walk from the first packet, and carries its number.
    const std::vector<MuchLidarData> reference = framesOf(*r.w->captureStore());
    ASSERT_GE(reference.size(), std::size_t(range));
    auto* frameText = ui.Spbox_Frame->findChild<QLineEdit*>();
    ASSERT_NE(frameText, nullptr);
    const std::function<void()> seekTo[] = {
        [&] {
            ui.Slider_Frame->setValue(15);
            emit ui.Slider_Frame->sliderMoved(15);
            emit ui.Slider_Frame->sliderReleased();
        },
        [&] {
            frameText->selectAll();
            QTest::keyClicks(frameText, "8");
            QTest::keyClick(frameText, Qt::Key_Return);
        }};
    const int targets[] = {15, 8};
    for (int i = 0; i < 2; ++i) {
        const int target = targets[i];
        SCOPED_TRACE(target);
        const std::uint64_t before = r.frames();
        seekTo[i]();
        EXPECT_EQ(r.w->frameCounter(), target);
        EXPECT_EQ(ui.Slider_Frame->value(), target);
        ASSERT_TRUE(waitUntil([&] { return r.frames() == before + 1; }));
        r.settle();
        EXPECT_EQ(r.frames(), before + 1);
        EXPECT_EQ(r.w->frameCounter(), target);
        EXPECT_TRUE(sameFrame(r.w->lastFrame(), reference[std::size_t(target - 1)]));
        EXPECT_EQ(r.w->lastFrame().number, std::uint32_t(target));
        ui.toolButton_SeekForward->click();  // still paused: one frame from the new position
        ASSERT_TRUE(waitUntil([&] { return r.w->frameCounter() == target + 1; }));
        r.settle();
        EXPECT_EQ(r.frames(), before + 2);
        EXPECT_TRUE(sameFrame(r.w->lastFrame(), reference[std::size_t(target)]));
        EXPECT_EQ(ui.label_Frame_Count->text(), QString("%1/%2").arg(target + 1).arg(range));
    }
    ui.toolButton_Play->click();
    ASSERT_TRUE(waitUntil([&] { return r.w->isFinished(); }, 10000));
    EXPECT_EQ(r.w->frameCounter(), range) << "the last frame stays on screen with its number";
    EXPECT_FALSE(r.w->isOfflineInUse());
    EXPECT_TRUE(ui.toolButton_Open->isEnabled());
    EXPECT_TRUE(ui.toolButton_Lidar->isEnabled());
    EXPECT_FALSE(ui.toolButton_SeekForward->isEnabled());

    // Looping: play again with the box checked; the replay starts over by itself.
    ui.checkBox_round->setChecked(true);
    const std::uint64_t before = r.frames();
    ui.toolButton_Play->click();
    ASSERT_TRUE(waitUntil([&] { return r.frames() >= before + std::uint64_t(range) + 3; }, 15000));
    EXPECT_TRUE(r.w->isPlaying());
    // Go to start stops the looping and waits at the start, showing the first frame.
    ui.toolButton_GoToStart->click();
    EXPECT_FALSE(ui.checkBox_round->isChecked());
    ASSERT_TRUE(waitUntil([&] { return r.w->isFinished() && r.w->isPaused(); }));
    ASSERT_TRUE(waitUntil([&] { return sameFrame(r.w->lastFrame(), reference[0]); }));
    r.settle();
    const std::uint64_t stopped = r.frames();
    QTest::qWait(300);
    EXPECT_EQ(r.frames(), stopped);
    EXPECT_EQ(r.w->frameCounter(), 1) << "the first frame is on screen";
    // Play goes on after the frame shown.
    ui.toolButton_Play->click();
    ASSERT_TRUE(waitUntil([&] { return r.frames() > stopped; }));
    ui.toolButton_Play->click();
    r.settle();
    EXPECT_TRUE(sameFrame(reference[std::size_t(r.frames() - stopped)], r.w->lastFrame()));
}

TEST(CaptureReplay, SpeedCycleWhilePlaying) {
    QTemporaryDir dir;
    Replay r;
    ASSERT_TRUE(r.w->openCaptureFile(simulatedCapture(dir, 1)));
    r.ui().toolButton_Play->click();
    const int speeds[] = {1, 2, 3, 4, 0};
    for (int s : speeds) {
        r.ui().toolButton_SeekForward->click();
        EXPECT_EQ(r.w->replayThread()->channel.orders.replaySpeed.load(), s);
    }
    r.ui().toolButton_GoToStart->click();
}

// A file that gives nothing to replay says why in a "Tips" box (and on standard output) and
// changes nothing.
TEST(CaptureReplay, AFileWithNothingToReplaySaysWhy) {
    QTemporaryDir dir;
    auto dumpOne = [&](const char* name, int linkType, std::size_t bytes) {
        const QString path = dir.filePath(name);
        pcap_t* dead = pcap_open_dead(linkType, 65535);
        pcap_dumper_t* d = pcap_dump_open(dead, path.toLocal8Bit().constData());
        const std::vector<u_char> record(bytes, 0);
        pcap_pkthdr h{};
        h.caplen = h.len = bpf_u_int32(bytes);
        pcap_dump(reinterpret_cast<u_char*>(d), &h, record.data());
        pcap_dump_close(d);
        pcap_close(dead);
        return path;
    };
    const QString headerOnly = dir.filePath("header_only.pcap");  // a capture cut after its file header
    {
        QFile whole(simulatedCapture(dir, 1)), cut(headerOnly);
        ASSERT_TRUE(whole.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly));
        cut.write(whole.read(24));
    }
    QFile noise(dir.filePath("noise.pcap"));
    ASSERT_TRUE(noise.open(QIODevice::WriteOnly));
    for (int i = 0; i < 4096; ++i) noise.putChar(char((i * 7919) % 251));
    noise.close();
    const struct {
        QString path;
        const char* says;
    } cases[] = {
        {dir.filePath("missing.pcap"), "missing.pcap"},
        {noise.fileName(), "not a capture"},
        {dumpOne("wifi.pcap", DLT_IEEE802_11, 64), "unsupported link type"},
        {dumpOne("zeros.pcap", DLT_EN10MB, 60), "no UDP payload of 1206 bytes: 1 record skipped"},
        {headerOnly, "no UDP payload of 1206 bytes: 0 records"},
    };
    const QString good = simulatedCapture(dir, 1);
    for (const auto& c : cases) {
        for (bool loadedBefore : {false, true}) {
            SCOPED_TRACE(c.path.toStdString() + (loadedBefore ? " over a loaded capture" : ""));
            Replay r;
            if (loadedBefore) {
                ASSERT_TRUE(r.w->openCaptureFile(good));
            }
            const kv::capture::CaptureStore* before = r.w->captureStore();
            kvtest::MessageBoxCatcher box;
            box.arm();
            testing::internal::CaptureStdout();
            EXPECT_FALSE(r.w->openCaptureFile(c.path));
            const std::string out = testing::internal::GetCapturedStdout();
            EXPECT_NE(out.find(c.says), std::string::npos) << out;
            ASSERT_TRUE(box.seen);
            EXPECT_EQ(box.title, "Tips");
            EXPECT_TRUE(box.text.contains(c.says)) << box.text.toStdString();
            // The capture loaded before stays loaded and plays.
            EXPECT_EQ(r.w->captureStore(), before);
            EXPECT_EQ(r.ui().toolButton_Play->isEnabled(), loadedBefore);
            EXPECT_EQ(r.ui().toolButton_Lidar->isEnabled(), !loadedBefore);
            if (loadedBefore) {
                r.ui().toolButton_Play->click();
                EXPECT_TRUE(waitUntil([&] { return r.frames() >= 2; }));
                r.ui().toolButton_Play->click();
            }
        }
    }
}

// The replay controls do what their pictures say: the health dock names the replay, a click on
// the slider's track goes where the handle went, the end button stops and rewinds, "Close" lets
// the capture go, and a capture that breaks while looping can be played again (and says again
// that it cannot be read) instead of showing Pause over nothing.
TEST(CaptureReplay, ControlsDoWhatTheirPicturesSay) {
    QTemporaryDir dir;
    const QString capture = dir.filePath("broken_later.pcap");
    ASSERT_TRUE(QFile::copy(simulatedCapture(dir, 2), capture));
    Replay r;
    auto& ui = r.ui();
    ASSERT_TRUE(r.w->openCaptureFile(capture));
    r.w->refreshHealth();
    EXPECT_TRUE(r.w->healthLabel()->text().startsWith("Capture replay")) << r.w->healthLabel()->text().toStdString();
    EXPECT_TRUE(ui.toolButton_GoToEnd->toolTip().startsWith("Stop and rewind"));

    ui.toolButton_Play->click();
    ASSERT_TRUE(waitUntil([&] { return r.frames() >= 2; }));
    ui.toolButton_Play->click();  // pause
    r.settle();
    const int at = r.w->frameCounter();
    ui.Slider_Frame->setPageStep(5);
    ui.Slider_Frame->triggerAction(QAbstractSlider::SliderPageStepAdd);  // what a click on the track does
    ASSERT_TRUE(waitUntil([&] { return r.w->lastFrame().number == std::uint32_t(at + 5); }));
    EXPECT_EQ(r.w->frameCounter(), at + 5);
    EXPECT_EQ(ui.Slider_Frame->value(), at + 5);

    ui.toolButton_GoToEnd->click();
    ASSERT_TRUE(waitUntil([&] { return r.w->lastFrame().number == 1u && r.w->frameCounter() == 1; }));
    EXPECT_TRUE(r.w->isFinished());
    EXPECT_EQ(ui.label_Frame_Count->text(), "1/20");

    // Looping, then the file is cut short under the replay.
    ui.checkBox_round->setChecked(true);
    ui.toolButton_Play->click();
    ASSERT_TRUE(waitUntil([&] { return r.w->frameCounter() >= 3; }));
    kvtest::MessageBoxCatcher broken;
    broken.arm();
    ASSERT_TRUE(QFile::resize(capture, QFileInfo(capture).size() / 2));
    ASSERT_TRUE(waitUntil([&] { return broken.seen; }, 10000));
    EXPECT_TRUE(broken.text.contains("open it again")) << broken.text.toStdString();
    ASSERT_TRUE(waitUntil([&] { return !r.w->replayThread()->isRunning(); }));
    r.settle();
    EXPECT_EQ(r.w->captureState(), kv::ReplayState::kLoaded);
    kvtest::MessageBoxCatcher again;
    again.arm();
    ui.toolButton_Play->click();
    ASSERT_TRUE(waitUntil([&] { return again.seen; }, 10000)) << "Play runs the replay again, which fails again";

    // "Close": nothing of the capture is left, and the PCD replay and Lidar are free.
    ASSERT_TRUE(waitUntil([&] { return !r.w->replayThread()->isRunning(); }));
    r.settle();
    ui.toolButton_Close->click();
    EXPECT_EQ(r.w->captureStore(), nullptr);
    EXPECT_EQ(r.w->captureState(), kv::ReplayState::kNotLoaded);
    EXPECT_FALSE(r.w->isOfflineInUse());
    EXPECT_FALSE(ui.toolButton_Play->isEnabled() || ui.toolButton_Close->isEnabled() || ui.Slider_Frame->isEnabled());
    EXPECT_TRUE(ui.toolButton_Lidar->isEnabled() && ui.toolButton_Open->isEnabled());
    r.w->refreshHealth();
    EXPECT_TRUE(r.w->healthLabel()->text().startsWith("Press Lidar")) << r.w->healthLabel()->text().toStdString();
}

// Two sensors in one capture: the window asks which to replay, all of them together
// preselected; one chosen, the store holds its packets only; all together, the frames follow
// the larger stream and carry both sensors' points, and the "Sensors" dock lists both.
TEST(CaptureReplay, TwoStreamsReplayTogetherOrEachAlone) {
    QTemporaryDir dir;
    const QString a = dir.filePath("a.pcap"), b = dir.filePath("b.pcap"), both = dir.filePath("both.pcap");
    for (const auto& [path, port, seconds] : {std::tuple{a, "2368", "2"}, std::tuple{b, "2380", "1"}}) {
        QProcess sim;
        sim.start(QString(KV_BIN_DIR) + "/kv-sensor-sim", {"--pcap", path, "--seconds", seconds, "--data-port", port});
        ASSERT_TRUE(sim.waitForFinished(30000));
    }
    {  // the two recordings interleaved record by record, as a capture of both sensors would be
        char err[PCAP_ERRBUF_SIZE];
        pcap_t* in[2] = {pcap_open_offline(a.toLocal8Bit().constData(), err),
                         pcap_open_offline(b.toLocal8Bit().constData(), err)};
        ASSERT_TRUE(in[0] && in[1]);
        pcap_dumper_t* out = pcap_dump_open(in[0], both.toLocal8Bit().constData());
        for (bool more[2] = {true, true}; more[0] || more[1];)
            for (int k = 0; k < 2; ++k) {
                pcap_pkthdr* h;
                const u_char* data;
                if (more[k] && pcap_next_ex(in[k], &h, &data) == 1) pcap_dump(reinterpret_cast<u_char*>(out), h, data);
                else more[k] = false;
            }
        pcap_dump_close(out);
        pcap_close(in[0]);
        pcap_close(in[1]);
    }
    const auto single = [](const QString& path) { return kv::capture::loadCapture(path.toStdString()).store.packetCount; };
    const struct {
        int choice;
        std::size_t packets;
        std::set<int> sensors;  // in the frames shown
    } cases[] = {{1, single(a), {0}}, {2, single(b), {0}}, {0, single(a), {0, 1}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.choice);
        Replay r;
        QStringList offered;
        int preselected = -1;
        kvtest::answerNextModal<QInputDialog>([&](QInputDialog* d) {
            offered = d->comboBoxItems();
            preselected = offered.indexOf(d->textValue());
            d->setTextValue(offered.value(c.choice));
            d->accept();
        });
        ASSERT_TRUE(r.w->openCaptureFile(both));
        ASSERT_EQ(offered.size(), 3);
        EXPECT_EQ(preselected, 0);
        EXPECT_EQ(offered[0], "All streams together");
        EXPECT_TRUE(offered[1].contains(">2368 (")) << offered[1].toStdString();
        EXPECT_TRUE(offered[2].contains(">2380 (")) << offered[2].toStdString();
        ASSERT_NE(r.w->captureStore(), nullptr);
        EXPECT_EQ(r.w->captureStore()->packetCount, c.packets);
        EXPECT_EQ(r.w->sensorsPanel().book().size(), c.sensors.size());
        r.ui().toolButton_Play->click();
        EXPECT_TRUE(waitUntil([&] { return r.frames() >= 4; }));
        std::set<int> shown;
        for (std::size_t i = 0; i < r.w->lastFrame().size(); ++i) shown.insert(int(r.w->lastFrame().sensorOf(i)));
        EXPECT_EQ(shown, c.sensors);
        r.ui().toolButton_GoToStart->click();
    }
    // Cancelling the choice opens nothing.
    Replay r;
    kvtest::answerNextModal<QInputDialog>([](QInputDialog* d) { d->reject(); });
    EXPECT_FALSE(r.w->openCaptureFile(both));
    EXPECT_EQ(r.w->captureStore(), nullptr);
}

// "Record" while live data arrives from the simulated sensor, stop, then open and play the
// recording. Recording from an adapter needs root.
TEST(CaptureRecording, RecordLiveThenReplayTheRecording) {
    if (!kvtest::mayCapture()) GTEST_SKIP() << kvtest::kNoCaptureReason;
    QTemporaryDir dir;
    const QString file = dir.filePath("recorded.pcap");
    Replay r;
    auto& ui = r.ui();
    const int port = kvtest::freeUdpPort();
    ui.lineEdit_portNumber->setText(QString::number(port));
    ui.lineEdit_portNumber_2->setText(QString::number(kvtest::freeUdpPort()));
    ui.toolButton_Lidar->click();
    ASSERT_TRUE(waitUntil([&] { return r.w->dataReceiver()->listening.load(); }));

    // The sensor streams; recording starts once its data arrives, so that the recorder picks
    // the adapter the data comes in on (loopback here).
    QProcess sim;
    sim.start(QString(KV_BIN_DIR) + "/kv-sensor-sim",
              {"--seconds", "2", "--bind-port", "0", "--data-port", QString::number(port), "--equip-port",
               QString::number(kvtest::freeUdpPort())});
    ASSERT_TRUE(waitUntil([&] { return r.frames() >= 2; }));

    QString proposed;
    kvtest::answerNextModal<QFileDialog>([&](QFileDialog* dialog) {
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        proposed = name->text();
        name->setText(file);
        QTest::keyClick(name, Qt::Key_Return);
    });
    ui.toolButton_SavePcapData->click();
    EXPECT_TRUE(proposed.startsWith("VX1_")) << proposed.toStdString();
    EXPECT_TRUE(proposed.endsWith(".pcap"));
    ASSERT_TRUE(r.w->isRecording());
    EXPECT_TRUE(ui.toolButton_SavePcapData->isChecked());
    ASSERT_TRUE(waitUntil([&] { return r.w->recorder()->capturing(); }));
    const std::uint64_t framesBeforeRecording = r.frames();
    ASSERT_TRUE(waitUntil([&] { return sim.state() == QProcess::NotRunning; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return r.frames() >= framesBeforeRecording + 8; }));
    // The status bar names the file and what it holds so far.
    const auto status = [&] { return r.w->statusBar()->currentMessage(); };
    ASSERT_TRUE(waitUntil([&] { return status().startsWith("Recording into " + file + ": ") && !status().contains(" 0 packets"); }))
        << status().toStdString();
    ui.toolButton_SavePcapData->click();  // stop
    EXPECT_FALSE(r.w->isRecording());
    const auto sizeNow = [&] { return QString::fromStdString(kv::byteSizeText(std::uint64_t(QFileInfo(file).size()))); };
    EXPECT_TRUE(waitUntil([&] { return status().startsWith("Recording ended: " + file + ", ") && status().endsWith(sizeNow()); }))
        << status().toStdString() << " / " << sizeNow().toStdString();
    EXPECT_FALSE(ui.toolButton_SavePcapData->isChecked());
    r.w->recorder()->wait();
    const std::uint64_t liveFrames = r.frames();

    ASSERT_TRUE(r.w->openCaptureFile(file));
    EXPECT_GE(r.w->captureStore()->frameCount(), 8u);
    ui.toolButton_Play->click();
    ASSERT_TRUE(waitUntil([&] { return r.w->isFinished(); }, 10000));
    EXPECT_GE(r.frames(), liveFrames + 8);
}

// A recording that cannot start tells the user and leaves the button ready for the next try.
TEST(CaptureRecording, FailureIsReportedAndEndsTheRecording) {
    Replay r;
    kvtest::MessageBoxCatcher catcher;
    catcher.arm();
    r.w->startRecordingTo("/nonexistent-dir/recording.pcap");
    ASSERT_TRUE(waitUntil([&] { return catcher.seen; }));
    EXPECT_EQ(catcher.title, "Tips");
    EXPECT_TRUE(catcher.text.startsWith("Cannot record")) << catcher.text.toStdString();
    EXPECT_FALSE(r.w->isRecording());
    EXPECT_FALSE(r.ui().toolButton_SavePcapData->isChecked());
}
