// Picture upload: picture records, full pictures, regions, thumbnails and raw frames.
#include "camera/colour.h"
#include "camera/colour_binding.h"
#include "camera/commands.h"
#include "camera/connection.h"
#include "camera/frame.h"
#include "camera/transport_binding.h"
#include "camera/upload_support.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace kerris::camera {

bool allocateFrameBuffers(const FramePlan& plan, std::vector<uint8_t>& bayer,
                          std::vector<uint8_t>& raw, std::vector<uint8_t>& widening) noexcept {
    try {
        bayer.assign(plan.bytes(), 0);
        raw.assign(plan.rawSize, 0);
        widening.assign(plan.widen ? plan.bytes() : 0, 0);
        return true;
    } catch (const std::bad_alloc&) {
        releaseBuffers(bayer, raw, widening);
        return false;
    }
}

void releaseBuffers(std::vector<uint8_t>& bayer, std::vector<uint8_t>& raw,
                    std::vector<uint8_t>& widening) noexcept {
    std::vector<uint8_t>().swap(bayer);
    std::vector<uint8_t>().swap(raw);
    std::vector<uint8_t>().swap(widening);
}

uint32_t readRawData(CpiConnection* c, std::span<uint8_t> raw) noexcept {
    const uint32_t length = static_cast<uint32_t>(raw.size());
    uint32_t got = 0;
    uint32_t status = cti::dataRead(c->handle, raw.data(), length, &got, 0);
    if (status != kCpiOk)
        return status;
    return got == length ? kCpiOk : kCpiWrongSize;
}

std::span<uint8_t> preparedFrame(const FramePlan& plan, std::vector<uint8_t>& raw,
                                 std::vector<uint8_t>& widening) noexcept {
    if (!plan.widen)
        return raw.size() >= plan.bytes() ? std::span(raw).first(plan.bytes())
                                          : std::span<uint8_t>();
    if (!widenFrame(raw, plan.cameraWidth, plan.cameraHeight, widening))
        return {};
    return std::span(widening).first(plan.bytes());
}

uint32_t convertIntoPicture(CpiConnection* c, std::span<uint8_t> frame, uint32_t width,
                            uint32_t height, std::span<uint8_t> bayer, CpiImage* picture) noexcept {
    const size_t frameBytes = size_t{width} * height;
    if (width < kFrameBorder || height < kFrameBorder || frame.size() < frameBytes ||
        bayer.size() < frameBytes || picture->width != int64_t{width} - kFrameBorder ||
        picture->height != int64_t{height} - kFrameBorder)
        return kCpiWrongSize;
    const size_t rowBytes = size_t{width - kFrameBorder} * 3;
    const uint32_t rows = height - kFrameBorder;
    const size_t rgbBytes = rowBytes * rows;
    std::unique_ptr<uint8_t[]> rgb(new (std::nothrow) uint8_t[rgbBytes == 0 ? 1 : rgbBytes]);
    if (!rgb)
        return kCpiOutOfMemory;
    uint32_t status = convertToRgb(c, frame.data(), bayer.data(), rgb.get(), width, height);
    if (status != kCpiOk)
        return status;
    copyRowsBottomUp(std::span(rgb.get(), rgbBytes), rowBytes, rows,
                     std::span(cpiImagePixels(picture), rgbBytes));
    return kCpiOk;
}

