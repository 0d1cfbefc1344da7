// Helpers of the clip mail tests.
#include "tests/clipmail/test_support.h"

#include <fstream>
#include <iterator>

namespace kerris::clipmail::test {

std::vector<uint8_t> RawBitmap::bytes() const {
    std::vector<uint8_t> out;
    auto put16 = [&](uint16_t v) {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    };
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    };
    uint32_t table = uint32_t(4 * colours.size());
    uint32_t off = offBits ? offBits : 54 + table;
    put16(type);
    put32(off + uint32_t(bits.size()));
    put32(0);
    put32(off);
    put32(headerSize);
    put32(uint32_t(width));
    put32(uint32_t(height));
    put16(1);
    put16(bitCount);
    put32(compression);
    put32(sizeImage);
    put32(2835);
    put32(2835);
    put32(clrUsed);
    put32(0);
    for (uint32_t c : colours)
        put32(c & 0xFFFFFF);
    out.insert(out.end(), bits.begin(), bits.end());
    return out;
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f),
                                std::istreambuf_iterator<char>());
}

QImage solidImage(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

} // namespace kerris::clipmail::test
