// pcap files through libpcap. The offset of a record's data is where libpcap's stream stands
// after the record less its captured length; the record header in front of it tells us the
// data was read whole (16 bytes, or 24 in the modified format). Asking the stream where it
// stands costs a system call, so it is asked only where libpcap may have read more than it
// handed over (a record cut to the snapshot length) and now and then as a check; in between,
// each record moves the stream by its header and its captured bytes.
#include <pcap/pcap.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "capture_readers.h"

namespace kv::capture::detail {
namespace {

constexpr std::size_t kStreamBuffer = 1 << 20;

class PcapReader : public Reader {
public:
    PcapReader(pcap_t* p, std::unique_ptr<char[]> buffer) : pcap_(p), buffer_(std::move(buffer)) {
        linkType_ = pcap_datalink(p);
        snapshot_ = pcap_snapshot(p);
        pos_ = tell();
    }
    ~PcapReader() override { pcap_close(pcap_); }  // closes the stream before its buffer goes

    int next(Record& r) override {
        pcap_pkthdr* h = nullptr;
        const u_char* data = nullptr;
        const int rc = pcap_next_ex(pcap_, &h, &data);
        if (rc == 1) {
            const std::uint64_t before = pos_;
            // Records shorter than the snapshot length are read exactly as long as they are;
            // the header size is learnt from the first record and checked every kCheckEvery.
            const bool exact = headerBytes_ != 0 && h->caplen < snapshot_ && ++sinceCheck_ < kCheckEvery;
            if (exact) {
                pos_ = before + headerBytes_ + h->caplen;
            } else {
                pos_ = tell();
                sinceCheck_ = 0;
                const std::uint64_t header = pos_ - before - h->caplen;
                if (pos_ >= before + h->caplen && (header == 16 || header == 24) && h->caplen < snapshot_)
                    headerBytes_ = std::uint32_t(header);
                else if (h->caplen < snapshot_)
                    headerBytes_ = 0;  // not what libpcap reads: ask the stream every time
            }
            r.bytes = data;
            r.captured = h->caplen;
            r.linkType = linkType_;
            // Opened with nanosecond precision: tv_usec holds nanoseconds.
            r.timeNs = std::int64_t(h->ts.tv_sec) * 1000000000 + std::int64_t(h->ts.tv_usec);
            const std::uint64_t span = pos_ - before;
            r.offsetKnown = span == std::uint64_t(h->caplen) + 16 || span == std::uint64_t(h->caplen) + 24;
            r.dataOffset = pos_ - h->caplen;
            r.blockOffset = before;
            return 1;
        }
        if (rc == PCAP_ERROR_BREAK) return 0;
        damage_ = rc == PCAP_ERROR ? pcap_geterr(pcap_) : "unexpected end of the capture";
        return -1;
    }
    std::uint64_t position() const override { return pos_; }
    const std::string& damage() const override { return damage_; }
    std::string format() const override { return "pcap"; }
    int declaredLinkType() const override { return linkType_; }
    std::string linkTypeName(int linkType) const override {
        const char* name = pcap_datalink_val_to_name(linkType);
        const char* text = pcap_datalink_val_to_description(linkType);
        if (name == nullptr) return "link type " + std::to_string(linkType);
        return std::string(name) + (text ? std::string(" (") + text + ")" : std::string());
    }

private:
    std::uint64_t tell() const {
        const long at = std::ftell(pcap_file(pcap_));
        return at > 0 ? std::uint64_t(at) : 0;
    }
    static constexpr std::uint32_t kCheckEvery = 4096;
    pcap_t* pcap_;
    std::unique_ptr<char[]> buffer_;  // the stream's
    int linkType_ = 0;
    bpf_u_int32 snapshot_ = 0;
    std::uint32_t headerBytes_ = 0;  // 16 or 24 once learnt; 0: unknown
    std::uint32_t sinceCheck_ = 0;
    std::uint64_t pos_ = 0;
    std::string damage_;
};

}  // namespace

std::unique_ptr<Reader> openPcap(const std::string& path, std::string& error, OpenResult& result) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    // Our own stream, with a buffer of a megabyte: libpcap's reads through a default 4 KB
    // buffer cost a system call every three records. The C library sizes a buffer it allocates
    // itself by the file system's block, whatever size is asked for: the buffer is ours.
    std::FILE* f = std::fopen(path.c_str(), "rbe");
    if (f == nullptr) {
        error = path + ": " + std::strerror(errno);
        result = OpenResult::kFailed;
        return nullptr;
    }
    auto buffer = std::make_unique<char[]>(kStreamBuffer);
    std::setvbuf(f, buffer.get(), _IOFBF, kStreamBuffer);
    ::posix_fadvise(fileno(f), 0, 0, POSIX_FADV_SEQUENTIAL);
    // Nanosecond files keep their stamps; microsecond ones are read as they are. libpcap
    // closes the stream with the capture; one it refuses stays ours to close.
    pcap_t* p = pcap_fopen_offline_with_tstamp_precision(f, PCAP_TSTAMP_PRECISION_NANO, errbuf);
    if (p == nullptr) {
        std::fclose(f);
        error = errbuf[0] != '\0' ? errbuf : path + ": cannot be read as a capture file";
        result = error.find("unknown file format") != std::string::npos ||
                         error.find("truncated dump file") != std::string::npos
                     ? OpenResult::kNotCapture
                     : OpenResult::kFailed;
        return nullptr;
    }
    result = OpenResult::kOpened;
    return std::make_unique<PcapReader>(p, std::move(buffer));
}

}  // namespace kv::capture::detail
