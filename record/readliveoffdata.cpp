#include "readliveoffdata.h"

#include <chrono>
#include <thread>

#include "data_packet.h"
#include "getmuch.h"
#include "playback.h"
#include "frame_rule.h"

ReadLiveOffData::ReadLiveOffData(QObject* parent) : QThread(parent) { kv::registerAcquisitionMetaTypes(); }

ReadLiveOffData::~ReadLiveOffData() { stopAndWait(); }

void ReadLiveOffData::setPacketStore(std::shared_ptr<const kv::capture::CaptureStore> store) {
    store_ = std::move(store);
    channel.stopRequested = false;  // a stop aimed at a thread that had already ended
}

void ReadLiveOffData::stopAndWait() {
    if (!isRunning()) return;
    channel.stopRequested = true;
    // The thread may wait at the gate more than once before it sees the flag (after a frame,
    // then at the end of the capture): keep the gate open until it has ended.
    do channel.gate.open();
    while (!wait(20));
}

void ReadLiveOffData::getProgressChangeValue(int frame) { channel.requestSeek(frame); }

void ReadLiveOffData::run() {
    kv::ReplayGate& gate = channel.gate;
    kv::ReplayOrders& orders = channel.orders;
    std::atomic<bool>& stopRequested = channel.stopRequested;
    std::atomic<bool>& seekPending = channel.seekPending;
    gate.threadStarted();
    const std::shared_ptr<const kv::capture::CaptureStore> store = store_;
    const std::uint32_t n = store ? store->packetCount : 0;
    const std::uint32_t frameCount = store ? store->frameCount() : 0;
    std::unique_ptr<kv::capture::PacketReader> reader;
    if (store) reader = std::make_unique<kv::capture::PacketReader>(*store);
    kv::FrameRule rule(kv::FramePolicy::kReplay);
    const std::shared_ptr<const kv::capture::MergedStreams> merged = merged_;
    kv::capture::StreamReaders otherReaders;
    if (merged) otherReaders = merged->makeReaders();
    const std::uint64_t droppedBefore = pointsDropped.load();
    auto echo = [this] { return echoSelection_.load(std::memory_order_relaxed); };

    std::uint32_t b = 0;            // the next packet
    std::uint32_t firstRecord = 0;  // where the rule starts in packet b: a seek's first marker
    std::uint32_t next = 1;         // the number of the frame being assembled
    std::uint32_t shown = 0;        // the number of the last frame handed over
    bool walkingBack = false;       // playing backwards: the frame being assembled is shown - 1
    bool holdAfterNext = false;     // after a rewind: show the first frame, then wait
    auto startAt = [&](std::uint32_t frame) {
        rule.restart();
        b = firstRecord = 0;
        next = 1;
        if (frameCount == 0) return;
        frame = frame < 1 ? 1 : (frame > frameCount ? frameCount : frame);
        const kv::FrameStart& s = store->frames.start(frame);
        b = s.packet;
        firstRecord = s.record;
        next = frame;
    };
    // What the window asked for applies before anything else is shown.
    auto interrupted = [&] { return seekPending || stopRequested || orders.replayRewind == 1; };
    auto emitFrame = [&](MuchLidarData&& frame) {
        if (interrupted()) return;
        // The other streams' frames of this moment; one that cannot be read ends them there.
        if (merged) merged->addOthers(next, echo(), hiddenStreams.load(std::memory_order_relaxed), otherReaders, frame);
        frame.number = next;
        shown = next++;
        walkingBack = false;
        emit SendData(std::move(frame));
        std::this_thread::sleep_for(std::chrono::milliseconds(kv::pacingMs(orders.replaySpeed)));
        if (holdAfterNext || orders.replayPauseAfterFrame == 1) {
            holdAfterNext = false;
            gate.waitForWindow();
        }
    };
    // At either end: report it, and wait there until the window opens the gate; Play then
    // starts again from the first frame.
    auto waitAtEnd = [&](bool holdingGate) {
        emit SendBool(true);
        orders.replayStep = 1;
        startAt(1);
        b = firstRecord = 0;
        shown = 0;
        walkingBack = false;
        if (!holdingGate) gate.pass();
        gate.waitForWindow();
        gate.release();
    };

    while (b < n) {
        if (seekPending.exchange(false)) {
            const int target = channel.seekTarget;
            startAt(target < 1 ? 1u : std::uint32_t(target));
            // Playing backwards, the target is shown first and the walk back goes on from it.
            walkingBack = orders.replayStep == -1;
        }
        if (stopRequested) {
            stopRequested = false;
            break;
        }
        if (orders.replayRewind == 1) {
            orders.replayRewind = 0;
            orders.replayStep = 1;
            emit SendBool(true);
            startAt(1);
            b = firstRecord = 0;
            walkingBack = false;
            holdAfterNext = true;  // the first frame is shown while the replay waits at the start
            continue;
        }
        if (orders.replayStep == -1 && !walkingBack) {
            // Backwards: the frame before the one shown, reached through the index.
            if (shown <= 1 || frameCount == 0) {
                waitAtEnd(false);
                continue;
            }
            startAt(shown - 1);
            walkingBack = true;
        }
        gate.pass();  // passes at once while playing; waits while the window holds it
        // While the thread waited, the window may have asked for a seek, a rewind or a stop:
        // those apply before this packet, not after it.
        if (interrupted()) {
            gate.release();
            continue;
        }
        const std::uint8_t* packet = reader->packet(b);
        if (packet == nullptr) {
            // The file shrank or changed under the store: the replay ends here, reported.
            gate.release();
            emit ReadFailed(QString::fromStdString(reader->error()));
            break;
        }
        EchoFlag.store(packet[kv::datapkt::kEchoFlagOffset], std::memory_order_relaxed);
        rule.feed(packet, echo, emitFrame, firstRecord);
        firstRecord = 0;
        pointsDropped.store(droppedBefore + rule.droppedPoints(), std::memory_order_relaxed);
        if (b == n - 1 && orders.replayStep != -1 && !interrupted()) {
            waitAtEnd(true);
            continue;
        }
        gate.release();
        ++b;
    }
    gate.threadEnded();
    emit SendBool(true);
}
