// Measuring and exporting in the window: a rubber-band pick made with real mouse events on
// the render widget, "Select" twice, "Clear", the range dialog, and the CSV exports read back.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QVTKOpenGLNativeWidget.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <unistd.h>

#include "cloud_view.h"
#include "cloud_view_pcl.h"
#include "getmuch.h"
#include "gui_helpers.h"
#include "manwindow.h"
#include "qlaserselectionmuch.h"
#include "savedata.h"
#include "selectpointrange.h"
#include "settings.h"

using kvtest::waitUntil;

namespace {

std::unique_ptr<manwindow> makeWindow() {
    kv::AppSettings s;
    s.LineShowNumber = 1;
    kv::installSettings(s);
    EchoFlag = 0;
    auto w = std::make_unique<manwindow>();
    w->show();
    waitUntil([&] { return w->ui().screen->isValid(); });
    return w;
}

// A 10 x 10 patch of points on line 0 in front of the sensor (x 1-2 m, y 0.1-1 m).
MuchLidarData patch() {
    MuchLidarData f;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j) {
            const double x = 1.0 + 0.1 * i, y = 0.1 + 0.1 * j;
            f.append(0, float(std::atan2(y, x) * 180.0 / 3.14159), float(std::hypot(x, y) * 100.0), 200);
        }
    return f;
}

void draw(manwindow& w, const MuchLidarData& f) {
    const auto before = w.framesDrawn();
    w.CalculateMuch(f);
    waitUntil([&] { return w.framesDrawn() > before; });
}

void mouse(QWidget* target, QEvent::Type type, QPoint p, Qt::MouseButtons held) {
    QMouseEvent e(type, p, target->mapToGlobal(p), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                  Qt::NoModifier);
    QApplication::sendEvent(target, &e);
    QApplication::processEvents();
}

// Drags a rubber band over the whole view.
void dragOverView(manwindow& w) {
    QWidget* screen = w.ui().screen;
    const QPoint a(2, 2), b(screen->width() - 3, screen->height() - 3);
    mouse(screen, QEvent::MouseButtonPress, a, Qt::LeftButton);
    for (int k = 1; k <= 4; ++k) mouse(screen, QEvent::MouseMove, a + (b - a) * k / 4, Qt::LeftButton);
    mouse(screen, QEvent::MouseButtonRelease, b, Qt::NoButton);
}

long bluePixels(manwindow& w) {
    const QImage img = w.ui().screen->grabFramebuffer();
    long blue = 0;
    for (int y = 0; y < img.height() - 40; ++y)  // above the readout text
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            blue += qBlue(p) > 200 && qRed(p) < 60 && qGreen(p) < 60;
        }
    return blue;
}

std::string tempCsv(const char* name) { return "/tmp/kv_gui_" + std::to_string(::getpid()) + "_" + name + ".csv"; }

std::vector<std::vector<std::string>> readCsv(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        for (std::string x; std::getline(ss, x, ',');) f.push_back(x);
        rows.push_back(f);
    }
    return rows;
}

}  // namespace

TEST(AreaSelection, RubberBandPickOverAKnownCloud) {
    auto w = makeWindow();
    w->ui().comboBox_4->setCurrentIndex(1);  // solid white points: blue is the selection only
    draw(*w, patch());
    w->cloudView().resetCamera();
    draw(*w, patch());
    EXPECT_EQ(w->cloudView().cloudPointCount(kv::CloudView::kRealTimeId), 100);
    EXPECT_LT(bluePixels(*w), 20);

    w->ui().toolButton_select->click();
    EXPECT_TRUE(w->isSelectMode());
    EXPECT_EQ(w->cursor().shape(), Qt::CrossCursor);
    EXPECT_FALSE(w->readoutEnabled());
    dragOverView(*w);
    ASSERT_TRUE(waitUntil([&] { return w->isSelectionActive(); })) << "no area pick arrived";
    EXPECT_EQ(w->pickedCount(), 100);
    EXPECT_FALSE(w->isSelectMode());
    EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(w->readoutEnabled());
    EXPECT_EQ(w->cloudView().cloudPointCount(kv::CloudView::kClickedId), 100);
    EXPECT_NEAR(w->selectionBox().xMin, 1.0, 1e-4);
    EXPECT_NEAR(w->selectionBox().xMax, 1.9, 1e-4);
    EXPECT_NEAR(w->selectionBox().yMax, 1.0, 1e-4);
    QStandardItemModel* table = w->pointTableModel();
    ASSERT_EQ(table->rowCount(), 100);
    EXPECT_EQ(table->item(0, 4)->text(), "200");  // the area-pick format: intensity as an integer
    const QLabel* x = w->findChild<QLabel*>("label_X");
    EXPECT_EQ(x->text(), "selectP: X_max:  1.9\t\tX_min:  1");
    EXPECT_GT(bluePixels(*w), 100);

    // The keys that end the rubber band have gone to the view: a drag now turns the camera.
    QApplication::processEvents();
    draw(*w, patch());  // the next frame rewrites the visible rows in the selected format
    EXPECT_EQ(table->item(0, 4)->text(), "200.0000");
    EXPECT_GT(bluePixels(*w), 100);
}

