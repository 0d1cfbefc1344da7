// Bitmap files of the picture browser: pictures written behind a file header, frames read back.
#pragma once

#include "camera/cpi.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumicart::media {

inline constexpr uint32_t kBitmapFileHeaderSize = 14;
inline constexpr uint32_t kBitmapInfoHeaderSize = 40;
inline constexpr uint16_t kBitmapMagic = 0x4D42; // "BM"
inline constexpr uint32_t kCompressionNone = 0;
inline constexpr uint32_t kCompressionBitfields = 3;

// What a picture record turns into on disk, worked out from its information header.
struct BitmapFileLayout {
    uint32_t colourCount = 0; // entries of the colour table behind the header
    uint32_t imageSize = 0;   // pixel bytes written
    uint32_t pixelOffset = 0; // 54 + 4 * colourCount
    uint32_t fileSize = 0;    // pixelOffset + imageSize
    // Bytes taken from the record: its header, the colour table and the pixels.
    std::size_t recordBytes() const { return fileSize - kBitmapFileHeaderSize; }
};

// The layout of `header` by the file-header rules: the colour count is the colours-used field,
// else 2^bits for 8 bits or fewer, else 0; an uncompressed picture's image size is recomputed
// from width, bit count and height, a compressed one keeps its field. nullopt when the size
// cannot be stated (a compressed picture with image size 0, a width or height not above 0,
// or a file that would pass 4 GiB).
std::optional<BitmapFileLayout> PictureBitmapLayout(const CpiImage& header);

enum class PictureWrite {
    Written,   // the whole file is in place under its name
    NameTaken, // something has the name (a file, a folder, a dangling link); nothing written
    Failed,    // `error` says why; nothing was left behind
};

// Writes `record` (a 40-byte information header, its colour table and pixels, `recordBytes`
// long) behind a 14-byte file header as `fileName`. The record's image-size field is updated
// for uncompressed pictures first. The file is written safely (platform/fs): complete and
// synced before it takes its name, never replacing an existing file, nothing left behind by a
// failure or a kill. Failed too when the record is shorter than what the layout asks for
// (nothing is read past it).
PictureWrite WritePictureBitmapFile(void* record, std::size_t recordBytes,
                                    const std::string& fileName, std::string& error);
// The same, true only when the file was written.
bool WritePictureBitmap(void* record, std::size_t recordBytes, const std::string& fileName);

// Lets tests make bitmap writes fail: after `filesFirst` more files were written whole, every
// file fails once `bytes` bytes of it are written. Negative `bytes` turns the fault off.
void SetBitmapWriteFaultForTesting(long bytes, int filesFirst = 0);

// A frame for the movie writer: a packed device-independent bitmap, the 40-byte information
// header (24 bits, uncompressed) followed by the pixels bottom-up, B G R, rows padded to 4 bytes.
class Frame {
public:
    Frame() : Frame(0, 0) {}
    // A black frame of width x height (both at least 0).
    Frame(int width, int height);

    int width() const { return header().width; }
    int height() const { return header().height; }
    std::size_t stride() const { return strideFor(width()); }
    const CpiImage& header() const { return *reinterpret_cast<const CpiImage*>(m_block.data()); }
    const uint8_t* pixels() const { return m_block.data() + kBitmapInfoHeaderSize; }
    uint8_t* pixels() { return m_block.data() + kBitmapInfoHeaderSize; }
    // Row y counted from the bottom.
    uint8_t* row(int y) { return pixels() + stride() * std::size_t(y); }
    const std::vector<uint8_t>& block() const { return m_block; }

    static std::size_t strideFor(int width) {
        return (std::size_t(width) * 3 + 3) & ~std::size_t(3);
    }

private:
    std::vector<uint8_t> m_block;
};

// Why a bitmap file was not read.
enum class BitmapReadError {
    None,
    CannotOpen,
    NotBitmap,      // too short for the headers, or no "BM"
    OffsetPastEnd,  // the pixel offset lies beyond the end of the file
    HeaderTooShort, // fewer than 40 bytes of information header before the pixels
    BadDimensions,  // width or height 0, negative width, or too large
    Unsupported,    // a bit count or compression that is not converted
    PaletteOutside, // the colour table does not fit between header and pixels
    PixelsShort,    // fewer pixel bytes in the file than the image size asks for
};

// Reads a bitmap file as a 24-bit frame. Files with a colour table (1, 4, 8 bits) and 16- and
// 32-bit files are converted; an image-size field of 0 is taken as the rows' size; top-down
// files are turned bottom-up. Every size the header states is checked against the file before
// anything is read. nullopt with `error` set when the file is rejected.
std::optional<Frame> ReadBitmapFile(const std::string& fileName, BitmapReadError* error = nullptr);

} // namespace lumicart::media
