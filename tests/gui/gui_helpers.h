// Shared helpers of the window tests.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <vector>

#include "data_packet.h"
#include "udp_socket.h"

namespace kvtest {

// Spins the event loop until `done` holds or `ms` pass; returns whether it held.
inline bool waitUntil(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// A UDP port that was free a moment ago.
inline int freeUdpPort() {
    kv::UdpSocket s;
    s.open();
    s.bindAny(0);
    return s.localPort();
}

// A single-echo packet holding `points` records of `line` (azimuth 10.00 deg upward,
// distance 10 m, intensity 100), then `markers` marker records, the rest void.
inline std::vector<std::uint8_t> singleEchoPacket(int points, int markers, int line = 0, bool dual = false) {
    using namespace kv::datapkt;
    std::vector<std::uint8_t> p(kPacketBytes, 0);
    const std::size_t recordBytes = dual ? dual::kRecordBytes : single::kRecordBytes;
    const std::size_t records = dual ? dual::kRecordCount : single::kRecordCount;
    std::size_t r = 0;
    for (; r < records && int(r) < points; ++r) {
        std::uint8_t* rec = p.data() + r * recordBytes;
        if (dual) writeDual(rec, line, std::uint32_t(10000 + r * 100), distanceUnits(1000), 100, distanceUnits(2000), 50);
        else writeSingle(rec, line, std::uint32_t(1000 + r * 10), distanceUnits(1000), 100);
    }
    for (int m = 0; m < markers && r < records; ++m, ++r) writeMarker(p.data() + r * recordBytes);
    for (; r < records; ++r) writeVoid(p.data() + r * recordBytes);
    setEchoFlag(p.data(), dual);
    return p;
}

// Calls `answer` with the next modal dialog of type D once it is up (polling the event loop).
template <class D, class F>
void answerNextModal(F answer, int pollMs = 20) {
    QTimer::singleShot(pollMs, [answer, pollMs] {
        if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) answer(d);
        else answerNextModal<D>(answer, pollMs);
    });
}

// Answers an open (non-native) file dialog with `path` as a user does: the name typed into its
// name field, then Return. selectFile() can be overridden by the dialog's own directory listing
// arriving later, which then accepts the proposed name instead.
inline void chooseFile(QFileDialog* dialog, const QString& path) {
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    if (!name) {
        dialog->reject();
        return;
    }
    name->setText(path);
    QTest::keyClick(name, Qt::Key_Return);
}

// Answers the next modal message box with OK, remembering its title and text.
struct MessageBoxCatcher {
    QString title, text;
    int buttons = 0;
    bool seen = false;
    void arm() {
        QTimer::singleShot(50, [this] { poll(); });
    }
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(20, [this] { poll(); });
            return;
        }
        seen = true;
        title = box->windowTitle();
        text = box->text();
        buttons = box->buttons().size();
        box->accept();
    }
};

}  // namespace kvtest
