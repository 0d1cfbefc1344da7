// Encodes pictures of the toolkit as bitmap files of the layout CDib reads (40-byte header,
// colour table, bottom-up rows padded to 32 bits), over the suite's bitmap codec.
#pragma once

#include <QImage>
#include <QList>

#include <cstdint>
#include <string>
#include <vector>

namespace kerris::clipmail {

// The bitmap file bytes for image at bitCount 1, 4 or 8 (each pixel takes the palette entry
// nearest to it; the palette holds at most 2^bitCount entries) or 24 (palette ignored).
// Empty for other bit counts, a null image or an unfitting palette.
std::vector<uint8_t> encodeBitmapFile(const QImage& image, int bitCount,
                                      const QList<QRgb>& palette = {});

// Writes bytes to path through the suite's safe file writer (platform/fs), replacing what is
// there in one step, so a failed write never leaves a torn file and a reader that has the old
// file open keeps it whole. False on any failure.
bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace kerris::clipmail
