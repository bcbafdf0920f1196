#include "capture_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <new>

#include "capture_readers.h"
#include "data_packet.h"

namespace kv::capture {

// ---- the file ----

class PayloadFile {
public:
    ~PayloadFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool open(const std::string& path, std::string& error) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
            error = path + ": " + std::strerror(errno);
            return false;
        }
        size_ = std::uint64_t(st.st_size);
        mtime_ = st.st_mtim;
        return true;
    }
    std::uint64_t size() const { return size_; }
    // Reads `n` bytes at `offset`; false with `error` when the file no longer holds them or
    // changed since it was opened.
    bool read(std::uint64_t offset, std::uint8_t* out, std::size_t n, std::string& error) const {
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || std::uint64_t(st.st_size) < size_ || st.st_mtim.tv_sec != mtime_.tv_sec ||
            st.st_mtim.tv_nsec != mtime_.tv_nsec) {
            error = "the capture file changed since it was opened; open it again";
            return false;
        }
        std::size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd_, out + done, n - done, off_t(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                error = got < 0 ? std::string("the capture file cannot be read: ") + std::strerror(errno)
                                : "the capture file is shorter than when it was opened; open it again";
                return false;
            }
            done += std::size_t(got);
        }
        return true;
    }

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
    struct timespec mtime_ {};
};

// Payloads are read in blocks of this many bytes: a few hundred packets a read.
constexpr std::size_t kBlockBytes = 256 * 1024;

// A window over the file, read ahead a block at a time: the check of each record's offset
// during the load, and the reader of payloads afterwards.
class FileWindow {
public:
    explicit FileWindow(const PayloadFile& f) : file_(f) {}
    // The bytes [offset, offset + n), or null (beyond the file, or unreadable: error()).
    const std::uint8_t* at(std::uint64_t offset, std::size_t n, bool backwards = false) {
        if (offset >= start_ && offset + n <= start_ + bytes_) return block_.data() + (offset - start_);
        if (n > kBlockBytes) return nullptr;
        if (offset + n > file_.size()) {
            error_ = "the capture file is shorter than its index; open it again";
            return nullptr;
        }
        std::uint64_t start = offset;
        if (backwards) start = offset + n > kBlockBytes ? offset + n - kBlockBytes : 0;
        const std::size_t len = std::size_t(std::min<std::uint64_t>(kBlockBytes, file_.size() - start));
        block_.resize(kBlockBytes);
        bytes_ = 0;
        if (!file_.read(start, block_.data(), len, error_)) return nullptr;
        start_ = start;
        bytes_ = len;
        return block_.data() + (offset - start_);
    }
    const std::string& error() const { return error_; }

private:
    const PayloadFile& file_;
    std::vector<std::uint8_t> block_;
    std::uint64_t start_ = 0;
    std::size_t bytes_ = 0;
    std::string error_;
};

namespace {

constexpr std::uint64_t kProgressEvery = 8192;  // records between progress reports
constexpr std::uint32_t kNoFar = std::numeric_limits<std::uint32_t>::max();

// libpcap reads "-" as standard input and would wait forever on a pipe or a device.
bool refuseNonFile(const std::string& path, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = path + ": " + std::strerror(errno);
        return true;
    }
    if (S_ISDIR(st.st_mode)) error = path + ": is a directory, not a capture file";
    else if (!S_ISREG(st.st_mode)) error = path + ": not a regular file";
    else if (st.st_size == 0) error = path + ": the file is empty";
    return !error.empty();
}

// The four bytes that open a pcapng file (its section header block).
bool looksLikePcapng(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::uint8_t magic[4] = {};
    const bool ng = ::pread(fd, magic, 4, 0) == 4 && magic[0] == 0x0A && magic[1] == 0x0D && magic[2] == 0x0D &&
                    magic[3] == 0x0A;
    ::close(fd);
    return ng;
}

// Where the record's bytes lie in the file: its reader's offset where that is certain, else the
// first place at or after the record's start that holds them.
bool locate(const detail::Record& r, std::uint64_t end, FileWindow& window, std::uint64_t& offset) {
    if (r.offsetKnown) {
        offset = r.dataOffset;
        return true;
    }
    const std::size_t n = std::min<std::size_t>(r.captured, 64 * 1024);
    auto matches = [&](std::uint64_t at) {
        const std::uint8_t* p = window.at(at, n);
        return p != nullptr && std::memcmp(p, r.bytes, n) == 0;
    };
    if (matches(r.dataOffset)) return offset = r.dataOffset, true;
    for (std::uint64_t at = r.blockOffset; at + n <= end; ++at)
        if (matches(at)) return offset = at, true;
    return false;
}

struct StreamIndex {
    CaptureStore store;
};

}  // namespace

// ---- offsets ----

void PacketOffsets::push(std::uint64_t offset) {
    const std::size_t i = deltas_.size();
    if (i % kGroup == 0) bases_.push_back(offset);
    const std::uint64_t d = offset - bases_.back();
    if (d >= kNoFar) {
        deltas_.push_back(kNoFar);
        far_.emplace_back(std::uint32_t(i), offset);
    } else {
        deltas_.push_back(std::uint32_t(d));
    }
}

