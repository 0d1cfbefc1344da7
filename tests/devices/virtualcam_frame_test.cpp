// Raw frames of the virtual camera: geometry, mosaic, bunching, colour model inverse, bitmap
// files and resampling, checked against an independent unbunch + demosaic written here.
#include "devices/virtualcam/bitmap_file.h"
#include "devices/virtualcam/raw_frame.h"
#include "devices/virtualcam/scenes.h"
#include "tests/devices/virtualcam_pictures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

using namespace kerris::virtualcam;
using vcamtest::flatPicture;
using vcamtest::psnr;

// The receiving side's widening of a 178 x 146 / 322 x 242 frame, as the camera library does it.
std::vector<uint8_t> widen(const std::vector<uint8_t>& in, int w, int h) {
    std::vector<uint8_t> f = in;
    std::memcpy(&f[size_t(h - 1) * w + w - 4], &f[size_t(h - 3) * w + w - 4], 4);
    std::vector<uint8_t> out;
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = &f[size_t(y) * w];
        out.insert(out.end(), row, row + w / 2);
        out.push_back(row[w / 2 - 2]);
        out.insert(out.end(), row + w / 2, row + w);
        out.push_back(row[w - 2]);
    }
    for (int y = h - 2; y < h; ++y) {
        std::vector<uint8_t> copy(out.begin() + ptrdiff_t(y) * (w + 2),
                                  out.begin() + ptrdiff_t(y + 1) * (w + 2));
        out.insert(out.end(), copy.begin(), copy.end());
    }
    return out;
}

// Plain bilinear demosaic of a GRBG frame into the (w - 4) x (h - 4) picture inside it.
Picture demosaic(const std::vector<uint8_t>& bayer, int w, int h) {
    auto at = [&](int x, int y) { return double(bayer[size_t(y) * w + x]); };
    auto channel = [](int x, int y) { return (x + y) % 2 == 0 ? 1 : (y % 2 == 0 ? 0 : 2); };
    Picture out(w - 4, h - 4);
    for (int y = 2; y < h - 2; ++y)
        for (int x = 2; x < w - 2; ++x) {
            double sum[3] = {0, 0, 0}, n[3] = {0, 0, 0};
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int c = channel(x + dx, y + dy);
                    // The own sample alone where the site has that colour.
                    if (c == channel(x, y) && (dx || dy))
                        continue;
                    if (c == 1 && channel(x, y) != 1 && dx && dy)
                        continue; // greens: the four direct neighbours only
                    sum[c] += at(x + dx, y + dy);
                    n[c] += 1;
                }
            uint8_t* p = out.pixel(x - 2, y - 2);
            for (int c = 0; c < 3; ++c)
                p[2 - c] = uint8_t(std::lround(sum[c] / n[c]));
        }
    return out;
}

// A smooth picture: gentle gradients in every channel.
Picture smooth(int w, int h) {
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* px = p.pixel(x, y);
            px[0] = uint8_t(40 + 160 * x / w);
            px[1] = uint8_t(60 + 120 * y / h);
            px[2] = uint8_t(200 - 150 * (x + y) / (w + h));
        }
    return p;
}

TEST(RawFrameGeometry, FramesOfTheFourFormats) {
    struct Case {
        int w, h, fw, fh;
    } cases[] = {{352, 288, 356, 292},
                 {640, 480, 644, 484},
                 {176, 144, 178, 146},
                 {320, 240, 322, 242},
                 {80, 64, 84, 68}};
    for (const Case& c : cases) {
        FrameSize f = rawFrameSize(c.w, c.h);
        EXPECT_EQ(f.width, c.fw) << c.w << "x" << c.h;
        EXPECT_EQ(f.height, c.fh) << c.w << "x" << c.h;
        EXPECT_EQ(f.bytes(), uint32_t(c.fw * c.fh));
    }
}

