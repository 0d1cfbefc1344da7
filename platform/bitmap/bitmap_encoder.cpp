// Laying out a bitmap file for the rows a caller fills.
#include "platform/bitmap/bitmap_encoder.h"

#include <limits>

namespace kerris::bitmap {

std::optional<BitmapEncoder> BitmapEncoder::create(int32_t width, int32_t height, uint16_t bitCount,
                                                   std::span<const uint32_t> palette) {
    const bool indexed = bitCount == 1 || bitCount == 4 || bitCount == 8;
    if (!indexed && bitCount != 24 && bitCount != 32)
        return std::nullopt;
    if (width <= 0 || height <= 0)
        return std::nullopt;
    if (indexed ? (palette.empty() || palette.size() > (std::size_t(1) << bitCount))
                : !palette.empty())
        return std::nullopt;
    const uint64_t stride = rowStride(width, bitCount);
    const uint64_t image = stride * uint64_t(height);
    const uint64_t offset = kFileHeaderSize + kInfoHeaderSize + 4 * uint64_t(palette.size());
    if (offset + image > std::numeric_limits<uint32_t>::max())
        return std::nullopt;

    BitmapEncoder e;
    e.m_width = width;
    e.m_height = height;
    e.m_bitCount = bitCount;
    e.m_stride = std::size_t(stride);
    e.m_pixelOffset = std::size_t(offset);
    e.m_bytes.assign(std::size_t(offset + image), 0);

    FileHeader file;
    file.fileSize = uint32_t(offset + image);
    file.pixelOffset = uint32_t(offset);
    file.encode(e.m_bytes.data());
    BitmapInfo info;
    info.width = width;
    info.height = height;
    info.bitCount = bitCount;
    info.imageSize = uint32_t(image);
    info.xPelsPerMeter = info.yPelsPerMeter = kPixelsPerMeter72Dpi;
    info.coloursUsed = uint32_t(palette.size());
    info.encode(e.m_bytes.data() + kFileHeaderSize);
    uint8_t* table = e.m_bytes.data() + kFileHeaderSize + kInfoHeaderSize;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        table[4 * i] = uint8_t(palette[i]);
        table[4 * i + 1] = uint8_t(palette[i] >> 8);
        table[4 * i + 2] = uint8_t(palette[i] >> 16);
    }
    return e;
}

uint8_t* BitmapEncoder::row(int32_t y) {
    return m_bytes.data() + m_pixelOffset + m_stride * std::size_t(m_height - 1 - y);
}

void BitmapEncoder::setIndex(int32_t x, int32_t y, unsigned index) {
    uint8_t* r = row(y);
    switch (m_bitCount) {
    case 8:
        r[x] = uint8_t(index);
        break;
    case 4: {
        const unsigned shift = x % 2 ? 0 : 4;
        r[x / 2] = uint8_t((r[x / 2] & ~(0x0F << shift)) | ((index & 0x0F) << shift));
        break;
    }
    case 1: {
        const unsigned shift = 7 - unsigned(x % 8);
        r[x / 8] = uint8_t((r[x / 8] & ~(1u << shift)) | ((index & 1) << shift));
        break;
    }
    default:
        break;
    }
}

} // namespace kerris::bitmap
