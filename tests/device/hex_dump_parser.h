// Reads the packet hex-dump layout back, checking it strictly: the tests' half of every dump
// round trip.
#pragma once

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace kvtest {

// The bytes of a dump, or nullopt (with `why`) when the text is not in the layout: 6 bytes on
// the first line, 16 on each further one (the last may hold fewer), each byte as two
// lower-case hexadecimal digits and a space, a line break after every line but the last.
inline std::optional<std::vector<std::uint8_t>> parseHexDump(const std::string& text, std::string* why = nullptr) {
    auto fail = [&](const std::string& w) -> std::optional<std::vector<std::uint8_t>> {
        if (why) *why = w;
        return std::nullopt;
    };
    std::vector<std::uint8_t> out;
    if (text.empty()) return out;
    if (text.back() == '\n') return fail("line break after the last line");
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (true) {
        const std::size_t nl = text.find('\n', pos);
        lines.push_back(text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos));
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    auto nibble = [](char c) { return (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1; };
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const std::string& line = lines[l];
        if (line.size() % 3 != 0 || line.empty()) return fail("line " + std::to_string(l + 1) + " is not whole bytes");
        const std::size_t n = line.size() / 3;
        const std::size_t want = l == 0 ? 6 : 16;
        if (n > want || (n < want && l + 1 != lines.size()))
            return fail("line " + std::to_string(l + 1) + " holds " + std::to_string(n) + " bytes");
        for (std::size_t i = 0; i < n; ++i) {
            const int hi = nibble(line[3 * i]), lo = nibble(line[3 * i + 1]);
            if (hi < 0 || lo < 0 || line[3 * i + 2] != ' ') return fail("bad byte on line " + std::to_string(l + 1));
            out.push_back(std::uint8_t(hi * 16 + lo));
        }
    }
    return out;
}

inline std::size_t lineCount(const std::string& text) {
    if (text.empty()) return 0;
    std::size_t n = 1;
    for (char c : text) n += c == '\n';
    return n;
}

}  // namespace kvtest
