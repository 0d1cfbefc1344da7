// The bitmap file format: a 14-byte file header, a 40-byte (or longer) information header, an
// optional colour table and the pixel rows, each padded to 4 bytes, bottom-up for a positive
// height and top-down for a negative one. The limits every reader of the suite applies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace kerris::bitmap {

inline constexpr std::size_t kFileHeaderSize = 14;
inline constexpr std::size_t kInfoHeaderSize = 40;
inline constexpr uint16_t kBitmapMagic = 0x4D42; // "BM" read as little-endian
inline constexpr uint32_t kCompressionNone = 0;
inline constexpr uint32_t kCompressionBitfields = 3;
inline constexpr int32_t kPixelsPerMeter72Dpi = 2835;

// Largest width or height accepted. The suite's bitmaps are skin pictures, camera pictures
// and movie frames, none wider or taller than a screen; 16384 lies past every screen sold and
// keeps the largest decoded picture (16384 x 16384 x 4 bytes) at 1 GiB, with every size
// computation far from overflow.
inline constexpr int32_t kMaxBitmapSide = 16384;
// Colour tables hold at most this many entries (an 8-bit index).
inline constexpr uint32_t kMaxColours = 256;

// The fields of the information header.
struct BitmapInfo {
    uint32_t headerSize = kInfoHeaderSize;
    int32_t width = 0;
    int32_t height = 0; // negative: rows stored top-down
    uint16_t planes = 1;
    uint16_t bitCount = 0;
    uint32_t compression = kCompressionNone;
    uint32_t imageSize = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t coloursUsed = 0;
    uint32_t coloursImportant = 0;

    // Reads / writes the first 40 bytes of an information header.
    static BitmapInfo decode(const uint8_t* bytes);
    void encode(uint8_t* bytes) const;
};

// The fields of the file header that carry meaning.
struct FileHeader {
    uint16_t magic = kBitmapMagic;
    uint32_t fileSize = 0;
    uint32_t pixelOffset = 0;

    static FileHeader decode(const uint8_t* bytes);
    void encode(uint8_t* bytes) const;
};

// Bytes of one stored row: ceil(width x bits / 32) x 4, in 64 bits so that no header wraps it.
inline uint64_t rowStride(int64_t width, uint32_t bitCount) {
    return (uint64_t(width < 0 ? 0 : width) * bitCount + 31) / 32 * 4;
}

// Number of rows: |height| (a top-down file stores a negative height).
inline uint64_t rowCount(int32_t height) {
    return height < 0 ? uint64_t(-int64_t(height)) : uint64_t(height);
}

// Entries of the colour table: the colours-used field when not 0, else 2, 16 or 256 for 1, 4
// or 8 bits per pixel and 0 for 16, 24 and 32; nullopt for any other bit count.
std::optional<uint32_t> colourCountOf(const BitmapInfo& info);

// Pixel bytes: the image-size field when not 0, else the rows' size.
uint64_t imageBytesOf(const BitmapInfo& info);

// True for the layouts whose rows the row decoder turns into pixels: no compression at 1, 4,
// 8, 16, 24 or 32 bits, or channel masks at 16 or 32 bits.
bool isDecodable(const BitmapInfo& info);

} // namespace kerris::bitmap
