// Colour processing: the colour handle's configuration at open (device defaults, the camera's
// colour data or a sensor matrix with registry overrides), picture conversion and the matrix
// exports.
#include "camera/colour.h"

#include "camera/colour_binding.h"
#include "camera/commands.h"
#include "platform/registry/registry.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace kerris::camera {

const float kMatrixSA[9] = {2.135f,  -1.193f, 0.058f,  -0.376f, 1.741f,
                            -0.365f, 0.018f,  -1.188f, 2.17f};
const float kMatrixSB[9] = {2.035f,  -0.965f, -0.069f, -0.189f, 1.435f,
                            -0.247f, -0.114f, -0.415f, 1.529f};

namespace {

constexpr uint16_t kFallbackBlackOffset = 16;
constexpr uint16_t kFallbackParameter2 = 250;
constexpr uint32_t kModeAtOpen = 4;
constexpr uint32_t kModeAfterRetry = 1;
constexpr uint32_t kColourDataSize = 36; // parameter 26 always receives this many bytes
constexpr uint32_t kColourDataMinimum = 16;
constexpr uint32_t kColourPiece = 16;
constexpr uint32_t kMatrixBytes = 9 * sizeof(float);
constexpr uint16_t kSensorFamilyFirst = 0x1940;
constexpr uint16_t kSensorFamilyLast = 0x194F;
constexpr uint32_t kSignBit = 0x80000000u;

// Reads the camera's own colour data (length from 0x8A, then 16-byte pieces of 0x8B) and hands
// it to the colour library. NoCameraData when the camera has less than 16 bytes, CameraDataLost
// when a command fails or the colour library refuses the data.
ColourSource applyCameraColourData(CpiConnection* c) noexcept {
    uint8_t lengthReply[2] = {};
    if (receiveCommand(c, kReqColourDataLength, 0, 0, lengthReply, sizeof lengthReply) != kCpiOk)
        return ColourSource::CameraDataLost;
    const uint32_t length = lengthReply[0];
    if (length < kColourDataMinimum)
        return ColourSource::NoCameraData;
    // Room for all the camera sends; the library is always given 36 bytes, zero beyond the data.
    uint8_t data[256 + kColourDataSize] = {};
    uint32_t offset = 0;
    for (; offset + kColourPiece <= length; offset += kColourPiece) {
        if (receiveCommand(c, kReqColourData, uint8_t(offset), 0, data + offset, kColourPiece) !=
            kCpiOk)
            return ColourSource::CameraDataLost;
    }
    if (uint32_t rest = length % kColourPiece) {
        if (receiveCommand(c, kReqColourData, uint8_t(offset), 0, data + offset, rest) != kCpiOk)
            return ColourSource::CameraDataLost;
    }
    if (kerc::setParameter(c->colourHandle, kKercColourData, data, kColourDataSize) != kCpiOk)
        return ColourSource::CameraDataLost;
    return ColourSource::CameraData;
}

// A registry value read as 4 bytes whatever its type; nothing when it is missing or longer.
std::optional<uint32_t> readFourBytes(const registry::Key& key, const char* name) {
    auto value = key.read(name);
    if (!value || value->data.size() > sizeof(uint32_t))
        return std::nullopt;
    uint32_t v = 0;
    for (size_t i = 0; i < value->data.size(); ++i)
        v |= uint32_t(value->data[i]) << (8 * i);
    return v;
}

void applySensorSettings(CpiConnection* c) {
    const uint16_t sensor = c->cameraInfo.sensorId;
    if (sensor < kSensorFamilyFirst || sensor > kSensorFamilyLast)
        return;
    const bool familyB = (sensor & 0x0F) > 3;
    const char* sensorName = familyB ? "SB" : "SA";
    const float* builtIn = familyB ? kMatrixSB : kMatrixSA;

    float matrix[9];
    std::memcpy(matrix, builtIn, sizeof matrix);
    const std::string sensorKey = std::string(c->registryRoot) + "\\" + sensorName;
    if (auto key =
            registry::Key::open(registry::Hive::LocalMachine, sensorKey + "\\ColourMatrix")) {
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                char name[8];
                std::snprintf(name, sizeof name, "M%.02d", row * 10 + column);
                if (auto value = readFourBytes(*key, name))
                    matrix[row * 3 + column] = matrixElementFromRegistry(*value);
            }
        }
    }
    kerc::setParameter(c->colourHandle, kKercColourMatrix, matrix, kMatrixBytes);

    if (auto key = registry::Key::open(registry::Hive::LocalMachine, sensorKey)) {
        if (auto offset = readFourBytes(*key, "BlackOffset")) {
            uint16_t black = uint16_t(*offset);
            kerc::setParameter(c->colourHandle, kKercBlackOffset, &black, sizeof black);
        }
        if (auto gamma = readFourBytes(*key, "EnableGammaCorrection")) {
            if (*gamma == 0 || *gamma == 1) {
                uint8_t on = uint8_t(*gamma);
                kerc::setParameter(c->colourHandle, kKercGamma, &on, sizeof on);
            }
        }
    }
}

} // namespace

