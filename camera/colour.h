// Colour processing of a connection: configuration at open and picture conversion.
#pragma once

#include "camera/connection.h"

#include <cstdint>

namespace kerris::camera {

// The built-in matrices (row-major) of the two sensor families.
extern const float kMatrixSA[9];
extern const float kMatrixSB[9];

// Configures the connection's fresh colour handle: device defaults, conversion mode 4, the
// registry root, then the camera's colour data or the sensor's matrix with registry overrides.
// Its outcome does not affect the open.
void configureColour(CpiConnection* c) noexcept;

// CpiGetErrorText for kCpiColourDefaults: the text and kCpiColourDefaults when the connection's
// colour data was lost at open, else "" and 0. `buffer` is non-null and `size` non-zero.
uint32_t colourDefaultsText(const CpiConnection* c, char* buffer, uint32_t size) noexcept;

// Converts a bunched frame of width x height into (width - 4) x (height - 4) pixels of 3 bytes,
// rows top-down: bunched -> Bayer (into `bayer`, width x height bytes) -> colour into `rgb`.
// A colour answer of 7 switches the connection to conversion mode 1 and retries once.
// 0, or kCpiColourFailed when the colour library fails.
uint32_t convertToRgb(CpiConnection* c, uint8_t* bunched, uint8_t* bayer, uint8_t* rgb,
                      uint32_t width, uint32_t height) noexcept;

// Sign-magnitude fixed point of the registry: bits 0-30 in units of 0.0001, bit 31 the sign.
float matrixElementFromRegistry(uint32_t value) noexcept;

} // namespace kerris::camera
