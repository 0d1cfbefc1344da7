// Reading bitmaps held in memory: a whole bitmap file, or a packed bitmap (information header,
// colour table and pixels, with no file header). Every size a header states is checked against
// the bytes there are before anything is read through it.
#pragma once

#include "platform/bitmap/bitmap_format.h"

#include <cstddef>
#include <cstdint>

namespace kerris::bitmap {

// Why a bitmap was refused.
enum class BitmapError {
    None,
    CannotOpen,     // missing, not a regular file, or unreadable
    NotBitmap,      // too short for the headers, no "BM", or larger than any accepted bitmap
    OffsetPastEnd,  // the pixel offset lies beyond the end of the file
    HeaderTooShort, // fewer than 40 bytes of information header before the pixels
    BadDimensions,  // width or height 0, negative width, or a side past kMaxBitmapSide
    Unsupported,    // a bit count or compression the row decoder does not convert
    PaletteOutside, // the colour table (or channel masks) do not fit before the pixels
    PixelsShort,    // fewer pixel bytes than the image size or the rows ask for
};

// A short English text for an error, for logs and tool output.
const char* bitmapErrorText(BitmapError error);

// What the reader found, pointing into the bytes it was given.
struct BitmapView {
    BitmapInfo info;
    const uint8_t* header = nullptr;      // the information header
    const uint8_t* colourTable = nullptr; // colourCount entries of B, G, R, 0
    uint32_t colourCount = 0;
    const uint8_t* pixels = nullptr;
    uint64_t imageBytes = 0; // the pixel bytes by the header: imageBytesOf(info)
    uint64_t pixelBytes = 0; // bytes readable at `pixels` that belong to the picture
    uint32_t masks[3] = {};  // red, green and blue channel masks of 16- and 32-bit pixels

    int32_t width() const { return info.width; }
    int32_t rows() const { return int32_t(rowCount(info.height)); }
    bool topDown() const { return info.height < 0; }
    uint64_t stride() const { return rowStride(info.width, info.bitCount); }
};

struct ReadRules {
    int32_t maxSide = kMaxBitmapSide;
    // Refuse (Unsupported) what the row decoder cannot convert, before the other checks of
    // the pixels; otherwise a compressed or odd layout is accepted as opaque pixel bytes.
    bool decodableOnly = false;
};

// A bitmap file of `size` bytes. The pixels are where the file header's offset says, the
// colour table follows the information header. Checks, in order: NotBitmap, OffsetPastEnd,
// HeaderTooShort, BadDimensions, Unsupported (decodableOnly), PixelsShort (the image size,
// and for uncompressed layouts every row, must lie inside the file), PaletteOutside.
// `view` is written only on success.
BitmapError parseBitmapFile(const uint8_t* data, std::size_t size, BitmapView& view,
                            const ReadRules& rules = {});

// A packed bitmap of `size` bytes: the colour table follows the information header and the
// pixels follow the table. Checks as above (no file header); PaletteOutside before PixelsShort.
BitmapError parsePackedBitmap(const uint8_t* data, std::size_t size, BitmapView& view,
                              const ReadRules& rules = {});

} // namespace kerris::bitmap
