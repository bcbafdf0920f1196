// What the status bar says about a capture recording: the file, what it holds so far, and that
// it ended.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

// A byte count as people read it: "812 bytes", "4.1 kB", "12.7 MB", "1.3 GB" (powers of 1000).
std::string byteSizeText(std::uint64_t bytes);

// "Recording into FILE: N packets, SIZE" while it runs; "Recording ended: FILE, N packets, SIZE"
// once it has stopped.
std::string captureRecordingText(const std::string& file, std::uint64_t packets, std::uint64_t bytes, bool running);

}  // namespace kv
