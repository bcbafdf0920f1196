// The view tools of the "Lidar" tab on a real display: the colour bar on screen follows the
// colour selector and the "Legend" button; "Snapshot" writes the view's picture, colour bar
// included, and a write that cannot be made says so and leaves no file.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QVTKOpenGLNativeWidget.h>
#include <gtest/gtest.h>
#include <memory>

#include "cloud_view.h"
#include "colour_legend.h"
#include "getmuch.h"
#include "gui_helpers.h"
#include "manwindow.h"
#include "settings.h"
#include "view_tools.h"

using kvtest::waitUntil;

namespace {

std::unique_ptr<manwindow> makeWindow() {
    kv::installSettings(kv::AppSettings());
    EchoFlag = 0;
    auto w = std::make_unique<manwindow>();
    w->show();
    waitUntil([&] { return w->ui().screen->isValid(); });
    return w;
}

// Pixels of the view's right fifth (where the bar stands) within 2 of a colour of `mode`'s
// legend, outer swatches included, other than the points' colour `drawn`.
long legendPixels(const QImage& img, int mode, kv::Rgb drawn = {0, 0, 0}) {
    kv::ColourLegendSpec spec = kv::colourLegendSpec(mode);
    if (!spec.shown) spec = kv::colourLegendSpec(kv::kColourIntensity);  // what must be gone
    std::vector<kv::Rgb> colours = spec.colours;
    if (spec.outerSwatches) colours.insert(colours.end(), {spec.below, spec.above});
    long n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = img.width() * 4 / 5; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            if (qRed(p) + qGreen(p) + qBlue(p) < 30) continue;  // the background
            auto near = [&](const kv::Rgb& c) {
                return std::abs(qRed(p) - c.r) <= 2 && std::abs(qGreen(p) - c.g) <= 2 && std::abs(qBlue(p) - c.b) <= 2;
            };
            if (near(drawn)) continue;
            for (const kv::Rgb& c : colours)
                if (near(c)) {
                    ++n;
                    break;
                }
        }
    return n;
}

// Pixels of the view's right fifth within 2 of `c`.
long pixelsNear(const QImage& img, const kv::Rgb& c) {
    long n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = img.width() * 4 / 5; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            n += std::abs(qRed(p) - c.r) <= 2 && std::abs(qGreen(p) - c.g) <= 2 && std::abs(qBlue(p) - c.b) <= 2;
        }
    return n;
}

}  // namespace

