// The capture replay thread: walks the stored data packets of a loaded capture, forwards or
// backwards, cuts them into frames and hands each to the window as if it came in live, paced,
// with pause, single steps, seek and rewind.
#pragma once

#include <QThread>
#include <atomic>
#include <cstdint>
#include <memory>

#include "binary_semaphore.h"
#include "capture_store.h"
#include "metatypes.h"

class ReadLiveOffData : public QThread {
    Q_OBJECT
public:
    explicit ReadLiveOffData(QObject* parent = nullptr);
    ~ReadLiveOffData() override;

    // The packets to replay; set before the thread starts.
    void setPacketStore(std::shared_ptr<const kv::capture::CaptureStore> store);
    void setEchoSelection(int selection) { echoSelection_ = selection; }
    int echoSelection() const { return echoSelection_; }

    // The pause gate: the thread takes it for every packet and gives it back at the packet's
    // end; the window takes it to pause and gives it back to resume, step or rewind.
    kv::BinarySemaphore gate;
    std::atomic<bool> stopRequested{false};

    // Ends the thread: raises the stop flag, opens the gate and waits.
    void stopAndWait();
    // The thread waits at the gate for the window (after a rewind, at an end, or after a
    // frame asked for with replayPauseAfterFrame), rather than holding it for a packet.
    bool waitingAtGate() const { return waitingAtGate_; }

    std::atomic<std::uint64_t> framesEmitted{0};
    // Points dropped at the frame bound (a capture without markers), over every run.
    std::atomic<std::uint64_t> pointsDropped{0};

signals:
    void SendData(MuchLidarData lidardata);
    void SendBool(bool Finsh);

public slots:
    void getProgressChangeValue(int packetIndex);

protected:
    void run() override;

private:
    std::shared_ptr<const kv::capture::CaptureStore> store_;
    std::atomic<int> echoSelection_{0};
    std::atomic<int> seekTarget_{0};
    std::atomic<bool> seekPending_{false};
    std::atomic<bool> waitingAtGate_{false};
    void waitForWindow();
};