namespace {

// The buffers of one whole-picture upload.
struct FrameBuffers {
    std::vector<uint8_t> bayer;
    std::vector<uint8_t> raw;
    std::vector<uint8_t> widening;
};

// Steps 3 to 5 of every upload, after the size check whose result is `status`: buffers, raw
// read and widening. On failure the reset sequence has run. `frame` is then the frame to
// convert (plan.width x plan.height).
uint32_t fetchFrame(CpiConnection* c, uint32_t status, const FramePlan& plan, FrameBuffers& buffers,
                    std::span<uint8_t>& frame) {
    if (status == kCpiOk &&
        !allocateFrameBuffers(plan, buffers.bayer, buffers.raw, buffers.widening))
        status = kCpiWrongSize;
    if (status == kCpiOk)
        status = readRawData(c, buffers.raw);
    if (status == kCpiOk) {
        frame = preparedFrame(plan, buffers.raw, buffers.widening);
        if (frame.empty())
            status = kCpiWrongSize;
    }
    if (status != kCpiOk)
        resetSequence(c);
    return status;
}

// The common steps 2 to 7 under a lock the caller holds: descriptor by `request`, size check,
// read, widening, conversion into `picture`, the descriptor to the caller's.
uint32_t uploadCommon(CpiConnection* c, uint8_t request, uint32_t index, CpiImage* picture,
                      CpiImageDescriptor* descriptor) {
    CpiImageDescriptor d;
    uint32_t status = readDescriptor(c, request, index, &d);
    if (status != kCpiOk)
        return status;
    FramePlan plan;
    FrameBuffers buffers;
    std::span<uint8_t> frame;
    status = planFrame(picture->width, picture->height, d, plan);
    status = fetchFrame(c, status, plan, buffers, frame);
    if (status != kCpiOk)
        return status;
    status = convertIntoPicture(c, frame, plan.width, plan.height, buffers.bayer, picture);
    if (status != kCpiOk)
        return status;
    if (descriptor)
        *descriptor = d;
    return kCpiOk;
}

// The picture's sizes (its format must be known) and its frame's descriptor (0x83).
uint32_t readSizesAndDescriptor(CpiConnection* c, uint32_t index, CpiImageInfoEx& sizes,
                                CpiImageDescriptor& d) {
    uint32_t format = 0;
    uint32_t status = readImageFormatEx(c, index, &format, &sizes);
    if (status != kCpiOk)
        return status;
    return readDescriptor(c, kReqImageDescriptor, index, &d);
}

uint32_t uploadRegion(CpiConnection* c, uint32_t index, CpiImage* picture,
                      CpiImageDescriptor* descriptor, uint32_t x, uint32_t y) {
    CpiImageInfoEx full;
    CpiImageDescriptor d;
    uint32_t status = readSizesAndDescriptor(c, index, full, d);
    if (status != kCpiOk)
        return status;
    FramePlan plan;
    FrameBuffers buffers;
    std::span<uint8_t> frame;
    status = planFrame(full.imageWidth, full.imageHeight, d, plan);
    status = fetchFrame(c, status, plan, buffers, frame);
    if (status != kCpiOk)
        return status;

    // The region is the picture plus its border; a region outside the frame is no error and
    // leaves the picture as it was.
    const int64_t regionWidth = int64_t{picture->width} + kFrameBorder;
    const int64_t regionHeight = int64_t{picture->height} + kFrameBorder;
    if (picture->width > 0 && picture->height > 0 && regionWidth <= plan.width &&
        regionHeight <= plan.height &&
        regionFits(plan.width, plan.height, x, y, uint32_t(regionWidth), uint32_t(regionHeight))) {
        const auto rw = uint32_t(regionWidth), rh = uint32_t(regionHeight);
        std::vector<uint8_t> region(size_t{rw} * rh);
        if (!cropRegion(frame, plan.width, plan.height, x, y, rw, rh, region))
            return kCpiWrongSize;
        status = convertIntoPicture(c, region, rw, rh, buffers.bayer, picture);
        if (status != kCpiOk)
            return status;
    }
    if (descriptor)
        *descriptor = d;
    return kCpiOk;
}

// A thumbnail made from the full picture: read and widen it, subsample it in place to the
// thumbnail's frame and convert that.
uint32_t uploadSubsampledThumbnail(CpiConnection* c, uint32_t index, CpiImage* picture,
                                   CpiImageDescriptor* descriptor) {
    CpiImageInfoEx sizes;
    CpiImageDescriptor d;
    uint32_t status = readSizesAndDescriptor(c, index, sizes, d);
    if (status != kCpiOk)
        return status;

    const uint32_t tw = uint32_t{sizes.thumbnailWidth} + kFrameBorder;
    const uint32_t th = uint32_t{sizes.thumbnailHeight} + kFrameBorder;
    FramePlan plan;
    status = planFrame(sizes.imageWidth, sizes.imageHeight, d, plan);
    // The thumbnail's frame must lie inside the picture's, and the caller's record must be of
    // the thumbnail's size, before anything is read.
    if (status == kCpiOk &&
        (tw > plan.width || th > plan.height || picture->width != int64_t{sizes.thumbnailWidth} ||
         picture->height != int64_t{sizes.thumbnailHeight}))
        status = kCpiWrongSize;
    FrameBuffers buffers;
    std::span<uint8_t> frame;
    status = fetchFrame(c, status, plan, buffers, frame);
    if (status != kCpiOk)
        return status;
    if (!subsampleFrame(frame, plan.width, plan.height, tw, th))
        return kCpiWrongSize;
    status = convertIntoPicture(c, frame, tw, th, buffers.bayer, picture);
    if (status != kCpiOk)
        return status;
    if (descriptor) {
        d.rawWidth = uint16_t(tw);
        d.rawHeight = uint16_t(th);
        d.rawDataSize = sizes.rawThumbnailSize;
        *descriptor = d;
    }
    return kCpiOk;
}

uint32_t uploadThumbnail(CpiConnection* c, uint32_t index, CpiImage* picture,
                         CpiImageDescriptor* descriptor) {
    if (!c->cameraInfo.thumbnailsStored)
        return uploadSubsampledThumbnail(c, index, picture, descriptor);
    // Cameras with the extended command set get the whole upload repeated while it fails.
    const uint32_t attempts = hasExtendedCommandSet(c) ? uint32_t{c->retryCount} + 1 : 1;
    uint32_t status = kCpiOk;
    for (uint32_t attempt = 0; attempt < attempts; ++attempt) {
        status = uploadCommon(c, kReqThumbnailDescriptor, index, picture, descriptor);
        if (status == kCpiOk)
            break;
    }
    return status;
}

// The raw upload's frame: the Bayer mosaic of the (widened) frame, rows bottom-up.
uint32_t uploadRaw(CpiConnection* c, uint32_t index, uint8_t* buffer,
                   CpiImageDescriptor* descriptor) {
    CpiImageDescriptor d;
    uint32_t status = readDescriptor(c, kReqImageDescriptor, index, &d);
    if (status != kCpiOk)
        return status;
    int32_t width = 0, height = 0;
    FramePlan plan;
    if (!pictureOfFrame(d.rawWidth, d.rawHeight, width, height)) {
        resetSequence(c);
        return kCpiWrongSize;
    }
    const int format = pictureFormat(width, height);
    plan.widen = format == kCpiFormatQcif || format == kCpiFormatQvga;
    plan.cameraWidth = d.rawWidth;
    plan.cameraHeight = d.rawHeight;
    plan.width = plan.cameraWidth + (plan.widen ? kWideningGrowth : 0);
    plan.height = plan.cameraHeight + (plan.widen ? kWideningGrowth : 0);
    plan.rawSize = d.rawDataSize;
    // Raw data that cannot hold the camera's frame (or absurdly more) is refused before reading.
    if (plan.rawSize < plan.cameraBytes() || plan.rawSize > kMaxFrameBytes) {
        resetSequence(c);
        return kCpiWrongSize;
    }
    FrameBuffers buffers;
    if (!allocateFrameBuffers(plan, buffers.bayer, buffers.raw, buffers.widening)) {
        resetSequence(c);
        return kCpiOutOfMemory;
    }
    status = readRawData(c, buffers.raw);
    if (status != kCpiOk) {
        resetSequence(c);
        return status;
    }
    std::span<uint8_t> frame = preparedFrame(plan, buffers.raw, buffers.widening);
    if (frame.empty())
        return kCpiWrongSize;
    if (kerc::bunchedToBayer(c->colourHandle, frame.data(), buffers.bayer.data(), plan.width,
                             plan.height) != 0)
        return kCpiColourFailed;
    copyRowsBottomUp(buffers.bayer, plan.width, plan.height, std::span(buffer, plan.bytes()));
    if (descriptor) {
        d.rawWidth = uint16_t(plan.width);
        d.rawHeight = uint16_t(plan.height);
        *descriptor = d;
    }
    return kCpiOk;
}

// The frame of every upload export: connection and pointer checks, the lock around the body.
template <typename Body>
uint32_t lockedUpload(CpiConnection* c, const void* required, Body&& body) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!required)
        return kCpiNullPointer;
    TransportLock lock(c);
    if (lock.status() != kCpiOk)
        return lock.status();
    return shield(kCpiOutOfMemory, body);
}

} // namespace
} // namespace kerris::camera

