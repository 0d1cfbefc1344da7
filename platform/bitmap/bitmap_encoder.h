// Encoding pictures as bitmap files: the headers, the colour table and zeroed rows are laid out
// once, the caller fills the rows in its own pixel order, and the bytes are written through
// platform/fs.
#pragma once

#include "platform/bitmap/bitmap_format.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kerris::bitmap {

class BitmapEncoder {
public:
    // A bottom-up bitmap file of width x height (both from 1) at `bitCount` 1, 4 or 8, with
    // `palette` (0x00RRGGBB, from 1 to 2^bitCount entries) as its colour table, or at 24 or 32
    // with no palette. 72 dpi. nullopt for other bit counts, an unfitting palette, or a file
    // that would pass the format's 4 GiB.
    static std::optional<BitmapEncoder> create(int32_t width, int32_t height, uint16_t bitCount,
                                               std::span<const uint32_t> palette = {});

    int32_t width() const { return m_width; }
    int32_t height() const { return m_height; }
    uint16_t bitCount() const { return m_bitCount; }
    // The stored bytes of row `y`, 0 being the top row; stride() bytes, padding zeroed.
    uint8_t* row(int32_t y);
    std::size_t stride() const { return m_stride; }
    // Sets pixel (x, y) of an indexed bitmap to palette entry `index` (taken modulo 2^bits).
    void setIndex(int32_t x, int32_t y, unsigned index);

    // The whole file.
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

private:
    BitmapEncoder() = default;

    int32_t m_width = 0, m_height = 0;
    uint16_t m_bitCount = 0;
    std::size_t m_stride = 0;
    std::size_t m_pixelOffset = 0;
    std::vector<uint8_t> m_bytes;
};

} // namespace kerris::bitmap
