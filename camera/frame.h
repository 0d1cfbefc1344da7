// Raw frame arithmetic of the uploads: size checks, widening, region crop, thumbnail subsampling
// and the bottom-up copy. Pure functions over caller buffers; every one checks its sizes, since
// the frame geometry comes from the camera and is not trusted.
#pragma once

#include "camera/cpi.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace kerris::camera {

// A raw frame is the picture plus this many samples in each direction.
inline constexpr uint32_t kFrameBorder = 4;
// The two small formats arrive this much short of a full frame and are widened by it.
inline constexpr uint32_t kWideningGrowth = 2;
// No frame or raw transfer is larger than this. The largest picture format needs about 0.3 MiB;
// a bigger size from the camera is treated as an allocation failure, not honoured.
inline constexpr size_t kMaxFrameBytes = size_t{16} << 20;

// True for the two picture sizes whose frames the camera sends 2 samples short (176 x 144 and
// 320 x 240).
bool needsWidening(int64_t width, int64_t height);

// The picture format (kCpiFormat...) of a picture size, or -1 for any other size.
int pictureFormat(int64_t width, int64_t height);

// How one upload lays out its frame: what the camera sends and what colour conversion sees.
struct FramePlan {
    uint32_t cameraWidth = 0; // the frame as the camera sends it
    uint32_t cameraHeight = 0;
    uint32_t width = 0; // the frame after widening (equal to the above without it)
    uint32_t height = 0;
    bool widen = false;
    uint32_t rawSize = 0; // bytes the camera transfers (the descriptor's raw data size)

    size_t cameraBytes() const { return size_t{cameraWidth} * cameraHeight; }
    size_t bytes() const { return size_t{width} * height; }
};

// The size check of an upload into a picture of width x height. For the two small formats the
// descriptor's width and height grow by 2 (the caller sees the grown descriptor). The frame must
// then be exactly (width + 4) x (height + 4). The raw data must cover the camera's frame and stay
// within kMaxFrameBytes, as must the frame itself. Returns kCpiOk with `plan` filled, or
// kCpiWrongSize (the descriptor may already have grown).
uint32_t planFrame(int64_t width, int64_t height, CpiImageDescriptor& descriptor, FramePlan& plan);

// The picture a raw frame of rawWidth x rawHeight carries: 4 less each way, with 174 x 142 and
// 318 x 238 taken as 176 x 144 and 320 x 240. Returns false unless that is one of the four
// formats; on true width and height are set.
bool pictureOfFrame(uint32_t rawWidth, uint32_t rawHeight, int32_t& width, int32_t& height);

// Widens a bunched frame of w x h (w even, w >= 4, h >= 3) to (w + 2) x (h + 2) in `out`:
// the tail of row h - 3 first patches the last 4 bytes of row h - 1 (in `frame`), then each
// half of every row grows by a copy of its second-to-last byte, and the last two output rows
// are appended once more. False (nothing written) when the sizes do not fit.
bool widenFrame(std::span<uint8_t> frame, uint32_t w, uint32_t h, std::span<uint8_t> out);

// True when a region of regionWidth x regionHeight at (x, y) lies inside a frame of
// frameWidth x frameHeight. Computed without overflow for any 32-bit position.
bool regionFits(uint32_t frameWidth, uint32_t frameHeight, uint32_t x, uint32_t y,
                uint32_t regionWidth, uint32_t regionHeight);

// Crops a region of rw x rh at (x, y) out of a bunched frame of fw x fh, keeping it bunched:
// each row takes rw/2 bytes from offset x/2 of the row's first half and as many from the same
// offset of its second half. False (nothing written) when the region or the buffers do not fit.
bool cropRegion(std::span<const uint8_t> frame, uint32_t fw, uint32_t fh, uint32_t x, uint32_t y,
                uint32_t rw, uint32_t rh, std::span<uint8_t> out);

// Subsamples a bunched frame of fw x fh in place to tw x th (tw <= fw, th <= fh) with column step
// fw / tw and row step fh / th, keeping row pairs together so the mosaic's phase is kept.
// False (nothing written) when the sizes do not fit.
bool subsampleFrame(std::span<uint8_t> frame, uint32_t fw, uint32_t fh, uint32_t tw, uint32_t th);

// Copies `rows` rows of rowBytes each from `top` (top row first) to `out` bottom row first.
// False (nothing written) when either buffer is too small.
bool copyRowsBottomUp(std::span<const uint8_t> top, size_t rowBytes, uint32_t rows,
                      std::span<uint8_t> out);

// Checks a block that the transport delivered: `got` bytes for a request of `asked` at `done`
// of `total`. False when the transport claims more than it was asked for or more than remains.
bool blockDeliveryFits(uint32_t done, uint32_t asked, uint32_t got, uint32_t total);

} // namespace kerris::camera