// Each step is what a user does; the bar in the picture, not only the actor's flag, is checked.
TEST(ViewTools, LegendFollowsTheColourSelectorAndItsButton) {
    auto w = makeWindow();
    struct Step {
        int colourIndex;   // chosen in the colour selector
        bool clickLegend;  // then a click on "Legend"
        bool checked;      // "Legend" afterwards
        bool shown;        // the bar afterwards
    };
    const Step steps[] = {
        {kv::kColourIntensity, false, true, true},  // at start: checked, Intensity
        {kv::kColourElevation, false, true, true},  {kv::kColourAzimuth, false, true, true},
        {kv::kColourLaserId, false, true, true},    {kv::kColourSolid, false, true, false},
        {kv::kColourIntensity, false, true, true},  {kv::kColourIntensity, true, false, false},
        {kv::kColourAzimuth, false, false, false},  {kv::kColourAzimuth, true, true, true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(::testing::Message() << "colour " << s.colourIndex << " click " << s.clickLegend);
        w->ui().comboBox_4->setCurrentIndex(s.colourIndex);
        if (s.clickLegend) QTest::mouseClick(w->ui().toolButton_Legend, Qt::LeftButton);
        EXPECT_EQ(w->ui().toolButton_Legend->isChecked(), s.checked);
        EXPECT_EQ(w->cloudView().colourLegendVisible(), s.shown);
        const QImage shot = w->ui().screen->grabFramebuffer();
        const long lit = legendPixels(shot, s.colourIndex);
        if (s.shown) EXPECT_GT(lit, 400);
        else EXPECT_EQ(lit, 0);
        // "LaserID" shows a swatch for each of the four lines, each in a colour of its own.
        if (s.shown && s.colourIndex == kv::kColourLaserId) {
            for (const kv::Rgb& c : kv::colourLegendSpec(kv::kColourLaserId).colours) {
                EXPECT_GT(pixelsNear(shot, c), 100) << int(c.r) << "," << int(c.g) << "," << int(c.b);
            }
        }
    }
}

TEST(ViewTools, SnapshotSavesTheViewAsShownAndAFailedWriteSaysSo) {
    auto w = makeWindow();
    QTemporaryDir dir;
    // Points of one intensity: the bar's other colours in the picture are the bar's.
    constexpr int kIntensity = 200;
    MuchLidarData f;
    for (int i = 0; i < 1800; ++i) f.append(0, float(i) * 0.1f, 300.0f + float(i % 50), kIntensity);
    w->CalculateMuch(f);
    ASSERT_TRUE(waitUntil([&] { return w->framesDrawn() == 1; }));
    const QString model = QString::fromStdString(w->modelLabelText());
    ASSERT_FALSE(model.isEmpty());

    // Through the button and its dialog, as a user saves one.
    const QString first = dir.filePath("first.png");
    QString proposed;
    kvtest::answerNextModal<QFileDialog>([&](QFileDialog* d) {
        if (auto* name = d->findChild<QLineEdit*>("fileNameEdit")) proposed = QDir(d->directory()).filePath(name->text());
        kvtest::chooseFile(d, first);
    });
    QTest::mouseClick(w->ui().toolButton_Snapshot, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(first); }));
    const QRegularExpression stamp("_\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d\\.png$");
    EXPECT_TRUE(QFileInfo(proposed).fileName().startsWith(model + "_")) << proposed.toStdString();
    EXPECT_TRUE(stamp.match(proposed).hasMatch()) << proposed.toStdString();
    // The next proposal is in the folder last used.
    const QString next = w->viewTools().proposedSnapshotName();
    EXPECT_EQ(QFileInfo(next).absolutePath(), QFileInfo(dir.path()).absoluteFilePath()) << next.toStdString();
    EXPECT_TRUE(QFileInfo(next).fileName().startsWith(model + "_")) << next.toStdString();
    EXPECT_TRUE(stamp.match(next).hasMatch()) << next.toStdString();

    // The file is the view's framebuffer pixel for pixel: the widget's grab reads the same
    // framebuffer after the same render, and PNG keeps every byte, so no tolerance is needed.
    const QString second = dir.filePath("second.png");
    ASSERT_TRUE(w->saveSnapshotTo(second));
    const QImage grabbed = w->ui().screen->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    for (const QString& name : {first, second}) {
        SCOPED_TRACE(name.toStdString());
        const QImage saved(name);
        ASSERT_FALSE(saved.isNull());
        const QSize viewSize = w->ui().screen->size() * w->ui().screen->devicePixelRatioF();
        EXPECT_EQ(saved.size(), viewSize);
        EXPECT_TRUE(saved.convertToFormat(QImage::Format_RGB32) == grabbed);
        EXPECT_GT(legendPixels(saved, kv::kColourIntensity, kv::intensityColour(kIntensity)), 400)
            << "the colour bar is in the picture";
    }

    // Places that cannot be written: a missing folder, a file standing where a folder should.
    QFile blocker(dir.filePath("a_file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    for (const QString& bad : {dir.filePath("missing/x.png"), dir.filePath("a_file/x.png")}) {
        SCOPED_TRACE(bad.toStdString());
        kvtest::MessageBoxCatcher box;
        box.arm();
        EXPECT_FALSE(w->saveSnapshotTo(bad));
        EXPECT_TRUE(box.seen);
        EXPECT_EQ(box.title, "error");
        EXPECT_TRUE(box.text.contains(bad)) << box.text.toStdString();
        EXPECT_FALSE(QFileInfo::exists(bad));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3) << "no temporary file is left";
}
