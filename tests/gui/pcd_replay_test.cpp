// PCD recording and replay through the window: recording every handled frame, the names, the
// failures; opening a directory, play, pause, steps, slider, end, looping and the refusals
// between the two replays. Also the capture replay's seek that must not outlive its capture.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <pcl/io/pcd_io.h>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <cmath>
#include <memory>

#include "capture_store.h"
#include "cloud_view.h"
#include "cloud_view_pcl.h"
#include "gui_helpers.h"
#include "replay_fixture.h"
#include "manwindow.h"
#include "pcd_io.h"
#include "playback.h"
#include "readliveoffdata.h"
#include "saveandplay_pcd.h"
#include "settings.h"

using kvtest::waitUntil;

namespace {

QString simCapture(const QTemporaryDir& dir, const QString& name, int seconds) {
    return kvtest::simulatedCapture(dir, name, seconds);
}

struct Window : kvtest::ReplayWindow {
    long pcdPoints() const { return w->cloudView().cloudPointCount(kv::CloudView::kPcdId); }
    // Waits until nothing has been shown for `quietMs`.
    void settle(long& shown, int quietMs = 300) {
        for (;;) {
            const long before = shown;
            QTest::qWait(quietMs);
            if (shown == before) return;
        }
    }
};

// A frame of `points` points on line 0, 10 m away, azimuth 10 deg upwards.
MuchLidarData frameOf(int points) {
    MuchLidarData f;
    for (int i = 0; i < points; ++i) f.append(0, 10.0f + 0.1f * float(i), 1000.0f + float(i), 40 + i % 100);
    return f;
}

QStringList pcdFiles(const QString& dir) { return QDir(dir).entryList({"*.pcd"}, QDir::Files, QDir::Name); }

bool close8(float a, float b) { return a == b || std::fabs(double(a) - double(b)) <= std::fabs(double(a)) * 1e-7; }

}  // namespace

TEST(PcdRecording, EveryHandledFrameIsWrittenAsDisplayedEvenWhenItsDrawingIsSkipped) {
    QTemporaryDir dir;
    Window win;
    win.ui().lineEdit_SavePCD_Num->setText("3");
    win.w->startPcdRecordingTo(dir.filePath("rec.pcd"));
    ASSERT_TRUE(win.w->pcdRecording().active());
    EXPECT_TRUE(win.ui().toolButton_SavePCDData->isChecked());
    // Three frames in a row: only the last is drawn, all three are recorded; a fourth is not.
    for (int k = 0; k < 4; ++k) win.w->CalculateMuch(frameOf(50 + 10 * k));
    ASSERT_TRUE(waitUntil([&] { return win.w->framesDrawn() == 1; }));
    EXPECT_EQ(win.w->drawsSkipped(), 3u);
    EXPECT_FALSE(win.w->pcdRecording().active());
    EXPECT_FALSE(win.ui().toolButton_SavePCDData->isChecked());
    const QStringList files = pcdFiles(dir.path());
    ASSERT_EQ(files.size(), 3);
    const QRegularExpression name("^rec\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d{3}_(\\d)\\.pcd$");
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(files[k].toStdString());
        const auto m = name.match(files[k]);
        ASSERT_TRUE(m.hasMatch());
        EXPECT_EQ(m.captured(1).toInt(), k);
        pcl::PointCloud<pcl::PointXYZRGB> c;
        ASSERT_EQ(pcl::PCDReader().read(dir.filePath(files[k]).toStdString(), c), 0);
        EXPECT_EQ(int(c.size()), 50 + 10 * k);
    }
}