std::uint64_t PacketOffsets::at(std::size_t i) const {
    const std::uint32_t d = deltas_[i];
    if (d != kNoFar) return bases_[i / kGroup] + d;
    const auto it = std::lower_bound(far_.begin(), far_.end(), std::make_pair(std::uint32_t(i), std::uint64_t(0)));
    return it->second;
}

std::size_t PacketOffsets::bytes() const {
    return bases_.capacity() * sizeof(std::uint64_t) + deltas_.capacity() * sizeof(std::uint32_t) +
           far_.capacity() * sizeof(far_[0]);
}

// ---- reading payloads ----

PacketReader::PacketReader(const CaptureStore& store) : store_(store) {
    if (store.file) window_ = std::make_unique<FileWindow>(*store.file);
}
PacketReader::~PacketReader() = default;

const std::uint8_t* PacketReader::packet(std::size_t i) {
    if (i >= store_.packetCount || !window_) {
        error_ = "packet " + std::to_string(i) + " is not in the capture";
        return nullptr;
    }
    const bool backwards = i < last_;
    last_ = i;
    const std::uint8_t* p = window_->at(store_.offsets.at(i), wire::kPayloadBytes, backwards);
    if (p == nullptr) error_ = window_->error();
    return p;
}

bool readFrame(const CaptureStore& store, std::uint32_t number, int echo, PacketReader& reader, MuchLidarData& out,
               FrameTrace* trace) {
    if (number < 1 || number > store.frameCount()) return false;
    const FrameStart& start = store.frames.start(number);
    FrameRule rule(FramePolicy::kReplay);
    bool done = false;
    std::uint32_t record = start.record;
    for (std::uint32_t i = start.packet; i < store.packetCount && !done; ++i, record = 0) {
        const std::uint8_t* packet = reader.packet(i);
        if (packet == nullptr) return false;
        rule.feed(packet, [echo] { return echo; }, [&](MuchLidarData&& frame) {
            if (done) return;
            out = std::move(frame);
            out.number = number;
            if (trace) *trace = rule.closingTrace();
            done = true;
        }, record);
    }
    return done;
}

void pointTimes(const CaptureStore& store, std::uint32_t number, const FrameTrace& trace, std::size_t frameSize,
                std::vector<std::int64_t>& timesNs) {
    timesNs.clear();
    if (number < 1 || number > store.frameCount()) return;
    const std::uint32_t first = store.frames.start(number).packet;  // the packet of feed 0
    std::vector<std::uint64_t> feeds;
    if (!pointFeeds(trace, frameSize, feeds)) {
        timesNs.assign(frameSize, store.packetTimeNs(first));
        return;
    }
    timesNs.resize(frameSize);
    std::uint64_t lastFeed = ~std::uint64_t(0);
    std::int64_t t = 0;
    for (std::size_t i = 0; i < frameSize; ++i) {
        if (feeds[i] != lastFeed) {
            lastFeed = feeds[i];
            const std::uint64_t packet = first + lastFeed;
            t = store.packetTimeNs(std::size_t(packet < store.packetCount ? packet : first));
        }
        timesNs[i] = t;
    }
}

// ---- the load ----

bool CaptureLoad::chooseStream(std::size_t i) {
    if (i >= streamStores.size()) return false;
    chosen = i;
    store = streamStores[i];
    recordsSkipped = recordsRead - store.packetCount;
    return true;
}

std::size_t CaptureLoad::findStream(const wire::StreamKey& key) const {
    for (std::size_t i = 0; i < streams.size(); ++i)
        if (streams[i].key == key) return i;
    return streams.size();
}

std::size_t CaptureLoad::findPort(std::uint16_t destPort) const {
    for (std::size_t i = 0; i < streams.size(); ++i)  // largest first
        if (streams[i].key.destPort == destPort) return i;
    return streams.size();
}

std::string CaptureLoad::failureText() const {
    const std::string counts = wire::skipSummary(skipped);
    switch (failure) {
    case LoadFailure::kNone: return std::string();
    case LoadFailure::kUnreadable:
    case LoadFailure::kNotCapture: return error;
    case LoadFailure::kUnsupportedLinkType:
        return "a capture of an unsupported link type: " + linkTypeName +
               " (this program reads Ethernet, Linux cooked SLL and SLL2, raw IPv4 and BSD loopback)";
    case LoadFailure::kNoSensorData:
        return "no UDP payload of 1206 bytes: " + std::to_string(recordsRead) +
               (recordsRead == 1 ? " record" : " records") + (counts.empty() ? std::string() : " skipped (" + counts + ")");
    }
    return std::string();
}

std::vector<std::string> CaptureLoad::streamChoices() const {
    std::vector<std::string> out;
    for (const StreamInfo& s : streams)
        out.push_back(wire::streamText(s.key) + " (" + std::to_string(s.packets) + " data packets)");
    return out;
}

