// Block upload of a picture, bulk reads of camera memory, image headers and image flags.
#include "camera/commands.h"
#include "camera/connection.h"
#include "camera/frame.h"
#include "camera/transport_binding.h"
#include "camera/upload_support.h"

#include <algorithm>
#include <cstring>

namespace kerris::camera {

namespace {

inline constexpr uint32_t kBulkRequestBytes = 8; // start address, length (big-endian u32)
inline constexpr uint32_t kHeaderBytes = 16;
inline constexpr uint32_t kHeaderAreaIndex = 16; // older cameras keep header n at (n + 16) * 16
inline constexpr uint8_t kFailedHeaderFlags = 0xFF;

// Cameras with capability bit 0 and the extended command set are read block by block by
// address; the others stream the picture after its descriptor command.
bool isAddressed(const CpiConnection* c) {
    return c->cameraInfo.capabilityBit0 != 0 && hasExtendedCommandSet(c);
}

std::unique_ptr<CommandRecord> bulkRequest(uint32_t address, uint32_t length) {
    auto command = CommandRecord::make(kReqBulkRead, 0, 0, kBulkRequestBytes);
    if (command) {
        putBe32(command->data(), address);
        putBe32(command->data() + 4, length);
    }
    return command;
}

// The last error's first byte (command 0x80); false when the read fails.
bool readLastErrorByte(CpiConnection* c, uint8_t& first) {
    uint8_t reply[2] = {};
    if (receiveCommand(c, kReqLastError, 0, 0, reply, sizeof reply) != kCpiOk)
        return false;
    first = reply[0];
    return true;
}

// One addressed block: command 0x03 for (start + done, n), then the data read, retried as the
// camera's last error allows. `got` is the delivery of the successful attempt.
uint32_t readAddressedBlock(CpiConnection* c, BlockUploadState& b, uint32_t n, uint32_t& got) {
    auto command = bulkRequest(b.startAddress + b.bytesDone, n);
    if (!command)
        return kCpiNoCommandRecord;
    const uint32_t attempts = uint32_t{c->retryCount} + 1;
    uint32_t status = kCpiOk;
    bool done = false;
    for (uint32_t attempt = 0; attempt < attempts && !done; ++attempt) {
        status = runCommand(c, *command);
        if (status == kCpiOk) {
            got = 0;
            status = cti::dataRead(c->handle, b.raw.data() + b.bytesDone, n, &got, 0);
            if (status == kCpiOk)
                return kCpiOk;
            if (!isShortDataResult(status))
                resetSequence(c);
            continue;
        }
        if (isShortDataResult(status))
            continue;
        uint8_t lastError = 0;
        if (!readLastErrorByte(c, lastError)) {
            resetSequence(c);
            continue;
        }
        if (lastError == 0)
            continue;
        bool cleared = false;
        for (uint32_t k = 0; k < c->retryCount && !cleared; ++k)
            cleared = readLastErrorByte(c, lastError) && lastError == 0;
        if (!cleared) {
            resetSequence(c);
            done = true;
            continue;
        }
        command = bulkRequest(b.startAddress + b.bytesDone, n);
        if (!command)
            return kCpiNoCommandRecord;
        resetSequence(c);
    }
    resetSequence(c);
    return status;
}

// Reads the next block into the state's raw buffer; at the end widens and converts into the
// target. 6 while blocks remain, then the conversion's status, or the failure.
uint32_t readOneBlock(CpiConnection* c, uint32_t* bytesDone) {
    BlockUploadState& b = c->block;
    const uint32_t n = std::min(b.blockSize, b.totalSize - b.bytesDone);
    const bool addressed = isAddressed(c);
    uint32_t got = 0;
    uint32_t status;
    if (addressed) {
        status = readAddressedBlock(c, b, n, got);
        if (status != kCpiOk)
            return status;
    } else {
        status = cti::dataRead(c->handle, b.raw.data() + b.bytesDone, n, &got, 0);
        if (status != kCpiOk && !isShortDataResult(status)) {
            resetSequence(c);
            if (bytesDone)
                *bytesDone = b.bytesDone;
            return status;
        }
    }
    // A transport claiming more than it was asked for would carry the next block past the
    // buffer: the transfer has failed.
    if (!blockDeliveryFits(b.bytesDone, n, got, b.totalSize)) {
        resetSequence(c);
        if (bytesDone && !addressed)
            *bytesDone = b.bytesDone;
        return kCpiWrongSize;
    }
    b.bytesDone += got;
    if (bytesDone)
        *bytesDone = b.bytesDone;
    if (b.bytesDone < b.totalSize)
        return kCpiMoreBlocks;

    FramePlan plan;
    plan.width = b.frameWidth;
    plan.height = b.frameHeight;
    plan.widen = b.widen;
    plan.cameraWidth = b.widen ? b.frameWidth - kWideningGrowth : b.frameWidth;
    plan.cameraHeight = b.widen ? b.frameHeight - kWideningGrowth : b.frameHeight;
    plan.rawSize = b.totalSize;
    std::span<uint8_t> frame = preparedFrame(plan, b.raw, b.widening);
    if (frame.empty())
        return kCpiWrongSize;
    return convertIntoPicture(c, frame, plan.width, plan.height, b.bayer, b.target);
}

// The first block's steps 2 to 5 under the lock: location or descriptor, size check, buffers,
// state, the first block.
uint32_t startBlockUpload(CpiConnection* c, uint32_t index, CpiImage* picture, uint32_t blockSize,
                          uint32_t* bytesDone, CpiImageDescriptor* descriptor, bool& failedLate) {
    CpiImageDescriptor d{};
    uint32_t start = 0;
    uint32_t status;
    if (isAddressed(c)) {
        uint8_t r[kHeaderBytes];
        status =
            receiveCommand(c, kReqImageLocation, indexHigh(index), indexLow(index), r, sizeof r);
        if (status != kCpiOk)
            return status;
        start = be32(r);
        d.rawDataSize = be32(r + 4);
        d.rawWidth = be16(r + 8);
        d.rawHeight = be16(r + 10);
    } else {
        status = readDescriptor(c, kReqImageDescriptor, index, &d);
        if (status != kCpiOk)
            return status;
    }

    failedLate = true;
    BlockUploadState& b = c->block;
    FramePlan plan;
    status = planFrame(picture->width, picture->height, d, plan);
    if (status != kCpiOk)
        return status;
    if (!allocateFrameBuffers(plan, b.bayer, b.raw, b.widening))
        return kCpiWrongSize;
    b.target = picture;
    b.blockSize = blockSize;
    b.bytesDone = 0;
    b.totalSize = plan.rawSize;
    b.startAddress = start;
    b.frameWidth = uint16_t(plan.width);
    b.frameHeight = uint16_t(plan.height);
    b.widen = plan.widen;
    if (descriptor)
        *descriptor = d;
    return readOneBlock(c, bytesDone);
}

// Bulk read under a lock the caller holds.
uint32_t bulkRead(CpiConnection* c, uint32_t address, uint32_t length, uint8_t* buffer) {
    auto command = bulkRequest(address, length);
    if (!command)
        return kCpiNoCommandRecord;
    uint32_t status = runCommand(c, *command);
    if (status != kCpiOk)
        return status;
    uint32_t got = 0;
    status = cti::dataRead(c->handle, buffer, length, &got, 0);
    if (status == kCpiOk && got != length)
        status = kCpiWrongSize;
    if (status != kCpiOk)
        resetSequence(c);
    return status;
}

// The header of picture `index` in the descriptor layout, by camera generation.
uint32_t readImageHeader(CpiConnection* c, uint32_t index, CpiImageDescriptor* header) {
    if (hasExtendedCommandSet(c)) {
        TransportLock lock(c);
        if (lock.status() != kCpiOk)
            return lock.status();
        return readDescriptor(c, kReqImageHeader, index, header);
    }

    uint8_t bytes[kHeaderBytes] = {};
    const uint32_t address = (uint32_t{uint16_t(index)} + kHeaderAreaIndex) * kHeaderBytes;
    uint32_t status;
    {
        TransportLock lock(c);
        if (lock.status() != kCpiOk)
            return lock.status();
        status = bulkRead(c, address, kHeaderBytes, bytes);
    }
    if (status != kCpiOk)
        return status;
    // The bulk read leaves the link in a state the camera clears with an echo.
    if (echoTest(c) != kCpiOk) {
        status = echoTest(c);
        if (status != kCpiOk)
            return status;
    }
    // Bytes 4-11 of the header area are the descriptor's words, bytes and flags (reply bytes
    // 8-15); the sizes come from the image information.
    uint8_t reply[kHeaderBytes] = {};
    std::memcpy(reply + 8, bytes + 4, 8);
    CpiImageDescriptor d = decodeDescriptor(reply);
    CpiImageInfo info;
    status = readImageInfo(c, &info);
    if (status != kCpiOk)
        return status;
    d.rawWidth = info.imageWidth;
    d.rawHeight = info.imageHeight;
    d.rawDataSize = info.rawImageSize;
    *header = d;
    return kCpiOk;
}

} // namespace

void endBlockUpload(CpiConnection* c) noexcept {
    BlockUploadState& b = c->block;
    releaseBuffers(b.bayer, b.raw, b.widening);
    b.target = nullptr;
    unlockTransport(c);
}

} // namespace kerris::camera

