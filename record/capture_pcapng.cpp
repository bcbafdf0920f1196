// pcapng files through Wireshark's reader library, which reads every mix of interfaces (libpcap
// refuses files whose interfaces differ in link type or snapshot length). The library tells
// where each record's block starts; where its packet data lies in the block is checked by the
// store against the file itself.
#include <wireshark.h>
#include <wiretap/wtap.h>
#include <wsutil/wslog.h>

#include <mutex>

#include "capture_readers.h"
#include "wire_layout.h"

namespace kv::capture::detail {
namespace {

// The library's encapsulations as the link type numbers the link decoder takes.
int linkTypeOf(int encap) {
    switch (encap) {
    case WTAP_ENCAP_ETHERNET: return wire::link::kEthernet;
    case WTAP_ENCAP_SLL: return wire::link::kLinuxSll;
    case WTAP_ENCAP_SLL2: return wire::link::kLinuxSll2;
    case WTAP_ENCAP_RAW_IP:
    case WTAP_ENCAP_RAW_IP4: return wire::link::kRaw;
    case WTAP_ENCAP_NULL: return wire::link::kNull;
    case WTAP_ENCAP_LOOP: return wire::link::kLoop;
    default: return -1 - encap;  // kept apart from every supported number, and named below
    }
}

// An enhanced packet block's data follows 28 bytes of block header.
constexpr std::uint64_t kEnhancedPacketHeader = 28;

class PcapngReader : public Reader {
public:
    explicit PcapngReader(wtap* w) : wth_(w) {
        wtap_rec_init(&rec_);
        ws_buffer_init(&buf_, 1514);
    }
    ~PcapngReader() override {
        wtap_rec_cleanup(&rec_);
        ws_buffer_free(&buf_);
        wtap_close(wth_);
    }

    int next(Record& r) override {
        for (;;) {
            int err = 0;
            gchar* info = nullptr;
            gint64 offset = 0;
            wtap_rec_reset(&rec_);
            if (!wtap_read(wth_, &rec_, &buf_, &err, &info, &offset)) {
                if (err == 0) return 0;
                damage_ = wtap_strerror(err);
                if (info != nullptr) {
                    damage_ += std::string(": ") + info;
                    g_free(info);
                }
                return -1;
            }
            g_free(info);
            if (rec_.rec_type != REC_TYPE_PACKET) continue;  // events and system calls carry no packets
            r.bytes = ws_buffer_start_ptr(&buf_);
            r.captured = rec_.rec_header.packet_header.caplen;
            r.linkType = linkTypeOf(rec_.rec_header.packet_header.pkt_encap);
            r.timeNs = (rec_.presence_flags & WTAP_HAS_TS) ? std::int64_t(rec_.ts.secs) * 1000000000 + rec_.ts.nsecs : 0;
            r.blockOffset = std::uint64_t(offset);
            r.dataOffset = std::uint64_t(offset) + kEnhancedPacketHeader;
            r.offsetKnown = false;
            return 1;
        }
    }
    std::uint64_t position() const override {
        const gint64 at = wtap_read_so_far(wth_);
        return at > 0 ? std::uint64_t(at) : 0;
    }
    const std::string& damage() const override { return damage_; }
    std::string format() const override { return "pcapng"; }
    std::string linkTypeName(int linkType) const override {
        if (linkType >= 0) return "link type " + std::to_string(linkType);
        const int encap = -1 - linkType;
        const char* name = wtap_encap_name(encap);
        const char* text = wtap_encap_description(encap);
        return std::string(name ? name : "unknown") + (text ? std::string(" (") + text + ")" : std::string());
    }

private:
    wtap* wth_;
    wtap_rec rec_{};
    Buffer buf_{};
    std::string damage_;
};

}  // namespace

std::unique_ptr<Reader> openPcapng(const std::string& path, std::string& error, OpenResult& result) {
    static std::once_flag once;
    std::call_once(once, [] {
        // The library logs its debugging to standard error until told otherwise.
        ws_log_set_level(LOG_LEVEL_WARNING);
        wtap_init(FALSE);
    });
    int err = 0;
    gchar* info = nullptr;
    wtap* w = wtap_open_offline(path.c_str(), WTAP_TYPE_AUTO, &err, &info, FALSE);
    if (w == nullptr) {
        error = path + ": " + wtap_strerror(err) + (info ? std::string(": ") + info : std::string());
        g_free(info);
        result = err == WTAP_ERR_FILE_UNKNOWN_FORMAT ? OpenResult::kNotCapture : OpenResult::kFailed;
        return nullptr;
    }
    g_free(info);
    if (wtap_file_type_subtype(w) != wtap_pcapng_file_type_subtype() || (wtap_get_compression_type(w) != WTAP_UNCOMPRESSED)) {
        error = path + ((wtap_get_compression_type(w) != WTAP_UNCOMPRESSED) ? ": a compressed capture; decompress it first"
                                             : ": a capture of a format this program does not read (" +
                                                   std::string(wtap_file_type_subtype_name(wtap_file_type_subtype(w))) +
                                                   ")");
        wtap_close(w);
        result = OpenResult::kNotCapture;
        return nullptr;
    }
    result = OpenResult::kOpened;
    return std::make_unique<PcapngReader>(w);
}

}  // namespace kv::capture::detail