TEST(PcdRecording, RecordedFilesReadBackAsTheDisplayedPoints) {
    QTemporaryDir dir;
    const QString capture = simCapture(dir, "sim.pcap", 1);
    Window win;
    ASSERT_TRUE(win.w->openCaptureFile(capture));
    win.ui().toolButton_Play->click();
    ASSERT_TRUE(waitUntil([&] { return win.w->framesHandled() >= 1; }));
    win.ui().toolButton_Play->click();  // pause
    QTest::qWait(300);
    win.ui().lineEdit_SavePCD_Num->setText("1");
    const QString file = dir.filePath("one.pcd");
    win.w->startPcdRecordingTo(file);
    const std::uint64_t before = win.w->framesHandled();
    win.ui().toolButton_SeekForward->click();  // one frame
    ASSERT_TRUE(waitUntil([&] { return win.w->framesHandled() == before + 1 && win.w->framesDrawn() >= 1; }));
    QTest::qWait(100);
    EXPECT_FALSE(win.w->pcdRecording().active());
    pcl::PointCloud<pcl::PointXYZRGB> back;
    ASSERT_EQ(pcl::PCDReader().read(file.toStdString(), back), 0);
    const kv::Cloud& shown = *win.w->cloudView().impl().displayed;
    ASSERT_GT(shown.size(), 100u);
    ASSERT_EQ(back.size(), shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        ASSERT_TRUE(close8(shown[i].x, back[i].x) && close8(shown[i].y, back[i].y) && close8(shown[i].z, back[i].z)) << i;
        ASSERT_TRUE(shown[i].r == back[i].r && shown[i].g == back[i].g && shown[i].b == back[i].b) << i;
    }
    // The colour word of every row, alpha included, is the drawn point's: the writer prints
    // rgb as the packed 32-bit integer.
    QFile text(file);
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    while (!text.atEnd() && !text.readLine().startsWith("DATA ")) {
    }
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const QList<QByteArray> values = text.readLine().trimmed().split(' ');
        ASSERT_EQ(values.size(), 4) << i;
        ASSERT_EQ(values[3].toUInt(), shown[i].rgba) << i;
    }
    EXPECT_EQ(pcdFiles(dir.path()), QStringList{"one.pcd"});
    win.ui().toolButton_GoToStart->click();
}

// The name "RecordPCD" proposes carries the model label once a frame has shown it, and no
// label before.
TEST(PcdRecording, ProposedNameCarriesOnlyALabelTheFramesShowed) {
    Window win;
    for (const char* expected : {"_.pcd", "VX1_.pcd"}) {
        QString proposed;
        kvtest::answerNextModal<QFileDialog>([&](QFileDialog* dialog) {
            proposed = dialog->findChild<QLineEdit*>("fileNameEdit")->text();
            dialog->reject();
        });
        win.ui().toolButton_SavePCDData->click();
        EXPECT_EQ(proposed, expected);
        EXPECT_FALSE(win.ui().toolButton_SavePCDData->isChecked());
        win.w->CalculateMuch(frameOf(20));
    }
}

TEST(PcdRecording, EndlessCountsEmptyFramesAndFailures) {
    QTemporaryDir dir;
    Window win;
    auto& ui = win.ui();
    // A count that is not a number records until the button is pressed again.
    ui.lineEdit_SavePCD_Num->setText("many");
    win.w->startPcdRecordingTo(dir.filePath("e.pcd"));
    win.w->CalculateMuch(frameOf(20));
    win.w->CalculateMuch(MuchLidarData());  // no points: counted, not written
    win.w->CalculateMuch(frameOf(30));
    EXPECT_TRUE(win.w->pcdRecording().active());
    EXPECT_EQ(win.w->pcdRecording().written(), 3);
    EXPECT_TRUE(win.w->statusBar()->currentMessage().contains("3")) << win.w->statusBar()->currentMessage().toStdString();
    ui.toolButton_SavePCDData->click();
    EXPECT_FALSE(win.w->pcdRecording().active());
    EXPECT_FALSE(ui.toolButton_SavePCDData->isChecked());
    win.w->CalculateMuch(frameOf(20));
    const QStringList files = pcdFiles(dir.path());
    ASSERT_EQ(files.size(), 2);
    EXPECT_TRUE(files.contains("e.pcd"));

    // A write that fails is told once; the recording ends, the files written stay.
    ui.lineEdit_SavePCD_Num->setText("5");
    kvtest::MessageBoxCatcher box;
    box.arm();
    win.w->startPcdRecordingTo(dir.filePath("gone/f.pcd"));
    win.w->CalculateMuch(frameOf(20));
    win.w->CalculateMuch(frameOf(20));
    EXPECT_FALSE(win.w->pcdRecording().active());
    ASSERT_TRUE(waitUntil([&] { return box.seen; }));
    EXPECT_EQ(box.title, "error");
    EXPECT_TRUE(box.text.contains("gone/f")) << box.text.toStdString();
    QTest::qWait(200);
    EXPECT_EQ(pcdFiles(dir.path()).size(), 2);
}