using namespace kerris::camera;

extern "C" {

// Starts a block upload of picture `index` into `picture` and reads its first block of at most
// blockSize bytes. 6: more blocks follow, the transport lock is kept until the last one (call
// CpiReadNextImageBlock or CpiCancelImageBlockUpload). 0: the picture is complete. Anything else
// is a failure and ends the upload. `bytesDone` and `descriptor` are optional.
uint32_t CpiReadFirstImageBlock(CpiConnection* c, uint32_t index, CpiImage* picture,
                                uint32_t blockSize, uint32_t* bytesDone,
                                CpiImageDescriptor* descriptor) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!picture)
        return kCpiNullPointer;
    TransportLock lock(c);
    if (lock.status() != kCpiOk)
        return lock.status();
    bool failedLate = false;
    uint32_t status = shield(kCpiWrongSize, [&] {
        return startBlockUpload(c, index, picture, blockSize, bytesDone, descriptor, failedLate);
    });
    if (status == kCpiMoreBlocks) {
        lock.keep();
        return status;
    }
    // A failure once the descriptor was read (size check, buffers, the block) resets the link;
    // a command record that could not be made sent nothing.
    if (status != kCpiOk && failedLate && status != kCpiNoCommandRecord)
        resetSequence(c);
    BlockUploadState& b = c->block;
    releaseBuffers(b.bayer, b.raw, b.widening);
    b.target = nullptr;
    return status;
}

