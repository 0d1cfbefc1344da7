// The camera's raw frames: picture formats, frame geometry, the GRBG mosaic and bunched rows.
#pragma once

#include "devices/virtualcam/picture.h"

#include <array>
#include <cstdint>
#include <vector>

namespace kerris::virtualcam {

// The four picture formats; the code is the one of the image format commands.
struct ImageFormat {
    uint8_t code;
    int width;
    int height;
};
inline constexpr std::array<ImageFormat, 4> kImageFormats{{
    {0, 352, 288},
    {1, 640, 480},
    {2, 176, 144},
    {3, 320, 240},
}};

// Stored thumbnails: an 80 x 64 picture in an 84 x 68 frame.
inline constexpr int kThumbnailWidth = 80;
inline constexpr int kThumbnailHeight = 64;

// Border of a raw frame around its picture on each side: colour conversion eats 2 pixels.
inline constexpr int kFrameBorder = 2;

struct FrameSize {
    int width;
    int height;
    uint32_t bytes() const { return uint32_t(width) * uint32_t(height); }
};

// The raw frame the camera sends for a picture: (W + 4) x (H + 4), except for 176 x 144 and
// 320 x 240, whose frames lack the right and bottom border (178 x 146, 322 x 242): the
// receiving side widens them by repeating the last columns and rows of the same colour.
FrameSize rawFrameSize(int pictureWidth, int pictureHeight);
inline FrameSize rawFrameSize(const ImageFormat& f) {
    return rawFrameSize(f.width, f.height);
}

// The format of exactly this picture size, or null.
const ImageFormat* formatOfSize(int width, int height);
// The format a picture of this size is stored in: its own size when it is one of the four,
// else the smallest format that it covers in both directions, else the smallest format.
const ImageFormat& formatForPicture(int width, int height);
const ImageFormat* formatOfCode(uint32_t code);

// How the receiving colour pipeline turns samples into picture values:
// value = tone(matrix * (sample - blackOffset) * 255 / (whiteLevel - blackOffset)), matrix
// row-major with rows and columns R, G, B; tone is x^(1000 / gammaMilli) on 0..1 when gamma
// is on, else the identity. The camera makes its frames with the inverse, so that pipeline
// gives back the picture (up to clipping where the inverse leaves the sample range).
struct ColourModel {
    std::array<float, 9> matrix{1, 0, 0, 0, 1, 0, 0, 0, 1};
    uint16_t blackOffset = 0;
    uint16_t whiteLevel = 255;
    bool gammaOn = false;
    uint16_t gammaMilli = 2200;
    bool identity() const;
};

// Makes the bunched raw frame of frameWidth x frameHeight (frameWidth even) for a picture:
// frame pixel (X, Y) samples picture pixel (X - 2, Y - 2), clamped to the picture's edges;
// each sample is the inverse colour model of that pixel, of the channel the GRBG mosaic puts
// there (row 0: G R G R ..., row 1: B G B G ...); each row is then bunched (even columns in its
// first half, odd columns in its second).
std::vector<uint8_t> makeRawFrame(const Picture& picture, int frameWidth, int frameHeight,
                                  const ColourModel& model = {});

// Bunching and its inverse on whole frames of w x h (w even).
std::vector<uint8_t> bunchFrame(const uint8_t* bayer, int width, int height);
std::vector<uint8_t> unbunchFrame(const uint8_t* bunched, int width, int height);

} // namespace kerris::virtualcam
