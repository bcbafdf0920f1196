// pcap files through libpcap. The offset of a record's data is where libpcap's stream stands
// after the record less its captured length; the record header in front of it tells us the
// data was read whole (16 bytes, or 24 in the modified format).
#include <pcap/pcap.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "capture_readers.h"

namespace kv::capture::detail {
namespace {

constexpr std::size_t kStreamBuffer = 1 << 20;

class PcapReader : public Reader {
public:
    explicit PcapReader(pcap_t* p) : pcap_(p) {
        linkType_ = pcap_datalink(p);
        pos_ = tell();
    }
    ~PcapReader() override { pcap_close(pcap_); }

    int next(Record& r) override {
        pcap_pkthdr* h = nullptr;
        const u_char* data = nullptr;
        const int rc = pcap_next_ex(pcap_, &h, &data);
        if (rc == 1) {
            const std::uint64_t before = pos_;
            pos_ = tell();
            r.bytes = data;
            r.captured = h->caplen;
            r.linkType = linkType_;
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
    pcap_t* pcap_;
    int linkType_ = 0;
    std::uint64_t pos_ = 0;
    std::string damage_;
};

}  // namespace

std::unique_ptr<Reader> openPcap(const std::string& path, std::string& error, OpenResult& result) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    // Our own stream, with a buffer of a megabyte: libpcap's reads through a default 4 KB
    // buffer cost a system call every three records.
    std::FILE* f = std::fopen(path.c_str(), "rbe");
    if (f == nullptr) {
        error = path + ": " + std::strerror(errno);
        result = OpenResult::kFailed;
        return nullptr;
    }
    std::setvbuf(f, nullptr, _IOFBF, kStreamBuffer);
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
    return std::make_unique<PcapReader>(p);
}

}  // namespace kv::capture::detail
