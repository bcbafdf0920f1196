#include "hex_dump.h"

namespace kv {

std::string hexDump(const std::uint8_t* bytes, std::size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(count * 3 + count / kHexDumpLineBytes + 2);
    std::size_t lineEnd = kHexDumpFirstLineBytes;
    for (std::size_t i = 0; i < count; ++i) {
        if (i == lineEnd) {
            out += '\n';
            lineEnd += kHexDumpLineBytes;
        }
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
        out += ' ';
    }
    return out;
}

}  // namespace kv
