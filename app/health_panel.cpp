#include "health_panel.h"

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QTimer>

#include "getmuch.h"
#include "getset.h"
#include "receiver_health.h"
#include "window_parts.h"

namespace kv::window {

HealthPanel::HealthPanel(QMainWindow* window, QWidget* view, QLineEdit* portField, GetMuch* data, GetSet* status,
                         std::function<void()> tick)
    : portField_(portField), data_(data), status_(status), meter_(std::make_unique<HealthMeter>()) {
    dock_ = addHealthDock(window, label_);
    startHint_ = kv::window::startHint(view, portField->text());
    QLabel* hint = startHint_;
    QObject::connect(portField, &QLineEdit::textChanged, hint,
                     [hint](const QString& port) { setStartHintPort(hint, port); });
    timer_ = new QTimer(window);
    timer_->setInterval(1000);
    QObject::connect(timer_, &QTimer::timeout, timer_, std::move(tick));
    timer_->start();
}

HealthPanel::~HealthPanel() { delete timer_; }

void HealthPanel::hideStartHint() { startHint_->hide(); }

void HealthPanel::restart() { meter_->restart(steadyNowMs()); }

void HealthPanel::refresh(const WindowState& w) {
    const std::int64_t now = steadyNowMs();
    HealthCounters c;
    c.dataPort = w.live ? data_->dataPort : portField_->text().toInt();
    c.framesHandled = w.framesHandled;
    c.framesDrawn = w.framesDrawn;
    data_->addHealthCounters(c);
    status_->addHealthCounters(c, now);
    const HealthReadout r = meter_->sample(c, now);
    const HealthSource source = w.live        ? HealthSource::kLive
                                : w.replay    ? HealthSource::kReplay
                                : w.pcdReplay ? HealthSource::kPcdReplay
                                              : HealthSource::kIdle;
    QString text = QString::fromStdString(healthLine(source, c, r, w.replayPointsDropped));
    if (w.live) {
        // Several sensors on the port: a line each.
        const auto sensors = data_->sensorStats();
        if (sensors.size() > 1)
            for (std::size_t i = 0; i < sensors.size(); ++i)
                text += QString("\nSensor %1 %2: %3 packets, %4 frames, last packet %5 ms ago")
                            .arg(i)
                            .arg(QString::fromStdString(sourceText(sensors[i].source)))
                            .arg(sensors[i].packets)
                            .arg(sensors[i].frames)
                            .arg(now - sensors[i].lastPacketMs);
    }
    label_->setText(text);
    label_->setStyleSheet(healthAlarm(source, r) ? "QLabel { color: #b00000; font-weight: bold; }" : "");
}

}  // namespace kv::window
