// The camera command set: command records, the reply decoders, the echo test, the settle
// wait, the reset sequence and the query and control exports built on single commands.
#include "camera/commands.h"

#include "camera/transport_binding.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

namespace kerris::camera {

namespace {

constexpr uint16_t kExtendedVersionMinimum = 0x61;
constexpr uint16_t kPowerRegister = 0x0041;
constexpr uint8_t kPowerBit = 0x04;
constexpr uint8_t kSdramAddressRegLow = 0x01;
constexpr uint8_t kSdramAddressRegHigh = 0x02;
constexpr uint32_t kNoAddress = 0xFFFFFFFF;
constexpr uint32_t kFormatPayload = 8;
constexpr uint16_t kExtendedThumbnailWidth = 80;
constexpr uint16_t kExtendedThumbnailHeight = 64;
constexpr uint16_t kExtendedThumbnailSize = 5712;
constexpr int kSettlePolls = 20;
constexpr auto kSettlePollPause = std::chrono::milliseconds(100);
constexpr auto kSettlePause = std::chrono::milliseconds(2000);

void pause(std::chrono::milliseconds time) {
    std::this_thread::sleep_for(time);
}

} // namespace

// ---- Command records ---------------------------------------------------------------------

std::unique_ptr<CommandRecord> CommandRecord::make(uint8_t request, uint8_t valueA, uint8_t valueB,
                                                   uint32_t length) noexcept {
    std::unique_ptr<CommandRecord> command(new (std::nothrow) CommandRecord);
    if (!command)
        return nullptr;
    if (length) {
        command->m_record.data = static_cast<uint8_t*>(std::calloc(length, 1));
        if (!command->m_record.data)
            return nullptr;
    }
    CtiCommandRecord& r = command->m_record;
    r.request = request;
    r.zero = 0;
    r.valueA = valueA;
    r.valueB = valueB;
    r.length = length;
    r.reserved1 = 0;
    r.marker = kCtiRecordMarker;
    r.reserved2 = 0;
    return command;
}

CommandRecord::~CommandRecord() {
    std::free(m_record.data);
}

uint32_t runCommand(CpiConnection* c, CommandRecord& command) noexcept {
    return cti::command(c->handle, command.record(), nullptr);
}

uint32_t sendCommand(CpiConnection* c, uint8_t request, uint8_t valueA, uint8_t valueB,
                     const void* out, uint32_t length) noexcept {
    auto command = CommandRecord::make(request, valueA, valueB, length);
    if (!command)
        return kCpiNoCommandRecord;
    if (length && out)
        std::memcpy(command->data(), out, length);
    return runCommand(c, *command);
}

uint32_t receiveCommand(CpiConnection* c, uint8_t request, uint8_t valueA, uint8_t valueB, void* in,
                        uint32_t length) noexcept {
    auto command = CommandRecord::make(request, valueA, valueB, length);
    if (!command)
        return kCpiNoCommandRecord;
    uint32_t status = runCommand(c, *command);
    if (status == kCpiOk && length && in)
        std::memcpy(in, command->data(), length);
    return status;
}

// ---- Rules and decoders ------------------------------------------------------------------

bool hasExtendedCommandSet(const CpiCameraInfo& info) noexcept {
    return (info.cameraVersion >> 24) != 0 ||
           ((info.cameraVersion >> 16) & 0xFF) >= kExtendedVersionMinimum;
}

bool hasExtendedCommandSet(const CpiConnection* c) noexcept {
    return hasExtendedCommandSet(c->cameraInfo);
}

void applySmallFrameRule(uint16_t& width, uint16_t& height) noexcept {
    if (width == 174 && height == 142) {
        width = 176;
        height = 144;
    } else if (width == 318 && height == 238) {
        width = 320;
        height = 240;
    }
}

namespace {
struct FormatSize {
    uint32_t width, height;
};
constexpr FormatSize kFormatSizes[] = {{352, 288}, {640, 480}, {176, 144}, {320, 240}};
} // namespace

bool formatOfSize(uint32_t width, uint32_t height, uint32_t* format) noexcept {
    for (uint32_t f = 0; f < std::size(kFormatSizes); ++f) {
        if (kFormatSizes[f].width == width && kFormatSizes[f].height == height) {
            *format = f;
            return true;
        }
    }
    return false;
}

bool sizeOfFormat(uint32_t format, uint32_t* width, uint32_t* height) noexcept {
    if (format >= std::size(kFormatSizes))
        return false;
    *width = kFormatSizes[format].width;
    *height = kFormatSizes[format].height;
    return true;
}

void decodeCameraInfo(const uint8_t* r, uint32_t transportVersion, CpiCameraInfo* info) noexcept {
    const uint8_t caps = r[6];
    CpiCameraInfo out{};
    out.capabilityBit2 = (caps >> 2) & 1;
    out.capabilityBit1 = (caps >> 1) & 1;
    out.sensorId = be16(r + 4);
    out.capabilityBit0 = caps & 1;
    out.cameraVersion = be32(r);
    out.interfaceVersions = (transportVersion & 0xFFFF) << 16 | kCpiInterfaceVersion;
    out.cameraWord1 = be16(r + 8);
    out.cameraWord2 = be16(r + 10);
    out.cameraLong = be32(r + 12);
    out.thumbnailsStored = (caps >> 3) & 1;
    out.capabilityBit4 = (caps >> 4) & 1;
    out.capabilityBit5 = (caps >> 5) & 1;
    *info = out;
}

void decodeImageInfo(const uint8_t* r, CpiImageInfo* info) noexcept {
    CpiImageInfo out{};
    out.ImageCount = be16(r);
    out.HeaderCount = be16(r + 2);
    out.imageWidth = uint16_t(be16(r + 4) - 4);
    out.imageHeight = uint16_t(be16(r + 6) - 4);
    out.rawImageSize = be32(r + 8);
    out.thumbnailWidth = uint16_t(r[12] - 4);
    out.thumbnailHeight = uint16_t(r[13] - 4);
    out.rawThumbnailSize = be16(r + 14);
    applySmallFrameRule(out.imageWidth, out.imageHeight);
    *info = out;
}

CpiImageDescriptor decodeDescriptor(const uint8_t* r) noexcept {
    CpiImageDescriptor d{};
    d.rawWidth = be16(r + 4);
    d.rawHeight = be16(r + 6);
    d.rawDataSize = be32(r);
    d.descriptorWord1 = be16(r + 8);
    d.descriptorWord2 = be16(r + 10);
    d.descriptorByte1 = r[12];
    d.descriptorByte2 = r[13];
    d.descriptorByte3 = r[14];
    d.imageFlags = r[15];
    return d;
}

// ---- Queries -----------------------------------------------------------------------------

uint32_t readCameraInfo(CpiConnection* c, CpiCameraInfo* info) noexcept {
    uint8_t reply[kReplySize];
    uint32_t status = receiveCommand(c, kReqCameraInfo, 0, 0, reply, sizeof reply);
    if (status != kCpiOk)
        return status;
    uint32_t version = 0;
    if (cti::getVersion(c->handle, &version) != kCpiOk)
        version = 0;
    decodeCameraInfo(reply, version, info);
    return kCpiOk;
}

uint32_t readImageInfo(CpiConnection* c, CpiImageInfo* info) noexcept {
    uint8_t reply[kReplySize];
    uint32_t status = receiveCommand(c, kReqImageInfo, 0, 0, reply, sizeof reply);
    if (status == kCpiOk)
        decodeImageInfo(reply, info);
    return status;
}

uint32_t readDescriptor(CpiConnection* c, uint8_t request, uint32_t index,
                        CpiImageDescriptor* descriptor) noexcept {
    uint8_t reply[kReplySize];
    uint32_t status =
        receiveCommand(c, request, indexHigh(index), indexLow(index), reply, sizeof reply);
    if (status == kCpiOk)
        *descriptor = decodeDescriptor(reply);
    return status;
}

uint32_t readImageInfoEx(CpiConnection* c, uint32_t index, CpiImageInfoEx* info) noexcept {
    CpiImageInfoEx out{};
    if (hasExtendedCommandSet(c)) {
        CpiImageDescriptor d;
        uint32_t status = readDescriptor(c, kReqImageHeader, index, &d);
        if (status != kCpiOk)
            return status;
        out.imageWidth = uint16_t(d.rawWidth - 4);
        out.imageHeight = uint16_t(d.rawHeight - 4);
        out.rawImageSize = d.rawDataSize;
        out.thumbnailWidth = kExtendedThumbnailWidth;
        out.thumbnailHeight = kExtendedThumbnailHeight;
        out.rawThumbnailSize = kExtendedThumbnailSize;
        applySmallFrameRule(out.imageWidth, out.imageHeight);
    } else {
        CpiImageInfo plain;
        uint32_t status = readImageInfo(c, &plain);
        if (status != kCpiOk)
            return status;
        out.imageWidth = plain.imageWidth;
        out.imageHeight = plain.imageHeight;
        out.rawImageSize = plain.rawImageSize;
        out.thumbnailWidth = plain.thumbnailWidth;
        out.thumbnailHeight = plain.thumbnailHeight;
        out.rawThumbnailSize = plain.rawThumbnailSize;
    }
    *info = out;
    return kCpiOk;
}

uint32_t readCameraState(CpiConnection* c, CpiCameraStateInfo* state) noexcept {
    CpiCameraStateInfo out{};
    if (hasExtendedCommandSet(c)) {
        uint8_t reply[8];
        uint32_t status = receiveCommand(c, kReqCameraState, 0, 0, reply, sizeof reply);
        if (status != kCpiOk)
            return status;
        out.byte0 = reply[0];
        out.busy = reply[1];
        out.ImageCount = be16(reply + 2);
        out.HeaderCount = be16(reply + 4);
    } else {
        CpiImageInfo plain;
        uint32_t status = readImageInfo(c, &plain);
        if (status != kCpiOk)
            return status;
        out.ImageCount = plain.ImageCount;
        out.HeaderCount = plain.HeaderCount;
    }
    *state = out;
    return kCpiOk;
}

uint32_t readImageFormatEx(CpiConnection* c, uint32_t index, uint32_t* format,
                           CpiImageInfoEx* info) noexcept {
    CpiImageInfoEx sizes;
    uint32_t status = readImageInfoEx(c, index, &sizes);
    if (status != kCpiOk)
        return status;
    uint32_t code = 0;
    if (formatOfSize(sizes.imageWidth, sizes.imageHeight, &code))
        *format = code;
    else
        status = kCpiWrongSize;
    if (info)
        *info = sizes;
    return status;
}

// ---- Echo test, settle wait, reset -------------------------------------------------------

uint32_t echoTest(CpiConnection* c) noexcept {
    // The record must outlive the task: the transport writes the echo into its buffer when the
    // task completes.
    auto command = CommandRecord::make(kReqEcho, uint8_t(kEchoValue), uint8_t(kEchoValue >> 8), 2);
    if (!command)
        return kCpiNoCommandRecord;
    CtiTask task = nullptr;
    uint32_t status = cti::command(c->handle, command->record(), &task);
    // Older cameras report the start of an echo task as 0x41.
    if (status != kCpiOk && !(status == kCtiEchoTaskStarted && !hasExtendedCommandSet(c)))
        return status;
    uint32_t wait = cti::taskWaitComplete(&task, kCtiTaskWaitTime);
    if (wait == kCtiTaskNotFinished) {
        cti::taskAbort(&task);
        return kCpiTaskIncomplete;
    }
    if (wait != kCpiOk && wait != kCtiNone && wait != kCtiNoEntry)
        return wait;
    const uint8_t* echo = command->data();
    uint16_t value = uint16_t(echo[0] | echo[1] << 8);
    return value == kEchoValue ? kCpiOk : kCpiEchoMismatch;
}

uint32_t settleWait(CpiConnection* c) noexcept {
    if (!c->cameraInfo.capabilityBit0)
        return kCpiOk;
    if (!hasExtendedCommandSet(c)) {
        pause(kSettlePause);
        return kCpiOk;
    }
    CpiCameraStateInfo state{};
    uint32_t status = readCameraState(c, &state);
    for (int poll = 0; poll < kSettlePolls && status == kCpiOk && state.busy == 1; ++poll) {
        pause(kSettlePollPause);
        status = readCameraState(c, &state);
    }
    return status;
}

uint32_t resetSequence(CpiConnection* c) noexcept {
    sendCommand(c, kReqAbort, 0, 0);
    cti::resetTransport(c->handle);
    uint32_t status = kCpiOk;
    for (int attempt = 0; attempt < kResetIdleAttempts; ++attempt) {
        status = sendCommand(c, kReqIdle, 0, 0);
        if (status == kCpiOk)
            break;
    }
    return status;
}

uint32_t lockTransport(CpiConnection* c) noexcept {
    return cti::handleLockThread(c->handle, c->lockTimeout);
}

void unlockTransport(CpiConnection* c) noexcept {
    cti::handleUnLock(c->handle);
}

} // namespace kerris::camera

