#include "getset.h"
#include "receiver_health.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "receive_backoff.h"
#include "receiver_health.h"
#include "udp_socket.h"

namespace kv {
void registerStatusMetaTypes() {
    qRegisterMetaType<SettingData>("SettingData");
    qRegisterMetaType<SettingData>("struct SettingData");
    qRegisterMetaType<SettingData*>("SettingData*");
    qRegisterMetaType<std::vector<int>>("std::vector<int>");
    qRegisterMetaType<const u_char*>("const u_char*");
}
}  // namespace kv

GetSet::GetSet(QObject* parent) : QThread(parent) { kv::registerStatusMetaTypes(); }

GetSet::~GetSet() {
    stopRequested = true;
    wait();
}

std::shared_ptr<const GetSet::Snapshot> GetSet::lastStatus() const {
    std::lock_guard<std::mutex> lock(lastMutex_);
    return last_;
}

std::shared_ptr<const GetSet::Snapshot> GetSet::lastStatusOf(std::uint32_t ip) const {
    std::lock_guard<std::mutex> lock(lastMutex_);
    for (const auto& s : lastBySender_)
        if (s->sourceIp == ip) return s;
    return nullptr;
}

void GetSet::followSensor(std::uint32_t ip) {
    sensorFilterIp.store(ip);
    std::shared_ptr<const Snapshot> last;
    {
        std::lock_guard<std::mutex> lock(lastMutex_);
        for (const auto& s : lastBySender_)
            if (s->sourceIp == ip) last = s;
    }
    if (last) handOver(std::make_shared<Snapshot>(*last));
}

void GetSet::handOver(std::shared_ptr<Snapshot> snap) {
    {
        std::lock_guard<std::mutex> lock(lastMutex_);
        bool known = false;
        for (auto& s : lastBySender_)
            if (s->sourceIp == snap->sourceIp) {
                s = snap;
                known = true;
            }
        if (!known && lastBySender_.size() < 64) lastBySender_.push_back(snap);
        const std::uint32_t follow = sensorFilterIp.load();
        if (follow != 0 && snap->sourceIp != follow) return;  // another sensor's: kept, not shown
        last_ = snap;
    }
    emit SendLidarStatusToSettingUI(&snap->record, snap->mac);
    emit SendDataDifo(snap->packet.data());
    emit SendMasterPanelVersion(snap->version);
    // Queued after the deliveries above: the snapshot is released once they have all run.
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [keep = std::move(snap)] { (void)keep; }, Qt::QueuedConnection);
}

void GetSet::sleepUnlessStopped(int ms) {
    for (int left = ms; left > 0 && !stopRequested.load(std::memory_order_relaxed); left -= kReceiveTimeoutMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, kReceiveTimeoutMs)));
}

void GetSet::run() {
    packetsAccepted = 0;
    datagramsRejected = 0;
    rejectedWrongSize = 0;
    rejectedWrongHeader = 0;
    receiveErrors = 0;

    kv::UdpSocket socket;  // closed on every way out, the bind failure included
    if (!socket.open() || !socket.bindAny(equipPort)) {
        emit SendError(QString("Equi Port:%1 : Bind Error").arg(equipPort));
        stopRequested = false;
        return;
    }
    socket.joinMulticast(multicastAddress);  // an unusable group leaves a plain listener
    if (!socket.setReceiveTimeoutMs(kReceiveTimeoutMs))
        emit SendError("Equi : Set SO_RCVTIMEO timeout error!!");

    // One byte more than a packet: a datagram that fills the buffer is too long, whatever the
    // kernel says about truncation.
    std::array<std::uint8_t, kv::statuspkt::kPacketBytes + 1> buffer{};
    kv::UdpSocket::Datagram datagram;
    SettingData record;
    std::vector<int> mac;

    kv::ReceiveBackoff backoff;
    listening = true;
    while (!stopRequested.load(std::memory_order_relaxed)) {
        const int n = socket.receiveBatch(buffer.data(), buffer.size(), &datagram, 1);
        if (n < 0) {
            const kv::ReceiveBackoff::Step step = backoff.failed();
            receiveErrors.store(backoff.failures(), std::memory_order_relaxed);
            if (step.report)
                emit SendError(QString("Equi Port:%1 : Receive Error (%2)")
                                   .arg(equipPort)
                                   .arg(QString::fromLocal8Bit(std::strerror(socket.lastReceiveError()))));
            sleepUnlessStopped(step.delayMs);
            continue;
        }
        backoff.succeeded();
        if (n != 1) continue;
        if (datagram.truncated ||
            !decodeStatusPacket(buffer.data(), datagram.length, record, mac)) {
            const bool sized = !datagram.truncated && datagram.length == kv::statuspkt::kPacketBytes;
            (sized ? rejectedWrongHeader : rejectedWrongSize).fetch_add(1, std::memory_order_relaxed);
            datagramsRejected.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        lastStatusSteadyMs.store(kv::steadyNowMs(), std::memory_order_relaxed);
        lastSourceIp.store(datagram.sourceIp, std::memory_order_relaxed);
        auto snap = std::make_shared<Snapshot>();
        snap->record = record;
        snap->mac = mac;
        std::copy(buffer.begin(), buffer.begin() + kv::statuspkt::kPacketBytes, snap->packet.begin());
        snap->version = QString::fromStdString(firmwareVersionText(buffer.data()));
        snap->sourceIp = datagram.sourceIp;
        handOver(std::move(snap));
        packetsAccepted.fetch_add(1, std::memory_order_relaxed);  // counted once handed over
    }
    listening = false;
    socket.close();
    stopRequested = false;
}

void GetSet::addHealthCounters(kv::HealthCounters& c, std::int64_t nowMs) const {
    c.statusRejectedWrongSize = rejectedWrongSize.load();
    c.statusRejectedWrongHeader = rejectedWrongHeader.load();
    c.receiveErrors += receiveErrors.load();
    const std::int64_t last = lastStatusSteadyMs.load();
    c.statusAgeMs = last != 0 ? (nowMs > last ? nowMs - last : 0) : -1;
}
