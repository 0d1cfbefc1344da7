// Pieces shared by the picture uploads (upload.cpp) and the block upload (blocks.cpp): the
// transport lock as a scope, frame buffers, the checked raw read and conversion into a record.
#pragma once

#include "camera/commands.h"
#include "camera/connection.h"
#include "camera/frame.h"

#include <cstdint>
#include <span>
#include <vector>

namespace kerris::camera {

// Holds the transport lock for a scope. Every path out of an upload unlocks, except a block
// upload that hands the lock on to its next block (keep()).
class TransportLock {
public:
    explicit TransportLock(CpiConnection* c) noexcept : m_c(c), m_status(lockTransport(c)) {}
    ~TransportLock() {
        if (m_status == kCpiOk && m_c)
            unlockTransport(m_c);
    }
    TransportLock(const TransportLock&) = delete;
    TransportLock& operator=(const TransportLock&) = delete;

    // The lock call's result; the upload returns it at once when it is not 0.
    uint32_t status() const noexcept { return m_status; }
    // The lock outlives this scope; whoever finishes the block upload releases it.
    void keep() noexcept { m_c = nullptr; }

private:
    CpiConnection* m_c;
    uint32_t m_status;
};

// True for the data read results that a block upload does not count as failures.
inline bool isShortDataResult(uint32_t status) noexcept {
    return status == kCtiDataShortA || status == kCtiDataShortB;
}

// The three work buffers of an upload: Bayer frame and widening buffer of the frame's size,
// raw buffer of the raw data size (the widening buffer only when the frame is widened).
// False, with all three empty, when memory is short.
bool allocateFrameBuffers(const FramePlan& plan, std::vector<uint8_t>& bayer,
                          std::vector<uint8_t>& raw, std::vector<uint8_t>& widening) noexcept;

// Releases the buffers' memory.
void releaseBuffers(std::vector<uint8_t>& bayer, std::vector<uint8_t>& raw,
                    std::vector<uint8_t>& widening) noexcept;

// Reads the whole raw transfer into `raw`. The transport's failure is returned as it is; a
// transport that claims success but delivers any other number of bytes than asked fails with
// kCpiWrongSize, since the frame would then be partly stale.
uint32_t readRawData(CpiConnection* c, std::span<uint8_t> raw) noexcept;

// The frame colour conversion sees: the widened frame (made now from the raw one) or the raw
// frame itself. Empty when the buffers do not fit the plan.
std::span<uint8_t> preparedFrame(const FramePlan& plan, std::vector<uint8_t>& raw,
                                 std::vector<uint8_t>& widening) noexcept;

// Converts a bunched frame of width x height into `picture`, which must be
// (width - 4) x (height - 4): bunched -> Bayer (into `bayer`) -> RGB, stored bottom-up.
// 0, kCpiOutOfMemory (RGB buffer), kCpiColourFailed, or kCpiWrongSize when the sizes disagree
// (the picture is then untouched).
uint32_t convertIntoPicture(CpiConnection* c, std::span<uint8_t> frame, uint32_t width,
                            uint32_t height, std::span<uint8_t> bayer, CpiImage* picture) noexcept;

// Block upload: releases the state's buffers and target and the transport lock it holds.
void endBlockUpload(CpiConnection* c) noexcept;

} // namespace kerris::camera