// Reads the next block of the upload in progress. 6, 0 or a failure as for the first block;
// 0x3002 when no block upload is in progress.
uint32_t CpiReadNextImageBlock(CpiConnection* c, uint32_t* bytesDone) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!c->block.target)
        return kCpiNoBlockUpload;
    uint32_t status = shield(kCpiWrongSize, [&] { return readOneBlock(c, bytesDone); });
    if (status != kCpiMoreBlocks)
        endBlockUpload(c);
    return status;
}

// Ends the block upload in progress: reset sequence, buffers released, lock released.
// 0x3002 when none is in progress, else the reset sequence's result.
uint32_t CpiCancelImageBlockUpload(CpiConnection* c) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!c->block.target)
        return kCpiNoBlockUpload;
    uint32_t status = resetSequence(c);
    endBlockUpload(c);
    return status;
}

// Reads `length` bytes of camera memory from `address` into `buffer` under the transport lock.
// A failed or short data read resets the link. 0, 0x20, 5, 10 (short delivery), 0x3000, or the
// transport's result.
uint32_t CpiBulkUpload(CpiConnection* c, uint32_t address, uint32_t length, uint8_t* buffer,
                       uint32_t /*reserved*/) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!buffer)
        return kCpiNullPointer;
    TransportLock lock(c);
    if (lock.status() != kCpiOk)
        return lock.status();
    return shield(kCpiOutOfMemory, [&] { return bulkRead(c, address, length, buffer); });
}

// Fills `header` with the header of picture `index`: command 0x8F on cameras with the extended
// command set, else the camera's header area with the sizes of the image information.
uint32_t CpiGetImageHeader(CpiConnection* c, uint32_t index, CpiImageDescriptor* header) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!header)
        return kCpiNullPointer;
    return shield(kCpiOutOfMemory, [&] { return readImageHeader(c, index, header); });
}

// The image flags byte of picture `index`'s header.
uint32_t CpiGetImageFlags(CpiConnection* c, uint32_t index, uint8_t* flags) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!flags)
        return kCpiNullPointer;
    return shield(kCpiOutOfMemory, [&] {
        CpiImageDescriptor header;
        uint32_t status = readImageHeader(c, index, &header);
        if (status == kCpiOk)
            *flags = header.imageFlags;
        return status;
    });
}

// Stores the flags byte of every header (0 to HeaderCount - 1) in `buffer`; a header that
// fails gets 0xFF and ends the walk with its status. 3 (buffer untouched) when `length` (low 16
// bits) is below HeaderCount. Once the camera state was read, the counts (optional) are stored
// whatever the outcome.
uint32_t CpiUploadImageFlags(CpiConnection* c, uint8_t* buffer, uint32_t length,
                             uint16_t* headerCount, uint16_t* imageCount) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!buffer)
        return kCpiNullPointer;
    CpiCameraStateInfo state;
    uint32_t status = readCameraState(c, &state);
    if (status != kCpiOk)
        return status;
    if ((length & 0xFFFF) < state.HeaderCount) {
        status = kCpiBufferTooShort;
    } else {
        status = shield(kCpiOutOfMemory, [&] {
            for (uint32_t index = 0; index < state.HeaderCount; ++index) {
                CpiImageDescriptor header;
                uint32_t result = readImageHeader(c, index, &header);
                if (result != kCpiOk) {
                    buffer[index] = kFailedHeaderFlags;
                    return result;
                }
                buffer[index] = header.imageFlags;
            }
            return uint32_t{kCpiOk};
        });
    }
    if (headerCount)
        *headerCount = state.HeaderCount;
    if (imageCount)
        *imageCount = state.ImageCount;
    return status;
}

} // extern "C"
