// The equipment-port receiver: binds the equipment port, takes exactly-1206-byte status
// packets, decodes each into a status record and its companion vector, and hands them, the raw
// packet and the firmware text to the configuration dialogs and the About window.
//
// Hand-over. The first two signals carry pointers, because their receivers take an address
// and copy from it. Every accepted packet is decoded into a fresh heap snapshot (record,
// vector, packet copy, version text) which is never written again once emitted; the pointers
// point into that snapshot. The snapshot is owned by shared pointers: one is the thread's
// "last status" state, another travels inside a no-op call that is queued to the application
// object right after the emissions. Queued deliveries to receivers in the application (GUI)
// thread were posted before that call, and a thread's posted events run in order, so the
// snapshot outlives every queued delivery of it, however slow the GUI is and however many
// packets arrive meanwhile, and is released as soon as the last of them has run. Direct
// connections are done when the emission returns. Receivers must copy what they keep before
// returning (they may not hold the pointer across a later event loop pass) and must not write
// through it. With no application object nothing can be delivered queued, and the snapshot
// only lives on as the last status.
#pragma once

#include <QString>
#include <QThread>
#include <array>
#include <atomic>

namespace kv {
struct HealthCounters;
}
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

#include "status_metatypes.h"

class GetSet : public QThread {
    Q_OBJECT
public:
    explicit GetSet(QObject* parent = nullptr);
    ~GetSet() override;

    // Set by the owner before start; they take effect at the next start.
    int equipPort = 2369;
    std::string multicastAddress = "224.1.1.1";

    std::atomic<bool> stopRequested{false};  // polled after every receive; cleared when run ends

    // Counters of the current (or last) run, readable from any thread.
    std::atomic<std::uint64_t> packetsAccepted{0};
    std::atomic<std::uint64_t> datagramsRejected{0};  // wrong size, oversize, empty or wrong header
    std::atomic<std::uint64_t> rejectedWrongSize{0};  // of those: not exactly 1206 bytes
    std::atomic<std::uint64_t> rejectedWrongHeader{0};  // of those: 1206 bytes without A5 FF 00 5A
    std::atomic<std::uint64_t> receiveErrors{0};      // failed receive calls (not time-outs)
    // Adds this receiver's counters to a health sample (`nowMs` of steadyNowMs(): the age
    // of the last status packet).
    void addHealthCounters(kv::HealthCounters& c, std::int64_t nowMs) const;
    // When the last status packet was accepted, in milliseconds of std::chrono::steady_clock;
    // 0 before the first. Kept across restarts, like lastStatus().
    std::atomic<std::int64_t> lastStatusSteadyMs{0};
    std::atomic<bool> listening{false};               // the socket is bound and receiving
    std::atomic<std::uint32_t> lastSourceIp{0};       // sender of the last accepted packet (host order)
    // With several sensors the dialogs follow one: only status packets from this address (host
    // order) reach them; 0: every sender's, as with one sensor.
    std::atomic<std::uint32_t> sensorFilterIp{0};

    static constexpr int kReceiveTimeoutMs = 100;

    // One accepted status packet and everything decoded from it. Immutable once handed over.
    struct Snapshot {
        SettingData record;
        std::vector<int> mac;
        std::array<std::uint8_t, kv::statuspkt::kPacketBytes> packet{};
        QString version;
        std::uint32_t sourceIp = 0;  // the sender, host order
    };

    // The last accepted packet's snapshot that reached the dialogs, or null before the first;
    // kept after the thread ends and across restarts until a newer packet arrives.
    std::shared_ptr<const Snapshot> lastStatus() const;
    // Follows the sensor at `ip` (0: any): from now on only its status packets reach the
    // dialogs, starting with the last one it sent, handed over again at once when there is one.
    void followSensor(std::uint32_t ip);
    // The last status packet from `ip`, followed or not; null when none came.
    std::shared_ptr<const Snapshot> lastStatusOf(std::uint32_t ip) const;

signals:
    void SendLidarStatusToSettingUI(SettingData* data, std::vector<int> Mac);
    void SendDataDifo(const u_char*);
    void SendMasterPanelVersion(QString value);
    void SendError(QString str);

protected:
    void run() override;

private:
    void handOver(std::shared_ptr<Snapshot> snap);
    void sleepUnlessStopped(int ms);

    mutable std::mutex lastMutex_;
    std::shared_ptr<const Snapshot> last_;
    std::vector<std::shared_ptr<const Snapshot>> lastBySender_;  // guarded by lastMutex_
};
