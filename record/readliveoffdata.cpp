#include "readliveoffdata.h"

#include <chrono>
#include <thread>

#include "data_packet.h"
#include "getmuch.h"
#include "playback.h"
#include "replay_assembler.h"

ReadLiveOffData::ReadLiveOffData(QObject* parent) : QThread(parent) { kv::registerAcquisitionMetaTypes(); }

ReadLiveOffData::~ReadLiveOffData() { stopAndWait(); }

void ReadLiveOffData::setPacketStore(std::shared_ptr<const kv::capture::CaptureStore> store) {
    store_ = std::move(store);
    stopRequested = false;  // a stop aimed at a thread that had already ended
}

void ReadLiveOffData::stopAndWait() {
    if (!isRunning()) return;
    stopRequested = true;
    // The thread may wait at the gate more than once before it sees the flag (after a frame,
    // then at the end of the capture): keep the gate open until it has ended.
    do gate.open();
    while (!wait(20));
}

void ReadLiveOffData::getProgressChangeValue(int packetIndex) {
    seekTarget_ = packetIndex;
    seekPending_ = true;
}

std::uint32_t ReadLiveOffData::showFirstFrame(kv::capture::PacketReader& reader, std::uint32_t n,
                                              kv::ReplayAssembler& assembler) {
    auto echo = [this] { return echoSelection_.load(std::memory_order_relaxed); };
    std::uint32_t next = 0;
    bool shown = false;
    while (!shown && next < n && !seekPending_ && !stopRequested && replayRewind == 0) {
        const std::uint8_t* packet = reader.packet(next);
        if (packet == nullptr) break;  // reported when the replay reads it again
        EchoFlag.store(packet[kv::datapkt::kEchoFlagOffset], std::memory_order_relaxed);
        assembler.feed(packet, echo, [&](MuchLidarData&& frame) {
            emit SendData(std::move(frame));
            shown = true;
        });
        ++next;
    }
    if (shown && next < n) return next;
    // Nothing shown, or the one frame ends the capture: Play starts from the first packet.
    assembler.restartAtBeginning();
    return 0;
}

void ReadLiveOffData::run() {
    gate.threadStarted();
    const std::shared_ptr<const kv::capture::CaptureStore> store = store_;
    const std::uint32_t n = store ? store->packetCount : 0;
    std::unique_ptr<kv::capture::PacketReader> reader;
    if (store) reader = std::make_unique<kv::capture::PacketReader>(*store);
    kv::ReplayAssembler assembler;
    const std::uint64_t droppedBefore = pointsDropped.load();
    auto echo = [this] { return echoSelection_.load(std::memory_order_relaxed); };
    auto emitFrame = [this](MuchLidarData&& frame) {
        emit SendData(std::move(frame));
        std::this_thread::sleep_for(std::chrono::milliseconds(kv::pacingMs(replaySpeed)));
        if (replayPauseAfterFrame == 1) gate.waitForWindow();
    };

    // The packet index runs as a 32-bit value compared without sign, so that stepping back
    // past the start ends the walk instead of running on below zero.
    std::int32_t b = 0;
    while (std::uint32_t(b) < n) {
        if (seekPending_.exchange(false)) {
            const int target = seekTarget_;
            // A target outside the store is taken as the nearest end rather than read past it.
            b = std::int32_t(target < 0 ? 0 : (std::uint32_t(target) >= n ? n - 1 : std::uint32_t(target)));
            assembler.restartAtSeek();
        }
        if (stopRequested) {
            assembler.clear();
            stopRequested = false;
            break;
        }
        if (replayRewind == 1) {
            replayRewind = 0;
            replayStep = 1;
            emit SendBool(true);
            assembler.restartAtBeginning();
            gate.pass();
            // The first frame is shown while the replay waits at the start; Play goes on after it.
            const std::uint32_t next = showFirstFrame(*reader, n, assembler);
            // Wait here until the window opens the gate (Play).
            gate.waitForWindow();
            gate.release();
            b = std::int32_t(next);
            continue;
        }
        if (b >= 0) {
            gate.pass();  // passes at once while playing; waits while the window holds it
            // While the thread waited, the window may have asked for a seek, a rewind or a
            // stop: those apply before this packet, not after it.
            if (seekPending_ || stopRequested || replayRewind == 1) {
                gate.release();
                continue;
            }
            const std::uint8_t* packet = reader->packet(std::size_t(b));
            if (packet == nullptr) {
                // The file shrank or changed under the store: the replay ends here, reported.
                gate.release();
                emit ReadFailed(QString::fromStdString(reader->error()));
                break;
            }
            EchoFlag.store(packet[kv::datapkt::kEchoFlagOffset], std::memory_order_relaxed);
            assembler.feed(packet, echo, emitFrame);
            pointsDropped.store(droppedBefore + assembler.droppedPoints(), std::memory_order_relaxed);
            if ((b == 0 && replayStep == -1) || std::uint32_t(b) == n - 1) {
                emit SendBool(true);
                replayStep = 1;
                b = -1;
                // Both stores start over: second echoes of an unfinished frame must not leak
                // into the first frame of the next pass.
                assembler.restartAtBeginning();
                gate.waitForWindow();  // wait at the end until the window opens the gate
            }
            gate.release();
        }
        b += replayStep;
    }
    gate.threadEnded();
    emit SendBool(true);
}
