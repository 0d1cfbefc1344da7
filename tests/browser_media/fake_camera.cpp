// The scriptable camera used by the download and movie tests.
#include "tests/browser_media/fake_camera.h"

#include <cstdlib>
#include <cstring>

namespace lumicart::media::testing {

namespace {

FakeCamera g_camera;
int g_connectionToken = 0;
CpiConnection* const kConnection = reinterpret_cast<CpiConnection*>(&g_connectionToken);

bool validConnection(CpiConnection* c) {
    return c == kConnection && g_camera.connectionOpen;
}

uint32_t fakeOpen(uint32_t selector, uint32_t port, CpiConnection** connection,
                  uint16_t* cameraId) noexcept {
    g_camera.calls.push_back("CpiCameraOpen");
    if (selector != 0 || port != 0 || !connection)
        return 2;
    if (g_camera.openStatus != 0) {
        if (g_camera.handBackOnOpenFailure) {
            g_camera.connectionOpen = true;
            ++g_camera.opens;
            *connection = kConnection;
        } else {
            *connection = nullptr;
        }
        return g_camera.openStatus;
    }
    ++g_camera.opens;
    g_camera.connectionOpen = true;
    *connection = kConnection;
    if (cameraId)
        *cameraId = 0x2000;
    return 0;
}

uint32_t fakeClose(CpiConnection* c) noexcept {
    g_camera.calls.push_back("CpiCameraClose");
    if (!validConnection(c))
        return 0x20;
    g_camera.connectionOpen = false;
    ++g_camera.closes;
    return 0;
}

uint32_t fakeState(CpiConnection* c, CpiCameraStateInfo* state) noexcept {
    g_camera.calls.push_back("CpiGetCameraStateInfo");
    if (!validConnection(c))
        return 0x20;
    if (!state)
        return 5;
    if (g_camera.stateStatus)
        return g_camera.stateStatus;
    state->byte0 = 0;
    state->busy = 0;
    state->ImageCount = uint16_t(g_camera.pictures.size());
    state->HeaderCount = state->ImageCount;
    return 0;
}

uint32_t fakeFormat(CpiConnection* c, uint32_t index, uint32_t* format,
                    CpiImageInfoEx* info) noexcept {
    g_camera.calls.push_back("CpiGetImageFormatEx");
    if (!validConnection(c))
        return 0x20;
    if (!format)
        return 5;
    if (int(index) == g_camera.formatFailsAt || index >= g_camera.pictures.size())
        return 0x3000;
    const auto& picture = g_camera.pictures[index];
    *format = picture.format;
    if (info) {
        int w, h;
        formatSize(picture.format, w, h);
        *info = CpiImageInfoEx{};
        info->imageWidth = uint16_t(w);
        info->imageHeight = uint16_t(h);
        info->rawImageSize = uint32_t((w + 4) * (h + 4));
    }
    return 0;
}

CpiImage* fakeCreate(int32_t width, int32_t height) noexcept {
    g_camera.calls.push_back("CpiCreateImage");
    if (g_camera.createFailsAfter >= 0 && g_camera.created >= g_camera.createFailsAfter)
        return nullptr;
    if (width <= 0 || height <= 0)
        return nullptr;
    const std::size_t size = std::size_t(width) * std::size_t(height) * 3;
    auto* image = static_cast<CpiImage*>(std::calloc(1, sizeof(CpiImage) + size));
    if (!image)
        return nullptr;
    image->headerSize = 40;
    image->width = width;
    image->height = height;
    image->planes = 1;
    image->bitsPerPixel = 24;
    image->imageSize = uint32_t(size);
    ++g_camera.created;
    return image;
}

uint32_t fakeFree(CpiImage* image) noexcept {
    g_camera.calls.push_back("CpiFreeImage");
    if (!image)
        return 5;
    ++g_camera.freed;
    std::free(image);
    return 0;
}

uint32_t fakeUpload(CpiConnection* c, uint32_t index, CpiImage* picture,
                    CpiImageDescriptor* descriptor) noexcept {
    g_camera.calls.push_back("CpiUploadImage");
    if (!validConnection(c))
        return 0x20;
    if (!picture)
        return 5;
    if (descriptor)
        return 2; // the browser asks for no descriptor
    if (int(index) == g_camera.uploadFailsAt || index >= g_camera.pictures.size())
        return 0x4000;
    const auto& shot = g_camera.pictures[index];
    int w, h;
    formatSize(shot.format, w, h);
    if (picture->width != w || picture->height != h)
        return 10;
    uint8_t* pixels = cpiImagePixels(picture);
    for (std::size_t k = 0; k < std::size_t(w) * h * 3; ++k)
        pixels[k] = fakePixel(shot.seed, k);
    if (int(index) == g_camera.emptyPictureAt)
        picture->width = 0;
    g_camera.uploaded.push_back(index);
    return 0;
}

} // namespace

FakeCamera& fakeCamera() {
    return g_camera;
}

void resetFakeCamera() {
    g_camera = FakeCamera{};
}

CameraApi fakeCameraApi() {
    CameraApi api;
    api.CpiCameraOpen = fakeOpen;
    api.CpiCameraClose = fakeClose;
    api.CpiGetCameraStateInfo = fakeState;
    api.CpiGetImageFormatEx = fakeFormat;
    api.CpiCreateImage = fakeCreate;
    api.CpiFreeImage = fakeFree;
    api.CpiUploadImage = fakeUpload;
    return api;
}

void formatSize(uint32_t format, int& width, int& height) {
    static const int sizes[4][2] = {{352, 288}, {640, 480}, {176, 144}, {320, 240}};
    width = sizes[format & 3][0];
    height = sizes[format & 3][1];
}

uint8_t fakePixel(uint8_t seed, std::size_t k) {
    // Ramps of 64 pixels: smooth enough for a lossy codec to keep, different for every seed.
    const std::size_t pixel = k / 3;
    return uint8_t((seed * 20) % 64 + pixel % 64 + (k % 3) * 50);
}

} // namespace lumicart::media::testing
