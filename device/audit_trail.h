// The audit trail of configuration writes: for each write the status packet before it
// ("Before"), the packet sent ("Modify") and the first status packet that arrived more than two
// seconds later ("New"), each as a hex-dump file of its own. A packet that could not be sent
// gets a "NotSent" entry after its "Modify": one line of text naming the "Modify" file and the
// error, so that the pair is never read as a write that happened.
//
// Files live under <data directory>/<application>/DIRuzur_Ivo/<log base name>/<yyyy-MM-dd>/,
// named <log base name>__<yyyy-MM-dd-hh-mm-ss-zzz>__<tag>.ini, where the data directory is
// $XDG_DATA_HOME, else ~/.local/share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::audit {

constexpr const char* kLogFolder = "DIRuzur_Ivo/";
constexpr const char* kLogBaseName = "VX1_display_v1.1.4_211223";
constexpr const char* kApplicationFolder = "kv-cloudscope";
constexpr int kNewEntryAfterWholeSeconds = 2;  // "New" waits for more than this

// The local time an entry is stamped with.
struct Stamp {
    int year, month, day, hour, minute, second, millisecond;
};

// The log directory (ending in "/"), from the environment values given (either may be empty).
// Empty when neither gives a place.
std::string logDirectory(const std::string& xdgDataHome, const std::string& home);
// The same from this process's environment.
std::string logDirectoryFromEnvironment();

// logDirectory + base name + "/" + yyyy-MM-dd
std::string entryDirectory(const std::string& logDir, const Stamp& t);
// base name + "__" + yyyy-MM-dd-hh-mm-ss-zzz + "__" + tag + ".ini"
std::string entryFileName(const Stamp& t, const std::string& tag);

// Whether a status packet received `elapsedMs` after the write is the one "New" records:
// more than two whole seconds, i.e. three or more.
bool newEntryDue(long long elapsedMs);

constexpr const char* kNotSentTag = "NotSent";

// The text of a "NotSent" entry for the "Modify" entry stamped `modify`.
std::string notSentText(const Stamp& modify, const std::string& error);

struct WriteResult {
    bool written = false;
    std::string path;   // the file (or, on failure, what could not be made)
    std::string error;  // why it failed
};

// Writes one entry: creates the directory when missing and appends the dump of `count` bytes
// to the entry file. Never throws.
WriteResult writeEntry(const std::string& logDir, const Stamp& t, const std::string& tag,
                       const std::uint8_t* bytes, std::size_t count);

// Writes the "NotSent" entry stamped `t` for the "Modify" entry stamped `modify`.
WriteResult writeNotSentEntry(const std::string& logDir, const Stamp& t, const Stamp& modify,
                              const std::string& error);

}  // namespace kv::audit
