// The camera command set: command records, sending and receiving, the reply decoders, the
// extended-command-set rule, the echo test, the settle wait and the reset sequence.
#pragma once

#include "camera/connection.h"
#include "camera/cti.h"

#include <cstdint>
#include <memory>

namespace kerris::camera {

// Request codes. Below 0x80 data goes to the camera, from 0x80 on it comes from the camera.
enum Request : uint8_t {
    kReqIdle = 0x00,
    kReqWriteCtrlReg = 0x01,
    kReqWriteSdram = 0x02,
    kReqBulkRead = 0x03,
    kReqAbort = 0x04,
    kReqGrabImage = 0x05,
    kReqResetImageIndex = 0x06,
    kReqSetImageFormat = 0x07,
    kReqTestControl = 0x08,
    kReqLastError = 0x80,
    kReqReadCtrlReg = 0x81,
    kReqReadSdram = 0x82,
    kReqImageDescriptor = 0x83,
    kReqThumbnailDescriptor = 0x84,
    kReqCameraInfo = 0x85,
    kReqImageInfo = 0x86,
    kReqImageFormat = 0x87,
    kReqEcho = 0x88,
    kReqColourDataLength = 0x8A,
    kReqColourData = 0x8B,
    kReqCameraState = 0x8D,
    kReqImageHeader = 0x8F,
    kReqImageLocation = 0x90
};

inline constexpr uint16_t kEchoValue = 0x5678;
inline constexpr uint16_t kSyncEchoValue = 0x1234;
inline constexpr int kResetIdleAttempts = 5;
inline constexpr uint32_t kMaxRegisterLength = 16;
inline constexpr size_t kReplySize = 16; // descriptor, camera information, image information

// A command record with its zero-filled data buffer, built fresh for one command.
class CommandRecord {
public:
    // Null when the record or its buffer cannot be allocated (the caller returns 0x3000).
    static std::unique_ptr<CommandRecord> make(uint8_t request, uint8_t valueA, uint8_t valueB,
                                               uint32_t length) noexcept;
    CtiCommandRecord* record() noexcept { return &m_record; }
    uint8_t* data() noexcept { return m_record.data; }
    uint32_t length() const noexcept { return m_record.length; }
    ~CommandRecord();

private:
    CommandRecord() = default;
    CtiCommandRecord m_record{};
};

// Sends a command carrying `length` bytes of `out` to the camera (request below 0x80).
uint32_t sendCommand(CpiConnection* c, uint8_t request, uint8_t valueA, uint8_t valueB,
                     const void* out = nullptr, uint32_t length = 0) noexcept;
// Sends a command whose reply of `length` bytes is copied to `in` when it returns 0.
uint32_t receiveCommand(CpiConnection* c, uint8_t request, uint8_t valueA, uint8_t valueB, void* in,
                        uint32_t length) noexcept;
// Runs a prepared record (no task).
uint32_t runCommand(CpiConnection* c, CommandRecord& command) noexcept;

// Value bytes of commands that name a picture: A = index bits 8-15, B = bits 0-7.
inline uint8_t indexHigh(uint32_t index) noexcept {
    return uint8_t(index >> 8);
}
inline uint8_t indexLow(uint32_t index) noexcept {
    return uint8_t(index);
}

// Big-endian fields of replies and payloads.
inline uint16_t be16(const uint8_t* p) noexcept {
    return uint16_t(p[0] << 8 | p[1]);
}
inline uint32_t be32(const uint8_t* p) noexcept {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline void putBe32(uint8_t* p, uint32_t v) noexcept {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// True when the camera answers 0x8D, 0x8F and 0x90: version bits 24-31 non-zero or bits 16-23
// at least 0x61.
bool hasExtendedCommandSet(const CpiCameraInfo& info) noexcept;
bool hasExtendedCommandSet(const CpiConnection* c) noexcept;

// The camera's odd small frames stand for the two small formats: 174 x 142 -> 176 x 144,
// 318 x 238 -> 320 x 240.
void applySmallFrameRule(uint16_t& width, uint16_t& height) noexcept;
// Picture size <-> format code (0 = 352 x 288, 1 = 640 x 480, 2 = 176 x 144, 3 = 320 x 240).
bool formatOfSize(uint32_t width, uint32_t height, uint32_t* format) noexcept;
bool sizeOfFormat(uint32_t format, uint32_t* width, uint32_t* height) noexcept;

// Reply decoders (16 reply bytes each).
void decodeCameraInfo(const uint8_t* reply, uint32_t transportVersion,
                      CpiCameraInfo* info) noexcept;
void decodeImageInfo(const uint8_t* reply, CpiImageInfo* info) noexcept;
CpiImageDescriptor decodeDescriptor(const uint8_t* reply) noexcept;

// Queries built on single commands; each fills its record only on 0.
uint32_t readCameraInfo(CpiConnection* c, CpiCameraInfo* info) noexcept; // 0x85 + CtiGetVersion
uint32_t readImageInfo(CpiConnection* c, CpiImageInfo* info) noexcept;   // 0x86
uint32_t readImageInfoEx(CpiConnection* c, uint32_t index, CpiImageInfoEx* info) noexcept;
uint32_t readCameraState(CpiConnection* c, CpiCameraStateInfo* state) noexcept;
// 0x83 picture, 0x84 thumbnail, 0x8F per-image header: the descriptor of picture `index`.
uint32_t readDescriptor(CpiConnection* c, uint8_t request, uint32_t index,
                        CpiImageDescriptor* descriptor) noexcept;
// The picture size of `index` as a format code; 10 for another size (format left alone).
// `info` (optional) receives the sizes also when the status is 10.
uint32_t readImageFormatEx(CpiConnection* c, uint32_t index, uint32_t* format,
                           CpiImageInfoEx* info) noexcept;

// The echo test as a task with the value 0x5678: 0, 0x43, 0x11 (task aborted) or the
// transport's result.
uint32_t echoTest(CpiConnection* c) noexcept;
// Waits until a camera with capability bit 0 is ready (state polling or a fixed pause).
uint32_t settleWait(CpiConnection* c) noexcept;
// Abort, transport reset, then idle until it answers 0 (at most 5 times): its last result.
uint32_t resetSequence(CpiConnection* c) noexcept;

// The transport's per-handle lock with the connection's lock timeout.
uint32_t lockTransport(CpiConnection* c) noexcept;
void unlockTransport(CpiConnection* c) noexcept;

} // namespace kerris::camera
