#include "pcd_header.h"

#include <cstring>
#include <string_view>

namespace kv {
namespace pcd {

namespace {

constexpr std::size_t kMaxHeaderBytes = std::size_t(1) << 20;
constexpr int kMaxFieldCount = 100000;  // elements of one field (descriptors run to a few hundred)
constexpr std::size_t kMaxPointBytes = std::size_t(1) << 24;  // so that POINTS x bytes stays exact

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::vector<std::string_view> tokens(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isSpace(line[i])) ++i;
        const std::size_t start = i;
        while (i < line.size() && !isSpace(line[i])) ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

bool parseUnsigned(std::string_view s, std::uint64_t& value) {
    if (s.empty() || s.size() > 19) return false;
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + std::uint64_t(c - '0');
    }
    value = v;
    return true;
}

bool iequals(std::string_view a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != b[i]) return false;
    }
    return true;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal integer with an optional sign.
bool isIntegerToken(std::string_view t) {
    std::size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
    if (i == t.size()) return false;
    for (; i < t.size(); ++i)
        if (!isDigit(t[i])) return false;
    return true;
}

// A decimal floating-point number, or nan / inf / infinity in any case, with optional sign.
bool isFloatToken(std::string_view t) {
    std::size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
    const std::string_view rest = t.substr(i);
    if (iequals(rest, "nan") || iequals(rest, "inf") || iequals(rest, "infinity")) return true;
    std::size_t digits = 0;
    while (i < t.size() && isDigit(t[i])) ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && isDigit(t[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        std::size_t expDigits = 0;
        while (i < t.size() && isDigit(t[i])) ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    return i == t.size();
}

Check refuse(std::string why) {
    Check c;
    c.error = std::move(why);
    return c;
}

std::string num(std::uint64_t v) { return std::to_string(v); }

// Header text for a message: control bytes as '?'.
std::string printable(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return out;
}

// Walks the ASCII body the way the reader does: empty lines are skipped, every other line is
// one point. Only the first `points` rows are read.
std::string checkAsciiBody(const Header& h, const std::uint8_t* bytes, std::size_t size) {
    // Which value of a row belongs to an integer field.
    std::vector<bool> integer;
    integer.reserve(h.valuesPerPoint);
    for (const Field& f : h.fields)
        for (int k = 0; k < f.count; ++k) integer.push_back(f.type != 'F');

    const char* p = reinterpret_cast<const char*>(bytes) + h.dataOffset;
    const char* end = reinterpret_cast<const char*>(bytes) + size;
    std::uint64_t row = 0;
    while (row < h.points && p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
        const char* lineEnd = nl ? nl : end;
        if (lineEnd == p) {  // an empty line
            p = lineEnd + 1;
            continue;
        }
        std::size_t values = 0;
        const char* q = p;
        while (q < lineEnd) {
            while (q < lineEnd && isSpace(*q)) ++q;
            const char* start = q;
            while (q < lineEnd && !isSpace(*q)) ++q;
            if (q == start) break;
            const std::string_view t(start, std::size_t(q - start));
            if (values >= h.valuesPerPoint)
                return "row " + num(row + 1) + " has more than " + num(h.valuesPerPoint) + " values";
            if (!(integer[values] ? (isIntegerToken(t) || iequals(t, "nan")) : isFloatToken(t)))
                return "row " + num(row + 1) + " holds \"" + std::string(t.substr(0, 32)) + "\" where a number belongs";
            ++values;
        }
        if (values != h.valuesPerPoint)
            return "row " + num(row + 1) + " has " + num(values) + " values for " + num(h.valuesPerPoint) + " fields";
        ++row;
        p = nl ? nl + 1 : end;
    }
    if (row < h.points) return "the data holds " + num(row) + " rows of POINTS " + num(h.points);
    return {};
}

}  // namespace

const Field* Header::find(const std::string& name) const {
    for (const Field& f : fields)
        if (f.name == name) return &f;
    return nullptr;
}

Check checkFile(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0 || bytes == nullptr) return refuse("the file is empty");

    Header h;
    std::vector<std::string_view> names, sizes, types, counts;
    bool haveFields = false, haveSize = false, haveType = false, haveCount = false;
    bool haveWidth = false, havePoints = false, haveData = false;
    std::string_view dataKind;

    const char* text = reinterpret_cast<const char*>(bytes);
    std::size_t pos = 0;
    const std::size_t limit = size < kMaxHeaderBytes ? size : kMaxHeaderBytes;
    // Every line is one key and its values, each key once; comments and empty lines are
    // skipped. Anything else makes the header ambiguous (other readers stop at it, take a key
    // for any word it begins, or keep the first of two lines), so it is refused.
    static const char* const kKeys[] = {"VERSION", "FIELDS", "COLUMNS", "SIZE",   "TYPE", "COUNT",
                                        "WIDTH",   "HEIGHT", "VIEWPOINT", "POINTS", "DATA"};
    bool seen[sizeof kKeys / sizeof kKeys[0]] = {};
    std::size_t lineNo = 0;
    while (pos < limit && !haveData) {
        ++lineNo;
        const char* nl = static_cast<const char*>(std::memchr(text + pos, '\n', size - pos));
        const std::size_t lineEnd = nl ? std::size_t(nl - text) : size;
        const std::string_view line(text + pos, lineEnd - pos);
        pos = nl ? lineEnd + 1 : size;
        if (line.find('\0') != std::string_view::npos) return refuse("the header holds binary bytes");
        if (line.empty() || line[0] == '#') continue;
        if (isSpace(line[0])) {
            const bool blank = tokens(line).empty();
            return refuse(std::string("a header line ") + (blank ? "holds only spaces" : "begins with a space") +
                          " (line " + num(lineNo) + ")");
        }
        for (char c : line)
            if ((static_cast<unsigned char>(c) < 0x20 && !isSpace(c)) || static_cast<unsigned char>(c) >= 0x7f)
                return refuse("the header holds binary bytes (line " + num(lineNo) + ")");
        std::vector<std::string_view> t = tokens(line);
        const std::string_view key = t[0];
        t.erase(t.begin());
        std::size_t k = 0;
        while (k < sizeof kKeys / sizeof kKeys[0] && key != kKeys[k]) ++k;
        if (k == sizeof kKeys / sizeof kKeys[0] && isFloatToken(key))
            return refuse("the header has no DATA line before the points (line " + num(lineNo) + ")");
        if (k == sizeof kKeys / sizeof kKeys[0])
            return refuse("the header line \"" + printable(line.substr(0, 32)) + "\" is not a PCD key");
        const std::size_t slot = key == "COLUMNS" ? 1 : k;  // another name of FIELDS
        if (seen[slot]) return refuse("the header has " + std::string(kKeys[slot]) + " twice");
        seen[slot] = true;
        if (key == "FIELDS" || key == "COLUMNS") names = t, haveFields = true;
        else if (key == "SIZE") sizes = t, haveSize = true;
        else if (key == "TYPE") types = t, haveType = true;
        else if (key == "COUNT") counts = t, haveCount = true;
        else if (key == "WIDTH" || key == "HEIGHT" || key == "POINTS") {
            std::uint64_t v = 0;
            if (t.size() != 1 || !parseUnsigned(t[0], v))
                return refuse(std::string(key) + " is not a count: \"" + printable(line.substr(0, 64)) + "\"");
            if (key == "WIDTH") h.width = v, haveWidth = true;
            else if (key == "HEIGHT") h.height = v;
            else h.points = v, havePoints = true;
        } else if (key == "DATA") {
            if (t.size() != 1) return refuse("the DATA line names no data kind");
            dataKind = t[0];
            haveData = true;
            h.dataOffset = pos;
        }
        // VERSION and VIEWPOINT do not matter here.
    }
    if (!haveData) return refuse("the header has no DATA line");
    if (!haveFields || names.empty()) return refuse("the header has no FIELDS");
    if (!haveSize || sizes.size() != names.size())
        return refuse("SIZE has " + num(sizes.size()) + " values for " + num(names.size()) + " FIELDS");
    if (!haveType || types.size() != names.size())
        return refuse("TYPE has " + num(types.size()) + " values for " + num(names.size()) + " FIELDS");
    if (haveCount && counts.size() != names.size())
        return refuse("COUNT has " + num(counts.size()) + " values for " + num(names.size()) + " FIELDS");
    if (!haveWidth) return refuse("the header has no WIDTH");

    std::size_t offset = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        Field f;
        f.name = std::string(names[i]);
        std::uint64_t sz = 0, cnt = 1;
        if (!parseUnsigned(sizes[i], sz) || (sz != 1 && sz != 2 && sz != 4 && sz != 8))
            return refuse("field " + f.name + " has SIZE " + std::string(sizes[i]));
        if (types[i].size() != 1 || (types[i][0] != 'I' && types[i][0] != 'U' && types[i][0] != 'F'))
            return refuse("field " + f.name + " has TYPE " + std::string(types[i]));
        if (haveCount && (!parseUnsigned(counts[i], cnt) || cnt == 0 || cnt > std::uint64_t(kMaxFieldCount)))
            return refuse("field " + f.name + " has COUNT " + std::string(counts[i]));
        f.size = int(sz);
        f.type = types[i][0];
        f.count = int(cnt);
        if (f.type == 'F' && f.size != 4 && f.size != 8)
            return refuse("field " + f.name + " is a float of " + num(sz) + " bytes");
        f.offset = offset;
        offset += std::size_t(f.size) * std::size_t(f.count);
        h.valuesPerPoint += std::size_t(f.count);
        h.fields.push_back(std::move(f));
    }
    h.pointBytes = offset;
    if (h.pointBytes > kMaxPointBytes)
        return refuse("a point of " + num(h.pointBytes) + " bytes is more than a file may hold");
    for (const char* axis : {"x", "y", "z"}) {
        const Field* f = h.find(axis);
        if (!f) return refuse(std::string("the file has no field ") + axis);
        if (f->type != 'F' || f->count != 1) return refuse(std::string("field ") + axis + " is not a single float");
    }

