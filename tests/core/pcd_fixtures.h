// PCD files for the tests: a good file in each layout, and malformed ones named after what
// is wrong with them. Built in memory; the tests write them where they need them.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
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

// LZF as literal runs only (at most 32 bytes each): a valid stream for any bytes.
inline std::string lzfLiterals(const std::string& raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); i += 32) {
        const std::size_t n = raw.size() - i < 32 ? raw.size() - i : 32;
        out += char(n - 1);
        out.append(raw, i, n);
    }
    return out;
}

// A binary_compressed body: the two sizes, then the stream.
inline std::string compressedBody(const std::string& stream, std::uint32_t unpacked) {
    const std::uint32_t sizes[2] = {std::uint32_t(stream.size()), unpacked};
    return std::string(reinterpret_cast<const char*>(sizes), 8) + stream;
}

// A string literal with its zero bytes, as printf writes it.
template <std::size_t N>
std::string literal(const char (&s)[N]) {
    return std::string(s, N - 1);
}

template <typename T>
std::string bytesOf(std::initializer_list<T> values) {
    std::string s;
    for (T v : values) s.append(reinterpret_cast<const char*>(&v), sizeof v);
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

        // Headers other readers read differently from the check (they take the first SIZE for
        // typing and the last for reading, stop at a line that is no key and have no fields,
        // or take any word a key begins with for that key): refused, never guessed.
        {"key_twice_size_8_then_4.pcd",
         literal("FIELDS x y z\nSIZE 8 8 8\nTYPE F F F\nSIZE 4 4 4\nWIDTH 1\nHEIGHT 1\nPOINTS 1\nDATA binary_compressed\n"
                 "\x0d\0\0\0\x0c\0\0\0\x0b\0\0\x80?\0\0\x80?\0\0\x80?"),
         "SIZE twice"},
        {"key_twice_fields_and_columns.pcd", "COLUMNS x y z\n" + pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2, 1, 2, "ascii") + xyz3,
         "FIELDS twice"},
        {"unknown_line_first.pcd",
         literal("FOO\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nWIDTH 1\nHEIGHT 1\nPOINTS 1\nDATA binary\n\0\0\x80?\0\0\0@\0\0@@"),
         "\"FOO\" is not a PCD key"},
        {"cr_only_line_first.pcd", "\r\n" + pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 1, 1, 1, "binary") + bytesOf<float>({1, 2, 3}),
         "holds only spaces (line 1)"},
        {"space_only_line_first.pcd", " \n" + pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 1, 1, 1, "binary") + bytesOf<float>({1, 2, 3}),
         "holds only spaces (line 1)"},
        {"key_after_a_space.pcd", " " + pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2, 1, 2, "ascii") + xyz3, "begins with a space"},
        {"key_prefix_sizex.pcd", "SIZEX 8 8 8\n" + pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2, 1, 2, "ascii") + xyz3,
         "\"SIZEX 8 8 8\" is not a PCD key"},
        {"key_prefix_counts.pcd", pcdHeader("x y z", "4 4 4", "F F F", "", 2, 1, 2, "ascii").insert(0, "COUNTS 2 2 2\n") + xyz3,
         "\"COUNTS 2 2 2\" is not a PCD key"},
        {"type_of_unknown_letter.pcd", pcdHeader("x y z", "4 4 4", "F F D", "1 1 1", 2, 1, 2, "ascii") + xyz3, "TYPE D"},
        {"unsigned_of_three_bytes.pcd", pcdHeader("x y z i", "4 4 4 3", "F F F U", "1 1 1 1", 2, 1, 2, "ascii") + "1 2 3 4\n4 5 6 7\n",
         "SIZE 3"},
        {"compressed_with_padding_field.pcd",
         pcdHeader("x y z _", "4 4 4 1", "F F F U", "1 1 1 4", 1, 1, 1, "binary_compressed") +
             compressedBody(lzfLiterals(bytesOf<float>({1, 2, 3, 0})), 16),
         "padding field"},
        // Compressed data whose sizes agree with the header but whose stream does not.
        {"compressed_stream_unpacks_short.pcd",
         pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 1, 1, 1, "binary_compressed") + compressedBody(lzfLiterals(bytesOf<float>({1, 2})), 12),
         "unpacks to 8 of 12 bytes"},
        {"compressed_stream_reaches_back_before_start.pcd",
         pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 1, 1, 1, "binary_compressed") + compressedBody(bytesOf<std::uint8_t>({0, 'A', 0xe0, 5, 0x10}), 12),
         "corrupt"},
        {"compressed_stream_runs_past_its_size.pcd",
         pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 1, 1, 1, "binary_compressed") + compressedBody(lzfLiterals(bytesOf<float>({1, 2, 3, 4})), 12),
         "corrupt"},
    };
}

// Files the check accepts that other readers read differently, each with the points it holds
// by the header: a binary body that looks like header lines is data, and doubles beyond float
// range are narrowed to infinity and left out.
struct ReadOurWayPcd {
    const char* file;
    std::string bytes;
    std::vector<std::array<float, 3>> kept;
    std::size_t dropped;
};

inline std::vector<ReadOurWayPcd> pcdsReadOurWay() {
    const std::string headerLike = literal("#\nCOLUMNS\n\0\0");  // one point of three floats
    float first[3];
    std::memcpy(first, headerLike.data(), 12);
    const std::string xyz8 = pcdHeader("x y z", "8 8 8", "F F F", "1 1 1", 3, 1, 3, "");
    const std::vector<std::array<float, 3>> lastOnly = {{1.5f, 2.5f, 3.5f}};
    const std::string farPoints = bytesOf<double>({1e300, 0, 0, 0, -1e39, 0, 1.5, 2.5, 3.5});
    const std::string farColumns = bytesOf<double>({1e300, 0, 1.5, 0, -1e39, 2.5, 0, 0, 3.5});
    return {
        {"binary_body_begins_like_header_lines.pcd",
         pcdHeader("x y z", "4 4 4", "F F F", "1 1 1", 2, 1, 2, "binary") + headerLike + bytesOf<float>({1, 2, 3}),
         {{first[0], first[1], first[2]}, {1, 2, 3}}, 0},
        {"doubles_beyond_float_range_binary.pcd", xyz8 + "DATA binary\n" + farPoints, lastOnly, 2},
        {"doubles_beyond_float_range_compressed.pcd", xyz8 + "DATA binary_compressed\n" + compressedBody(lzfLiterals(farColumns), 72),
         lastOnly, 2},
        {"doubles_beyond_float_range_ascii.pcd", xyz8 + "DATA ascii\n1e300 0 0\n0 -1e39 0\n1.5 2.5 3.5\n", lastOnly, 2},
    };
}

}  // namespace kvtest
