#include "pcd_recording_panel.h"

#include <QDateTime>
#include <QFileDialog>
#include <QLineEdit>
#include <QToolButton>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>

#include "cloud_fill.h"
#include "saveandplay_pcd.h"

namespace kv::window {

namespace {
std::string pcdStamp() { return QDateTime::currentDateTime().toString("yyyy-MM-dd-hh-mm-ss-zzz").toStdString(); }
}  // namespace

PcdRecordingPanel::PcdRecordingPanel(QMainWindow* window, QToolButton* button, QLineEdit* countField,
                                     SaveAndPlay_PCD* writer, std::function<std::string()> modelLabel)
    : window_(window), button_(button), countField_(countField), writer_(writer) {
    button_->setCheckable(true);
    QObject::connect(button_, &QToolButton::clicked, window_, [this, label = std::move(modelLabel)] { pressed(label()); });
}

int PcdRecordingPanel::frameCountField() const { return countField_->text().toInt(nullptr, 10); }

void PcdRecordingPanel::pressed(const std::string& modelLabel) {
    if (recording_.active()) {
        recording_.pressWhileActive(frameCountField(), pcdStamp());
        showState();
        return;
    }
    const QString stamp = QString::fromStdString(pcdStamp());
    // The label as given: empty until a frame has named the model, so "_.pcd" rather than a
    // label the frames have not shown.
    const QString proposed = QString::fromStdString(modelLabel) + "_.pcd";
    const QString name = QFileDialog::getSaveFileName(window_, QObject::tr("Save PCD"),
                                                      QObject::tr(proposed.toUtf8().constData()), QString(), nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    if (name.isEmpty()) {
        button_->setChecked(false);
        return;
    }
    start(name, stamp);
}

void PcdRecordingPanel::start(const QString& answer, const QString& stamp) {
    recording_.start(answer.toStdString(), frameCountField(), stamp.isEmpty() ? pcdStamp() : stamp.toStdString());
    showState();
}

void PcdRecordingPanel::showState() {
    button_->setChecked(recording_.active());
    window_->statusBar()->showMessage(QString::fromStdString(recording_.statusText()), recording_.active() ? 0 : 10000);
}

void PcdRecordingPanel::writeFrame(const std::vector<ColouredPoint>& points) {
    fillCloud(points, writer_->pcdBuffer());
    const pcd::WriteResult written = writer_->savePcdFrame(recording_.nextFileName());
    if (!written.ok) {
        // Once: the recording ends here and the files written so far stay.
        recording_.end();
        showState();
        const QString text = QString::fromStdString(written.error) + "\nThe PCD recording has ended.";
        QMainWindow* window = window_;
        QMetaObject::invokeMethod(
            window, [window, text] { QMessageBox::warning(window, "error", text, QMessageBox::Ok); },
            Qt::QueuedConnection);
        return;
    }
    recording_.frameDone(frameCountField(), pcdStamp());
    showState();
}

}  // namespace kv::window
