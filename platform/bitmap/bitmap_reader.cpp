// Checking a bitmap's headers against the bytes that hold it.
#include "platform/bitmap/bitmap_reader.h"

#include "platform/bitmap/little_endian.h"

#include <algorithm>

namespace kerris::bitmap {

namespace {

constexpr std::size_t kMaskBytes = 12;

bool isUncompressedLayout(const BitmapInfo& info) {
    return info.compression == kCompressionNone || info.compression == kCompressionBitfields;
}

bool hasMasks(const BitmapInfo& info) {
    return info.compression == kCompressionBitfields &&
           (info.bitCount == 16 || info.bitCount == 32);
}

// The checks both layouts share before the pixels are placed.
BitmapError checkHeader(const BitmapInfo& info, const ReadRules& rules) {
    if (info.width <= 0 || info.height == 0 || info.width > rules.maxSide ||
        rowCount(info.height) > uint64_t(rules.maxSide))
        return BitmapError::BadDimensions;
    if (rules.decodableOnly && !isDecodable(info))
        return BitmapError::Unsupported;
    return BitmapError::None;
}

// Where the colour table starts, `headerEnd` bytes past the information header's start: the
// channel masks of a 40-byte header come first.
std::size_t tableOffset(const BitmapInfo& info) {
    std::size_t at = info.headerSize;
    if (hasMasks(info) && at < kInfoHeaderSize + kMaskBytes)
        at = kInfoHeaderSize + kMaskBytes;
    return at;
}

BitmapError checkPixels(const BitmapInfo& info, uint64_t available, uint64_t& pixelBytes) {
    const uint64_t image = imageBytesOf(info);
    if (available < image)
        return BitmapError::PixelsShort;
    pixelBytes = image;
    if (isUncompressedLayout(info)) {
        const uint64_t rows = rowStride(info.width, info.bitCount) * rowCount(info.height);
        if (available < rows)
            return BitmapError::PixelsShort;
        pixelBytes = std::max(pixelBytes, rows);
    }
    return BitmapError::None;
}

void fillMasks(BitmapView& view) {
    const BitmapInfo& info = view.info;
    if (hasMasks(info)) {
        for (int i = 0; i < 3; ++i)
            view.masks[i] = get32(view.header + kInfoHeaderSize + 4 * i);
    } else if (info.bitCount == 16) {
        view.masks[0] = 0x7C00, view.masks[1] = 0x03E0, view.masks[2] = 0x001F;
    } else if (info.bitCount == 32) {
        view.masks[0] = 0xFF0000, view.masks[1] = 0x00FF00, view.masks[2] = 0x0000FF;
    }
}

} // namespace

const char* bitmapErrorText(BitmapError error) {
    switch (error) {
    case BitmapError::None:
        return "no error";
    case BitmapError::CannotOpen:
        return "the file cannot be read";
    case BitmapError::NotBitmap:
        return "not a bitmap file";
    case BitmapError::OffsetPastEnd:
        return "the pixel offset lies past the end of the file";
    case BitmapError::HeaderTooShort:
        return "the information header is too short";
    case BitmapError::BadDimensions:
        return "the bitmap's size is out of range";
    case BitmapError::Unsupported:
        return "the bitmap's format is not supported";
    case BitmapError::PaletteOutside:
        return "the colour table does not fit in the file";
    case BitmapError::PixelsShort:
        return "the file holds fewer pixels than its header says";
    }
    return "unknown error";
}

BitmapError parseBitmapFile(const uint8_t* data, std::size_t size, BitmapView& view,
                            const ReadRules& rules) {
    if (!data || size < kFileHeaderSize)
        return BitmapError::NotBitmap;
    const FileHeader file = FileHeader::decode(data);
    if (file.magic != kBitmapMagic)
        return BitmapError::NotBitmap;
    if (file.pixelOffset > size)
        return BitmapError::OffsetPastEnd;
    if (file.pixelOffset < kFileHeaderSize + kInfoHeaderSize)
        return BitmapError::HeaderTooShort;
    const uint8_t* header = data + kFileHeaderSize;
    BitmapView found;
    found.info = BitmapInfo::decode(header);
    const BitmapInfo& info = found.info;
    const std::size_t headerArea = file.pixelOffset - kFileHeaderSize;
    if (info.headerSize < kInfoHeaderSize || info.headerSize > headerArea)
        return BitmapError::HeaderTooShort;
    if (BitmapError e = checkHeader(info, rules); e != BitmapError::None)
        return e;
    if (BitmapError e = checkPixels(info, size - file.pixelOffset, found.pixelBytes);
        e != BitmapError::None)
        return e;
    const uint32_t count = colourCountOf(info).value_or(0);
    const std::size_t table = tableOffset(info);
    if (count > kMaxColours || table > headerArea || (headerArea - table) / 4 < count)
        return BitmapError::PaletteOutside;
    found.header = header;
    found.colourTable = header + table;
    found.colourCount = count;
    found.pixels = data + file.pixelOffset;
    found.imageBytes = imageBytesOf(info);
    fillMasks(found);
    view = found;
    return BitmapError::None;
}

BitmapError parsePackedBitmap(const uint8_t* data, std::size_t size, BitmapView& view,
                              const ReadRules& rules) {
    if (!data || size < kInfoHeaderSize)
        return BitmapError::HeaderTooShort;
    BitmapView found;
    found.info = BitmapInfo::decode(data);
    const BitmapInfo& info = found.info;
    if (info.headerSize < kInfoHeaderSize || info.headerSize > size)
        return BitmapError::HeaderTooShort;
    if (BitmapError e = checkHeader(info, rules); e != BitmapError::None)
        return e;
    const uint32_t count = colourCountOf(info).value_or(0);
    const std::size_t table = tableOffset(info);
    if (count > kMaxColours || table > size || (size - table) / 4 < count)
        return BitmapError::PaletteOutside;
    const std::size_t pixels = table + 4 * std::size_t(count);
    if (BitmapError e = checkPixels(info, size - pixels, found.pixelBytes); e != BitmapError::None)
        return e;
    found.header = data;
    found.colourTable = data + table;
    found.colourCount = count;
    found.pixels = data + pixels;
    found.imageBytes = imageBytesOf(info);
    fillMasks(found);
    view = found;
    return BitmapError::None;
}

} // namespace kerris::bitmap
