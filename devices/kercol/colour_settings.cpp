// Parameter table of the colour library: sizes, ranges and the colour data parameter.
#include "devices/kercol/colour_settings.h"

#include <cmath>
#include <cstring>

#include "devices/kercol/kercol.h"

namespace kercol {

namespace {

// Matrix entries beyond this size would only saturate every pixel; they are refused so that the
// fixed-point arithmetic of the conversion keeps its headroom.
constexpr float kMatrixLimit = 16.0f;

std::uint32_t parameterSize(std::uint32_t number) {
    switch (number) {
    case KERC_PARAM_BLACK_OFFSET:
    case KERC_PARAM_WHITE_LEVEL:
    case KERC_PARAM_GAMMA_EXPONENT:
        return 2;
    case KERC_PARAM_MATRIX:
        return 36;
    case KERC_PARAM_GAMMA:
        return 1;
    case KERC_PARAM_MODE:
        return 4;
    case KERC_PARAM_COLOUR_DATA:
        return kColourDataSize;
    default:
        return 0;
    }
}

} // namespace

ColourSettings deviceDefaults() {
    return ColourSettings{{1, 0, 0, 0, 1, 0, 0, 0, 1}, 0, 255, false, kGammaMilliDefault,
                          KERC_MODE_CAMERA_FRAMES};
}

ColourSettings applyColourData(const ColourSettings& settings, const ColourData& data) {
    ColourSettings next = settings;
    for (int i = 0; i < 9; ++i)
        next.matrix[i] = matrixEntryToFloat(data.matrix[i]);
    next.blackOffset = data.blackOffset;
    next.whiteLevel = data.whiteLevel;
    next.gammaOn = data.gammaOn;
    next.gammaMilli = data.gammaMilli;
    return next;
}

ColourData colourDataOf(const ColourSettings& settings) {
    ColourData data{};
    for (int i = 0; i < 9; ++i)
        data.matrix[i] = matrixEntryFromFloat(settings.matrix[i]);
    data.blackOffset = settings.blackOffset;
    data.whiteLevel = settings.whiteLevel;
    data.gammaOn = settings.gammaOn;
    data.gammaMilli = settings.gammaMilli;
    return data;
}

std::uint32_t setParameter(ColourSettings& settings, std::uint32_t number, const void* value,
                           std::uint32_t size) {
    const std::uint32_t expected = parameterSize(number);
    if (expected == 0)
        return KERC_ERR_PARAMETER;
    if (value == nullptr)
        return KERC_ERR_POINTER;
    if (size != expected)
        return KERC_ERR_SIZE;

    switch (number) {
    case KERC_PARAM_BLACK_OFFSET:
    case KERC_PARAM_WHITE_LEVEL:
    case KERC_PARAM_GAMMA_EXPONENT: {
        std::uint16_t v;
        std::memcpy(&v, value, sizeof v);
        if (number == KERC_PARAM_BLACK_OFFSET) {
            if (v > 254)
                return KERC_ERR_VALUE;
            settings.blackOffset = v;
        } else if (number == KERC_PARAM_WHITE_LEVEL) {
            if (v < 1 || v > 255)
                return KERC_ERR_VALUE;
            settings.whiteLevel = v;
        } else {
            if (v < kGammaMilliMin || v > kGammaMilliMax)
                return KERC_ERR_VALUE;
            settings.gammaMilli = v;
        }
        return KERC_OK;
    }
    case KERC_PARAM_MATRIX: {
        float m[9];
        std::memcpy(m, value, sizeof m);
        for (float v : m)
            if (!std::isfinite(v) || std::fabs(v) > kMatrixLimit)
                return KERC_ERR_VALUE;
        std::memcpy(settings.matrix, m, sizeof m);
        return KERC_OK;
    }
    case KERC_PARAM_GAMMA: {
        const std::uint8_t v = *static_cast<const std::uint8_t*>(value);
        if (v > 1)
            return KERC_ERR_VALUE;
        settings.gammaOn = v == 1;
        return KERC_OK;
    }
    case KERC_PARAM_MODE: {
        std::uint32_t v;
        std::memcpy(&v, value, sizeof v);
        if (v != KERC_MODE_ANY_FRAME && v != KERC_MODE_CAMERA_FRAMES)
            return KERC_ERR_VALUE;
        settings.mode = v;
        return KERC_OK;
    }
    case KERC_PARAM_COLOUR_DATA: {
        ColourData data{};
        if (decodeColourData(static_cast<const std::uint8_t*>(value), &data) !=
            ColourDataError::None)
            return KERC_ERR_VALUE;
        settings = applyColourData(settings, data);
        return KERC_OK;
    }
    default:
        return KERC_ERR_PARAMETER;
    }
}

std::uint32_t queryParameter(const ColourSettings& settings, std::uint32_t number, void* buffer,
                             std::uint32_t size) {
    const std::uint32_t expected = parameterSize(number);
    if (expected == 0)
        return KERC_ERR_PARAMETER;
    if (buffer == nullptr)
        return KERC_ERR_POINTER;
    if (size != expected)
        return KERC_ERR_SIZE;

    switch (number) {
    case KERC_PARAM_BLACK_OFFSET:
        std::memcpy(buffer, &settings.blackOffset, 2);
        break;
    case KERC_PARAM_WHITE_LEVEL:
        std::memcpy(buffer, &settings.whiteLevel, 2);
        break;
    case KERC_PARAM_GAMMA_EXPONENT:
        std::memcpy(buffer, &settings.gammaMilli, 2);
        break;
    case KERC_PARAM_MATRIX:
        std::memcpy(buffer, settings.matrix, 36);
        break;
    case KERC_PARAM_GAMMA:
        *static_cast<std::uint8_t*>(buffer) = settings.gammaOn ? 1 : 0;
        break;
    case KERC_PARAM_MODE:
        std::memcpy(buffer, &settings.mode, 4);
        break;
    case KERC_PARAM_COLOUR_DATA:
        encodeColourData(colourDataOf(settings), static_cast<std::uint8_t*>(buffer));
        break;
    }
    return KERC_OK;
}

} // namespace kercol