namespace {
// Six clouds of 10, 20, ... 60 points under names whose code-point order is their index, an
// unreadable file among them and a directory named like a PCD file.
QString pcdDirectory(const QTemporaryDir& tmp) {
    const QString d = tmp.filePath("clouds");
    QDir().mkpath(d + "/x.pcd");
    const char* names[] = {"A0.pcd", "B1.pcd", "C2.pcd", "a3.pcd", "b4.pcd", "c5.pcd"};
    for (int i = 0; i < 6; ++i) {
        kv::pcd::Cloud c;
        std::vector<kv::ColouredPoint> pts(std::size_t(10 * (i + 1)), kv::ColouredPoint{1.f, 2.f, float(i), {9, 9, 9}});
        kv::fillCloud(pts, c);
        EXPECT_TRUE(kv::pcd::writeCloud(c, (d + "/" + names[i]).toStdString()).ok);
    }
    QFile bad(d + "/b9_broken.pcd");
    bad.open(QIODevice::WriteOnly);
    bad.write("FIELDS x y z\nPOINTS 2147483648\nDATA ascii\n1 2 3\n");
    return d;
}
}  // namespace

TEST(PcdReplay, OpenPlayPauseStepSliderEndAndLoop) {
    QTemporaryDir tmp;
    const QString d = pcdDirectory(tmp);
    Window win;
    auto& ui = win.ui();
    long shown = 0;
    std::vector<long> sizes;
    QObject::connect(win.w->pcdReplayThread(), &SaveAndPlay_PCD::SendPointCloudData, win.w.get(),
                     [&](kv::pcd::CloudPtr c) {
                         ++shown;
                         sizes.push_back(long(c->size()));
                     });

    EXPECT_EQ(win.w->openPcdDirectory(d), 6);
    EXPECT_FALSE(win.w->findChild<QLabel*>("label_startHint")->isVisible());  // no "Press Lidar" over a replay
    EXPECT_EQ(ui.Slider_Frame_PCD->maximum(), 7);  // every name counts, read or not
    EXPECT_EQ(ui.label_PCD_Count->text(), "0/7");
    EXPECT_TRUE(ui.toolButton_Play_PCD->isEnabled());
    EXPECT_FALSE(ui.toolButton_Play->isEnabled());
    for (QToolButton* b : {ui.toolButton_GoToEnd_PCD, ui.toolButton_SeekForward_PCD, ui.toolButton_SeekBackward_PCD})
        EXPECT_FALSE(b->isEnabled());
    EXPECT_FALSE(ui.LidraDataDock->isVisible());
    EXPECT_EQ(win.w->replayControl().state(kv::ReplayKind::Pcd), kv::ReplayState::kLoaded);

    win.w->pcdReplayThread()->channel.orders.replaySpeed = 4;  // not reset by Play: 110 ms a cloud, time to pause in the middle
    ui.toolButton_Play_PCD->click();
    EXPECT_TRUE(win.w->isOfflineInUse());
    EXPECT_FALSE(ui.toolButton_OpenPCD->isEnabled());
    EXPECT_FALSE(ui.toolButton_Lidar->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return shown >= 1; }));
    ui.toolButton_Play_PCD->click();  // pause
    win.settle(shown);
    // The step forward below must not reach the last cloud: the walk ends there, and a step
    // back from it would end the run instead of showing the cloud before.
    ASSERT_LT(shown, 5);
    const int at = win.w->frameCounter();
    EXPECT_EQ(at, int(shown));
    EXPECT_EQ(win.pcdPoints(), 10L * at);  // counter k shows cloud k - 1
    EXPECT_EQ(ui.label_PCD_Count->text(), QString("%1/7").arg(at));
    for (int i = 0; i < int(sizes.size()); ++i) EXPECT_EQ(sizes[std::size_t(i)], 10L * (i + 1)) << "B plays before a";

    ui.toolButton_SeekForward_PCD->click();
    ASSERT_TRUE(waitUntil([&] { return win.w->frameCounter() == at + 1; }));
    win.settle(shown);
    EXPECT_EQ(win.pcdPoints(), 10L * (at + 1));
    ui.toolButton_SeekBackward_PCD->click();
    ASSERT_TRUE(waitUntil([&] { return win.w->frameCounter() == at; }));
    win.settle(shown);
    EXPECT_EQ(win.pcdPoints(), 10L * at);

    // Released at F, which counts the unreadable name too: the paused replay shows the last
    // cloud at once, numbered as it is; Play then ends the run there, the cloud left on screen.
    const long before = shown;
    ui.Slider_Frame_PCD->setValue(7);
    emit ui.Slider_Frame_PCD->sliderMoved(7);
    emit ui.Slider_Frame_PCD->sliderReleased();
    EXPECT_EQ(ui.label_PCD_Count->text(), "7/7");
    ASSERT_TRUE(waitUntil([&] { return shown == before + 1; }));
    EXPECT_EQ(sizes.back(), 60);
    EXPECT_EQ(ui.label_PCD_Count->text(), "6/7");
    ui.toolButton_Play_PCD->click();
    ASSERT_TRUE(waitUntil([&] { return win.w->isFinished(); }));
    EXPECT_EQ(shown, before + 1);
    EXPECT_EQ(ui.label_PCD_Count->text(), "6/7");
    EXPECT_TRUE(ui.toolButton_Play_PCD->isEnabled() && ui.toolButton_OpenPCD->isEnabled() && ui.toolButton_Lidar->isEnabled());
    EXPECT_FALSE(ui.toolButton_SeekForward_PCD->isEnabled());
    EXPECT_FALSE(win.w->isOfflineInUse());

    // Backwards down to the first cloud ends the run too.
    win.w->pcdReplayThread()->channel.orders.replaySpeed = 0;
    ui.toolButton_Play_PCD->click();
    ASSERT_TRUE(waitUntil([&] { return win.w->frameCounter() >= 3; }));
    ui.toolButton_SeekBackward_PCD->click();
    ASSERT_TRUE(waitUntil([&] { return win.w->isFinished(); }));
    EXPECT_EQ(sizes.back(), 10);
    EXPECT_EQ(ui.label_PCD_Count->text(), "1/7");

    // Looping: the run starts over from cloud 0 by itself; stop ends it and unchecks the box.
    ui.checkBox_round_PCD->setChecked(true);
    const long loopFrom = shown;
    ui.toolButton_Play_PCD->click();
    ASSERT_TRUE(waitUntil([&] { return shown >= loopFrom + 9; }, 5000));
    EXPECT_EQ(sizes[std::size_t(loopFrom + 6)], 10);
    ui.toolButton_GoToEnd_PCD->click();
    EXPECT_FALSE(ui.checkBox_round_PCD->isChecked());
    ASSERT_TRUE(waitUntil([&] { return win.w->isFinished() && !win.w->pcdReplayThread()->isRunning(); }));
    win.settle(shown);
    const long stopped = shown;
    QTest::qWait(300);
    EXPECT_EQ(shown, stopped);
}

