// The colour library's C interface: its status codes, parameter numbers and the contract of
// each entry point. The entry points themselves are declared once, in camera/kerc.h, which the
// camera library loads them by and every colour library (this one, the test fakes) defines.
#pragma once

#include <stdint.h>

#include "camera/kerc.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The definitions of the entry points carry camera/kerc.h's export attribute. */
#define KERC_API KERC_EXPORT

/* Parameter numbers and answers the camera library relies on are camera/kerc.h's; this library's
 * own are added here. */

/* Status codes. */
enum {
    KERC_OK = 0,
    KERC_ERR_HANDLE = 2,    /* the handle is 0, closed or was never issued */
    KERC_ERR_POINTER = 3,   /* a required pointer is null */
    KERC_ERR_PARAMETER = 4, /* no such parameter number */
    KERC_ERR_SIZE = 5,      /* the value's size is not the parameter's size */
    KERC_ERR_VALUE = 6,     /* the value is out of range, or colour data did not decode */
    KERC_RETRY_MODE =
        kKercColourRetry,   /* conversion mode 4 does not serve this frame; set mode 1 and retry */
    KERC_ERR_MEMORY = 8,    /* out of memory */
    KERC_ERR_FRAME = 9,     /* frame too small, odd width for a bunched frame, or too large */
    KERC_ERR_ARGUMENT = 10, /* a reserved argument is not 0 */
};

/* Parameters: number, size in bytes, meaning. Values are host order unless said otherwise. */
enum {
    KERC_PARAM_BLACK_OFFSET = kKercBlackOffset, /* 2: u16 sensor black level, 0..254 */
    KERC_PARAM_WHITE_LEVEL = 2,                 /* 2: u16 sensor full scale, 1..255 */
    KERC_PARAM_MATRIX =
        kKercColourMatrix, /* 36: 9 floats, row-major 3x3, rows R,G,B out, columns R,G,B in */
    KERC_PARAM_GAMMA = kKercGamma,  /* 1: gamma correction off (0) or on (1) */
    KERC_PARAM_GAMMA_EXPONENT = 18, /* 2: u16 exponent x 1000, 1000..4000 */
    KERC_PARAM_MODE =
        kKercConversionMode, /* 4: u32 conversion mode, 4 (camera frames) or 1 (any frame) */
    KERC_PARAM_COLOUR_DATA =
        kKercColourData, /* 36: the camera's colour data (devices/kercol/colour_data.h) */
};

/* Conversion modes (parameter 24). */
enum {
    KERC_MODE_ANY_FRAME = 1,
    KERC_MODE_CAMERA_FRAMES = 4,
};

/* KERC_Open: Opens a conversion context with the device defaults. Both arguments are reserved and
 * must be 0. Returns a non-zero handle, or 0 when the arguments are not 0 or memory is short. */

/* KERC_Close: Closes a handle; it is never issued again. 0, or KERC_ERR_HANDLE. */

/* KERC_LoadDeviceDefaults: Restores the device defaults: identity matrix, black 0, white 255, gamma
 * off with exponent 2.2, mode 4. `zero` must be 0 (KERC_ERR_ARGUMENT). 0, or KERC_ERR_HANDLE. */

/* KERC_SetParameter: Sets parameter `number` from `size` bytes at `value`. The size must be the
 * parameter's own. Nothing changes unless it returns 0. Colour data (26) sets black, white, matrix,
 * gamma flag and exponent at once. Errors: HANDLE, POINTER, PARAMETER, SIZE, VALUE. */

/* KERC_QueryParameter: Copies parameter `number` into `size` bytes at `buffer`; the size must be
 * the parameter's own. Parameter 26 answers the current settings in the colour data format. The
 * buffer is written only on success. Errors: HANDLE, POINTER, PARAMETER, SIZE. */

/* KERC_BunchedToBayer: Interleaves a bunched frame (each row: its even columns, then its odd
 * columns) into a Bayer frame of width x height bytes. The width must be even and at least 2, the
 * height at least 1. The two frames may be the same buffer. Errors: HANDLE, POINTER, FRAME, MEMORY.
 */

/* KERC_Colour: Converts a GRBG Bayer frame of width x height bytes into (width-4) x (height-4)
 * pixels of B, G, R bytes, rows top-down, unpadded: demosaic, black offset and white level, colour
 * matrix, gamma. Width and height must be at least 5. Mode 4 serves only the camera's frame sizes
 * (356x292, 644x484, 180x148, 324x244 and the 84x68 thumbnail frame) and answers
 * KERC_RETRY_MODE for any other; mode 1 serves every size. `zero` must be 0.
 * Errors: HANDLE, POINTER, FRAME, ARGUMENT, MEMORY, RETRY_MODE. */

#ifdef __cplusplus
}
#endif
