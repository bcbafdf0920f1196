// PCD files for the tests: a good file in each layout, and malformed ones named after what
// is wrong with them. Built in memory; the tests write them where they need them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kvtest {

inline std::string pcdHeader(const std::string& fields, const std::string& sizes, const std::string& types,
                             const std::string& counts, unsigned width, unsigned height, unsigned points,
                             const std::string& data) {
    std::string h = "# .PCD v0.7 - Point Cloud Data file format\nVERSION 0.7\n";
    if (!fields.empty()) h += "FIELDS " + fields + "\n";
    if (!sizes.empty()) h += "SIZE " + sizes + "\n";
    if (!types.empty()) h += "TYPE " + types + "\n";
    if (!counts.empty()) h += "COUNT " + counts + "\n";
    h += "WIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
         "\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS " + std::to_string(points) + "\n";
    if (!data.empty()) h += "DATA " + data + "\n";
    return h;
}

// Three points (1,2,3) (4,5,6) (7,8,9) coloured red, green, blue, as PCL writes colour.
inline std::string goodAsciiPcd() {
    return pcdHeader("x y z rgb", "4 4 4 4", "F F F U", "1 1 1 1", 3, 1, 3, "ascii") +
           "1 2 3 16711680\n4 5 6 65280\n7 8 9 255\n";
}

// The same three points, binary, x y z rgb of four bytes each.
inline std::string goodBinaryPcd(unsigned keepPoints = 3) {
    std::string s = pcdHeader("x y z rgb", "4 4 4 4", "F F F U", "1 1 1 1", 3, 1, 3, "binary");
    const float xyz[3][3] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    const std::uint32_t rgb[3] = {0xFF0000u, 0x00FF00u, 0x0000FFu};
    for (unsigned i = 0; i < keepPoints; ++i) {
        char b[16];
        std::memcpy(b, xyz[i], 12);
        std::memcpy(b + 12, &rgb[i], 4);
        s.append(b, 16);
    }
    return s;
}

struct MalformedPcd {
    const char* file;      // named after the fault
    std::string bytes;
    const char* reason;    // part of the message that names it
};

inline std::vector<MalformedPcd> malformedPcds() {
    const std::string xyz3 = "1 2 3\n4 5 6\n";
    std::string compressed = pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2, 1, 2, "binary_compressed");
    {
        const std::uint32_t sizes[2] = {4000, 24};  // 4000 bytes claimed, 6 present
        compressed.append(reinterpret_cast<const char*>(sizes), 8);
        compressed.append("abcdef");
    }
    std::string compressedUnpacked = pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2, 1, 2, "binary_compressed");
    {
        const std::uint32_t sizes[2] = {6, 0x7FFFFFFFu};  // absurd uncompressed size
        compressedUnpacked.append(reinterpret_cast<const char*>(sizes), 8);
        compressedUnpacked.append("abcdef");
    }
    return {
        {"empty_file.pcd", "", "empty"},
        {"no_fields.pcd", pcdHeader("", "4 4 4", "F F F", "1 1 1", 2, 1, 2, "ascii") + xyz3, "FIELDS"},
        {"empty_fields.pcd", "FIELDS\n" + pcdHeader("", "4 4 4", "F F F", "", 2, 1, 2, "ascii") + xyz3, "FIELDS"},
        {"size_shorter_than_fields.pcd", pcdHeader("x y z", "4 4", "F F F", "1 1 1", 2, 1, 2, "ascii") + xyz3, "SIZE"},
        {"type_longer_than_fields.pcd", pcdHeader("x y z", "4 4 4", "F F F F", "1 1 1", 2, 1, 2, "ascii") + xyz3, "TYPE"},
        {"count_shorter_than_fields.pcd", pcdHeader("x y z", "4 4 4", "F F F", "1 1", 2, 1, 2, "ascii") + xyz3, "COUNT"},
        {"width_height_not_points.pcd", pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2, 2, 2, "ascii") + xyz3, "POINTS"},
        {"points_2_pow_31.pcd", pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2147483648u, 1, 2147483648u, "ascii") + xyz3, "more points"},
        {"points_more_than_rows_fit.pcd", pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 1000000, 1, 1000000, "ascii") + xyz3, "cannot fit"},
        {"no_data_line.pcd", pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2, 1, 2, "") + xyz3, "DATA"},
        {"unknown_data_kind.pcd", pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2, 1, 2, "zipped") + xyz3, "DATA kind"},
        {"binary_cut_short.pcd", goodBinaryPcd(2), "cut short"},
        {"binary_compressed_size_past_end.pcd", compressed, "compressed size"},
        {"binary_compressed_wrong_uncompressed_size.pcd", compressedUnpacked, "uncompressed size"},
        {"ascii_row_with_fewer_values.pcd", pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2, 1, 2, "ascii") + "1.5 2.5 3.5\n4.5 5.5\n", "row 2"},
        {"ascii_fewer_rows_than_points.pcd", pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 3, 1, 3, "ascii") + "1.25 2.25 3.25\n4.25 5.25 6.25\n", "2 rows"},
        {"text_where_numbers_belong.pcd", pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2, 1, 2, "ascii") + "1 2 3\n4 five 6\n", "five"},
        {"text_in_integer_field.pcd", pcdHeader("x y z rgb", "4 4 4 4", "F F F U", "1 1 1 1", 1, 1, 1, "ascii") + "1 2 3 1.5e3\n", "1.5e3"},
        {"width_not_a_number.pcd", pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2, 1, 2, "ascii").replace(0, 0, "WIDTH two\n") + xyz3, "WIDTH"},
        {"negative_height.pcd", "HEIGHT -1\n" + pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2, 1, 2, "ascii") + xyz3, "HEIGHT"},
        {"no_z_field.pcd", pcdHeader("x y", "4 4", "F F", "1 1", 2, 1, 2, "ascii") + "1 2\n4 5\n", "field z"},
        {"x_as_integer.pcd", pcdHeader("x y z", "4 4 4", "I F F", "1 1 1", 2, 1, 2, "ascii") + xyz3, "single float"},
        {"float_of_two_bytes.pcd", pcdHeader("x y z", "2 4 4", "F F F", "1 1 1", 2, 1, 2, "ascii") + xyz3, "float of 2"},
        {"size_three.pcd", pcdHeader("x y z", "3 4 4", "F F F", "1 1 1", 2, 1, 2, "ascii") + xyz3, "SIZE 3"},
        {"count_zero.pcd", pcdHeader("x y z", "4 4 4", "F F F", "1 0 1", 2, 1, 2, "ascii") + xyz3, "COUNT 0"},
        {"binary_garbage.pcd", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "binary bytes"},
    };
}

}  // namespace kvtest
