// Writes the PCD test fixtures into a directory, as the fuzzer's first corpus.
#include <cstdio>
#include <fstream>
#include <string>

#include "pcd_fixtures.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    auto put = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(dir + "/" + name, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    };
    put("good_ascii.pcd", kvtest::goodAsciiPcd());
    put("good_binary.pcd", kvtest::goodBinaryPcd());
    for (const kvtest::MalformedPcd& f : kvtest::malformedPcds()) put(f.file, f.bytes);
    for (const kvtest::ReadOurWayPcd& f : kvtest::pcdsReadOurWay()) put(f.file, f.bytes);
    return 0;
}
