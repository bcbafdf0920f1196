#include "status_capture.h"

#include <pcap/pcap.h>

#include <poll.h>

#include <chrono>
#include <cstring>
#include <memory>

namespace kv::statuscapture {

namespace {

constexpr int kSnapshotBytes = 65535;
constexpr int kReadTimeoutMs = 100;  // a read returns at least this often, so limits and cancel are seen

struct PcapCloser {
    void operator()(pcap_t* p) const { pcap_close(p); }
};

}  // namespace

bool isStatusFrame(const std::uint8_t* frame, std::size_t captured, std::size_t wireBytes) {
    return frame != nullptr && captured == wire::kFrameBytes && wireBytes == captured &&
           statuspkt::hasHeader(frame + wire::kPayloadStart);
}

FrameAddresses frameAddresses(const std::uint8_t* f) {
    FrameAddresses a;
    std::memcpy(a.sensorMac.data(), f + wire::kEthSourceMac, a.sensorMac.size());
    std::memcpy(a.sensorIp.data(), f + wire::kIpSource, a.sensorIp.size());
    std::memcpy(a.destIp.data(), f + wire::kIpDest, a.destIp.size());
    return a;
}

Result captureStatusFrame(const std::string& device, const Limits& limits, const std::atomic<bool>& cancel,
                          std::atomic<int>* framesSeen) {
    Result r;
    r.device = device;
    if (device.empty()) {
        r.outcome = Outcome::NoDevice;
        r.error = "no network adapter to capture on";
        return r;
    }
    char errbuf[PCAP_ERRBUF_SIZE] = {0};
    std::unique_ptr<pcap_t, PcapCloser> cap(pcap_create(device.c_str(), errbuf));
    if (!cap) {
        r.outcome = Outcome::OpenFailed;
        r.error = errbuf;
        return r;
    }
    pcap_set_snaplen(cap.get(), kSnapshotBytes);
    pcap_set_promisc(cap.get(), 1);
    pcap_set_timeout(cap.get(), kReadTimeoutMs);
    const int status = pcap_activate(cap.get());
    if (status < 0) {
        r.outcome = status == PCAP_ERROR_PERM_DENIED ? Outcome::NoPermission : Outcome::OpenFailed;
        r.error = pcap_geterr(cap.get());
        if (r.error.empty()) r.error = pcap_statustostr(status);
        return r;
    }
    if (pcap_datalink(cap.get()) != DLT_EN10MB) {
        r.outcome = Outcome::OpenFailed;
        r.error = device + " does not carry Ethernet frames";
        return r;
    }

    // Non-blocking reads with our own wait: the time limit and a cancel are seen within one
    // wait, whatever the adapter's buffering does with the read time-out.
    const int fd = pcap_get_selectable_fd(cap.get());
    char nbErr[PCAP_ERRBUF_SIZE] = {0};
    const bool polled = fd >= 0 && pcap_setnonblock(cap.get(), 1, nbErr) == 0;

    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits.maxMilliseconds);
    while (r.framesSeen < limits.maxFrames) {
        if (cancel.load()) {
            r.outcome = Outcome::Cancelled;
            return r;
        }
        if (Clock::now() >= deadline) break;
        pcap_pkthdr* h = nullptr;
        const u_char* bytes = nullptr;
        const int got = pcap_next_ex(cap.get(), &h, &bytes);
        if (got == 0) {  // nothing yet
            if (polled) {
                pollfd pfd{fd, POLLIN, 0};
                ::poll(&pfd, 1, kReadTimeoutMs);
            }
            continue;
        }
        if (got < 0) {
            r.outcome = Outcome::OpenFailed;
            r.error = pcap_geterr(cap.get());
            return r;
        }
        ++r.framesSeen;
        if (framesSeen) framesSeen->store(r.framesSeen);
        if (isStatusFrame(bytes, h->caplen, h->len)) {
            std::memcpy(r.payload.data(), bytes + wire::kPayloadStart, r.payload.size());
            r.outcome = Outcome::Found;
            return r;
        }
    }
    r.outcome = Outcome::NotFound;
    return r;
}

}  // namespace kv::statuscapture