    if (h.width > kMaxPoints || h.height > kMaxPoints || h.width * h.height > kMaxPoints)
        return refuse("WIDTH " + num(h.width) + " x HEIGHT " + num(h.height) + " is more points than a file may hold");
    if (!havePoints) h.points = h.width * h.height;
    if (h.points != h.width * h.height)
        return refuse("WIDTH " + num(h.width) + " x HEIGHT " + num(h.height) + " is not POINTS " + num(h.points));

    const std::size_t body = size - h.dataOffset;
    if (dataKind == "ascii") {
        h.data = DataKind::Ascii;
        // Every value takes at least one character and a separator.
        if (h.points > 0 && h.points > (std::uint64_t(body) + 1) / (2 * std::uint64_t(h.valuesPerPoint)))
            return refuse("POINTS " + num(h.points) + " cannot fit in " + num(body) + " bytes of data");
        std::string bad = checkAsciiBody(h, bytes, size);
        if (!bad.empty()) return refuse(std::move(bad));
    } else if (dataKind == "binary") {
        h.data = DataKind::Binary;
        const std::uint64_t need = h.points * std::uint64_t(h.pointBytes);
        if (need > body) return refuse("the binary data is cut short: " + num(body) + " of " + num(need) + " bytes");
    } else if (dataKind == "binary_compressed") {
        h.data = DataKind::BinaryCompressed;
        // Whether a padding field has a column of its own in the unpacked data is read both
        // ways by different writers and readers.
        if (h.find("_")) return refuse("the compressed data has a padding field \"_\"");
        if (h.points > 0) {
            if (body < 8) return refuse("the compressed data has no sizes");
            std::uint32_t packed = 0, unpacked = 0;
            std::memcpy(&packed, bytes + h.dataOffset, 4);
            std::memcpy(&unpacked, bytes + h.dataOffset + 4, 4);
            const std::uint64_t need = h.points * std::uint64_t(h.pointBytes);
            if (packed == 0 || std::uint64_t(packed) + 8 > body)
                return refuse("the compressed size " + num(packed) + " does not fit the " + num(body - 8) + " bytes of data");
            if (unpacked != need)
                return refuse("the uncompressed size " + num(unpacked) + " is not the " + num(need) + " bytes of the points");
            // A compressed run can at most expand a few hundred times.
            if (std::uint64_t(unpacked) > std::uint64_t(packed) * 300 + 1024)
                return refuse("the uncompressed size " + num(unpacked) + " cannot come from " + num(packed) + " bytes");
        }
    } else {
        return refuse("unknown DATA kind \"" + std::string(dataKind.substr(0, 32)) + "\"");
    }

    Check c;
    c.ok = true;
    c.header = std::move(h);
    return c;
}

}  // namespace pcd
}  // namespace kv
