// The capture replay thread: walks the stored data packets of a loaded capture, cuts them into
// frames by the frame rule's replay policy and hands each to the window as if it came in live,
// numbered (MuchLidarData::number), paced, with pause, single steps, seek and rewind. Every
// frame it shows is the frame of that number in the capture index: playing backwards shows
// frame k-1, k-2, ... each reached through the index, as a seek would.
#pragma once

#include <QString>
#include <QThread>
#include <atomic>
#include <cstdint>
#include <memory>

#include "capture_store.h"
#include "merged_streams.h"
#include "metatypes.h"
#include "replay_control.h"


class ReadLiveOffData : public QThread {
    Q_OBJECT
public:
    explicit ReadLiveOffData(QObject* parent = nullptr);
    ~ReadLiveOffData() override;

    // The packets to replay; set before the thread starts.
    void setPacketStore(std::shared_ptr<const kv::capture::CaptureStore> store);
    // Several streams replayed together (null: one): the store set above is the leading
    // stream's, and each of its frames brings the other shown streams' frames with it.
    void setMergedStreams(std::shared_ptr<const kv::capture::MergedStreams> merged) { merged_ = std::move(merged); }
    // A bit per stream of the merged replay not shown; any time.
    std::atomic<std::uint64_t> hiddenStreams{0};
    void setEchoSelection(int selection) { echoSelection_ = selection; }
    int echoSelection() const { return echoSelection_; }

    // The thread's orders, pause gate, stop flag and pending seek. The gate: the thread passes
    // it for every packet and opens it at the packet's end; the window closes it to pause and
    // opens it to resume, step or rewind.
    kv::ReplayChannel channel;

    // Ends the thread: raises the stop flag, opens the gate and waits.
    void stopAndWait();
    // Points dropped at the frame bound (a capture without markers), over every run.
    std::atomic<std::uint64_t> pointsDropped{0};

signals:
    void SendData(MuchLidarData lidardata);
    void SendBool(bool Finsh);
    // The capture file could not give a packet (it shrank or changed since it was opened);
    // the replay ends after this, with SendBool(true), and the thread with it.
    void ReadFailed(QString message);

public slots:
    // Seeks to frame `frame` of the capture (from 1; 0 and below: the first, beyond the last:
    // the last), applied before the next packet.
    void getProgressChangeValue(int frame);

protected:
    void run() override;

private:
    std::shared_ptr<const kv::capture::CaptureStore> store_;
    std::shared_ptr<const kv::capture::MergedStreams> merged_;
    std::atomic<int> echoSelection_{0};
};
