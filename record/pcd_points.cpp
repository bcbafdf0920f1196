#include "pcd_points.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "pcd_header.h"
#include "point_geometry.h"

namespace kv {
namespace pcd {

namespace {

// A double as the float a point holds: beyond float range it is infinite (and the point is
// left out), never a conversion out of range.
float narrow(double v) {
    if (std::fabs(v) <= double(std::numeric_limits<float>::max())) return float(v);
    if (std::isnan(v)) return std::numeric_limits<float>::quiet_NaN();
    return v < 0 ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
}

double valueAt(const std::uint8_t* p, const Field& f) {
    auto get = [p](auto v) {
        std::memcpy(&v, p, sizeof v);
        return double(v);
    };
    if (f.type == 'F') return f.size == 4 ? get(float()) : get(double());
    const bool isSigned = f.type == 'I';
    switch (f.size) {
    case 1: return isSigned ? get(std::int8_t()) : get(std::uint8_t());
    case 2: return isSigned ? get(std::int16_t()) : get(std::uint16_t());
    case 4: return isSigned ? get(std::int32_t()) : get(std::uint32_t());
    default: return isSigned ? get(std::int64_t()) : get(std::uint64_t());
    }
}

float coordinateAt(const std::uint8_t* p, const Field& f) {
    if (f.size == 4) {
        float v;
        std::memcpy(&v, p, 4);
        return v;
    }
    double v;
    std::memcpy(&v, p, 8);
    return narrow(v);
}

// The colour field: rgb, else rgba, of four bytes (the packed 0xAARRGGBB of the writer).
const Field* colourField(const Header& h) {
    for (const char* name : {"rgb", "rgba"}) {
        const Field* f = h.find(name);
        if (f && f->size == 4) return f;
    }
    return nullptr;
}

Rgb unpack(std::uint32_t packed) { return {std::uint8_t(packed >> 16), std::uint8_t(packed >> 8), std::uint8_t(packed)}; }

// Intensities in 0..1 (as many tools write them) are spread over the colour ramp's 0..255.
struct IntensityRamp {
    double scale = 1.0;
    Rgb operator()(double v) const {
        const double level = v * scale;
        return intensityColour(std::isfinite(level) ? int(std::lround(std::clamp(level, 0.0, 255.0))) : 0);
    }
};

IntensityRamp rampFor(double top) {
    IntensityRamp r;
    if (top <= 1.0) r.scale = 255.0;
    return r;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Parses one checked ASCII value (the check has made sure it is a number) as a T, rounded
// once: nan and inf in any case, with an optional sign.
template <typename T>
T parseValue(const char* b, const char* e) {
    bool negative = false;
    if (b < e && (*b == '+' || *b == '-')) negative = *b++ == '-';
    T v = 0;
    const auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc()) {
        // Out of range: zero for a large negative exponent, else infinity (the point is then
        // left out).
        const char* exp = std::find_if(b, e, [](char c) { return c == 'e' || c == 'E'; });
        v = (exp + 1 < e && exp[1] == '-') ? T(0) : std::numeric_limits<T>::infinity();
    }
    return negative ? -v : v;
}

// A coordinate as the float a point holds: a four-byte field parsed as a float, an eight-byte
// one as a double and then narrowed.
float parseCoordinate(const char* b, const char* e, const Field& f) {
    return f.size == 4 ? parseValue<float>(b, e) : narrow(parseValue<double>(b, e));
}

std::uint32_t parseColour(const char* b, const char* e, char type) {
    if (type == 'F') {
        const float f = parseValue<float>(b, e);
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        return bits;
    }
    bool negative = false;
    if (b < e && (*b == '+' || *b == '-')) negative = *b++ == '-';
    std::uint64_t v = 0;
    if (std::from_chars(b, e, v).ec != std::errc()) return 0;  // nan in an integer field reads as 0
    return std::uint32_t(negative ? std::uint64_t(0) - v : v);
}

// The ASCII body, walked as the check walked it: empty lines are skipped, the first POINTS
// rows are read.
void readAscii(const Header& h, const std::uint8_t* bytes, std::size_t size, PointsRead& r) {
    auto valueIndex = [&](const Field* wanted) -> long {
        std::size_t index = 0;
        for (const Field& f : h.fields) {
            if (&f == wanted) return long(index);
            index += std::size_t(f.count);
        }
        return -1;
    };
    const Field* colour = colourField(h);
    const Field* intensity = colour ? nullptr : h.find("intensity");
    const Field* fx = h.find("x");
    const Field* fy = h.find("y");
    const Field* fz = h.find("z");
    const long xi = valueIndex(fx), yi = valueIndex(fy), zi = valueIndex(fz);
    const long ci = valueIndex(colour), ii = valueIndex(intensity);

    struct Row {
        float x, y, z;
        std::uint32_t packed;
        double intensity;
    };
    std::vector<Row> rows;
    rows.reserve(std::size_t(h.points));
    const char* p = reinterpret_cast<const char*>(bytes) + h.dataOffset;
    const char* end = reinterpret_cast<const char*>(bytes) + size;
    double top = 0.0;
    while (rows.size() < h.points && p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
        const char* lineEnd = nl ? nl : end;
        if (lineEnd != p) {
            Row row{0, 0, 0, 0, 0};
            long v = 0;
            for (const char* q = p; q < lineEnd; ++v) {
                while (q < lineEnd && isSpace(*q)) ++q;
                const char* start = q;
                while (q < lineEnd && !isSpace(*q)) ++q;
                if (q == start) break;
                if (v == xi) row.x = parseCoordinate(start, q, *fx);
                else if (v == yi) row.y = parseCoordinate(start, q, *fy);
                else if (v == zi) row.z = parseCoordinate(start, q, *fz);
                else if (v == ci) row.packed = parseColour(start, q, colour->type);
                else if (v == ii) row.intensity = parseValue<double>(start, q);
            }
            rows.push_back(row);
            if (intensity && std::isfinite(row.intensity)) top = std::max(top, row.intensity);
        }
        p = nl ? nl + 1 : end;
    }
    const IntensityRamp ramp = rampFor(top);
    r.points.reserve(rows.size());
    for (const Row& row : rows) {
        if (!std::isfinite(row.x) || !std::isfinite(row.y) || !std::isfinite(row.z)) {
            ++r.droppedPoints;
            continue;
        }
        const Rgb c = colour ? unpack(row.packed) : intensity ? ramp(row.intensity) : Rgb{255, 255, 255};
        r.points.push_back(ColouredPoint{row.x, row.y, row.z, c});
    }
}

// Where each field's first element of point i lies: base + i * stride. In a binary body the
// points follow each other; a compressed body unpacks to one column per field.
struct Column {
    const std::uint8_t* base = nullptr;
    std::size_t stride = 0;
    const std::uint8_t* at(std::uint64_t i) const { return base + std::size_t(i) * stride; }
};

void readBinary(const Header& h, const std::vector<Column>& columns, PointsRead& r) {
    auto column = [&](const Field* f) -> const Column* {
        return f ? &columns[std::size_t(f - h.fields.data())] : nullptr;
    };
    const Field* fx = h.find("x");
    const Field* fy = h.find("y");
    const Field* fz = h.find("z");
    const Field* colour = colourField(h);
    const Field* intensity = colour ? nullptr : h.find("intensity");
    const Column *cx = column(fx), *cy = column(fy), *cz = column(fz), *cc = column(colour), *ci = column(intensity);

    IntensityRamp ramp;
    if (intensity) {
        double top = 0.0;
        for (std::uint64_t i = 0; i < h.points; ++i) {
            const double v = valueAt(ci->at(i), *intensity);
            if (std::isfinite(v)) top = std::max(top, v);
        }
        ramp = rampFor(top);
    }
    r.points.reserve(std::size_t(h.points));
    for (std::uint64_t i = 0; i < h.points; ++i) {
        const float x = coordinateAt(cx->at(i), *fx);
        const float y = coordinateAt(cy->at(i), *fy);
        const float z = coordinateAt(cz->at(i), *fz);
        if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
            ++r.droppedPoints;
            continue;
        }
        Rgb c{255, 255, 255};
        if (colour) {
            std::uint32_t packed;
            std::memcpy(&packed, cc->at(i), 4);
            c = unpack(packed);
        } else if (intensity) {
            c = ramp(valueAt(ci->at(i), *intensity));
        }
        r.points.push_back(ColouredPoint{x, y, z, c});
    }
}

std::string num(std::uint64_t v) { return std::to_string(v); }

}  // namespace

long lzfDecompress(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t outCapacity) {
    std::size_t ip = 0, op = 0;
    while (ip < inSize) {
        std::size_t ctrl = in[ip++];
        if (ctrl < 32) {  // a run of ctrl + 1 literal bytes
            const std::size_t len = ctrl + 1;
            if (len > inSize - ip || len > outCapacity - op) return -1;
            std::memcpy(out + op, in + ip, len);
            ip += len;
            op += len;
        } else {  // a back reference: length, then the distance back
            std::size_t len = ctrl >> 5;
            if (ip >= inSize) return -1;
            if (len == 7) {
                len += in[ip++];
                if (ip >= inSize) return -1;
            }
            const std::size_t back = ((ctrl & 0x1f) << 8) + in[ip++] + 1;
            len += 2;
            if (back > op || len > outCapacity - op) return -1;
            // Byte by byte: the source may overlap what is being written.
            for (std::size_t k = 0; k < len; ++k, ++op) out[op] = out[op - back];
        }
    }
    return long(op);
}

PointsRead readPoints(const std::uint8_t* bytes, std::size_t size) {
    PointsRead r;
    Check check = checkFile(bytes, size);
    if (!check.ok) {
        r.error = std::move(check.error);
        return r;
    }
    const Header& h = check.header;
    r.hadColour = colourField(h) != nullptr;
    r.hadIntensity = !r.hadColour && h.find("intensity");
    if (h.points == 0) {
        r.ok = true;
        return r;
    }
    const std::uint8_t* body = bytes + h.dataOffset;
    std::vector<Column> columns(h.fields.size());
    if (h.data == DataKind::Ascii) {
        readAscii(h, bytes, size, r);
    } else if (h.data == DataKind::Binary) {
        for (std::size_t k = 0; k < h.fields.size(); ++k) columns[k] = {body + h.fields[k].offset, h.pointBytes};
        readBinary(h, columns, r);
    } else {
        // The check has matched both sizes against the header and the file.
        std::uint32_t packed = 0, unpacked = 0;
        std::memcpy(&packed, body, 4);
        std::memcpy(&unpacked, body + 4, 4);
        std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[unpacked]);
        const long got = lzfDecompress(body + 8, packed, buffer.get(), unpacked);
        if (got != long(unpacked)) {
            r.error = got < 0 ? "the compressed data is corrupt"
                              : "the compressed data unpacks to " + num(std::uint64_t(got)) + " of " + num(unpacked) + " bytes";
            return r;
        }
        // One column per field, in header order.
        std::size_t start = 0;
        for (std::size_t k = 0; k < h.fields.size(); ++k) {
            const std::size_t width = std::size_t(h.fields[k].size) * std::size_t(h.fields[k].count);
            columns[k] = {buffer.get() + start, width};
            start += width * std::size_t(h.points);
        }
        readBinary(h, columns, r);
    }
    r.ok = true;
    return r;
}

}  // namespace pcd
}  // namespace kv
