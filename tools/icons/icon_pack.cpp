// Packs PNG files into one Windows icon file (an ICONDIR, one ICONDIRENTRY per image, then each
// image's PNG data as it is), the form that Qt's ico reader and every current system read.
//
//   kv-icon-pack <out.ico> <image.png>...
//
// Each image's size comes from its PNG header; a file that is not a PNG is refused.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Png {
    std::string path;
    std::vector<unsigned char> bytes;
    std::uint32_t width = 0, height = 0;
};

std::uint32_t be32(const unsigned char* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

bool readPng(Png& png) {
    std::ifstream in(png.path, std::ios::binary);
    if (!in) return false;
    png.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    // Signature, then the IHDR chunk: length, type, width, height.
    if (png.bytes.size() < 24 || !std::equal(kSignature, kSignature + 8, png.bytes.begin()) ||
        std::string(png.bytes.begin() + 12, png.bytes.begin() + 16) != "IHDR")
        return false;
    png.width = be32(&png.bytes[16]);
    png.height = be32(&png.bytes[20]);
    return png.width > 0 && png.width <= 256 && png.height > 0 && png.height <= 256;
}

void le16(std::vector<unsigned char>& out, unsigned v) {
    out.push_back(v & 0xff);
    out.push_back((v >> 8) & 0xff);
}
void le32(std::vector<unsigned char>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back((v >> (8 * i)) & 0xff);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: kv-icon-pack <out.ico> <image.png>...\n");
        return 2;
    }
    std::vector<Png> images;
    for (int i = 2; i < argc; ++i) {
        Png png;
        png.path = argv[i];
        if (!readPng(png)) {
            std::fprintf(stderr, "kv-icon-pack: %s is not a PNG of at most 256 px\n", argv[i]);
            return 1;
        }
        images.push_back(std::move(png));
    }
    std::vector<unsigned char> out;
    le16(out, 0);  // reserved
    le16(out, 1);  // type: icon
    le16(out, unsigned(images.size()));
    std::uint32_t offset = std::uint32_t(6 + 16 * images.size());
    for (const Png& png : images) {
        out.push_back(png.width >= 256 ? 0 : png.width);  // 0 stands for 256
        out.push_back(png.height >= 256 ? 0 : png.height);
        out.push_back(0);  // palette colours
        out.push_back(0);  // reserved
        le16(out, 1);      // planes
        le16(out, 32);     // bits per pixel
        le32(out, std::uint32_t(png.bytes.size()));
        le32(out, offset);
        offset += std::uint32_t(png.bytes.size());
    }
    for (const Png& png : images) out.insert(out.end(), png.bytes.begin(), png.bytes.end());
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    if (!file.flush()) {
        std::fprintf(stderr, "kv-icon-pack: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
