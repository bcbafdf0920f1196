// Start-up: the file or folder named on the command line opens as "Open" and "OpenPCD" open
// theirs, the program refuses what it does not know, and VTK's warnings stay off the terminal
// while its errors still reach it.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <vtkNew.h>
#include <vtkPNGReader.h>

#include <cstdio>
#include <memory>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "cloud_fill.h"
#include "cloud_view.h"
#include "gui_helpers.h"
#include "manwindow.h"
#include "pcd_io.h"
#include "replay_fixture.h"
#include "saveandplay_pcd.h"
#include "settings.h"
#include "start_up.h"

namespace {

using kvtest::waitUntil;

// Two clouds of 5 and 7 points in `dir`.
void writePcdFolder(const QString& dir) {
    QDir().mkpath(dir);
    for (int n : {5, 7}) {
        kv::pcd::Cloud c;
        std::vector<kv::ColouredPoint> pts(std::size_t(n), kv::ColouredPoint{1.f, 2.f, 0.5f, {9, 9, 9}});
        kv::fillCloud(pts, c);
        ASSERT_TRUE(kv::pcd::writeCloud(c, QString("%1/c%2.pcd").arg(dir).arg(n).toStdString()).ok);
    }
}

// Standard error (file descriptor 2) gathered into a file while it lives.
class StderrCapture {
public:
    StderrCapture() : file_(std::tmpfile()) {
        std::fflush(stderr);
        saved_ = ::dup(2);
        ::dup2(::fileno(file_), 2);
    }
    ~StderrCapture() { restore(); }
    std::string text() {
        restore();
        std::string out;
        std::rewind(file_);
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, file_)) > 0;) out.append(buf, n);
        return out;
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        saved_ = -1;
    }
    std::FILE* file_;
    int saved_ = -1;
};

}  // namespace

TEST(ViewerStart, OpensTheNamedFileAsOpenOrTheNamedFolderAsOpenPcd) {
    QTemporaryDir tmp;
    const QString capture = kvtest::simulatedCapture(tmp, "sim.pcap", 1);
    writePcdFolder(tmp.filePath("clouds"));
    writePcdFolder(tmp.filePath("folder.pcap"));  // a folder, whatever its name says
    QFile text(tmp.filePath("notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a capture\n");
    text.close();
    const struct {
        QString path;
        bool opened;
        kv::ReplayState capture;  // the capture replay afterwards
        int pcdClouds;            // the PCD replay's clouds afterwards
        bool box;                 // a message box names the path
    } cases[] = {
        {capture, true, kv::ReplayState::kLoaded, 0, false},
        {tmp.filePath("clouds"), true, kv::ReplayState::kNotLoaded, 2, false},
        {tmp.filePath("folder.pcap"), true, kv::ReplayState::kNotLoaded, 2, false},
        {tmp.filePath("notes.txt"), false, kv::ReplayState::kNotLoaded, 0, true},
        {tmp.filePath("missing.pcap"), false, kv::ReplayState::kNotLoaded, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        kvtest::ReplayWindow r;
        kvtest::MessageBoxCatcher box;
        if (c.box) box.arm();
        EXPECT_EQ(kv::window::openStartPath(*r.w, c.path), c.opened);
        if (c.box) {
            ASSERT_TRUE(waitUntil([&] { return box.seen; }));
            EXPECT_EQ(box.title, "Tips");
            EXPECT_TRUE(box.text.contains(c.path)) << box.text.toStdString();
        }
        EXPECT_EQ(r.w->captureState(), c.capture);
        EXPECT_EQ(int(r.w->pcdReplayThread()->cloudCount()), c.pcdClouds);
        EXPECT_EQ(r.w->replayControl().state(kv::ReplayKind::Pcd),
                  c.pcdClouds ? kv::ReplayState::kLoaded : kv::ReplayState::kNotLoaded);
    }
}

// The project link in the status bar opens the README; where no program on the system opens
// it, the window says where the file is.
TEST(ViewerStart, ProjectLinkSaysWhereTheReadmeIsWhenNothingOpensIt) {
    QTemporaryDir noPrograms;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", noPrograms.path().toUtf8());  // no xdg-open, no browser
    kvtest::ReplayWindow r;
    r.w->show();
    auto* link = r.w->findChild<QLabel*>("label_projectLink");
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(link->text().contains("README.md")) << link->text().toStdString();
    kvtest::MessageBoxCatcher box;
    box.arm();
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(8, link->height() / 2));
    EXPECT_TRUE(waitUntil([&] { return box.seen; }));
    qputenv("PATH", path);
    EXPECT_EQ(box.title, "KV CloudScope");
    EXPECT_TRUE(box.text.endsWith(QFileInfo(QString(KV_SOURCE_DIR) + "/README.md").canonicalFilePath()))
        << box.text.toStdString();
}

// Drawing the axes makes the point library call VTK's deprecated shader setters, six warnings
// on standard error each time; a missing PNG file is a real VTK error.
TEST(ViewerStart, VtkWarningsStayOffTheTerminalAndErrorsReachIt) {
    for (const bool shown : {true, false}) {
        SCOPED_TRACE(shown ? "warnings shown" : "warnings off");
        kv::window::showVtkWarnings(shown);
        StderrCapture err;
        {
            kvtest::ReplayWindow r;
            r.ui().toolButton_Coor->click();
            r.w->cloudView().renderNow();
        }
        vtkNew<vtkPNGReader> reader;
        reader->SetFileName("/nonexistent/kv-start-test.png");
        reader->Update();
        const std::string text = err.text();
        EXPECT_EQ(text.find("deprecated") != std::string::npos, shown) << text;
        EXPECT_NE(text.find("kv-start-test.png"), std::string::npos) << text;
    }
    kv::window::showVtkWarnings(false);
}

// The program itself hands the path on its command line to "Open" or "OpenPCD": what they
// report of it shows on its output while the window stands (on this test's display).
TEST(ViewerProgram, OpensTheFileOrFolderNamedOnItsCommandLine) {
    QTemporaryDir tmp;
    writePcdFolder(tmp.filePath("clouds"));
    const struct {
        QString arg;
        const char* said;  // a line of standard output or error
    } cases[] = {
        {tmp.filePath("missing.pcap"), ": No such file or directory"},  // with its box up
        {tmp.filePath("clouds"), "Loaded PCD File:  7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg.toStdString());
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QString(KV_BIN_DIR) + "/kv-cloudscope", {c.arg});
        QByteArray out;
        const bool said = waitUntil(
            [&] {
                p.waitForReadyRead(50);
                out += p.readAll();
                return out.contains(c.said);
            },
            20000);
        EXPECT_TRUE(said) << out.toStdString();
        EXPECT_EQ(p.state(), QProcess::Running);
        p.kill();
        p.waitForFinished(5000);
    }
}