// ---- Query and control exports -----------------------------------------------------------

using namespace kerris::camera;

namespace {

// One register or SDRAM transfer of 1 to 16 bytes (the length's low 16 bits count): the
// checks, then for SDRAM with an address the address write to control register 0x0201
// (big-endian, stopping on failure), then the command itself.
uint32_t transfer(CpiConnection* c, uint8_t request, uint8_t valueA, uint8_t valueB,
                  uint32_t length, uint8_t* buffer, uint32_t address = kNoAddress) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!buffer)
        return kCpiNullPointer;
    const uint32_t n = length & 0xFFFF;
    if (n == 0 || n > kMaxRegisterLength)
        return kCpiBadValue;
    if (address != kNoAddress) {
        uint8_t payload[4];
        putBe32(payload, address);
        if (uint32_t status = sendCommand(c, kReqWriteCtrlReg, kSdramAddressRegLow,
                                          kSdramAddressRegHigh, payload, sizeof payload))
            return status;
    }
    if (request & 0x80)
        return receiveCommand(c, request, valueA, valueB, buffer, n);
    return sendCommand(c, request, valueA, valueB, buffer, n);
}

} // namespace

extern "C" {

uint32_t CpiGetLastError(CpiConnection* c, uint16_t* error) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!error)
        return kCpiNullPointer;
    uint8_t reply[2];
    uint32_t status = receiveCommand(c, kReqLastError, 0, 0, reply, sizeof reply);
    if (status == kCpiOk)
        *error = uint16_t(reply[0] | reply[1] << 8);
    return status;
}

