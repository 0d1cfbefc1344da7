// Builds bitmap file bytes field by field, so tests can state exactly what a header claims.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kerris::test {

struct BitmapBuilder {
    int32_t width = 4, height = 2;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t infoSize = 40;
    int64_t imageSize = -1;   // -1: the rows' size
    int64_t pixelOffset = -1; // -1: right behind header and table
    uint32_t coloursUsed = 0;
    std::vector<uint8_t> table;  // colour table (or masks) bytes
    std::vector<uint8_t> pixels; // raw pixel bytes as stored
    int64_t truncateTo = -1;     // cut the file to this many bytes

    std::size_t rowBytes() const { return (std::size_t(width) * bits + 31) / 32 * 4; }

    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out;
        auto u16 = [&](uint32_t v) { out.push_back(uint8_t(v)), out.push_back(uint8_t(v >> 8)); };
        auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
        const uint32_t offset =
            pixelOffset >= 0 ? uint32_t(pixelOffset) : uint32_t(14 + infoSize + table.size());
        const uint32_t size = imageSize >= 0 ? uint32_t(imageSize) : uint32_t(pixels.size());
        out.push_back('B'), out.push_back('M');
        u32(uint32_t(offset + pixels.size()));
        u32(0);
        u32(offset);
        u32(infoSize);
        u32(uint32_t(width));
        u32(uint32_t(height));
        u16(1);
        u16(bits);
        u32(compression);
        u32(size);
        u32(2835), u32(2835);
        u32(coloursUsed);
        u32(0);
        if (out.size() < 14 + infoSize)
            out.resize(14 + infoSize, 0);
        out.insert(out.end(), table.begin(), table.end());
        if (out.size() < offset)
            out.resize(offset, 0);
        out.insert(out.end(), pixels.begin(), pixels.end());
        if (truncateTo >= 0)
            out.resize(std::size_t(truncateTo));
        return out;
    }

    void write(const std::filesystem::path& path) const {
        const auto data = bytes();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    }
};

// A 24-bit file of width x height filled with one colour (B, G, R).
inline void writeSolidBitmap(const std::filesystem::path& path, int width, int height, uint8_t b,
                             uint8_t g, uint8_t r) {
    BitmapBuilder builder;
    builder.width = width;
    builder.height = height;
    builder.pixels.assign(builder.rowBytes() * std::size_t(height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &builder.pixels[builder.rowBytes() * std::size_t(y) + 3 * std::size_t(x)];
            p[0] = b, p[1] = g, p[2] = r;
        }
    builder.write(path);
}

inline std::vector<uint8_t> readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

} // namespace kerris::test