TEST(AreaSelection, SelectTwiceLeavesSelectModeOff) {
    auto w = makeWindow();
    w->ui().toolButton_select->click();
    w->ui().toolButton_select->click();
    EXPECT_FALSE(w->isSelectMode());
    EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(w->readoutEnabled());
    EXPECT_FALSE(w->isSelectionActive());
    draw(*w, patch());
    EXPECT_FALSE(w->cloudView().hasShape("0"));  // no readout until the next pick
}

TEST(AreaSelection, ClearRemovesGridAndReadoutButKeepsTheAxes) {
    auto w = makeWindow();
    w->ui().toolButton_Coor->click();
    w->ui().toolButton_MeaGrid->click();
    draw(*w, patch());
    EXPECT_TRUE(w->cloudView().hasShape("0"));
    w->handleAreaPick({0, 1, 2, 500});  // 500 lies past the displayed cloud
    EXPECT_EQ(w->pickedCount(), 3);
    w->ui().toolButton_clear->click();
    EXPECT_EQ(w->cloudView().shapeCount(), 0u);
    EXPECT_FALSE(w->cloudView().hasShape("0"));
    EXPECT_TRUE(w->cloudView().hasShape("coordinate"));
    EXPECT_EQ(w->cloudView().cloudPointCount(kv::CloudView::kRealTimeId), -1);
    EXPECT_FALSE(w->isSelectionActive());
    EXPECT_EQ(w->pickedCount(), 0);
    EXPECT_EQ(w->pointTableModel()->rowCount(), 0);
}

TEST(RangeDialog, ShowsTheBoxAndOkWidensItUntilCancel) {
    auto w = makeWindow();
    draw(*w, patch());
    w->handleAreaPick({0, 11});
    w->ui().toolButton_select_Range->click();
    SelectPointRange* d = w->rangeDialog();
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->windowTitle(), "SelectPointRange");
    EXPECT_EQ(d->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(d->label_X->text(), QString::fromUtf8("选取 X 的范围："));
    EXPECT_EQ(d->lineEdit_Xmin->text(), QString::number(double(w->selectionBox().xMin), 'g', 6));
    EXPECT_EQ(d->lineEdit_Ymax->text(), QString::number(double(w->selectionBox().yMax), 'g', 6));
    const char* typed[6] = {"0", "5", "-1", "abc", "-2", "2"};
    QLineEdit* fields[6] = {d->lineEdit_Xmin, d->lineEdit_Xmax, d->lineEdit_Ymin, d->lineEdit_Ymax, d->lineEdit_Zmin, d->lineEdit_Zmax};
    for (int i = 0; i < 6; ++i) fields[i]->setText(typed[i]);
    d->okButton->click();
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(w->selectionBox().xMax, 5.0f);
    EXPECT_EQ(w->selectionBox().yMax, 0.0f);  // not a number
    EXPECT_EQ(w->selectionBox().zMin, -2.0f);
    d->cancelButton->click();
    EXPECT_FALSE(d->isVisible());
}

