// Bitmap file decoding and encoding (24 bits per pixel, no compression).
#include "devices/virtualcam/bitmap_file.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

namespace kerris::virtualcam {

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

std::optional<Picture> fail(std::string* error, const char* text) {
    if (error)
        *error = text;
    return std::nullopt;
}

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;

} // namespace

std::optional<Picture> decodeBitmap(const uint8_t* data, size_t size, std::string* error) {
    if (!data || size < kFileHeaderSize + kInfoHeaderSize)
        return fail(error, "file too short for a bitmap header");
    if (data[0] != 'B' || data[1] != 'M')
        return fail(error, "not a bitmap file");
    const uint32_t pixelOffset = le32(data + 10);
    const uint8_t* info = data + kFileHeaderSize;
    const uint32_t infoSize = le32(info);
    if (infoSize < kInfoHeaderSize || infoSize > size - kFileHeaderSize)
        return fail(error, "unsupported bitmap information header");
    const int32_t width = int32_t(le32(info + 4));
    const int32_t rawHeight = int32_t(le32(info + 8));
    if (le16(info + 12) != 1 || le16(info + 14) != 24 || le32(info + 16) != 0)
        return fail(error, "only uncompressed 24-bit bitmaps are served");
    if (width <= 0 || width > kMaxBitmapSide || rawHeight == 0 || rawHeight < -kMaxBitmapSide ||
        rawHeight > kMaxBitmapSide)
        return fail(error, "bitmap size out of range");
    const bool topDown = rawHeight < 0;
    const int height = topDown ? -rawHeight : rawHeight;
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    if (pixelOffset < kFileHeaderSize + infoSize || pixelOffset > size ||
        (size - pixelOffset) / stride < size_t(height))
        return fail(error, "bitmap file is shorter than its pixels");
    Picture picture(width, height);
    for (int y = 0; y < height; ++y) {
        const int fileRow = topDown ? y : height - 1 - y;
        std::memcpy(picture.pixel(0, y), data + pixelOffset + size_t(fileRow) * stride,
                    size_t(width) * 3);
    }
    return picture;
}

std::optional<Picture> readBitmapFile(const std::filesystem::path& file, std::string* error) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return fail(error, "cannot open file");
    // Anything larger than the largest bitmap we accept is refused before reading it whole.
    std::error_code ec;
    auto fileSize = std::filesystem::file_size(file, ec);
    if (ec || fileSize > 64 + size_t(kMaxBitmapSide) * (size_t(kMaxBitmapSide) * 3 + 3) + 4096)
        return fail(error, "file too large or unreadable");
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return decodeBitmap(bytes.data(), bytes.size(), error);
}

std::vector<uint8_t> encodeBitmap(const Picture& picture) {
    const size_t stride = (size_t(picture.width) * 3 + 3) & ~size_t(3);
    const size_t imageSize = stride * size_t(picture.height);
    std::vector<uint8_t> out(kFileHeaderSize + kInfoHeaderSize + imageSize, 0);
    out[0] = 'B';
    out[1] = 'M';
    put32(&out[2], uint32_t(out.size()));
    put32(&out[10], uint32_t(kFileHeaderSize + kInfoHeaderSize));
    uint8_t* info = &out[kFileHeaderSize];
    put32(info, kInfoHeaderSize);
    put32(info + 4, uint32_t(picture.width));
    put32(info + 8, uint32_t(picture.height));
    put16(info + 12, 1);
    put16(info + 14, 24);
    put32(info + 20, uint32_t(imageSize));
    put32(info + 24, 2835); // 72 dots per inch
    put32(info + 28, 2835);
    uint8_t* pixels = info + kInfoHeaderSize;
    for (int y = 0; y < picture.height; ++y)
        std::memcpy(pixels + size_t(picture.height - 1 - y) * stride, picture.pixel(0, y),
                    size_t(picture.width) * 3);
    return out;
}

bool writeBitmapFile(const std::filesystem::path& file, const Picture& picture) {
    const std::vector<uint8_t> bytes = encodeBitmap(picture);
    std::filesystem::path temporary = file;
    temporary += ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out.flush()) {
            out.close();
            std::remove(temporary.c_str());
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

} // namespace kerris::virtualcam
