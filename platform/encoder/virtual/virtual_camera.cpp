// "Kerris Camera": the virtual camera in its video mode. Each picture is made the way the
// camera makes its stills (devices/virtualcam: the picture through the inverse of the colour
// pipeline, GRBG mosaic, bunched rows) and is then developed as the receiving side develops
// them (devices/kercol: bunched rows to Bayer, demosaic, black and white level, matrix,
// gamma), so the video shows what the camera's sensor model and colour library make of it.
#include "platform/encoder/virtual/device_support.h"
#include "platform/encoder/virtual/digit_font.h"
#include "platform/encoder/virtual_devices.h"

#include "devices/kercol/conversion.h"
#include "devices/virtualcam/camera_config.h"
#include "devices/virtualcam/raw_frame.h"
#include "devices/virtualcam/scenes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace kerris::encoder {

namespace {

using virtualcam::Picture;

constexpr int64_t kSecondNs = 1000000000;
constexpr int64_t kPanPeriodNs = 8 * kSecondNs; // there and back again
constexpr int kMaximumFramesPerSecond = 60;
constexpr char kLockName[] = "kerris-camera-video";

// The receiving side's settings for the camera's colour model (conversion mode "any frame":
// the video sizes are not the still frames' sizes).
kercol::ColourSettings receivingSettings(const virtualcam::ColourModel& model) {
    kercol::ColourSettings settings = kercol::deviceDefaults();
    std::copy(model.matrix.begin(), model.matrix.end(), settings.matrix);
    settings.blackOffset = model.blackOffset;
    settings.whiteLevel = model.whiteLevel;
    settings.gammaOn = model.gammaOn;
    settings.gammaMilli =
        std::clamp(model.gammaMilli, kercol::kGammaMilliMin, kercol::kGammaMilliMax);
    settings.mode = 1; // KERC_MODE_ANY_FRAME
    return settings;
}

class CameraVideo final : public VirtualCameraVideo {
public:
    CameraVideo(int width, int height, int framesPerSecond)
        : m_width(width), m_height(height), m_pictureWidth(width + (width & 1)),
          m_frameNs(kSecondNs / framesPerSecond),
          m_stop(virtualdev::stopAfterMilliseconds("VideoStopAfterMs")) {}

    bool start(std::string& error) {
        if (!m_lock.acquire(kLockName, "video", kVirtualCameraName, error))
            return false;
        const virtualcam::CameraConfig config =
            virtualcam::readCameraConfig(virtualcam::TransportKind::Usb, 0);
        m_model = virtualcam::colourModelFor(config);
        m_tables = std::make_unique<kercol::ConversionTables>();
        kercol::buildTables(receivingSettings(m_model), *m_tables);
        m_scratch.resize(3 * size_t(m_pictureWidth));
        m_row.resize(size_t(m_pictureWidth) + 4);
        m_developed.resize(size_t(m_pictureWidth) * size_t(m_height) * 3);

        m_pan = std::max(8, m_pictureWidth / 2);
        m_scene = virtualcam::drawScene(0, m_pictureWidth + m_pan, m_height);
        m_picture = Picture(m_pictureWidth, m_height);
        m_textScale = std::max(1, m_height / 160);

        // The white frame is constant: develop it once, through the same path.
        std::fill(m_picture.bgr.begin(), m_picture.bgr.end(), uint8_t(255));
        develop();
        m_white = m_developed;
        m_stop.start();
        return true;
    }

