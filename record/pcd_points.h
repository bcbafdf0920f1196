// Reads the points of a PCD file from its bytes, under the header checkFile() accepted: ASCII
// rows, binary points and LZF-compressed field columns alike, so that no file is ever read by
// rules other than the ones it was checked by. Pure: bytes in, display points out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "frame_display.h"

namespace kv {
namespace pcd {

struct PointsRead {
    bool ok = false;
    std::string error;                 // why the file was refused; empty when ok
    std::vector<ColouredPoint> points;  // the points with finite coordinates, in file order
    bool hadColour = false;     // the file has an rgb or rgba field of four bytes
    bool hadIntensity = false;  // without colour, points are coloured by this field
    std::size_t droppedPoints = 0;  // points whose coordinates are not finite as floats
};

// Checks the file and reads its points. Files without colour are coloured by their intensity
// field when they have one (values in 0..1 spread over the ramp's 0..255), white otherwise.
// Coordinates stored as doubles are narrowed to floats first: a point beyond float range is
// left out like a NaN one.
PointsRead readPoints(const std::uint8_t* bytes, std::size_t size);

// LZF decompression of `in` into at most `outCapacity` bytes; the bytes written, or -1 when
// the stream is corrupt or would write past the end.
long lzfDecompress(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t outCapacity);

}  // namespace pcd
}  // namespace kv
