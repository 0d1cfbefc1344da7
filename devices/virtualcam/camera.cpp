// The camera side of every command: replies, stored pictures, registers, memory, transfers.
#include "devices/virtualcam/camera.h"

#include "devices/virtualcam/big_endian.h"
#include "devices/virtualcam/scenes.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

namespace kerris::virtualcam {

namespace {

constexpr uint32_t kDescriptorSize = 16;
constexpr uint32_t kMaxRegisterBytes = 16;

} // namespace

VirtualCamera::VirtualCamera(CameraConfig config)
    : m_config(std::move(config)), m_store(colourModelFor(m_config), m_config.imageFlags),
      m_imageFormat(m_config.imageFormat), m_busyReadsLeft(m_config.faults.busyReads) {
    m_store.loadFolder(m_config.pictureFolder, extended() ? nullptr : formatOfCode(m_imageFormat));
    m_colourData = servedColourData(m_config);
    m_colourData.resize(m_config.colourDataLength, 0);
    m_registers[kPowerRegister] = m_config.powerRegister;
}

size_t VirtualCamera::pictureCount() const {
    std::lock_guard lock(m_mutex);
    return m_store.count();
}

StoredPicture VirtualCamera::picture(size_t index) const {
    std::lock_guard lock(m_mutex);
    return index < m_store.count() ? m_store.at(index) : StoredPicture{};
}

std::vector<uint8_t> VirtualCamera::rawFrame(size_t index) const {
    std::lock_guard lock(m_mutex);
    if (index >= m_store.count())
        return {};
    const StoredPicture& p = m_store.at(index);
    std::vector<uint8_t> out(p.frame.bytes());
    m_store.read(p.frameAddress, out.data(), uint32_t(out.size()));
    return out;
}

uint32_t VirtualCamera::fail(uint32_t status, uint16_t cameraError) {
    m_lastError = cameraError;
    m_lastErrorReadsLeft = m_config.faults.stickyLastError;
    return status;
}

void VirtualCamera::noteLostCommand() {
    std::lock_guard lock(m_mutex);
    fail(0, kCameraErrorLink);
}

void VirtualCamera::dropTransfer() {
    std::lock_guard lock(m_mutex);
    m_transferActive = false;
    m_transferLeft = 0;
}

uint32_t VirtualCamera::reply(const uint8_t* bytes, uint32_t size, uint8_t* data, uint32_t length) {
    if (length < size)
        return fail(kBadLength, kCameraErrorCommand);
    std::memcpy(data, bytes, size);
    if (length > size)
        std::memset(data + size, 0, length - size);
    return kOk;
}

uint32_t VirtualCamera::startTransfer(uint32_t address, uint32_t size) {
    m_transferActive = true;
    m_transferAddress = address;
    m_transferLeft = size;
    return kOk;
}

uint32_t VirtualCamera::sdramAddress() const {
    return getBig32(&m_registers[kSdramAddressRegister]);
}

void VirtualCamera::setSdramAddress(uint32_t address) {
    putBig32(&m_registers[kSdramAddressRegister], address);
}

// Descriptor commands 0x83 / 0x84 / 0x8F and the location command 0x90 for one picture.
uint32_t VirtualCamera::describe(uint8_t request, size_t index, uint8_t* data, uint32_t length) {
    if (length < kDescriptorSize)
        return fail(kBadLength, kCameraErrorCommand);
    if (index >= m_store.count())
        return fail(kBadIndex, kCameraErrorIndex);
    const StoredPicture& p = m_store.at(index);
    const bool thumbnail = request == kThumbnailDescriptor;
    if (thumbnail && !(m_config.capabilities & 0x08))
        return fail(kNoThumbnail, kCameraErrorCommand);
    const FrameSize frame = thumbnail ? kThumbnailFrame : p.frame;
    const uint32_t address = thumbnail ? p.thumbnailAddress : p.frameAddress;
    uint8_t r[kDescriptorSize] = {};
    if (request == kImageLocation) {
        putBig32(r, address);
        putBig32(r + 4, frame.bytes());
        putBig16(r + 8, uint16_t(frame.width));
        putBig16(r + 10, uint16_t(frame.height));
    } else {
        putBig32(r, frame.bytes());
        putBig16(r + 4, uint16_t(frame.width));
        putBig16(r + 6, uint16_t(frame.height));
        putBig16(r + 8, p.taken.year);
        putBig16(r + 10, uint16_t(p.taken.month << 8 | p.taken.day));
        r[12] = p.taken.hour;
        r[13] = p.taken.minute;
        r[14] = p.taken.second;
        r[15] = p.flags;
    }
    uint32_t status = reply(r, kDescriptorSize, data, length);
    // The descriptor commands start sending the frame; 0x8F and 0x90 only describe it.
    if (status == kOk && (request == kImageDescriptor || thumbnail))
        startTransfer(address, frame.bytes());
    return status;
}

uint32_t VirtualCamera::grab(uint8_t valueA, uint8_t valueB) {
    const uint8_t mode = valueA & 0xF0;
    const size_t index = size_t(valueA & 0x0F) << 8 | valueB;
    if (mode & kGrabDiscard)
        return kOk;
    const ImageFormat& format = *formatOfCode(m_imageFormat);
    const Picture scene = drawScene(int(m_grabs), format.width, format.height);
    bool stored;
    if ((mode & kGrabNewPicture) == kGrabNewPicture) {
        stored = m_store.add(scene, format, takenAt(std::time(nullptr)));
        if (!stored)
            return fail(kOutOfMemory, kCameraErrorAddress);
    } else {
        if (index >= m_store.count())
            return fail(kBadIndex, kCameraErrorIndex);
        stored = m_store.replace(index, scene, format, takenAt(std::time(nullptr)));
        if (!stored)
            return fail(kOutOfMemory, kCameraErrorAddress);
    }
    ++m_grabs;
    return kOk;
}

uint32_t VirtualCamera::command(uint8_t request, uint8_t valueA, uint8_t valueB, uint8_t* data,
                                uint32_t length) {
    std::lock_guard lock(m_mutex);
    const size_t index = size_t(valueA) << 8 | valueB;
    const uint16_t reg = uint16_t(valueA | valueB << 8);
    const size_t count = m_store.count();
    uint8_t r[16] = {};

    switch (request) {
    case kIdle:
        return kOk;
    case kAbort:
        m_transferActive = false;
        m_transferLeft = 0;
        return kOk;
    case kWriteControlRegister:
        if (length == 0 || length > kMaxRegisterBytes || reg + length > m_registers.size())
            return fail(kBadLength, kCameraErrorCommand);
        std::memcpy(&m_registers[reg], data, length);
        return kOk;
    case kReadControlRegister:
        if (length == 0 || length > kMaxRegisterBytes || reg + length > m_registers.size())
            return fail(kBadLength, kCameraErrorCommand);
        std::memcpy(data, &m_registers[reg], length);
        return kOk;
    case kWriteSdram:
    case kReadSdram: {
        if (length == 0 || length > kMaxRegisterBytes)
            return fail(kBadLength, kCameraErrorCommand);
        const uint32_t address = sdramAddress();
        uint8_t buffer[kMaxRegisterBytes];
        const bool ok = request == kWriteSdram ? m_store.write(address, data, length)
                                               : m_store.read(address, buffer, length);
        if (!ok)
            return fail(kBadAddress, kCameraErrorAddress);
        if (request == kReadSdram)
            std::memcpy(data, buffer, length);
        // Mode 1 moves the address past the bytes just accessed.
        if (valueA != 0)
            setSdramAddress(address + length);
        return kOk;
    }
    case kBulkReadRequest: {
        if (length < 8)
            return fail(kBadLength, kCameraErrorCommand);
        const uint32_t address = getBig32(data), size = getBig32(data + 4);
        if (address > kMemorySize || size > kMemorySize - address)
            return fail(kBadAddress, kCameraErrorAddress);
        return startTransfer(address, size);
    }
    case kGrabImage:
        return grab(valueA, valueB);
    case kResetImageIndex:
        if (index > count)
            return fail(kBadIndex, kCameraErrorIndex);
        m_store.truncate(index);
        return kOk;
    case kSetImageFormat:
        if (length < 1)
            return fail(kBadLength, kCameraErrorCommand);
        if (!formatOfCode(data[0]))
            return fail(kBadValue, kCameraErrorCommand);
        m_imageFormat = data[0];
        return kOk;
    case kTestControl:
        m_testData.assign(data, data + length);
        return kOk;
    case kLastError:
        r[0] = uint8_t(m_lastError);
        r[1] = uint8_t(m_lastError >> 8);
        if (length >= 2) {
            if (m_lastErrorReadsLeft > 0)
                --m_lastErrorReadsLeft;
            else
                m_lastError = kCameraErrorNone;
        }
        return reply(r, 2, data, length);
    case kImageDescriptor:
    case kThumbnailDescriptor:
        return describe(request, index, data, length);
    case kCameraInformation:
        putBig32(r, m_config.cameraVersion);
        putBig16(r + 4, m_config.sensorId);
        r[6] = m_config.capabilities;
        putBig16(r + 8, m_config.cameraWord1);
        putBig16(r + 10, m_config.cameraWord2);
        putBig32(r + 12, m_config.cameraLong);
        return reply(r, 16, data, length);
    case kImageInformation: {
        // Older cameras hold every picture in one format; the first one's frame is the
        // camera's frame, else that of the current format.
        const FrameSize frame =
            count ? m_store.at(0).frame : rawFrameSize(*formatOfCode(m_imageFormat));
        putBig16(r, uint16_t(count));
        putBig16(r + 2, uint16_t(count));
        putBig16(r + 4, uint16_t(frame.width));
        putBig16(r + 6, uint16_t(frame.height));
        putBig32(r + 8, frame.bytes());
        r[12] = uint8_t(kThumbnailFrame.width);
        r[13] = uint8_t(kThumbnailFrame.height);
        putBig16(r + 14, uint16_t(kThumbnailFrame.bytes()));
        return reply(r, 16, data, length);
    }
    case kImageFormatQuery:
        r[0] = m_imageFormat;
        return reply(r, 8, data, length);
    case kEcho:
        r[0] = uint8_t(valueA ^ (m_config.faults.wrongEcho & 0xFF));
        r[1] = uint8_t(valueB ^ (m_config.faults.wrongEcho >> 8));
        return reply(r, 2, data, length);
    case kColourDataLength:
        r[0] = uint8_t(m_colourData.size());
        return reply(r, 2, data, length);
    case kColourData:
        if (length == 0 || length > 16 || valueA + length > m_colourData.size())
            return fail(kBadValue, kCameraErrorCommand);
        std::memcpy(data, m_colourData.data() + valueA, length);
        return kOk;
    default:
        break;
    }

    if (!extended())
        return fail(kUnknownCommand, kCameraErrorCommand);
    switch (request) {
    case kCameraState: {
        bool busy = false;
        if (m_busyReadsLeft > 0) {
            busy = true;
            if (m_busyReadsLeft != ~0u)
                --m_busyReadsLeft;
        }
        r[1] = busy ? 1 : 0;
        putBig16(r + 2, uint16_t(count));
        putBig16(r + 4, uint16_t(count));
        return reply(r, 8, data, length);
    }
    case kImageDescriptorEx:
    case kImageLocation:
        return describe(request, index, data, length);
    default:
        return fail(kUnknownCommand, kCameraErrorCommand);
    }
}

uint32_t VirtualCamera::read(uint8_t* buffer, uint32_t length, uint32_t limit,
                             uint32_t* delivered) {
    std::lock_guard lock(m_mutex);
    *delivered = 0;
    if (!m_transferActive)
        return kNoTransfer;
    const uint32_t n = std::min({length, limit, m_transferLeft});
    if (n && !m_store.read(m_transferAddress, buffer, n)) {
        m_transferActive = false;
        return kReadFailed;
    }
    const bool ended = m_transferLeft < length;
    m_transferAddress += n;
    m_transferLeft -= n;
    *delivered = n;
    if (m_transferLeft == 0)
        m_transferActive = false;
    return ended ? kShortTransfer : kOk;
}

} // namespace kerris::virtualcam