using namespace kerris::camera;

extern "C" {

// Allocates a picture record of width x height with its header filled and the pixels zeroed.
// Null for a negative size, one whose image size does not fit 32 bits, or when memory is short.
CpiImage* CpiCreateImage(int32_t width, int32_t height) noexcept {
    if (width < 0 || height < 0)
        return nullptr;
    const uint64_t imageSize = uint64_t(width) * uint64_t(height) * 3;
    if (imageSize > UINT32_MAX - sizeof(CpiImage))
        return nullptr;
    auto* image = static_cast<CpiImage*>(std::calloc(1, sizeof(CpiImage) + imageSize));
    if (!image)
        return nullptr;
    image->headerSize = sizeof(CpiImage);
    image->width = width;
    image->height = height;
    image->planes = 1;
    image->bitsPerPixel = 24;
    image->compression = 0;
    image->imageSize = uint32_t(imageSize);
    return image;
}

// Frees a picture record made by CpiCreateImage. 5 for null; 9 (nothing freed) unless width,
// height and image size are positive; else the three are zeroed, the record freed and 0 returned.
uint32_t CpiFreeImage(CpiImage* image) noexcept {
    if (!image)
        return kCpiNullPointer;
    if (image->width <= 0 || image->height <= 0 || image->imageSize == 0)
        return kCpiBadImage;
    image->width = 0;
    image->height = 0;
    image->imageSize = 0;
    std::free(image);
    return kCpiOk;
}

// Uploads picture `index` into `picture` (its size must be the camera's picture size, else 10
// and nothing is read). `descriptor` (optional) receives the frame's descriptor, widened for
// the two small formats. 0, 0x20, 5, 8, 10, 0x3000, 0x4000, or the transport's result.
uint32_t CpiUploadImage(CpiConnection* c, uint32_t index, CpiImage* picture,
                        CpiImageDescriptor* descriptor) noexcept {
    return lockedUpload(c, picture, [&] {
        return uploadCommon(c, kReqImageDescriptor, index, picture, descriptor);
    });
}

// Uploads the region of picture `index` whose frame starts at (x, y) of the camera's frame and
// is the size of `picture` plus 4 each way. A region outside the frame leaves `picture` as it
// was and returns 0. `descriptor` receives the full frame's descriptor. Statuses as above.
uint32_t CpiUploadImageROI(CpiConnection* c, uint32_t index, CpiImage* picture,
                           CpiImageDescriptor* descriptor, uint32_t x, uint32_t y) noexcept {
    return lockedUpload(c, picture,
                        [&] { return uploadRegion(c, index, picture, descriptor, x, y); });
}

// Uploads the thumbnail of picture `index`: the camera's stored one (retried on cameras with
// the extended command set) or one subsampled from the full picture. Statuses as above.
uint32_t CpiUploadThumbnail(CpiConnection* c, uint32_t index, CpiImage* picture,
                            CpiImageDescriptor* descriptor) noexcept {
    return lockedUpload(c, picture, [&] { return uploadThumbnail(c, index, picture, descriptor); });
}

// Uploads picture `index` as its Bayer frame (one byte per sample, rows bottom-up) into
// `buffer`, which holds the frame (widened for the two small formats). 0, 0x20, 5, 8, 10,
// 0x3000, 0x4000, or the transport's result.
uint32_t CpiUploadRawImage(CpiConnection* c, uint32_t index, uint8_t* buffer,
                           CpiImageDescriptor* descriptor) noexcept {
    return lockedUpload(c, buffer, [&] { return uploadRaw(c, index, buffer, descriptor); });
}

} // extern "C"