TEST(CsvExportWindow, MultiFrameExportCountsEveryHandledFrameAndTheViewDrawsOn) {
    auto w = makeWindow();
    SaveData* s = w->saveDataWindow();
    EXPECT_EQ(s->windowTitle(), "SaveData");
    EXPECT_TRUE(s->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(s->checkBox->isHidden());
    w->ui().toolButton_4->click();  // not suspended: the dialog opens
    EXPECT_TRUE(s->isVisible());
    s->lineEdit_DataFrameNum->setText("3");
    s->lineEdit_MinAngle->setText("0");
    s->lineEdit_MaxAngle->setText("20");
    const std::string path = tempCsv("multi");
    QString proposed;
    kvtest::answerNextModal<QFileDialog>([&](QFileDialog* d) {
        proposed = d->selectedFiles().value(0);
        kvtest::chooseFile(d, QString::fromStdString(path));
    });
    s->pushButton_OK->click();
    EXPECT_FALSE(s->isVisible());
    ASSERT_TRUE(w->isCsvExporting());
    EXPECT_TRUE(proposed.endsWith("_3Frame.csv")) << proposed.toStdString();
    EXPECT_TRUE(w->csvExportLabel()->isVisible());

    // Five frames at once: the window draws only the newest, the export takes each in turn.
    MuchLidarData frames[5];
    for (int k = 0; k < 5; ++k) {
        frames[k] = patch();
        for (auto& in : frames[k].intensity) in = k;
    }
    for (int k = 0; k < 2; ++k) w->CalculateMuch(frames[k]);
    EXPECT_EQ(w->csvExportedFrames(), 2);
    EXPECT_TRUE(w->csvExportLabel()->text().contains("2 frames")) << w->csvExportLabel()->text().toStdString();
    ASSERT_TRUE(waitUntil([&] { return w->framesDrawn() >= 1; }));
    // Exported frames are drawn as any other: the newest, in its own colours.
    EXPECT_EQ(w->cloudView().cloudPointCount(kv::CloudView::kRealTimeId), 100);
    const pcl::PointXYZRGB& first = w->cloudView().impl().displayed->points.at(0);
    EXPECT_EQ(kv::Rgb({first.r, first.g, first.b}), kv::intensityColour(1));
    for (int k = 2; k < 5; ++k) w->CalculateMuch(frames[k]);
    EXPECT_FALSE(w->isCsvExporting());
    EXPECT_FALSE(w->csvExportLabel()->isVisible());

    const auto rows = readCsv(path);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0].front(), "FrameNumbers");
    int perFrame[4] = {0, 0, 0, 0};
    for (std::size_t r = 1; r < rows.size(); ++r) {
        ASSERT_EQ(rows[r].size(), 8u);
        const int frame = std::stoi(rows[r][0]);
        ASSERT_GE(frame, 1);
        ASSERT_LE(frame, 3);
        ++perFrame[frame];
        EXPECT_EQ(std::stoi(rows[r][7]), frame - 1);  // the intensity marks which frame it came from
        EXPECT_LE(std::stod(rows[r][6]), 20.0);
    }
    EXPECT_GT(perFrame[1], 0);
    EXPECT_EQ(perFrame[1], perFrame[2]);
    EXPECT_EQ(perFrame[2], perFrame[3]);
    EXPECT_LT(perFrame[1], 100);  // the angle range took some
    std::remove(path.c_str());
}

TEST(CsvExportWindow, ACountNeverReachedRunsUntilEndedAndASingleFrameGetsItsOwnFile) {
    auto w = makeWindow();
    SaveData* s = w->saveDataWindow();
    s->lineEdit_DataFrameNum->setText("zero");
    kvtest::answerNextModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
    s->onOk_Clicked();  // the file dialog is answered with nothing: no export
    EXPECT_FALSE(w->isCsvExporting());
    const std::string multi = tempCsv("endless"), single = tempCsv("single");
    ASSERT_TRUE(w->startCsvExportTo(QString::fromStdString(multi)));
    for (int k = 0; k < 4; ++k) w->CalculateMuch(patch());
    EXPECT_TRUE(w->isCsvExporting());
    EXPECT_EQ(w->csvExportedFrames(), 4);
    ASSERT_TRUE(waitUntil([&] { return w->framesDrawn() == 1; }));  // on screen: what the single export writes

    w->ui().tolbtn_SuspendData->click();
    w->CalculateMuch(patch());  // dropped: neither shown nor exported
    EXPECT_EQ(w->csvExportedFrames(), 4);
    ASSERT_TRUE(w->exportSingleFrameTo(QString::fromStdString(single)));
    EXPECT_TRUE(w->isCsvExporting());  // untouched
    w->ui().tolbtn_SuspendData->click();
    w->CalculateMuch(patch());
    EXPECT_EQ(w->csvExportedFrames(), 5);
    w->csvEndButton()->click();
    EXPECT_FALSE(w->isCsvExporting());

    const auto m = readCsv(multi), one = readCsv(single);
    EXPECT_EQ(m.size(), 1u + 5u * 100u);  // every point of line 0 within 0-180 degrees
    EXPECT_EQ(m.back()[0], "5");
    ASSERT_EQ(one.size(), 101u);
    EXPECT_EQ(one[0].front(), "Laser_id");
    EXPECT_EQ(one[1].size(), 7u);
    std::remove(multi.c_str());
    std::remove(single.c_str());
}