    bool render(int64_t streamTimeNs, uint8_t* bgr, std::string& error) override {
        if (m_stop.stopped()) {
            error = std::string("The video device \"") + kVirtualCameraName +
                    "\" stopped delivering pictures";
            return false;
        }
        if (!bgr) {
            error = std::string("The video device \"") + kVirtualCameraName +
                    "\" was given no room for its picture";
            return false;
        }
        if (virtualdev::floorMod(streamTimeNs, kSecondNs) < m_frameNs) {
            deliver(m_white, bgr);
            return true;
        }
        compose(streamTimeNs);
        develop();
        deliver(m_developed, bgr);
        return true;
    }

private:
    // The scene panned to this moment, with the running time in its lower left corner.
    void compose(int64_t streamTimeNs) {
        const double phase =
            double(virtualdev::floorMod(streamTimeNs, kPanPeriodNs)) / double(kPanPeriodNs);
        const double there = phase < 0.5 ? 2 * phase : 2 - 2 * phase;
        const int offset = std::clamp(int(std::lround(there * m_pan)), 0, m_pan);
        const size_t rowBytes = size_t(m_pictureWidth) * 3;
        for (int y = 0; y < m_height; ++y)
            std::memcpy(m_picture.pixel(0, y), m_scene.pixel(offset, y), rowBytes);
        const int margin = 2 * m_textScale;
        const int textHeight = virtualdev::kGlyphHeight * m_textScale;
        virtualdev::drawText(m_picture, 2 * margin, m_height - 2 * margin - textHeight, m_textScale,
                             margin, virtualdev::streamClockText(streamTimeNs));
    }

    // m_picture as the camera's sensor gives it, developed by the colour library.
    void develop() {
        const int frameWidth = m_pictureWidth + 2 * virtualcam::kFrameBorder;
        const int frameHeight = m_height + 2 * virtualcam::kFrameBorder;
        std::vector<uint8_t> raw =
            virtualcam::makeRawFrame(m_picture, frameWidth, frameHeight, m_model);
        kercol::bunchedToBayer(raw.data(), raw.data(), uint32_t(frameWidth), uint32_t(frameHeight),
                               m_row.data());
        kercol::convertFrame(*m_tables, raw.data(), m_developed.data(), uint32_t(frameWidth),
                             uint32_t(frameHeight), m_scratch.data());
    }

    // Copies a developed picture out, leaving off the extra column of an odd width.
    void deliver(const std::vector<uint8_t>& developed, uint8_t* bgr) const {
        const size_t outRow = size_t(m_width) * 3;
        if (m_pictureWidth == m_width) {
            std::memcpy(bgr, developed.data(), outRow * size_t(m_height));
            return;
        }
        const size_t inRow = size_t(m_pictureWidth) * 3;
        for (int y = 0; y < m_height; ++y)
            std::memcpy(bgr + size_t(y) * outRow, developed.data() + size_t(y) * inRow, outRow);
    }

    int m_width;
    int m_height;
    int m_pictureWidth; // even: bunched rows pair their columns
    int64_t m_frameNs;
    virtualdev::StopClock m_stop;
    virtualdev::DeviceLock m_lock;
    virtualcam::ColourModel m_model;
    std::unique_ptr<kercol::ConversionTables> m_tables;
    std::vector<int16_t> m_scratch;
    std::vector<uint8_t> m_row;
    std::vector<uint8_t> m_developed;
    std::vector<uint8_t> m_white;
    Picture m_scene;
    Picture m_picture;
    int m_pan = 0;
    int m_textScale = 1;
};

} // namespace

std::unique_ptr<VirtualCameraVideo>
VirtualCameraVideo::open(int width, int height, int framesPerSecond, std::string& error) {
    if (width < kMinimumVideoSide || height < kMinimumVideoSide || width > kMaximumVideoWidth ||
        height > kMaximumVideoHeight) {
        error = std::string("The video device \"") + kVirtualCameraName +
                "\" cannot deliver pictures of " + std::to_string(width) + " x " +
                std::to_string(height) + " pixels";
        return nullptr;
    }
    if (framesPerSecond < 1 || framesPerSecond > kMaximumFramesPerSecond) {
        error = std::string("The video device \"") + kVirtualCameraName + "\" cannot deliver " +
                std::to_string(framesPerSecond) + " pictures a second";
        return nullptr;
    }
    try {
        auto device = std::make_unique<CameraVideo>(width, height, framesPerSecond);
        if (!device->start(error))
            return nullptr;
        return device;
    } catch (const std::bad_alloc&) {
        error = std::string("There is not enough memory for the video device \"") +
                kVirtualCameraName + "\"";
        return nullptr;
    }
}

} // namespace kerris::encoder
