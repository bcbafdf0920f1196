#include "capture_store.h"

#include <pcap/pcap.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "data_packet.h"
#include "status_packet.h"

namespace kv::capture {
namespace {

static_assert(kPayloadBytes == datapkt::kPacketBytes, "the store holds data packets");

// Progress is reported after this many records (about 10 MB of a sensor capture).
constexpr std::uint64_t kRecordsPerProgress = 8192;

// The store's index is sized before the markers are counted; a frame every 8 packets or
// more is the common case (the sensor sends tens of packets a frame), and a denser file only
// makes the table grow.
constexpr std::uint32_t kPacketsPerReservedFrame = 8;

bool isSensorDataFrame(const pcap_pkthdr& h, const std::uint8_t* bytes) {
    // A record cut to the snapshot length is not a whole frame even at 1248 captured bytes.
    if (h.caplen != kFrameBytes || h.len != h.caplen) return false;
    const std::uint8_t* payload = bytes + kHeaderBytes;
    if (statuspkt::hasHeader(payload)) return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (payload[i] != configpkt::kHeader[i]) return true;
    return false;  // starts like a configuration packet
}

// Calls onMarker() for every offset of `p` where FF AA BB lies wholly inside its `size` bytes.
template <class OnMarker>
void scanMarkers(const std::uint8_t* p, std::size_t size, OnMarker&& onMarker) {
    if (size < 3) return;
    const std::uint8_t* const last = p + size - 2;  // a marker must start before this
    const std::uint8_t* at = p;
    while (at < last) {
        at = static_cast<const std::uint8_t*>(std::memchr(at, datapkt::kMarker0, std::size_t(last - at)));
        if (at == nullptr) return;
        if (at[1] == datapkt::kMarker1 && at[2] == datapkt::kMarker2) onMarker();
        ++at;
    }
}

// One pass over a capture file through libpcap.
class CaptureReader {
public:
    ~CaptureReader() {
        if (pcap_ != nullptr) pcap_close(pcap_);
    }

    bool open(const std::string& path, std::string& error) {
        char errbuf[PCAP_ERRBUF_SIZE] = {};
        pcap_ = pcap_open_offline(path.c_str(), errbuf);
        if (pcap_ == nullptr) {
            error = errbuf[0] != '\0' ? errbuf : path + ": cannot be read as a capture file";
            return false;
        }
        ethernet_ = pcap_datalink(pcap_) == DLT_EN10MB;
        return true;
    }

    bool ethernet() const { return ethernet_; }

    // 1: a record in h/bytes; 0: the file ended cleanly; -1: it is damaged, see damage().
    int next(const pcap_pkthdr*& h, const std::uint8_t*& bytes) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int rc = pcap_next_ex(pcap_, &header, &data);
        if (rc == 1) {
            h = header;
            bytes = data;
            return 1;
        }
        if (rc == PCAP_ERROR_BREAK) return 0;  // end of the file
        damage_ = rc == PCAP_ERROR ? pcap_geterr(pcap_) : "unexpected end of the capture";
        return -1;
    }

    const std::string& damage() const { return damage_; }

    std::uint64_t position() const {
        const long at = std::ftell(pcap_file(pcap_));
        return at > 0 ? std::uint64_t(at) : 0;
    }

private:
    pcap_t* pcap_ = nullptr;
    bool ethernet_ = false;
    std::string damage_;
};

class Progress {
public:
    Progress(const CaptureProgress& report, std::uint64_t fileBytes)
        : report_(report), total_(2 * fileBytes) {}

