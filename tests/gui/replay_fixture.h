// Shared by the replay window tests: captures written by the simulated sensor and a fresh
// window with the shared playback values at their defaults.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "manwindow.h"
#include "playback.h"
#include "settings.h"

namespace kvtest {

// A capture of `seconds` simulated seconds (10 frames a second) written by the simulated sensor
// into `dir` under `name` (seed 7).
inline QString simulatedCapture(const QTemporaryDir& dir, const QString& name, int seconds, bool dual = false) {
    const QString path = dir.filePath(name);
    QStringList args{"--pcap", path, "--seconds", QString::number(seconds), "--seed", "7"};
    if (dual) args << "--dual";
    QProcess sim;
    sim.start(QString(KV_BIN_DIR) + "/kv-sensor-sim", args);
    sim.waitForFinished(30000);
    return path;
}

// A shown window with the default settings (each window's replays start with their own orders).
struct ReplayWindow {
    std::unique_ptr<manwindow> w;
    ReplayWindow() {
        kv::installSettings(kv::AppSettings());
        w = std::make_unique<manwindow>();
        w->show();
    }
    Ui::manwindowClass& ui() { return w->ui(); }
};

}  // namespace kvtest
