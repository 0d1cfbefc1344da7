// The virtual camera: answers the camera command set from its settings and stored pictures.
#pragma once

#include "devices/virtualcam/camera_config.h"
#include "devices/virtualcam/picture_store.h"
#include "devices/virtualcam/status.h"

#include <array>
#include <cstdint>
#include <mutex>

namespace kerris::virtualcam {

// Request codes of the command set.
enum Request : uint8_t {
    kIdle = 0x00,
    kWriteControlRegister = 0x01,
    kWriteSdram = 0x02,
    kBulkReadRequest = 0x03,
    kAbort = 0x04,
    kGrabImage = 0x05,
    kResetImageIndex = 0x06,
    kSetImageFormat = 0x07,
    kTestControl = 0x08,
    kLastError = 0x80,
    kReadControlRegister = 0x81,
    kReadSdram = 0x82,
    kImageDescriptor = 0x83,
    kThumbnailDescriptor = 0x84,
    kCameraInformation = 0x85,
    kImageInformation = 0x86,
    kImageFormatQuery = 0x87,
    kEcho = 0x88,
    kColourDataLength = 0x8A,
    kColourData = 0x8B,
    kCameraState = 0x8D,
    kImageDescriptorEx = 0x8F,
    kImageLocation = 0x90,
};

// Control registers with a meaning: 0x0041 (bit 2: on external power) and 0x0201..0x0204,
// the big-endian SDRAM address of the SDRAM commands.
inline constexpr uint16_t kPowerRegister = 0x0041;
inline constexpr uint16_t kSdramAddressRegister = 0x0201;

// Grab modes (value byte A of command 0x05, above the index bits 8-11).
inline constexpr uint8_t kGrabNewPicture = 0x90; // store as a new picture
inline constexpr uint8_t kGrabDiscard = 0x40;    // take the picture without keeping it

class VirtualCamera {
public:
    // Builds the camera from its settings: loads and converts its picture folder.
    explicit VirtualCamera(CameraConfig config);

    const CameraConfig& config() const { return m_config; }
    bool extended() const { return m_config.generation == Generation::Extended; }

    // Runs one command. For requests below 0x80 `data` holds `length` bytes for the camera;
    // from 0x80 up the reply is written to the `length` bytes of `data` (only on success;
    // bytes past the reply are zeroed). Returns a status of status.h; a failure also sets
    // the camera's last error.
    uint32_t command(uint8_t request, uint8_t valueA, uint8_t valueB, uint8_t* data,
                     uint32_t length);

    // Reads up to `length` bytes of the pending transfer, at most `limit` of them.
    // kNoTransfer when none is pending, kShortTransfer when it ended before `length`.
    uint32_t read(uint8_t* buffer, uint32_t length, uint32_t limit, uint32_t* delivered);

    // The link was reset or broke: the pending transfer is dropped.
    void dropTransfer();
    // An injected failure lost a command: the camera reports a link error.
    void noteLostCommand();

    size_t pictureCount() const;
    // Copies picture `index`'s raw frame; empty when out of range (for checks).
    std::vector<uint8_t> rawFrame(size_t index) const;
    StoredPicture picture(size_t index) const;

private:
    uint32_t fail(uint32_t status, uint16_t cameraError);
    uint32_t reply(const uint8_t* bytes, uint32_t size, uint8_t* data, uint32_t length);
    uint32_t describe(uint8_t request, size_t index, uint8_t* data, uint32_t length);
    uint32_t startTransfer(uint32_t address, uint32_t size);
    uint32_t sdramAddress() const;
    void setSdramAddress(uint32_t address);
    uint32_t grab(uint8_t valueA, uint8_t valueB);

    mutable std::mutex m_mutex;
    CameraConfig m_config;
    PictureStore m_store;
    std::vector<uint8_t> m_colourData;
    std::array<uint8_t, 0x10000> m_registers{};
    std::vector<uint8_t> m_testData;
    uint8_t m_imageFormat;
    uint16_t m_lastError = kCameraErrorNone;
    uint32_t m_lastErrorReadsLeft = 0;
    uint32_t m_busyReadsLeft;
    uint32_t m_grabs = 0;
    bool m_transferActive = false;
    uint32_t m_transferAddress = 0;
    uint32_t m_transferLeft = 0;
};

} // namespace kerris::virtualcam