uint32_t CpiGetCameraInfo(CpiConnection* c, CpiCameraInfo* info) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!info)
        return kCpiNullPointer;
    uint32_t status = readCameraInfo(c, info);
    if (status == kCpiOk)
        info->cameraId = c->cameraId;
    return status;
}

uint32_t CpiGetImageInfo(CpiConnection* c, CpiImageInfo* info) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!info)
        return kCpiNullPointer;
    return readImageInfo(c, info);
}

uint32_t CpiGetImageInfoEx(CpiConnection* c, uint32_t index, CpiImageInfoEx* info) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!info)
        return kCpiNullPointer;
    return readImageInfoEx(c, index, info);
}

uint32_t CpiGetCameraStateInfo(CpiConnection* c, CpiCameraStateInfo* state) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!state)
        return kCpiNullPointer;
    return readCameraState(c, state);
}

uint32_t CpiGetPowerStatus(CpiConnection* c, uint32_t* status) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!status)
        return kCpiNullPointer;
    uint8_t value = 0;
    uint32_t result = receiveCommand(c, kReqReadCtrlReg, uint8_t(kPowerRegister),
                                     uint8_t(kPowerRegister >> 8), &value, 1);
    if (result == kCpiOk)
        *status = (value & kPowerBit) ? 1 : 0;
    return result;
}

