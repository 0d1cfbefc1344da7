// The open-camera record and the frame every export shares: connection checks, the set of
// open connections and the no-exception shell around each export.
#pragma once

#include "camera/cpi.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace kerris::camera {

class TransportBinding;

inline constexpr uint32_t kMagicOpen = 0x44495043;   // "CPID"
inline constexpr uint32_t kMagicClosed = 0x4C4C554E; // "NULL"
inline constexpr uint16_t kDefaultRetryCount = 10;
inline constexpr uint16_t kDefaultLockTimeout = 20000;
inline constexpr char kRegistryRoot[] = "SOFTWARE\\Brantor\\OVIK_SDK";
inline constexpr size_t kRegistryRootSize = 255; // 254 characters and the NUL

enum TransportKind : uint32_t { kTransportUsb = 0, kTransportSerial = 1 };

// Where the colour handle's settings came from at open; CpiGetErrorText tells a caller whose
// pictures are converted with the sensor's defaults although the camera has colour data.
enum class ColourSource : uint8_t {
    NotConfigured,  // the colour handle was not set up (yet)
    CameraData,     // the camera's own colour data
    NoCameraData,   // the camera has none (a length below 16): the sensor's defaults, as meant
    CameraDataLost, // a colour-data command failed or the colour library refused the data
};

// A block upload in progress (target non-null) and its buffers. The transport lock is held
// from the first block until the last one, a failure or a cancel.
struct BlockUploadState {
    CpiImage* target = nullptr;
    uint32_t blockSize = 0;
    uint32_t totalSize = 0;
    uint32_t bytesDone = 0;
    uint32_t startAddress = 0;
    uint16_t frameWidth = 0; // after the +2 widening rule
    uint16_t frameHeight = 0;
    std::vector<uint8_t> bayer;
    std::vector<uint8_t> raw;
    std::vector<uint8_t> widening;
    bool widen = false;
};

} // namespace kerris::camera

// One open camera. Allocated zero-filled by CpiCameraOpen, freed by CpiCameraClose.
struct CpiConnection {
    uint32_t magic = 0;
    kerris::camera::TransportBinding* transport = nullptr;
    uint32_t handle = 0;
    uint16_t cameraId = 0;
    uint32_t transportKind = kerris::camera::kTransportUsb;
    CpiCameraInfo cameraInfo{};
    uint32_t colourHandle = 0;
    kerris::camera::ColourSource colourSource = kerris::camera::ColourSource::NotConfigured;
    char registryRoot[kerris::camera::kRegistryRootSize] = {};
    kerris::camera::BlockUploadState block;
    uint16_t retryCount = 0;
    uint16_t lockTimeout = 0;
};

namespace kerris::camera {

// The connection check of every export: non-null, one of ours that is still open (its memory
// is not read otherwise, so a closed connection passed again is caught safely), magic "CPID".
bool isOpenConnection(const CpiConnection* c) noexcept;

// The set of connections made by CpiCameraOpen and not yet freed. add() is false when memory
// is short.
bool addConnection(CpiConnection* c) noexcept;
void removeConnection(CpiConnection* c) noexcept;

// Runs the body of an export so that no exception leaves the library: memory exhaustion
// becomes `onNoMemory`, anything else kCpiOutOfMemory as well (the library throws nothing else).
template <typename Body> uint32_t shield(uint32_t onNoMemory, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return onNoMemory;
    }
}

} // namespace kerris::camera
