// Bitmap files of downloaded pictures: the picture record behind a 14-byte file header, written
// so that no existing file is ever replaced and no partial file is ever left behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "camera/cpi.h"

namespace kerris::tool {

inline constexpr std::uint32_t kFileHeaderSize = 14;

// What a picture record becomes on disk.
struct BitmapLayout {
    std::uint32_t colourCount = 0; // colour table entries behind the information header
    std::uint32_t imageSize = 0;   // pixel bytes
    std::uint32_t pixelOffset = 0; // 54 + 4 x colourCount
    std::uint32_t fileSize = 0;    // pixelOffset + imageSize
    std::size_t recordBytes() const { return fileSize - kFileHeaderSize; }
};

// The layout by the bitmap file rules: the colour count is the colours-used field, else 2^bits
// for 8 bits or fewer, else 0; an uncompressed picture's image size is
// ((width x bits + 31) / 32) x 4 x height, a compressed one keeps its field. nullopt when the
// header cannot be written: size not above 0, a compressed picture of image size 0, a file
// past 4 GiB.
std::optional<BitmapLayout> bitmapLayout(const CpiImage& header);

enum class WriteOutcome {
    Written,   // the file is complete under its name
    NameTaken, // something appeared under the name meanwhile; nothing was written
    Failed,    // see the error text; nothing was left behind
};

// Writes `record` (its header, colour table and pixels, `recordBytes` long) behind a file header
// as the new file `path`. The record's image-size field is brought up to date first for
// uncompressed pictures. The bytes go to a hidden temporary file in the same folder, are synced,
// and the file then takes its name without replacing anything (an atomic no-replace rename, or
// a hard link where the file system lacks that). On any failure the temporary file is removed.
WriteOutcome writeBitmapFile(CpiImage* record, std::size_t recordBytes, const std::string& path,
                             std::string& error);

// Removes a temporary file still being written; for signal handlers (async-signal-safe).
void removeTemporaryOnSignal();

} // namespace kerris::tool
