// Frame conversion: bunched rows to a Bayer mosaic, and the Bayer mosaic to B,G,R pixels.
#pragma once

#include <cstddef>
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
    // The same as bytes, for the vector paths' permutes.
    std::uint8_t toneBytes[kToneEntries];
};

void buildTables(const ColourSettings& settings, ConversionTables& tables);

// True for the frame sizes conversion mode 4 serves: those the camera sends.
bool isCameraFrame(std::uint32_t width, std::uint32_t height);

// Interleaves each bunched row (even columns, then odd columns) into `bayer`. The width is even;
// `bunched` and `bayer` may be the same buffer (then `row` of width bytes is used as scratch).
// The instruction sets the conversion is written for. All give the same bytes; the library runs
// the best one the processor has (`bestPath`), tests and benchmarks may pick one.
enum class ConversionPath { baseline, avx2, avx512 };

bool pathSupported(ConversionPath path);
ConversionPath bestPath();

void bunchedToBayer(const std::uint8_t* bunched, std::uint8_t* bayer, std::uint32_t width,
                    std::uint32_t height, std::uint8_t* row);

// Demosaics the GRBG frame (width, height >= 5) and writes (width-4) x (height-4) pixels of
// B, G, R. `scratch` holds 3 x (width-4) values.
void convertFrame(const ConversionTables& tables, const std::uint8_t* bayer, std::uint8_t* bgr,
                  std::uint32_t width, std::uint32_t height, std::int16_t* scratch);

// The same on a chosen path, which must be supported.
void bunchedToBayer(ConversionPath path, const std::uint8_t* bunched, std::uint8_t* bayer,
                    std::uint32_t width, std::uint32_t height, std::uint8_t* row);
void convertFrame(ConversionPath path, const ConversionTables& tables, const std::uint8_t* bayer,
                  std::uint8_t* bgr, std::uint32_t width, std::uint32_t height,
                  std::int16_t* scratch);

// Vector pieces, each in a unit of its own built for its instruction set. A bunched row of
// `half` column pairs, whole; and output row y of a w-wide frame from column 0 up to the
// returned column (even), which leaves the rest of the row to the plain code.
void bunchedRowAvx2(const std::uint8_t* even, const std::uint8_t* oddCols, std::uint8_t* out,
                    std::size_t half);
void bunchedRowAvx512(const std::uint8_t* even, const std::uint8_t* oddCols, std::uint8_t* out,
                      std::size_t half);
std::ptrdiff_t convertRowAvx2(const ConversionTables& tables, const std::uint8_t* bayer,
                              std::uint8_t* bgr, std::ptrdiff_t w, std::ptrdiff_t y);
std::ptrdiff_t convertRowAvx512(const ConversionTables& tables, const std::uint8_t* bayer,
                                std::uint8_t* bgr, std::ptrdiff_t w, std::ptrdiff_t y);

} // namespace kercol