float matrixElementFromRegistry(uint32_t value) noexcept {
    double magnitude = double(value & ~kSignBit) / 10000.0;
    return float((value & kSignBit) ? -magnitude : magnitude);
}

void configureColour(CpiConnection* c) noexcept {
    const uint32_t handle = c->colourHandle;
    if (kerc::loadDeviceDefaults(handle) != kCpiOk) {
        uint16_t black = kFallbackBlackOffset;
        uint16_t fallback = kFallbackParameter2;
        kerc::setParameter(handle, kKercBlackOffset, &black, sizeof black);
        kerc::setParameter(handle, kKercDefaultsFallback, &fallback, sizeof fallback);
    }
    uint32_t mode = kModeAtOpen;
    kerc::setParameter(handle, kKercConversionMode, &mode, sizeof mode);
    std::snprintf(c->registryRoot, sizeof c->registryRoot, "%s", kRegistryRoot);

    c->colourSource = applyCameraColourData(c);
    if (c->colourSource == ColourSource::CameraData)
        return;
    try {
        applySensorSettings(c);
    } catch (...) {
        // Short of memory for a key path: the colour library keeps its defaults.
    }
}

uint32_t colourDefaultsText(const CpiConnection* c, char* buffer, uint32_t size) noexcept {
    static constexpr char kText[] =
        "the camera's colour data could not be read; the sensor's defaults are used";
    if (c->colourSource != ColourSource::CameraDataLost) {
        buffer[0] = '\0';
        return kCpiOk;
    }
    std::snprintf(buffer, size, "%s", kText);
    return kCpiColourDefaults;
}

uint32_t convertToRgb(CpiConnection* c, uint8_t* bunched, uint8_t* bayer, uint8_t* rgb,
                      uint32_t width, uint32_t height) noexcept {
    const uint32_t handle = c->colourHandle;
    kerc::bunchedToBayer(handle, bunched, bayer, width, height);
    uint32_t status = kerc::colour(handle, bayer, rgb, width, height);
    if (status == kKercColourRetry) {
        uint32_t mode = kModeAfterRetry;
        kerc::setParameter(handle, kKercConversionMode, &mode, sizeof mode);
        status = kerc::colour(handle, bayer, rgb, width, height);
    }
    return status == kCpiOk ? kCpiOk : kCpiColourFailed;
}

} // namespace kerris::camera

using namespace kerris::camera;

extern "C" {

uint32_t CpiSetColourMatrix(CpiConnection* c, float* matrix) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!matrix)
        return kCpiBadValue;
    kerc::setParameter(c->colourHandle, kKercColourMatrix, matrix, kMatrixBytes);
    return kCpiOk;
}

uint32_t CpiGetColourMatrix(CpiConnection* c, float* matrix) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!matrix)
        return kCpiBadValue;
    kerc::queryParameter(c->colourHandle, kKercColourMatrix, matrix, kMatrixBytes);
    return kCpiOk;
}

} // extern "C"
