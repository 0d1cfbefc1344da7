// Raw frame arithmetic of the uploads (see frame.h).
#include "camera/frame.h"

#include <cstring>

namespace kerris::camera {

namespace {

struct PictureSize {
    int32_t width;
    int32_t height;
};

// Indexed by the format code.
constexpr PictureSize kFormats[] = {{352, 288}, {640, 480}, {176, 144}, {320, 240}};

} // namespace

bool needsWidening(int64_t width, int64_t height) {
    return (width == 176 && height == 144) || (width == 320 && height == 240);
}

int pictureFormat(int64_t width, int64_t height) {
    for (int format = 0; format < 4; ++format) {
        if (kFormats[format].width == width && kFormats[format].height == height)
            return format;
    }
    return -1;
}

uint32_t planFrame(int64_t width, int64_t height, CpiImageDescriptor& descriptor, FramePlan& plan) {
    const bool widen = needsWidening(width, height);
    if (widen) {
        descriptor.rawWidth = static_cast<uint16_t>(descriptor.rawWidth + kWideningGrowth);
        descriptor.rawHeight = static_cast<uint16_t>(descriptor.rawHeight + kWideningGrowth);
    }
    if (width <= 0 || height <= 0 || descriptor.rawWidth != width + kFrameBorder ||
        descriptor.rawHeight != height + kFrameBorder)
        return kCpiWrongSize;

    FramePlan p;
    p.widen = widen;
    p.width = descriptor.rawWidth;
    p.height = descriptor.rawHeight;
    p.cameraWidth = widen ? p.width - kWideningGrowth : p.width;
    p.cameraHeight = widen ? p.height - kWideningGrowth : p.height;
    p.rawSize = descriptor.rawDataSize;
    // The camera's raw data must hold its whole frame; anything less would make widening and
    // conversion read past the transfer.
    if (p.bytes() > kMaxFrameBytes || p.rawSize > kMaxFrameBytes || p.rawSize < p.cameraBytes())
        return kCpiWrongSize;
    plan = p;
    return kCpiOk;
}

bool pictureOfFrame(uint32_t rawWidth, uint32_t rawHeight, int32_t& width, int32_t& height) {
    int64_t w = int64_t{rawWidth} - kFrameBorder;
    int64_t h = int64_t{rawHeight} - kFrameBorder;
    if (w == 174 && h == 142) {
        w = 176;
        h = 144;
    } else if (w == 318 && h == 238) {
        w = 320;
        h = 240;
    }
    if (pictureFormat(w, h) < 0)
        return false;
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    return true;
}

bool widenFrame(std::span<uint8_t> frame, uint32_t w, uint32_t h, std::span<uint8_t> out) {
    if (w < 4 || w % 2 != 0 || h < 3)
        return false;
    const size_t outWidth = size_t{w} + kWideningGrowth;
    if (frame.size() / w < h || out.size() / outWidth < size_t{h} + kWideningGrowth)
        return false;

    // The camera's last row ends in 4 samples it does not deliver; those of row h - 3 (same
    // colour phase) stand in for them.
    std::memcpy(&frame[(size_t{h} - 1) * w + w - 4], &frame[(size_t{h} - 3) * w + w - 4], 4);

    const size_t half = w / 2;
    for (size_t row = 0; row < h; ++row) {
        const uint8_t* in = &frame[row * w];
        uint8_t* o = &out[row * outWidth];
        std::memcpy(o, in, half);
        o[half] = in[half - 2];
        std::memcpy(o + half + 1, in + half, half);
        o[w + 1] = in[w - 2];
    }
    // Repeating the last row pair keeps the mosaic's row phase in the two new rows.
    std::memcpy(&out[size_t{h} * outWidth], &out[(size_t{h} - 2) * outWidth], 2 * outWidth);
    return true;
}

bool regionFits(uint32_t frameWidth, uint32_t frameHeight, uint32_t x, uint32_t y,
                uint32_t regionWidth, uint32_t regionHeight) {
    return uint64_t{x} + regionWidth <= frameWidth && uint64_t{y} + regionHeight <= frameHeight;
}

bool cropRegion(std::span<const uint8_t> frame, uint32_t fw, uint32_t fh, uint32_t x, uint32_t y,
                uint32_t rw, uint32_t rh, std::span<uint8_t> out) {
    if (!regionFits(fw, fh, x, y, rw, rh))
        return false;
    const size_t rowHalf = rw / 2;
    const size_t frameHalf = fw / 2;
    const size_t offset = x / 2;
    // Both halves of a row are read at the same offset; for an odd frame width the second half
    // starts one byte further than half the row, so check it against the row's real end.
    if (offset + rowHalf > frameHalf || fw - frameHalf < offset + rowHalf)
        return false;
    if (fw != 0 && frame.size() / fw < fh)
        return false;
    if (out.size() < 2 * rowHalf * rh)
        return false;

    uint8_t* o = out.data();
    for (size_t row = y; row < size_t{y} + rh; ++row) {
        const uint8_t* in = &frame[row * fw];
        std::memcpy(o, in + offset, rowHalf);
        std::memcpy(o + rowHalf, in + frameHalf + offset, rowHalf);
        o += 2 * rowHalf;
    }
    return true;
}

bool subsampleFrame(std::span<uint8_t> frame, uint32_t fw, uint32_t fh, uint32_t tw, uint32_t th) {
    if (tw == 0 || th == 0 || tw > fw || th > fh || frame.size() / fw < fh)
        return false;
    const size_t cs = fw / tw;
    const size_t rs = fh / th;
    const size_t half = tw / 2;
    const size_t frameHalf = fw / 2;

    // Every byte is read at or after the place it is written to, so the copy may run in place.
    size_t o = 0;
    for (size_t i = 0; i < th / 2; ++i) {
        const size_t r = 2 * rs * i;
        for (size_t row = r; row < r + 2; ++row) {
            const size_t start = row * fw;
            for (size_t k = 0; k < half; ++k)
                frame[o++] = frame[start + k * cs];
            for (size_t k = 0; k < half; ++k)
                frame[o++] = frame[start + frameHalf + k * cs];
        }
    }
    return true;
}

bool copyRowsBottomUp(std::span<const uint8_t> top, size_t rowBytes, uint32_t rows,
                      std::span<uint8_t> out) {
    if (rowBytes != 0 && (top.size() / rowBytes < rows || out.size() / rowBytes < rows))
        return false;
    for (size_t k = 0; k < rows; ++k)
        std::memcpy(&out[(rows - 1 - k) * rowBytes], &top[k * rowBytes], rowBytes);
    return true;
}

bool blockDeliveryFits(uint32_t done, uint32_t asked, uint32_t got, uint32_t total) {
    return done <= total && got <= asked && got <= total - done;
}

} // namespace kerris::camera
