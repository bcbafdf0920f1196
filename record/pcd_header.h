// Checks a PCD file's bytes before its points are read (pcd_points.h): the header says one
// thing only (each line a known key, each key once), its lines agree with each other, the
// point count is plausible for the file's size, and the body holds what the header promises
// (every ASCII row complete and numeric, binary data long enough, compressed sizes
// consistent). Pure: bytes in, a verdict out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kv {
namespace pcd {

enum class DataKind { Ascii, Binary, BinaryCompressed };

struct Field {
    std::string name;
    int size = 0;     // bytes per element: 1, 2, 4 or 8
    char type = 0;    // 'I', 'U' or 'F'
    int count = 1;    // elements
    std::size_t offset = 0;  // byte offset inside one binary point
};

struct Header {
    std::vector<Field> fields;
    std::uint64_t width = 0;
    std::uint64_t height = 1;
    std::uint64_t points = 0;
    DataKind data = DataKind::Ascii;
    std::size_t dataOffset = 0;  // first byte after the DATA line
    std::size_t pointBytes = 0;  // bytes of one point in a binary body
    std::size_t valuesPerPoint = 0;  // values of one point in an ASCII row

    const Field* find(const std::string& name) const;
};

struct Check {
    bool ok = false;
    std::string error;  // why the file is refused; empty when ok
    Header header;
};

// The most points a file may declare, whatever its size (a cloud of this many points takes
// 2 GB in memory).
constexpr std::uint64_t kMaxPoints = std::uint64_t(1) << 26;

// Checks the whole file: header and body. x, y and z must be single 4- or 8-byte floats, so
// that no point is read as zeros.
Check checkFile(const std::uint8_t* bytes, std::size_t size);

}  // namespace pcd
}  // namespace kv
