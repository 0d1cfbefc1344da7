// Header fields of the bitmap file format and the values derived from them.
#include "platform/bitmap/bitmap_format.h"

#include "platform/bitmap/little_endian.h"

namespace kerris::bitmap {

BitmapInfo BitmapInfo::decode(const uint8_t* b) {
    BitmapInfo h;
    h.headerSize = get32(b);
    h.width = int32_t(get32(b + 4));
    h.height = int32_t(get32(b + 8));
    h.planes = get16(b + 12);
    h.bitCount = get16(b + 14);
    h.compression = get32(b + 16);
    h.imageSize = get32(b + 20);
    h.xPelsPerMeter = int32_t(get32(b + 24));
    h.yPelsPerMeter = int32_t(get32(b + 28));
    h.coloursUsed = get32(b + 32);
    h.coloursImportant = get32(b + 36);
    return h;
}

void BitmapInfo::encode(uint8_t* b) const {
    put32(b, headerSize);
    put32(b + 4, uint32_t(width));
    put32(b + 8, uint32_t(height));
    put16(b + 12, planes);
    put16(b + 14, bitCount);
    put32(b + 16, compression);
    put32(b + 20, imageSize);
    put32(b + 24, uint32_t(xPelsPerMeter));
    put32(b + 28, uint32_t(yPelsPerMeter));
    put32(b + 32, coloursUsed);
    put32(b + 36, coloursImportant);
}

FileHeader FileHeader::decode(const uint8_t* b) {
    FileHeader h;
    h.magic = get16(b);
    h.fileSize = get32(b + 2);
    h.pixelOffset = get32(b + 10);
    return h;
}

void FileHeader::encode(uint8_t* b) const {
    put16(b, magic);
    put32(b + 2, fileSize);
    put32(b + 6, 0); // both reserved words
    put32(b + 10, pixelOffset);
}

std::optional<uint32_t> colourCountOf(const BitmapInfo& info) {
    if (info.coloursUsed != 0)
        return info.coloursUsed;
    switch (info.bitCount) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    case 16:
    case 24:
    case 32:
        return 0;
    default:
        return std::nullopt;
    }
}

uint64_t imageBytesOf(const BitmapInfo& info) {
    if (info.imageSize != 0)
        return info.imageSize;
    return rowStride(info.width, info.bitCount) * rowCount(info.height);
}

bool isDecodable(const BitmapInfo& info) {
    const uint16_t bits = info.bitCount;
    if (info.compression == kCompressionBitfields)
        return bits == 16 || bits == 32;
    return info.compression == kCompressionNone &&
           (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

} // namespace kerris::bitmap