    // `base` is where the pass starts in the two-pass total.
    void during(std::uint64_t base, const CaptureReader& reader, std::uint64_t records) {
        if (!report_ || records % kRecordsPerProgress != 0) return;
        std::uint64_t done = base + reader.position();
        if (done > total_) done = total_;  // the file grew since it was measured
        report_(done, total_);
    }
    void finished() {
        if (report_) report_(total_, total_);
    }
    std::uint64_t half() const { return total_ / 2; }

private:
    const CaptureProgress& report_;
    std::uint64_t total_;
};

// A store of a few hundred megabytes takes one page fault per 4 KB page when it is filled;
// large pages cut that by a factor of 512, which is most of the time of a load. Only a hint.
void preferLargePages(void* block, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kLargePage = std::uintptr_t(2) << 20;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(block) + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(kLargePage - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

// libpcap reads "-" as standard input and would wait forever on a pipe or a device; a
// capture to load twice must be a file.
bool refuseNonFile(const std::string& path, std::uint64_t& fileBytes, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;  // libpcap reports the missing file
    if (S_ISDIR(st.st_mode)) {
        error = path + ": is a directory, not a capture file";
        return true;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
        return true;
    }
    fileBytes = std::uint64_t(st.st_size);
    if (fileBytes == 0) {
        error = path + ": the file is empty";
        return true;
    }
    return false;
}

}  // namespace

CaptureLoad loadCapture(const std::string& path, const CaptureProgress& report) {
    CaptureLoad load;
    const std::string openPath = path == "-" ? "./-" : path;
    std::uint64_t fileBytes = 0;
    if (refuseNonFile(openPath, fileBytes, load.error)) return load;
    Progress progress(report, fileBytes);

    // First pass: count the packets to store.
    std::uint64_t accepted = 0;
    {
        CaptureReader reader;
        if (!reader.open(openPath, load.error)) return load;
        load.opened = true;
        const pcap_pkthdr* h = nullptr;
        const std::uint8_t* bytes = nullptr;
        int rc;
        while ((rc = reader.next(h, bytes)) == 1) {
            ++load.recordsRead;
            if (reader.ethernet() && isSensorDataFrame(*h, bytes)) ++accepted;
            progress.during(0, reader, load.recordsRead);
        }
        if (rc < 0) {
            load.damaged = true;
            load.damage = reader.damage();
        }
    }
    load.recordsSkipped = load.recordsRead - accepted;
    if (accepted > std::numeric_limits<std::uint32_t>::max()) {
        load.damaged = true;
        load.damage = "more packets than one store can count; the first 4294967295 are kept";
        accepted = std::numeric_limits<std::uint32_t>::max();
    }
    if (accepted == 0) {
        progress.finished();
        return load;
    }

    CaptureStore& store = load.store;
    const std::uint32_t expected = std::uint32_t(accepted);
    try {
        store.payloads.reserve(std::size_t(expected) * kPayloadBytes);
        preferLargePages(store.payloads.data(), store.payloads.capacity());
        store.payloads.resize(std::size_t(expected) * kPayloadBytes);
        store.frameStarts.reserve(expected / kPacketsPerReservedFrame + 1);
    } catch (const std::bad_alloc&) {
        store = CaptureStore{};
        load.damaged = true;
        load.damage = "not enough memory for " + std::to_string(expected) + " packets";
        progress.finished();
        return load;
    }

    // Second pass: fill the block. The file may have changed since it was counted, so never
    // more than the counted packets are stored.
    std::uint32_t stored = 0;
    std::uint64_t markers = 0;
    int sinceFrameStart = 0;
    CaptureReader reader;
    std::string reopenError;
    if (!reader.open(openPath, reopenError)) {
        load.damaged = true;
        load.damage = reopenError;
    } else {
        const pcap_pkthdr* h = nullptr;
        const std::uint8_t* bytes = nullptr;
        std::uint64_t records = 0;
        int rc = 1;
        std::uint64_t markersBefore = 0;  // state before the packet being indexed
        std::size_t startsBefore = 0;
        try {
            while (stored < expected && (rc = reader.next(h, bytes)) == 1) {
                ++records;
                progress.during(progress.half(), reader, records);
                if (!reader.ethernet() || !isSensorDataFrame(*h, bytes)) continue;
                std::uint8_t* dst = store.payloads.data() + std::size_t(stored) * kPayloadBytes;
                std::memcpy(dst, bytes + kHeaderBytes, kPayloadBytes);
                const std::uint32_t v = stored;
                markersBefore = markers;
                startsBefore = store.frameStarts.size();
                scanMarkers(dst, kPayloadBytes, [&] {
                    ++markers;
                    if (++sinceFrameStart == kMarkersPerFrame) {
                        store.frameStarts.push_back(v);  // grows only past the reserve
                        sinceFrameStart = 0;
                    }
                });
                stored = v + 1;
            }
            if (stored < expected) {
                load.damaged = true;
                load.damage = rc < 0 ? reader.damage()
                                     : "the file changed while it was read: " + std::to_string(expected) +
                                           " packets counted, " + std::to_string(stored) + " found";
            }
        } catch (const std::bad_alloc&) {
            // Only a frame-start table far beyond its reserve can get here (a file dense with
            // markers). Keep the packets whose index is complete.
            markers = markersBefore;
            store.frameStarts.resize(startsBefore);
            load.damaged = true;
            load.damage = "not enough memory for the frame index after " + std::to_string(stored) + " packets";
        }
    }
    if (stored < expected) store.payloads.resize(std::size_t(stored) * kPayloadBytes);
    store.packetCount = stored;
    store.markerTotal = std::uint32_t(std::min<std::uint64_t>(markers, std::numeric_limits<std::uint32_t>::max()));
    progress.finished();
    return load;
}

}  // namespace kv::capture
