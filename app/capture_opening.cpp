#include "capture_opening.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>
#include <QStringList>
#include <algorithm>
#include <cstdio>

#include "capture_store.h"
#include "saveandplay_pcd.h"
#include "window_parts.h"

namespace kv::window {

namespace {

// A capture with data from more than one sensor stream: the user picks the one to replay, the
// one with the most packets preselected. False when the choice was cancelled.
bool chooseCaptureStream(QWidget* parent, capture::CaptureLoad& load) {
    QStringList items;
    for (const std::string& choice : load.streamChoices()) items << QString::fromStdString(choice);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(
        parent, "Streams", QString("This capture holds %1 sensor streams. Replay which one?").arg(items.size()), items, 0,
        false, &ok);
    return ok && load.chooseStream(std::size_t(items.indexOf(chosen)));
}

}  // namespace

QString askCaptureFileName(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QObject::tr("WireSharkCaptureFile"), QString(),
                                        "Supported Files (*.pcap);;pcapng files (*.pcapng);;All files (*)", nullptr,
                                        QFileDialog::DontUseNativeDialog);
}

std::shared_ptr<const capture::CaptureStore> loadCaptureFile(QMainWindow* window, const QString& fileName) {
    std::unique_ptr<QProgressDialog> progress;
    auto onProgress = [&](std::uint64_t done, std::uint64_t total) {
        if (!progress) progress = waitDialog(window, "Opening file...", 1000);  // per mille of the file
        if (total > 0) progress->setValue(int(std::min<std::uint64_t>(done, total) * 1000 / total));
    };
    capture::CaptureLoad load = capture::loadCapture(QFile::encodeName(fileName).toStdString(), onProgress);
    progress.reset();
    if (!load.opened || load.failure != capture::LoadFailure::kNone) {
        const std::string why = load.failure != capture::LoadFailure::kNone ? load.failureText() : load.error;
        std::printf("%s\n", why.c_str());
        std::fflush(stdout);
        QMessageBox::warning(window, "Tips", QString("%1:\n%2").arg(fileName, QString::fromStdString(why)),
                             QMessageBox::Ok);
        return nullptr;
    }
    if (load.streams.size() > 1 && !chooseCaptureStream(window, load)) return nullptr;
    if (load.damaged) window->statusBar()->showMessage(QString::fromStdString(load.damage), 15000);
    return std::make_shared<const capture::CaptureStore>(std::move(load.store));
}

int loadPcdFolder(QWidget* parent, const QString& directory, SaveAndPlay_PCD& replay) {
    const QStringList names = QDir(directory).entryList(QStringList{"*.pcd"}, QDir::Files | QDir::Readable, QDir::Name);
    const int fileCount = names.size();
    replay.stopAndWait();  // a run that has reported its end may still be returning
    replay.clearClouds();
    const auto progress = waitDialog(parent, "Opening PCD file...", fileCount);
    std::vector<std::string> paths;
    for (const QString& name : names) paths.push_back(directory.toStdString() + "/" + name.toStdString());
    replay.loadPcdFiles(paths, [&](std::size_t i) { progress->setValue(int(i)); });
    progress->setValue(fileCount);
    return fileCount;
}

}  // namespace kv::window
