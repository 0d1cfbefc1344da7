// The running time drawn into the virtual camera's pictures: a 5 x 7 pixel font of the digits,
// ':' and '.', scaled by whole pixels. Cheap enough for every frame.
#pragma once

#include "devices/virtualcam/picture.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kerris::encoder::virtualdev {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = kGlyphWidth + 1;

// "HH:MM:SS.mmm" of a stream time in nanoseconds (hours wrap at 100; times before 0 show 0).
std::string streamClockText(int64_t streamTimeNs);

// Width in pixels of `text` at `scale`.
int textWidth(std::string_view text, int scale);

// Draws `text` with its top-left corner at (x, y) on a dark box `margin` pixels wider on each
// side, clipped to the picture. Characters without a glyph are left blank.
void drawText(virtualcam::Picture& picture, int x, int y, int scale, int margin,
              std::string_view text);

} // namespace kerris::encoder::virtualdev