TEST(CsvExportWindow, AFileThatCannotBeCreatedIsReportedAndNothingStarts) {
    auto w = makeWindow();
    kvtest::MessageBoxCatcher box;
    box.arm();
    EXPECT_FALSE(w->startCsvExportTo("/nonexistent-kv-folder/out.csv"));
    EXPECT_TRUE(box.seen);
    EXPECT_EQ(box.title, "error");
    EXPECT_TRUE(box.text.contains("/nonexistent-kv-folder/out.csv")) << box.text.toStdString();
    EXPECT_FALSE(w->isCsvExporting());
    w->CalculateMuch(patch());
    EXPECT_EQ(w->csvExportedFrames(), 0);
}

TEST(ColourSelector, TypedTextNeverBecomesAnEntry) {
    auto w = makeWindow();
    for (QComboBox* c : {w->ui().comboBox_4, w->ui().comboBox_EchoSelection, w->ui().comboBox_View}) {
        const int count = c->count(), index = c->currentIndex();
        c->setFocus();
        c->lineEdit()->selectAll();
        QTest::keyClicks(c->lineEdit(), "Bogus");
        QTest::keyClick(c->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(c->count(), count) << c->objectName().toStdString();
        EXPECT_EQ(c->currentIndex(), index) << c->objectName().toStdString();
    }
}

// A pick needs no camera reset: whatever the camera shows can be picked, from wherever it was
// put (here straight above the patch, closer than the patch is wide and further out).
TEST(AreaSelection, PicksWhatTheCameraShowsWithoutAReset) {
    const struct {
        double heightM;
        int minPicked, maxPicked;
    } cases[] = {{1.0, 1, 99}, {5.0, 100, 100}, {20.0, 100, 100}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.heightM);
        auto w = makeWindow();
        w->ui().comboBox_4->setCurrentIndex(1);
        draw(*w, patch());
        w->cloudView().impl().viewer->setCameraPosition(1.5, 0.5, c.heightM, 1.5, 0.5, 0, 0, 1, 0, 0);
        draw(*w, patch());
        w->ui().toolButton_select->click();
        dragOverView(*w);
        ASSERT_TRUE(waitUntil([&] { return w->isSelectionActive(); })) << "no area pick arrived";
        EXPECT_GE(w->pickedCount(), c.minPicked);
        EXPECT_LE(w->pickedCount(), c.maxPicked);
    }
}

// A pick between a frame handled for PCD recording and its drawing reads the frame on screen:
// its indices refer to the drawn cloud, not to the newer points computed for the recording.
TEST(AreaSelection, APickDuringPcdRecordingReadsTheDrawnFrame) {
    auto w = makeWindow();
    draw(*w, patch());
    MuchLidarData far;  // 20 m away, behind the sensor
    for (int i = 0; i < 100; ++i) far.append(0, 200.0f + 0.1f * float(i), 2000.0f, 90);
    QTemporaryDir dir;
    w->ui().lineEdit_SavePCD_Num->setText("0");  // no end of its own
    w->startPcdRecordingTo(dir.filePath("rec.pcd"));
    ASSERT_TRUE(w->pcdRecording().active());
    w->CalculateMuch(far);  // recorded at once, drawn from the event queue
    w->handleAreaPick({0, 1, 2, 3});
    EXPECT_EQ(w->pickedCount(), 4);
    EXPECT_NEAR(w->selectionBox().xMin, 1.0, 1e-4);
    EXPECT_NEAR(w->selectionBox().xMax, 1.0, 1e-4);
    EXPECT_NEAR(w->selectionBox().yMin, 0.1, 1e-4);
    EXPECT_NEAR(w->selectionBox().yMax, 0.4, 1e-4);
    EXPECT_TRUE(waitUntil([&] { return w->pcdRecording().written() == 1; }));
}

