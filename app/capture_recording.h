// "Record" on the "offLine" tab: one capture recording at a time, ended by a second press or by
// a failure the recording thread reports. The report reaches the window through its event
// queue; a late report of a recording already replaced does not end its successor.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

class QToolButton;
class QWidget;

namespace kv {
class CaptureRecorder;
}

namespace kv::window {

// What a recording asks of the window: where its file dialog goes, the name it proposes, the
// capture filter and the sensor whose adapter to record from (0: not known).
struct RecordHooks {
    QWidget* dialogParent = nullptr;
    std::function<QString()> proposedName;
    std::function<QByteArray()> filter;
    std::function<std::uint32_t()> sensorIp;
    // Shows a status-bar message for `timeoutMs` (0: until replaced).
    std::function<void(const QString& text, int timeoutMs)> showStatus;
};

class CaptureRecording : public QObject {
    Q_OBJECT
public:
    // `button` ("Record") is made checkable and connected here; it stays checked while a
    // recording runs, and the status bar names the file and what it holds so far, and says
    // when the recording has ended.
    CaptureRecording(QToolButton* button, RecordHooks hooks, QObject* parent = nullptr);
    ~CaptureRecording() override;  // stops and waits

    // A press of "Record": a second press stops; otherwise the save dialog asks for the file.
    void pressed();
    // Starts recording into `fileName` as a press does after its dialog.
    void startTo(const QString& fileName);

    // Records the frames matching `filter` into `path` from the adapter the sensor's data
    // arrives on (`sensorIp`; 0: the first real adapter). False when it could not start; a
    // recording already running goes on and nothing else happens.
    bool start(const QByteArray& path, const QByteArray& filter, std::uint32_t sensorIp);
    void stop();
    bool active() const { return active_; }
    CaptureRecorder* recorder() const { return recorder_.get(); }

signals:
    // A failure report; `endedCurrent`: it ended the recording running now.
    void failed(const QString& message, bool endedCurrent);

private:
    void showProgress();
    void showEnd();
    void say(bool running);

    QToolButton* button_;
    RecordHooks hooks_;
    std::unique_ptr<CaptureRecorder> recorder_;
    bool active_ = false;
    int generation_ = 0;
    QByteArray path_, filter_;  // kept unchanged while recording
    QString fileName_;          // as the user chose it, for the status bar
    QTimer progress_;
};

}  // namespace kv::window
