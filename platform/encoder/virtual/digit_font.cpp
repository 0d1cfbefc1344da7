// The digit font and the stream clock's text.
#include "platform/encoder/virtual/digit_font.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>

namespace kerris::encoder::virtualdev {

namespace {

// Rows top-down, bit 4 = leftmost column.
using Glyph = std::array<uint8_t, kGlyphHeight>;
constexpr std::array<Glyph, 10> kDigits{{
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}, // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}, // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}, // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}, // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}, // 9
}};
constexpr Glyph kColon{0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00};
constexpr Glyph kPoint{0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C};

const Glyph* glyphOf(char c) {
    if (c >= '0' && c <= '9')
        return &kDigits[size_t(c - '0')];
    if (c == ':')
        return &kColon;
    if (c == '.')
        return &kPoint;
    return nullptr;
}

// Fills the part of [x0, x1) x [y0, y1) inside the picture with one colour.
void fill(virtualcam::Picture& picture, int x0, int y0, int x1, int y1, uint8_t b, uint8_t g,
          uint8_t r) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, picture.width);
    y1 = std::min(y1, picture.height);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            uint8_t* p = picture.pixel(x, y);
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
}

} // namespace

std::string streamClockText(int64_t streamTimeNs) {
    const int64_t ms = std::max<int64_t>(streamTimeNs, 0) / 1000000;
    char text[32];
    std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%03" PRId64,
                  (ms / 3600000) % 100, (ms / 60000) % 60, (ms / 1000) % 60, ms % 1000);
    return text;
}

int textWidth(std::string_view text, int scale) {
    if (text.empty())
        return 0;
    return (int(text.size()) * kGlyphAdvance - 1) * scale;
}

void drawText(virtualcam::Picture& picture, int x, int y, int scale, int margin,
              std::string_view text) {
    fill(picture, x - margin, y - margin, x + textWidth(text, scale) + margin,
         y + kGlyphHeight * scale + margin, 24, 24, 24);
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph* glyph = glyphOf(text[i]);
        if (!glyph)
            continue;
        const int left = x + int(i) * kGlyphAdvance * scale;
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int col = 0; col < kGlyphWidth; ++col)
                if ((*glyph)[size_t(row)] & (0x10 >> col))
                    fill(picture, left + col * scale, y + row * scale, left + (col + 1) * scale,
                         y + (row + 1) * scale, 40, 230, 255); // warm yellow, B,G,R
    }
}

} // namespace kerris::encoder::virtualdev
