// Acquired images written as 24-bit bitmap files.
#include "platform/acquire/acquisition_source.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace kerris::acquire {

namespace {

void put16(std::vector<uint8_t>& out, std::size_t at, uint32_t v) {
    out[at] = uint8_t(v), out[at + 1] = uint8_t(v >> 8);
}

void put32(std::vector<uint8_t>& out, std::size_t at, uint32_t v) {
    put16(out, at, v & 0xFFFF), put16(out, at + 2, v >> 16);
}

} // namespace

bool WriteRgbBitmap(const RgbImage& image, const std::string& fileName) {
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() != std::size_t(image.width) * std::size_t(image.height) * 3)
        return false;
    const std::size_t stride = (std::size_t(image.width) * 3 + 3) & ~std::size_t(3);
    const std::size_t pixels = stride * std::size_t(image.height);
    if (pixels > 0xFFFFFFFFu - 54)
        return false;
    std::vector<uint8_t> file(54 + pixels, 0);
    file[0] = 'B', file[1] = 'M';
    put32(file, 2, uint32_t(file.size()));
    put32(file, 10, 54);
    put32(file, 14, 40);
    put32(file, 18, uint32_t(image.width));
    put32(file, 22, uint32_t(image.height));
    put16(file, 26, 1);
    put16(file, 28, 24);
    put32(file, 34, uint32_t(pixels));
    put32(file, 38, 2835), put32(file, 42, 2835); // 72 dpi
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* src = &image.rgb[std::size_t(image.height - 1 - y) * image.width * 3];
        uint8_t* dst = &file[54 + stride * std::size_t(y)];
        for (int x = 0; x < image.width; ++x, src += 3, dst += 3)
            dst[0] = src[2], dst[1] = src[1], dst[2] = src[0];
    }

    const std::filesystem::path target(fileName);
    const std::filesystem::path temporary =
        target.parent_path() / ("." + target.filename().string() + ".part");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size())) ||
            !out.flush()) {
            out.close();
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, target, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

} // namespace kerris::acquire