TEST(PcdReplay, EmptyDirectoryEndsAtOnceEvenWhenLooping) {
    QTemporaryDir tmp;
    Window win;
    EXPECT_EQ(win.w->openPcdDirectory(tmp.path()), 0);
    EXPECT_EQ(win.ui().label_PCD_Count->text(), "0/0");
    win.ui().checkBox_round_PCD->setChecked(true);
    win.ui().toolButton_Play_PCD->click();
    ASSERT_TRUE(waitUntil([&] { return win.w->isFinished(); }));
    QTest::qWait(300);
    EXPECT_FALSE(win.w->isOfflineInUse());
    EXPECT_FALSE(win.w->pcdReplayThread()->isRunning());
    EXPECT_TRUE(win.ui().toolButton_OpenPCD->isEnabled());
}

TEST(PcdReplay, EachReplayRefusesToOpenWhileTheOtherIsInUse) {
    QTemporaryDir tmp;
    const QString d = pcdDirectory(tmp);
    const QString capture = simCapture(tmp, "sim.pcap", 1);
    struct Case {
        const char* name;
        bool pcdFirst;
    };
    for (const Case& c : {Case{"PCD playing, capture Open", true}, Case{"capture playing, OpenPCD", false}}) {
        SCOPED_TRACE(c.name);
        Window win;
        auto& ui = win.ui();
        if (c.pcdFirst) {
            win.w->openPcdDirectory(d);
            ui.toolButton_Play_PCD->click();
        } else {
            ASSERT_TRUE(win.w->openCaptureFile(capture));
            ui.toolButton_Play->click();
        }
        QToolButton* open = c.pcdFirst ? ui.toolButton_Open : ui.toolButton_OpenPCD;
        open->setEnabled(true);
        kvtest::MessageBoxCatcher refused;
        refused.arm();
        QMetaObject::invokeMethod(open, "click", Qt::QueuedConnection);
        ASSERT_TRUE(waitUntil([&] { return refused.seen; }));
        EXPECT_EQ(refused.title, "Tips");
        EXPECT_EQ(refused.text, "The offline file has been opened. Please close it first!!!");
        if (c.pcdFirst) ui.toolButton_GoToEnd_PCD->click();
        else ui.toolButton_GoToStart->click();
    }
}

