#include "capture_recording.h"

#include <QMetaObject>

#include "capture_recorder.h"

namespace kv::window {

CaptureRecording::CaptureRecording(QObject* parent) : QObject(parent), recorder_(std::make_unique<CaptureRecorder>()) {}

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
}

}  // namespace kv::window
