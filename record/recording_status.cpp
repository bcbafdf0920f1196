#include "recording_status.h"

#include <cstdio>

namespace kv {

std::string byteSizeText(std::uint64_t bytes) {
    if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static const char* const units[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    double value = double(bytes) / 1000.0;
    std::size_t unit = 0;
    // Rounded to one decimal first, so that 999 960 bytes reads "1.0 MB" rather than "1000.0 kB".
    while (value >= 999.95 && unit + 1 < sizeof units / sizeof *units) {
        value /= 1000.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::string captureRecordingText(const std::string& file, std::uint64_t packets, std::uint64_t bytes, bool running) {
    const std::string figures =
        std::to_string(packets) + (packets == 1 ? " packet, " : " packets, ") + byteSizeText(bytes);
    return running ? "Recording into " + file + ": " + figures : "Recording ended: " + file + ", " + figures;
}

}  // namespace kv