// A slider seek made while no replay runs belongs to the capture it was made on.
TEST(CaptureReplay, ASeekBeforePlayDoesNotCarryOverToTheNextCapture) {
    QTemporaryDir tmp;
    const QString a = simCapture(tmp, "a.pcap", 2);
    const QString b = tmp.filePath("b.pcap");
    ASSERT_TRUE(QFile::copy(a, b));
    Window win;
    auto& ui = win.ui();
    ASSERT_TRUE(win.w->openCaptureFile(a));
    ui.Slider_Frame->setValue(15);
    emit ui.Slider_Frame->sliderMoved(15);
    emit ui.Slider_Frame->sliderReleased();
    ASSERT_TRUE(win.w->openCaptureFile(b));
    EXPECT_EQ(win.w->frameCounter(), 0);
    win.w->replayThread()->channel.orders.replaySpeed = 2;
    ui.toolButton_Play->click();
    ASSERT_TRUE(waitUntil([&] { return win.w->isFinished(); }, 10000));
    // From packet 0 the whole capture plays (20 frames); from frame 15 only its last five.
    EXPECT_GE(win.w->framesHandled(), 19u);
}

// The cloud crosses from the replay thread to the window under the point library's own type
// name: a connection made by signature text with that name must find both ends.
TEST(PcdReplay, CloudSignalAndSlotCarryThePointLibraryTypeName) {
    const char* type = "pcl::PointCloud<pcl::PointXYZRGB>::Ptr";
    EXPECT_GE(SaveAndPlay_PCD::staticMetaObject.indexOfSignal(
                  QMetaObject::normalizedSignature(QByteArray("SendPointCloudData(") + type + ")")),
              0);
    EXPECT_GE(manwindow::staticMetaObject.indexOfSlot(
                  QMetaObject::normalizedSignature(QByteArray("onGetPointCloutPlay(") + type + ")")),
              0);
    SaveAndPlay_PCD::registerMetaTypes();
    EXPECT_NE(QMetaType::type(type), QMetaType::UnknownType);
}
