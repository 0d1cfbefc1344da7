// The settings of one conversion context and the numbered parameters that read and write them.
#pragma once

#include <cstdint>

#include "devices/kercol/colour_data.h"

namespace kercol {

struct ColourSettings {
    float matrix[9];           // row-major; rows R,G,B out, columns R,G,B in
    std::uint16_t blackOffset; // 0..254
    std::uint16_t whiteLevel;  // 1..255
    bool gammaOn;
    std::uint16_t gammaMilli; // kGammaMilliMin..kGammaMilliMax
    std::uint32_t mode;       // KERC_MODE_ANY_FRAME or KERC_MODE_CAMERA_FRAMES
};

// Identity matrix, black 0, white 255, gamma off (exponent 2.2), camera-frame mode.
ColourSettings deviceDefaults();

// Sets a parameter from exactly its size in bytes; `settings` changes only when 0 is returned.
// Returns a KERC_ status.
std::uint32_t setParameter(ColourSettings& settings, std::uint32_t number, const void* value,
                           std::uint32_t size);

// Copies a parameter into exactly its size in bytes; the buffer is written only on success.
std::uint32_t queryParameter(const ColourSettings& settings, std::uint32_t number, void* buffer,
                             std::uint32_t size);

// The settings carried by (or answered as) colour data.
ColourSettings applyColourData(const ColourSettings& settings, const ColourData& data);
ColourData colourDataOf(const ColourSettings& settings);

} // namespace kercol