CaptureLoad loadCapture(const std::string& path, const CaptureProgress& report) {
    CaptureLoad load;
    const std::string openPath = path == "-" ? "./-" : path;
    if (refuseNonFile(openPath, load.error)) {
        load.failure = LoadFailure::kUnreadable;
        return load;
    }
    auto file = std::make_shared<PayloadFile>();
    if (!file->open(openPath, load.error)) {
        load.failure = LoadFailure::kUnreadable;
        return load;
    }

    detail::OpenResult result = detail::OpenResult::kFailed;
    std::unique_ptr<detail::Reader> reader = looksLikePcapng(openPath)
                                                 ? detail::openPcapng(openPath, load.error, result)
                                                 : detail::openPcap(openPath, load.error, result);
    if (!reader) {
        load.failure = result == detail::OpenResult::kNotCapture ? LoadFailure::kNotCapture : LoadFailure::kUnreadable;
        if (load.failure == LoadFailure::kNotCapture && load.error.find("not a capture") == std::string::npos)
            load.error = openPath + ": not a capture file (" + load.error + ")";
        return load;
    }
    load.opened = true;
    load.format = reader->format();

    FileWindow window(*file);
    std::vector<StreamIndex> streams;
    std::map<wire::StreamKey, std::size_t> byKey;
    std::vector<wire::StreamKey> keys;  // of streams
    std::size_t lastStream = 0;
    std::map<int, std::uint64_t> unsupported;  // link type -> records
    const std::uint64_t total = file->size();
    detail::Record r;
    int rc = 0;
    try {
        while ((rc = reader->next(r)) == 1) {
            ++load.recordsRead;
            if (report && load.recordsRead % kProgressEvery == 0) report(std::min(reader->position(), total), total);
            const wire::RecordView v = wire::decodeRecord(r.linkType, r.bytes, r.captured);
            if (v.skip != wire::Skip::kTaken) {
                ++load.skipped[std::size_t(v.skip)];
                if (v.skip == wire::Skip::kLinkType) ++unsupported[r.linkType];
                continue;
            }
            std::uint64_t offset = 0;
            if (!locate(r, reader->position(), window, offset)) {
                load.damaged = true;
                load.damage = window.error().empty() ? "record " + std::to_string(load.recordsRead) +
                                                           " is not where the capture format puts it"
                                                     : window.error();
                break;
            }
            if (streams.empty() || keys[lastStream] != v.stream) {
                auto it = byKey.find(v.stream);
                if (it == byKey.end()) {
                    it = byKey.emplace(v.stream, streams.size()).first;
                    streams.emplace_back();
                    keys.push_back(v.stream);
                }
                lastStream = it->second;
            }
            StreamIndex& s = streams[lastStream];
            if (s.store.packetCount == std::numeric_limits<std::uint32_t>::max()) {
                load.damaged = true;
                load.damage = "more packets than one store can count; the first 4294967295 are kept";
                break;
            }
            const std::uint32_t v32 = s.store.packetCount;
            s.store.offsets.push(offset + v.payloadOffset);
            s.store.times.push(std::uint64_t(r.timeNs));
            s.store.frames.add(v32, r.bytes + v.payloadOffset);
            s.store.packetCount = v32 + 1;
        }
        if (rc < 0) {
            load.damaged = true;
            load.damage = reader->damage();
        }
    } catch (const std::bad_alloc&) {
        load.damaged = true;
        load.damage = "not enough memory for the index after " + std::to_string(load.recordsRead) + " records";
    }

    // Streams with their keys, the largest first (ties: in key order).
    std::vector<std::pair<wire::StreamKey, std::size_t>> order(byKey.begin(), byKey.end());
    std::stable_sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
        return streams[a.second].store.packetCount > streams[b.second].store.packetCount;
    });
    for (const auto& [key, i] : order) {
        StreamIndex& s = streams[i];
        s.store.file = file;
        load.streams.push_back({key, s.store.packetCount});
        load.streamStores.push_back(std::move(s.store));
    }
    if (!load.streamStores.empty()) {
        load.chooseStream(0);
    } else {
        load.recordsSkipped = load.recordsRead;
        const std::uint64_t unsupportedRecords = load.skipped[std::size_t(wire::Skip::kLinkType)];
        const int declared = reader->declaredLinkType();
        if (load.recordsRead == 0 && declared >= 0 && !wire::linkTypeSupported(declared)) ++unsupported[declared];
        if (!unsupported.empty() && unsupportedRecords == load.recordsRead) {
            load.failure = LoadFailure::kUnsupportedLinkType;
            for (const auto& [type, count] : unsupported) {
                if (!load.linkTypeName.empty()) load.linkTypeName += ", ";
                load.linkTypeName += reader->linkTypeName(type);
            }
        } else {
            load.failure = LoadFailure::kNoSensorData;
        }
    }
    if (report) report(total, total);
    return load;
}

}  // namespace kv::capture
