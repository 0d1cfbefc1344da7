// Raw frame geometry and the inverse of the colour pipeline: inverse matrix, black offset,
// mosaic, bunching.
#include "devices/virtualcam/raw_frame.h"

#include <algorithm>
#include <cmath>

namespace kerris::virtualcam {

FrameSize rawFrameSize(int pictureWidth, int pictureHeight) {
    const bool small = (pictureWidth == 176 && pictureHeight == 144) ||
                       (pictureWidth == 320 && pictureHeight == 240);
    const int grow = small ? kFrameBorder : 2 * kFrameBorder;
    return {pictureWidth + grow, pictureHeight + grow};
}

const ImageFormat* formatOfSize(int width, int height) {
    for (const ImageFormat& f : kImageFormats)
        if (f.width == width && f.height == height)
            return &f;
    return nullptr;
}

const ImageFormat* formatOfCode(uint32_t code) {
    for (const ImageFormat& f : kImageFormats)
        if (f.code == code)
            return &f;
    return nullptr;
}

const ImageFormat& formatForPicture(int width, int height) {
    if (const ImageFormat* exact = formatOfSize(width, height))
        return *exact;
    const ImageFormat* best = nullptr;
    const ImageFormat* smallest = &kImageFormats[0];
    for (const ImageFormat& f : kImageFormats) {
        if (f.width * f.height < smallest->width * smallest->height)
            smallest = &f;
        if (f.width <= width && f.height <= height &&
            (!best || f.width * f.height > best->width * best->height))
            best = &f;
    }
    return best ? *best : *smallest;
}

bool ColourModel::identity() const {
    static constexpr std::array<float, 9> kIdentity{1, 0, 0, 0, 1, 0, 0, 0, 1};
    return matrix == kIdentity && blackOffset == 0 && whiteLevel == 255 && !gammaOn;
}

namespace {

// Inverse of a 3 x 3 matrix; the identity when it is singular (a broken matrix must not
// turn every picture black).
std::array<double, 9> inverse(const std::array<float, 9>& m) {
    const double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5], g = m[6], h = m[7],
                 i = m[8];
    const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    if (std::fabs(det) < 1e-9)
        return {1, 0, 0, 0, 1, 0, 0, 0, 1};
    return {(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det,
            (f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det,
            (d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det};
}

// Channel of the GRBG mosaic at (x, y): 0 = R, 1 = G, 2 = B.
int mosaicChannel(int x, int y) {
    if ((x + y) % 2 == 0)
        return 1;
    return (y % 2 == 0) ? 0 : 2;
}

} // namespace

std::vector<uint8_t> makeRawFrame(const Picture& picture, int frameWidth, int frameHeight,
                                  const ColourModel& model) {
    std::vector<uint8_t> bayer(size_t(frameWidth) * size_t(frameHeight), 0);
    if (picture.empty() || frameWidth <= 0 || frameHeight <= 0)
        return bayer;
    const bool plain = model.identity();
    const std::array<double, 9> inv = inverse(model.matrix);
    // Linear light of each picture value: the inverse of the tone curve.
    std::array<double, 256> linear{};
    const double exponent = model.gammaOn && model.gammaMilli > 0 ? model.gammaMilli / 1000.0 : 1.0;
    for (int v = 0; v < 256; ++v)
        linear[size_t(v)] = std::pow(v / 255.0, exponent) * 255.0;
    const double range = std::max(1, int(model.whiteLevel) - int(model.blackOffset)) / 255.0;
    for (int y = 0; y < frameHeight; ++y) {
        const int py = std::clamp(y - kFrameBorder, 0, picture.height - 1);
        for (int x = 0; x < frameWidth; ++x) {
            const int px = std::clamp(x - kFrameBorder, 0, picture.width - 1);
            const uint8_t* p = picture.pixel(px, py); // B, G, R
            const int channel = mosaicChannel(x, y);
            uint8_t sample;
            if (plain) {
                sample = p[2 - channel];
            } else {
                const double rgb[3] = {linear[p[2]], linear[p[1]], linear[p[0]]};
                const double* row = &inv[size_t(channel) * 3];
                double v = (row[0] * rgb[0] + row[1] * rgb[1] + row[2] * rgb[2]) * range +
                           model.blackOffset;
                sample = uint8_t(std::clamp(std::lround(v), 0L, 255L));
            }
            bayer[size_t(y) * size_t(frameWidth) + size_t(x)] = sample;
        }
    }
    return bunchFrame(bayer.data(), frameWidth, frameHeight);
}

std::vector<uint8_t> bunchFrame(const uint8_t* bayer, int width, int height) {
    std::vector<uint8_t> out(size_t(width) * size_t(height));
    const size_t half = size_t(width) / 2;
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = bayer + size_t(y) * size_t(width);
        uint8_t* row = out.data() + size_t(y) * size_t(width);
        for (size_t k = 0; k < half; ++k) {
            row[k] = in[2 * k];
            row[half + k] = in[2 * k + 1];
        }
    }
    return out;
}

std::vector<uint8_t> unbunchFrame(const uint8_t* bunched, int width, int height) {
    std::vector<uint8_t> out(size_t(width) * size_t(height));
    const size_t half = size_t(width) / 2;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bunched + size_t(y) * size_t(width);
        uint8_t* bayer = out.data() + size_t(y) * size_t(width);
        for (size_t k = 0; k < half; ++k) {
            bayer[2 * k] = row[k];
            bayer[2 * k + 1] = row[half + k];
        }
    }
    return out;
}

} // namespace kerris::virtualcam