uint32_t CpiGetImageFormat(CpiConnection* c, uint32_t* format, CpiImageInfo* info) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!format)
        return kCpiNullPointer;
    uint8_t reply[kFormatPayload];
    uint32_t status = receiveCommand(c, kReqImageFormat, 0, 0, reply, sizeof reply);
    if (status != kCpiOk)
        return status;
    *format = reply[0];
    if (info)
        return readImageInfo(c, info);
    return kCpiOk;
}

uint32_t CpiGetImageFormatEx(CpiConnection* c, uint32_t index, uint32_t* format,
                             CpiImageInfoEx* info) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!format)
        return kCpiNullPointer;
    return readImageFormatEx(c, index, format, info);
}

uint32_t CpiSetImageFormat(CpiConnection* c, int32_t format) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (format < kCpiFormatCif || format > kCpiFormatQvga)
        return kCpiBadValue;
    uint8_t payload[kFormatPayload] = {uint8_t(format)};
    return sendCommand(c, kReqSetImageFormat, 1, 0, payload, sizeof payload);
}

uint32_t CpiReadCtrlReg(CpiConnection* c, uint8_t high, uint8_t low, uint32_t length,
                        uint8_t* buffer) noexcept {
    return transfer(c, kReqReadCtrlReg, low, high, length, buffer);
}

uint32_t CpiWriteCtrlReg(CpiConnection* c, uint8_t high, uint8_t low, uint32_t length,
                         uint8_t* buffer) noexcept {
    return transfer(c, kReqWriteCtrlReg, low, high, length, buffer);
}

uint32_t CpiReadSdram(CpiConnection* c, uint32_t address, uint32_t length, uint8_t* buffer,
                      uint32_t mode) noexcept {
    return transfer(c, kReqReadSdram, mode ? 1 : 0, 0, length, buffer, address);
}

uint32_t CpiWriteSdram(CpiConnection* c, uint32_t address, uint32_t length, uint8_t* buffer,
                       uint32_t mode) noexcept {
    return transfer(c, kReqWriteSdram, mode ? 1 : 0, 0, length, buffer, address);
}

uint32_t CpiTestControl(CpiConnection* c, uint8_t valueA, uint8_t valueB, uint8_t* data,
                        uint32_t length) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    uint32_t n = length & 0xFF;
    // Bytes to send need somewhere to come from.
    if (n && !data)
        return kCpiNullPointer;
    return sendCommand(c, kReqTestControl, valueA, valueB, data, n);
}

uint32_t CpiGrabImage(CpiConnection* c, uint32_t index, uint32_t keep) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    uint8_t mode = (index & 0xFFFF) == 0xFFFF ? 0x90 : 0x00;
    if (keep == 0)
        mode |= 0x40;
    uint8_t valueA = uint8_t(mode | ((index >> 8) & 0x0F));
    return sendCommand(c, kReqGrabImage, valueA, indexLow(index));
}

uint32_t CpiResetImageIndex(CpiConnection* c, uint32_t index) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    return sendCommand(c, kReqResetImageIndex, indexHigh(index), indexLow(index));
}

} // extern "C"
