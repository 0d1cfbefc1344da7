// Turning the stored rows of a bitmap into B, G, R pixels, whatever the bit count.
#pragma once

#include "platform/bitmap/bitmap_reader.h"

#include <cstdint>
#include <optional>

namespace kerris::bitmap {

class RowDecoder {
public:
    // A decoder for `view`; nullopt when its layout is not decodable (isDecodable), a side
    // lies past kMaxBitmapSide, or its pixel bytes are fewer than the rows need.
    static std::optional<RowDecoder> create(const BitmapView& view);

    int32_t width() const { return m_view.width(); }
    int32_t rows() const { return m_view.rows(); }

    // Writes row `y` (0 is the top row, whichever order the file stores) as width x 3 bytes of
    // B, G, R. Indices past the colour table give black rather than reading beyond it; 16- and
    // 32-bit pixels are scaled from their channel masks to 8 bits.
    void decode(int32_t y, uint8_t* bgr) const;

private:
    explicit RowDecoder(const BitmapView& view);

    struct Channel {
        uint32_t mask = 0;
        int shift = 0;
        int bits = 0;
        uint8_t extract(uint32_t value) const;
    };
    static Channel channelOf(uint32_t mask);

    BitmapView m_view;
    Channel m_red, m_green, m_blue;
};

} // namespace kerris::bitmap
