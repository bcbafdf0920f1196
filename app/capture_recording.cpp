#include "capture_recording.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMetaObject>
#include <QToolButton>

#include "capture_recorder.h"
#include "file_names.h"
#include "recording_status.h"

namespace kv::window {

CaptureRecording::CaptureRecording(QToolButton* button, RecordHooks hooks, QObject* parent)
    : QObject(parent), button_(button), hooks_(std::move(hooks)), recorder_(std::make_unique<CaptureRecorder>()) {
    button_->setCheckable(true);
    connect(button_, &QToolButton::clicked, this, &CaptureRecording::pressed);
    // A failure that ended the recording running now leaves the button up.
    connect(this, &CaptureRecording::failed, this, [this](const QString&, bool endedCurrent) {
        if (!endedCurrent) return;
        button_->setChecked(false);
        showEnd();
    });
    progress_.setInterval(500);
    connect(&progress_, &QTimer::timeout, this, &CaptureRecording::showProgress);
}

void CaptureRecording::showProgress() {
    if (!active_) {
        if (!recorder_->running()) showEnd();
        return;
    }
    say(true);
}

void CaptureRecording::showEnd() {
    progress_.stop();
    say(false);
}

// The file, the packets and the bytes so far: until replaced while running, for a while at the end.
void CaptureRecording::say(bool running) {
    if (!hooks_.showStatus) return;
    const QFileInfo file(fileName_);
    const std::uint64_t bytes = file.exists() ? std::uint64_t(file.size()) : 0;
    hooks_.showStatus(QString::fromStdString(
                          captureRecordingText(fileName_.toStdString(), recorder_->framesWritten(), bytes, running)),
                      running ? 0 : 15000);
}

void CaptureRecording::pressed() {
    if (active_) {
        stop();
        button_->setChecked(false);
        return;
    }
    const QString name =
        QFileDialog::getSaveFileName(hooks_.dialogParent, tr("Save PCAP"), hooks_.proposedName(),
                                     tr("WireSharkCaptureFile (*.pcap)"), nullptr, QFileDialog::DontUseNativeDialog);
    if (name.isEmpty()) button_->setChecked(false);
    else startTo(name);
}

void CaptureRecording::startTo(const QString& fileName) {
    if (active_) return;
    start(kv::fileNameBytes(fileName), hooks_.filter(), hooks_.sensorIp());
    button_->setChecked(active_);
    if (!active_) return;
    fileName_ = fileName;
    showProgress();
    progress_.start();
}

CaptureRecording::~CaptureRecording() { recorder_.reset(); }

bool CaptureRecording::start(const QByteArray& path, const QByteArray& filter, std::uint32_t sensorIp) {
    if (active_) return false;  // one recording at a time; waiting for this one would never end
    // A recording asked to stop ends at once; its successor gets its own error handler, so that
    // a late report of the old one cannot end the new one.
    recorder_->wait();
    const int generation = ++generation_;
    recorder_->setErrorHandler([this, generation](const std::string& message) {
        // Runs on the recording thread, which ends after reporting.
        const QString text = QString::fromStdString(message);
        QMetaObject::invokeMethod(
            this,
            [this, generation, text] {
                const bool current = generation == generation_ && active_;
                if (current) active_ = false;
                emit failed(text, current);
            },
            Qt::QueuedConnection);
    });
    path_ = path;
    filter_ = filter;
    active_ = recorder_->startOnSensorAdapter(path_.toStdString(), filter_.toStdString(), sensorIp);
    return active_;
}

void CaptureRecording::stop() {
    recorder_->requestStop();
    active_ = false;
    // The next tick tells the end once the recording thread has closed the file.
}

}  // namespace kv::window