TEST(RawFrameGeometry, FormatChosenForAPicture) {
    struct Case {
        int w, h, code;
    } cases[] = {
        {640, 480, 1}, {352, 288, 0},   {176, 144, 2},
        {320, 240, 3}, {1600, 1200, 1}, // larger than every format: the largest it covers
        {400, 300, 0},                  // covers 352 x 288 and 320 x 240: the larger
        {330, 250, 3}, {200, 150, 2},   {100, 100, 2}, // smaller than every format: the smallest
        {640, 200, 2},                                 // wide but low: only 176 x 144 fits inside
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatForPicture(c.w, c.h).code, c.code) << c.w << "x" << c.h;
    EXPECT_EQ(formatOfSize(640, 481), nullptr);
    EXPECT_EQ(formatOfCode(4), nullptr);
}

TEST(Bunching, RowHalvesHoldEvenThenOddColumns) {
    const uint8_t bayer[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    auto bunched = bunchFrame(bayer, 4, 2);
    EXPECT_EQ(bunched, (std::vector<uint8_t>{0, 2, 1, 3, 4, 6, 5, 7}));
    EXPECT_EQ(unbunchFrame(bunched.data(), 4, 2), std::vector<uint8_t>(bayer, bayer + 8));
}

TEST(Mosaic, FlatPrimariesLandOnTheirSites) {
    struct Case {
        const char* name;
        uint8_t b, g, r;
    } cases[] = {{"red", 0, 0, 255}, {"green", 0, 255, 0}, {"blue", 255, 0, 0}};
    for (const Case& c : cases) {
        auto frame = makeRawFrame(flatPicture(8, 6, c.b, c.g, c.r), 12, 10);
        auto bayer = unbunchFrame(frame.data(), 12, 10);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 12; ++x) {
                const bool green = (x + y) % 2 == 0, red = !green && y % 2 == 0;
                const uint8_t expected = green ? c.g : red ? c.r : c.b;
                ASSERT_EQ(bayer[size_t(y) * 12 + x], expected) << c.name << " at " << x << "," << y;
            }
    }
}

TEST(Mosaic, FramePixelShowsThePicturePixelTwoInside) {
    Picture p(6, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            std::memset(p.pixel(x, y), 10 * y + x, 3);
    auto bayer = unbunchFrame(makeRawFrame(p, 10, 8).data(), 10, 8);
    EXPECT_EQ(bayer[2 * 10 + 2], 0);      // (2, 2) = picture (0, 0)
    EXPECT_EQ(bayer[3 * 10 + 7], 10 + 5); // (7, 3) = picture (5, 1)
    EXPECT_EQ(bayer[0], 0);               // border clamps to the edge
    EXPECT_EQ(bayer[7 * 10 + 9], 30 + 5); // far corner clamps too
}

TEST(RoundTrip, SmoothPictureThroughEveryFormat) {
    for (const ImageFormat& f : kImageFormats) {
        const Picture original = smooth(f.width, f.height);
        const FrameSize size = rawFrameSize(f);
        auto frame = makeRawFrame(original, size.width, size.height);
        int w = size.width, h = size.height;
        if (w == f.width + 2) { // the small formats arrive without their far border
            frame = widen(frame, w, h);
            w += 2;
            h += 2;
        }
        ASSERT_EQ(w, f.width + 4);
        const Picture back = demosaic(unbunchFrame(frame.data(), w, h), w, h);
        EXPECT_GT(psnr(original, back), 40.0) << f.width << "x" << f.height;
    }
}

TEST(RoundTrip, ColourModelIsInverted) {
    ColourModel model;
    model.matrix = {1.5f, -0.3f, -0.2f, -0.1f, 1.3f, -0.2f, 0.0f, -0.4f, 1.4f};
    model.blackOffset = 12;
    model.whiteLevel = 240;
    model.gammaOn = true;
    model.gammaMilli = 2200;
    // Mid-range colours stay inside the sample range through the inverse.
    const Picture original = flatPicture(8, 8, 90, 120, 140);
    auto bayer = unbunchFrame(makeRawFrame(original, 12, 12, model).data(), 12, 12);
    const double sample[3] = {double(bayer[1]), double(bayer[0]),
                              double(bayer[12])}; // R at (1,0), G at (0,0), B at (0,1)
    const double gamma = 1000.0 / model.gammaMilli;
    const double expected[3] = {140, 120, 90};
    for (int row = 0; row < 3; ++row) {
        double v = 0;
        for (int c = 0; c < 3; ++c)
            v += model.matrix[size_t(row * 3 + c)] * (sample[c] - model.blackOffset);
        v = v * 255.0 / (model.whiteLevel - model.blackOffset);
        const double out = std::pow(std::clamp(v / 255.0, 0.0, 1.0), gamma) * 255.0;
        EXPECT_NEAR(out, expected[row], 3.0) << "channel " << row;
    }
}

TEST(RoundTrip, SingularMatrixFallsBackToIdentity) {
    ColourModel model;
    model.matrix = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    auto bayer =
        unbunchFrame(makeRawFrame(flatPicture(4, 4, 30, 60, 90), 8, 8, model).data(), 8, 8);
    EXPECT_EQ(bayer[0], 60);
    EXPECT_EQ(bayer[1], 90);
    EXPECT_EQ(bayer[8], 30);
}

// The camera's picture files; the codec's own checks are tested with it (platform).
TEST(BitmapFile, RoundTripKeepsEveryPixel) {
    Picture p(5, 3); // odd width: rows are padded
    for (size_t i = 0; i < p.bgr.size(); ++i)
        p.bgr[i] = uint8_t(i * 7);
    auto bytes = encodeBitmap(p);
    EXPECT_EQ(bytes.size(), 54u + 16u * 3u);
    auto back = decodeBitmap(bytes.data(), bytes.size());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->bgr, p.bgr);
    EXPECT_TRUE(encodeBitmap(Picture(0, 0)).empty());
}