// "SaveData" over a replayed PCD cloud writes the cloud on screen, not the frame drawn before
// it; a new colour mode leaves the cloud in its file's colours, with no frame drawn over it.
TEST(CsvExportWindow, ASingleFrameExportOfAPcdCloudWritesTheCloudOnScreen) {
    auto w = makeWindow();
    draw(*w, patch());
    pcl::PointCloud<pcl::PointXYZRGB>::Ptr cloud(new pcl::PointCloud<pcl::PointXYZRGB>);
    for (const auto& xyz : {std::array<float, 3>{3.0f, 4.0f, 0.0f}, std::array<float, 3>{0.0f, 2.0f, 1.0f}}) {
        pcl::PointXYZRGB p;
        p.r = 10;
        p.g = 20;
        p.b = 30;
        p.x = xyz[0];
        p.y = xyz[1];
        p.z = xyz[2];
        cloud->push_back(p);
    }
    w->onGetPointCloutPlay(cloud);
    EXPECT_EQ(w->cloudView().cloudPointCount(kv::CloudView::kPcdId), 2);
    w->ui().comboBox_4->setCurrentIndex(kv::kColourSolid);
    QTest::qWait(100);
    EXPECT_EQ(w->cloudView().cloudPointCount(kv::CloudView::kPcdId), 2);
    EXPECT_EQ(w->cloudView().cloudPointCount(kv::CloudView::kRealTimeId), -1);

    const std::string single = tempCsv("cloud");
    ASSERT_TRUE(w->exportSingleFrameTo(QString::fromStdString(single)));
    const std::vector<std::vector<std::string>> expected = {
        {"Laser_id", "Points_X", "Points_Y", "Points_Z", "Distance", "Azimuth", "Intensity"},
        {"0", "3", "4", "0", "5", "53.1301", "0"},
        {"0", "0", "2", "1", "2.23607", "90", "0"},
    };
    EXPECT_EQ(readCsv(single), expected);
    std::remove(single.c_str());
}

// While the picture stands still, a new colour mode, angle range or line choice shows on the
// frame on screen at once, not only from the next frame.
TEST(StillPicture, AFilterChangeRedrawsTheFrameOnScreen) {
    const MuchLidarData f = patch();
    long upTo20 = 0;
    for (float az : f.azimuth) upTo20 += az <= 20.0f;
    const struct {
        const char* what;
        std::function<void(manwindow&)> change;
        long points;
        kv::Rgb first;  // the first point's colour, when any is drawn
    } cases[] = {
        {"colour mode", [](manwindow& w) { w.ui().comboBox_4->setCurrentIndex(kv::kColourSolid); }, 100,
         {255, 255, 255}},
        {"angle range", [](manwindow& w) { w.ui().doubleSpinBox_maxAngle->setValue(20.0); }, upTo20,
         kv::intensityColour(200)},
        {"lines",
         [](manwindow& w) {
             w.laserSelection()->lineBox(0)->setChecked(false);
             w.laserSelection()->pushButton_OK->click();
         },
         0, {}},
    };
    ASSERT_GT(upTo20, 0);
    ASSERT_LT(upTo20, 100);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto w = makeWindow();
        draw(*w, f);
        ASSERT_EQ(w->cloudView().cloudPointCount(kv::CloudView::kRealTimeId), 100);
        w->ui().tolbtn_SuspendData->click();
        const auto drawn = w->framesDrawn();
        c.change(*w);
        const kv::Cloud& shown = *w->cloudView().impl().displayed;
        EXPECT_TRUE(waitUntil([&] {
            return w->cloudView().cloudPointCount(kv::CloudView::kRealTimeId) == c.points &&
                   (c.points == 0 || kv::Rgb{shown[0].r, shown[0].g, shown[0].b} == c.first);
        }));
        EXPECT_EQ(w->framesDrawn(), drawn);  // the same frame, drawn again
    }
}
