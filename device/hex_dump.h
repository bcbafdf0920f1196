// The packet hex dump shared by the audit trail and the parameter file: each byte as two
// lower-case hexadecimal digits and a space; 6 bytes on the first line, then 16 a line; every
// line but the last ends with a line break.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

constexpr std::size_t kHexDumpFirstLineBytes = 6;
constexpr std::size_t kHexDumpLineBytes = 16;

std::string hexDump(const std::uint8_t* bytes, std::size_t count);

}  // namespace kv
