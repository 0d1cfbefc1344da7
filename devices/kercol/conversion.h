// Frame conversion: bunched rows to a Bayer mosaic, and the Bayer mosaic to B,G,R pixels.
#pragma once

#include <cstdint>

#include "devices/kercol/colour_settings.h"

namespace kercol {

// Largest frame side the library accepts; keeps every size product far from overflow.
inline constexpr std::uint32_t kMaxFrameSide = 16384;

// The demosaic carries channel values with 4 fraction bits; the matrix hands the tone table
// values with 2 fraction bits (a quarter of an output step, finer than the camera's samples).
inline constexpr int kDemosaicBits = 4;
inline constexpr int kToneBits = 2;
inline constexpr int kToneEntries = 256 << kToneBits;

// Everything a conversion needs, derived once from the settings.
struct ConversionTables {
    // White level scaling folded in; takes demosaic units to tone units.
    float matrix[9];
    // The same in units of 1/8192 for the 16-bit path, usable when every |entry| < 4.
    std::int16_t shortMatrix[9];
    bool shortMatrixFits;
    std::int16_t black; // black offset in demosaic units
    // True when the tone table is plain rounding (gamma off): computed instead of looked up.
    bool linearTone;
    // Tone units -> output byte, gamma applied. 32-bit entries let the vectoriser gather them.
    std::uint32_t tone[kToneEntries];
};

void buildTables(const ColourSettings& settings, ConversionTables& tables);

// True for the frame sizes conversion mode 4 serves: those the camera sends.
bool isCameraFrame(std::uint32_t width, std::uint32_t height);

// Interleaves each bunched row (even columns, then odd columns) into `bayer`. The width is even;
// `bunched` and `bayer` may be the same buffer (then `row` of width bytes is used as scratch).
void bunchedToBayer(const std::uint8_t* bunched, std::uint8_t* bayer, std::uint32_t width,
                    std::uint32_t height, std::uint8_t* row);

// Demosaics the GRBG frame (width, height >= 5) and writes (width-4) x (height-4) pixels of
// B, G, R. `scratch` holds 3 x (width-4) values.
void convertFrame(const ConversionTables& tables, const std::uint8_t* bayer, std::uint8_t* bgr,
                  std::uint32_t width, std::uint32_t height, std::int16_t* scratch);

} // namespace kercol
