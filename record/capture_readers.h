// The capture-format readers behind the packet store: libpcap for pcap files, Wireshark's
// reader library for pcapng. Each hands over records with their link type and the file offset
// of their first byte, so that the store can read a payload back at its offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kv::capture::detail {

struct Record {
    const std::uint8_t* bytes = nullptr;
    std::size_t captured = 0;
    int linkType = 0;                // LINKTYPE_/DLT_ number
    std::uint64_t dataOffset = 0;    // where bytes[0] lies in the file
    bool offsetKnown = false;        // false: dataOffset is a guess to check
    std::uint64_t blockOffset = 0;   // where the record (its header) starts, when known
    std::int64_t timeNs = 0;         // capture time, nanoseconds since the epoch (0: none recorded)
};

class Reader {
public:
    virtual ~Reader() = default;
    // 1: a record; 0: the file ended cleanly; -1: it is damaged, see damage().
    virtual int next(Record& r) = 0;
    virtual std::uint64_t position() const = 0;  // bytes of the file read so far
    virtual const std::string& damage() const = 0;
    virtual std::string format() const = 0;
    // The link type the file declares for all its records; -1 where each record has its own.
    virtual int declaredLinkType() const { return -1; }
    // The name of a link type, for messages.
    virtual std::string linkTypeName(int linkType) const = 0;
};

enum class OpenResult { kOpened, kNotCapture, kFailed };

// libpcap, for pcap files.
std::unique_ptr<Reader> openPcap(const std::string& path, std::string& error, OpenResult& result);
// Wireshark's reader library, for pcapng files; null where this build has none.
std::unique_ptr<Reader> openPcapng(const std::string& path, std::string& error, OpenResult& result);

}  // namespace kv::capture::detail
