/* The colour library's entry points ("kercol.dll"). Frames are one byte per sample. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A colour library exports these names with default visibility. */
#define KERC_EXPORT __attribute__((visibility("default")))

/* Numbered colour parameters (value pointer + size in bytes). */
enum {
    kKercBlackOffset = 0,      /* 2 bytes */
    kKercDefaultsFallback = 2, /* 2 bytes: 250 when the device defaults cannot be loaded */
    kKercColourMatrix = 11,    /* 36 bytes: 9 floats, row-major 3 x 3 */
    kKercGamma = 17,           /* 1 byte: 1 on, 0 off */
    kKercConversionMode = 24,  /* 4 bytes: 4 at open, 1 after KERC_Colour answered 7 */
    kKercColourData = 26,      /* 36 bytes: the camera's own colour data */
    kKercColourRetry = 7       /* KERC_Colour: retry with conversion mode 1 */
};

KERC_EXPORT uint32_t KERC_Open(uint32_t zero1, uint32_t zero2);
KERC_EXPORT uint32_t KERC_Close(uint32_t handle);
KERC_EXPORT uint32_t KERC_LoadDeviceDefaults(uint32_t handle, uint32_t zero);
KERC_EXPORT uint32_t KERC_SetParameter(uint32_t handle, uint32_t number, void* value,
                                       uint32_t size);
KERC_EXPORT uint32_t KERC_QueryParameter(uint32_t handle, uint32_t number, void* buffer,
                                         uint32_t size);
KERC_EXPORT uint32_t KERC_BunchedToBayer(uint32_t handle, uint8_t* bunched, uint8_t* bayer,
                                         uint32_t width, uint32_t height);
KERC_EXPORT uint32_t KERC_Colour(uint32_t handle, uint8_t* bayer, uint8_t* rgb, uint32_t width,
                                 uint32_t height, uint32_t zero);

#ifdef __cplusplus
}
#endif
