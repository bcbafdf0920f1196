// Helpers of the device dialog tests: the loopback-only guard, a script that answers modal
// boxes, status packets from the simulated sensor, and the audit files.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QVariant>
#include <functional>
#include <net/if.h>
#include <string>
#include <vector>

#include "gui_helpers.h"
#include "status_decode.h"
#include "status_state.h"

namespace kvtest {

// True only when this process sees no network interface but the loopback one: then nothing
// it sends can leave the machine. Tests that press "Set" or "Restore Laser set" run only then.
inline bool onlyLoopback() {
    struct if_nameindex* list = if_nameindex();
    if (list == nullptr) return false;
    bool only = true;
    for (struct if_nameindex* i = list; i->if_index != 0; ++i) only = only && std::string(i->if_name) == "lo";
    if_freenameindex(list);
    return only;
}

constexpr const char* kNotIsolated =
    "this test sends configuration packets and runs only in a loopback-only network namespace "
    "(ctest runs it under tests/netns_run.sh)";

// Answers every modal message box while it lives, noting title and text; `choose` picks the
// button (default: Cancel where the box has one, so that no write is confirmed unasked; else
// Ok). A file dialog gets `fileName` (or is cancelled).
class ModalScript {
public:
    struct Box {
        QString title, text;
    };
    std::vector<Box> boxes;
    std::function<QMessageBox::StandardButton(const QMessageBox&)> choose;
    QString fileName;

    ModalScript() {
        timer_.setInterval(15);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    bool saw(const QString& text) const {
        for (const Box& b : boxes)
            if (b.text == text) return true;
        return false;
    }
    QString texts() const {
        QString all;
        for (const Box& b : boxes) all += "[" + b.title + "] " + b.text + "\n";
        return all;
    }

private:
    void poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr || w->property("kvAnswered").toBool()) return;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            box->setProperty("kvAnswered", true);
            boxes.push_back({box->windowTitle(), box->text()});
            QMessageBox::StandardButton b = choose ? choose(*box) : QMessageBox::NoButton;
            if (b == QMessageBox::NoButton) b = box->button(QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::Ok;
            if (QAbstractButton* button = box->button(b)) button->click();
            else box->accept();
        } else if (auto* files = qobject_cast<QFileDialog*>(w)) {
            files->setProperty("kvAnswered", true);
            if (fileName.isEmpty()) {
                files->reject();
            } else {
                kvtest::chooseFile(files, fileName);
            }
        }
    }
    QTimer timer_;
};

// A `choose` for ModalScript: Ok to the confirmation before a configuration write, the default
// to every other box.
inline QMessageBox::StandardButton confirmWrites(const QMessageBox& box) {
    return box.windowTitle() == "Confirm" ? QMessageBox::Ok : QMessageBox::NoButton;
}

// Status packets of a simulated sensor at 127.0.0.2.
inline kv::sim::StatusState simulatedSensor() {
    kv::sim::SensorSettings s;
    s.sensorIp = {127, 0, 0, 2};
    s.destIp = {127, 0, 0, 1};
    return kv::sim::StatusState(s, 9, 1700000000);
}

// Hands a status packet to a dialog's two slots as the status receiver does.
template <class Dialog>
void deliverStatus(Dialog& d, const kv::sim::StatusPacket& p) {
    SettingData rec;
    std::vector<int> mac;
    if (!decodeStatusPacket(p.data(), p.size(), rec, mac)) return;
    d.OnLidarStatusReceiving(&rec, mac);
    d.OnLidarDifoData(p.data());
}

// The audit files of today under `dataHome`, with the tag they end in.
inline QStringList auditFiles(const QString& dataHome, const QString& tag) {
    QDir day(dataHome + "/kv-cloudscope/DIRuzur_Ivo/VX1_display_v1.1.4_211223/" +
             QDate::currentDate().toString("yyyy-MM-dd"));
    QStringList out;
    for (const QString& f : day.entryList({"VX1_display_v1.1.4_211223__*__" + tag + ".ini"}, QDir::Files, QDir::Name))
        out << day.filePath(f);
    return out;
}

}  // namespace kvtest
