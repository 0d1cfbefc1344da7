// Row conversion of every decodable bit count to B, G, R.
#include "platform/bitmap/row_decoder.h"

#include "platform/bitmap/little_endian.h"

#include <cstring>

namespace kerris::bitmap {

std::optional<RowDecoder> RowDecoder::create(const BitmapView& view) {
    const BitmapInfo& info = view.info;
    if (!view.pixels || !isDecodable(info) || info.width <= 0 || info.width > kMaxBitmapSide ||
        info.height == 0 || rowCount(info.height) > uint64_t(kMaxBitmapSide))
        return std::nullopt;
    if (view.stride() * rowCount(info.height) > view.pixelBytes)
        return std::nullopt;
    if (info.bitCount <= 8 && view.colourCount > 0 && !view.colourTable)
        return std::nullopt;
    return RowDecoder(view);
}

RowDecoder::RowDecoder(const BitmapView& view)
    : m_view(view), m_red(channelOf(view.masks[0])), m_green(channelOf(view.masks[1])),
      m_blue(channelOf(view.masks[2])) {}

RowDecoder::Channel RowDecoder::channelOf(uint32_t mask) {
    Channel c;
    c.mask = mask;
    if (!mask)
        return c;
    while (!(mask & 1)) {
        mask >>= 1;
        ++c.shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++c.bits;
    }
    return c;
}

uint8_t RowDecoder::Channel::extract(uint32_t value) const {
    if (!mask)
        return 0;
    const uint32_t v = (value & mask) >> shift;
    if (bits >= 8)
        return uint8_t(v >> (bits - 8));
    const uint32_t max = (1u << bits) - 1;
    return uint8_t((v * 255 + max / 2) / max);
}

void RowDecoder::decode(int32_t y, uint8_t* dst) const {
    const BitmapView& v = m_view;
    const int32_t rows = v.rows();
    const int32_t stored = v.topDown() ? y : rows - 1 - y;
    const uint8_t* src = v.pixels + v.stride() * uint64_t(stored);
    const unsigned bits = v.info.bitCount;
    const int32_t width = v.width();
    for (int32_t x = 0; x < width; ++x, dst += 3) {
        switch (bits) {
        case 24:
            std::memcpy(dst, src + 3 * std::size_t(x), 3);
            break;
        case 1:
        case 4:
        case 8: {
            const std::size_t bit = std::size_t(x) * bits;
            const unsigned shift = 8 - bits - unsigned(bit % 8);
            const unsigned index = (src[bit / 8] >> shift) & ((1u << bits) - 1);
            if (index < v.colourCount)
                std::memcpy(dst, v.colourTable + 4 * std::size_t(index), 3);
            else
                dst[0] = dst[1] = dst[2] = 0;
            break;
        }
        case 16:
        case 32: {
            const uint32_t value =
                bits == 16 ? get16(src + 2 * std::size_t(x)) : get32(src + 4 * std::size_t(x));
            dst[0] = m_blue.extract(value);
            dst[1] = m_green.extract(value);
            dst[2] = m_red.extract(value);
            break;
        }
        }
    }
}

} // namespace kerris::bitmap
