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
#include "merged_streams.h"
#include "saveandplay_pcd.h"
#include "window_parts.h"

namespace kv::window {

namespace {

// A capture with data from more than one sensor stream: the user picks the one to replay, or
// all of them together (preselected). -1 for all, the stream's index otherwise; -2 when the
// choice was cancelled.
int chooseCaptureStream(QWidget* parent, const capture::CaptureLoad& load) {
    QStringList items{QObject::tr("All streams together")};
    for (const std::string& choice : load.streamChoices()) items << QString::fromStdString(choice);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(
        parent, "Streams", QString("This capture holds %1 sensor streams. Replay which one?").arg(items.size() - 1),
        items, 0, false, &ok);
    return ok ? int(items.indexOf(chosen)) - 1 : -2;
}

}  // namespace

QString askCaptureFileName(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QObject::tr("WireSharkCaptureFile"), QString(),
                                        "Supported Files (*.pcap);;pcapng files (*.pcapng);;All files (*)", nullptr,
                                        QFileDialog::DontUseNativeDialog);
}

OpenedCaptureFile loadCaptureFile(QMainWindow* window, const QString& fileName) {
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
        return {};
    }
    OpenedCaptureFile opened;
    const int choice = load.streams.size() > 1 ? chooseCaptureStream(window, load) : 0;
    if (choice == -2) return {};
    if (choice == -1) {
        // Every stream, the largest leading (the streams come largest first).
        opened.merged = std::make_shared<const capture::MergedStreams>(load.streamStores, 0);
        for (const auto& s : load.streams) opened.streams.push_back(wire::streamText(s.key));
        opened.store = std::make_shared<const capture::CaptureStore>(load.streamStores[0]);
    } else {
        load.chooseStream(std::size_t(choice));
        opened.streams.push_back(wire::streamText(load.streams[load.chosen].key));
        opened.store = std::make_shared<const capture::CaptureStore>(std::move(load.store));
    }
    if (load.damaged) window->statusBar()->showMessage(QString::fromStdString(load.damage), 15000);
    return opened;
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