// Only uncompressed 24-bit files up to kMaxBitmapSide are served, and a refusal says why.
TEST(BitmapFile, FilesTheCameraDoesNotServeAreRefused) {
    const auto good = encodeBitmap(smooth(4, 4));
    struct Case {
        const char* name;
        size_t offset;
        std::vector<uint8_t> bytes;
        size_t keep; // bytes of the file kept (0: all)
    } cases[] = {
        {"8 bits per pixel", 28, {8, 0}, 0},
        {"compressed", 30, {1, 0, 0, 0}, 0},
        {"one past the widest", 18, {0x01, 0x20, 0, 0}, 0}, // 8193
        {"truncated pixels", 0, {}, good.size() - 1},
    };
    for (const Case& c : cases) {
        auto bytes = good;
        std::copy(c.bytes.begin(), c.bytes.end(), bytes.begin() + ptrdiff_t(c.offset));
        if (c.keep)
            bytes.resize(c.keep);
        std::string error;
        EXPECT_FALSE(decodeBitmap(bytes.data(), bytes.size(), &error).has_value()) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
    EXPECT_FALSE(decodeBitmap(nullptr, 0).has_value());
}

TEST(Resampling, FitKeepsTheMiddleAndAverages) {
    // Left third red, middle green, right third blue; 6:2 cut to 2:2 keeps the middle.
    Picture p(6, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 6; ++x)
            p.pixel(x, y)[x < 2 ? 2 : x < 4 ? 1 : 0] = 255;
    Picture fitted = fitPicture(p, 2, 2);
    EXPECT_EQ(fitted.pixel(0, 0)[1], 255);
    EXPECT_EQ(fitted.pixel(1, 1)[2], 0);
    // Halving averages pairs.
    Picture stripes(4, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            std::memset(stripes.pixel(x, y), x % 2 ? 200 : 100, 3);
    Picture half = stretchPicture(stripes, 2, 1);
    EXPECT_EQ(half.pixel(0, 0)[0], 150);
    EXPECT_EQ(half.pixel(1, 0)[2], 150);
    // Up-scaling keeps a flat picture flat.
    Picture up = fitPicture(flatPicture(3, 3, 7, 8, 9), 10, 10);
    EXPECT_EQ(up.pixel(9, 9)[2], 9);
}

TEST(Scenes, AreDeterministicAndNotFlat) {
    for (int s = 0; s < kSceneCount; ++s) {
        Picture a = drawScene(s, 64, 48), b = drawScene(s, 64, 48);
        EXPECT_EQ(a.bgr, b.bgr) << sceneName(s);
        EXPECT_NE(std::count(a.bgr.begin(), a.bgr.end(), a.bgr[0]), ptrdiff_t(a.bgr.size()))
            << sceneName(s);
    }
    EXPECT_TRUE(drawScene(0, 0, 10).empty());
}

} // namespace
