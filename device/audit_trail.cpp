#include "audit_trail.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>
#include <sys/stat.h>

#include "hex_dump.h"

namespace kv::audit {

namespace {

std::string twoDigits(int v) {
    char b[16];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}

std::string dateText(const Stamp& t) {
    char b[32];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d", t.year, t.month, t.day);
    return b;
}

// mkdir -p; true when the directory exists afterwards.
bool makeDirectories(const std::string& path, std::string& error) {
    std::string partial;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        const std::size_t slash = path.find('/', pos);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        partial = path.substr(0, end);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
            error = partial + ": " + std::strerror(errno);
            return false;
        }
        if (slash == std::string::npos) break;
        pos = slash + 1;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = path + ": not a directory";
        return false;
    }
    return true;
}

}  // namespace

std::string logDirectory(const std::string& xdgDataHome, const std::string& home) {
    // Only an absolute XDG_DATA_HOME counts; a relative one is to be ignored.
    std::string data;
    if (!xdgDataHome.empty() && xdgDataHome[0] == '/') data = xdgDataHome;
    else if (!home.empty()) data = home + "/.local/share";
    else return {};
    while (data.size() > 1 && data.back() == '/') data.pop_back();
    return data + "/" + kApplicationFolder + "/" + kLogFolder;
}

std::string logDirectoryFromEnvironment() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    return logDirectory(xdg ? xdg : "", home ? home : "");
}

std::string entryDirectory(const std::string& logDir, const Stamp& t) {
    return logDir + kLogBaseName + "/" + dateText(t);
}

std::string entryFileName(const Stamp& t, const std::string& tag) {
    char ms[8];
    std::snprintf(ms, sizeof ms, "%03d", t.millisecond);
    return std::string(kLogBaseName) + "__" + dateText(t) + "-" + twoDigits(t.hour) + "-" + twoDigits(t.minute) +
           "-" + twoDigits(t.second) + "-" + ms + "__" + tag + ".ini";
}

bool newEntryDue(long long elapsedMs) { return elapsedMs / 1000 > kNewEntryAfterWholeSeconds; }

namespace {

WriteResult appendEntry(const std::string& logDir, const Stamp& t, const std::string& tag, const std::string& text) {
    WriteResult r;
    if (logDir.empty()) {
        r.error = "no data directory (neither XDG_DATA_HOME nor HOME is set)";
        return r;
    }
    const std::string dir = entryDirectory(logDir, t);
    r.path = dir;
    if (!makeDirectories(dir, r.error)) return r;
    r.path = dir + "/" + entryFileName(t, tag);
    std::ofstream out(r.path, std::ios::out | std::ios::app | std::ios::binary);
    if (!out) {
        r.error = r.path + ": " + std::strerror(errno);
        return r;
    }
    out << text;
    out.close();
    if (!out) {
        r.error = r.path + ": the entry could not be written";
        return r;
    }
    r.written = true;
    return r;
}

}  // namespace

WriteResult writeEntry(const std::string& logDir, const Stamp& t, const std::string& tag,
                       const std::uint8_t* bytes, std::size_t count) {
    return appendEntry(logDir, t, tag, hexDump(bytes, count));
}

std::string notSentText(const Stamp& modify, const std::string& error) {
    return "Not sent: the packet of " + entryFileName(modify, "Modify") + " (" + error + ")\n";
}

WriteResult writeNotSentEntry(const std::string& logDir, const Stamp& t, const Stamp& modify,
                              const std::string& error) {
    return appendEntry(logDir, t, kNotSentTag, notSentText(modify, error));
}

}  // namespace kv::audit
