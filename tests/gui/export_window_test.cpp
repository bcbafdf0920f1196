// kv-export against the real window: the CSV it writes for a capture equals, byte for byte,
// the window's multi-frame "SaveData" export of the same frames replayed through "Play"; the
// window's file, read while the export runs, holds whole lines only.
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "gui_helpers.h"
#include "manwindow.h"
#include "playback.h"
#include "savedata.h"
#include "settings.h"

using kvtest::waitUntil;

namespace {

std::string readFile(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int runProgram(const QString& program, const QStringList& args, QString* err = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000)) return -1;
    if (err) *err = QString::fromLocal8Bit(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

TEST(ExportWindow, CsvEqualsTheWindowsMultiFrameExportOfTheReplayedFrames) {
    struct Case {
        QStringList simArgs;
        int lineShowNumber;  // lines the dialog offers, all checked
        QString frames, minAngle, maxAngle;
        QString lines;  // the same lines for kv-export
    };
    const std::vector<Case> cases = {
        {{"--seed", "3"}, 1, "6", "0", "180", "0"},
        {{"--seed", "4"}, 4, "4", "15.5", "120", "0,1,2,3"},
        {{"--seed", "5", "--dual"}, 4, "5", "0", "90", "0,1,2,3"},
    };
    QTemporaryDir dir;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.simArgs.join(" ").toStdString());
        const QString capture = dir.filePath(QString("c%1.pcap").arg(n));
        ASSERT_EQ(runProgram(QString(KV_BIN_DIR) + "/kv-sensor-sim",
                             QStringList{"--pcap", capture, "--seconds", "1"} + c.simArgs),
                  0);

        kv::AppSettings settings;
        settings.LineShowNumber = c.lineShowNumber;
        kv::installSettings(settings);
        auto w = std::make_unique<manwindow>();
        w->show();
        ASSERT_TRUE(w->openCaptureFile(capture));

        // "SaveData": the dialog's values, Ok, a file name; then "Play".
        SaveData* s = w->saveDataWindow();
        w->ui().toolButton_4->click();
        s->lineEdit_DataFrameNum->setText(c.frames);
        s->lineEdit_MinAngle->setText(c.minAngle);
        s->lineEdit_MaxAngle->setText(c.maxAngle);
        const QString windowCsv = dir.filePath(QString("window%1.csv").arg(n));
        kvtest::answerNextModal<QFileDialog>([&](QFileDialog* d) {
            auto* name = d->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(windowCsv);
            QTest::keyClick(name, Qt::Key_Return);
        });
        s->pushButton_OK->click();
        ASSERT_TRUE(w->isCsvExporting());
        w->ui().toolButton_Play->click();
        // Read as another program would while the export runs: whole lines only, no zero byte.
        int looks = 0, badLooks = 0;
        ASSERT_TRUE(waitUntil(
            [&] {
                const std::string now = readFile(windowCsv);
                ++looks;
                if (now.empty() || now.back() != '\n' || now.find('\0') != std::string::npos) ++badLooks;
                return !w->isCsvExporting();
            },
            20000));
        EXPECT_EQ(badLooks, 0) << "of " << looks << " looks at the file during the export";
        EXPECT_EQ(w->csvExportedFrames(), c.frames.toInt());
        w.reset();

        const QString toolCsv = dir.filePath(QString("tool%1.csv").arg(n));
        QString err;
        ASSERT_EQ(runProgram(QString(KV_BIN_DIR) + "/kv-export",
                             {"--csv", toolCsv, "--frames", "1-" + c.frames, "--min-angle", c.minAngle, "--max-angle",
                              c.maxAngle, "--lines", c.lines, capture},
                             &err),
                  0)
            << err.toStdString();
        const std::string want = readFile(windowCsv), got = readFile(toolCsv);
        EXPECT_GT(want.size(), 1000u);
        EXPECT_TRUE(got == want) << "the window wrote " << want.size() << " bytes, kv-export " << got.size();
        ++n;
    }
}

}  // namespace
