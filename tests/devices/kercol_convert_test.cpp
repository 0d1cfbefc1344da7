// Colour library conversions: bunched -> Bayer, demosaic quality, black, white, matrix, gamma,
// frame sizes and conversion modes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include "devices/kercol/kercol.h"
#include "tests/devices/kercol_pictures.h"

using namespace kercol_test;

namespace {

constexpr int kW = 644, kH = 484; // the 640 x 480 picture's frame

// Every output pixel of a flat frame, as B, G, R.
void expectFlat(const std::vector<std::uint8_t>& bgr, int b, int g, int r, int tolerance = 0) {
    for (std::size_t i = 0; i < bgr.size(); i += 3) {
        ASSERT_NEAR(bgr[i], b, tolerance) << "pixel " << i / 3;
        ASSERT_NEAR(bgr[i + 1], g, tolerance) << "pixel " << i / 3;
        ASSERT_NEAR(bgr[i + 2], r, tolerance) << "pixel " << i / 3;
    }
}

// Plain bilinear demosaic of the same mosaic, as the yardstick the library must beat.
std::vector<std::uint8_t> bilinear(const std::vector<std::uint8_t>& bayer, int w, int h) {
    auto at = [&](int x, int y) { return int(bayer[std::size_t(y) * w + x]); };
    std::vector<std::uint8_t> out(std::size_t(w - 4) * (h - 4) * 3);
    for (int y = 2; y < h - 2; ++y)
        for (int x = 2; x < w - 2; ++x) {
            const int cross = (at(x - 1, y) + at(x + 1, y) + at(x, y - 1) + at(x, y + 1) + 2) / 4;
            const int diag =
                (at(x - 1, y - 1) + at(x + 1, y - 1) + at(x - 1, y + 1) + at(x + 1, y + 1) + 2) / 4;
            const int horiz = (at(x - 1, y) + at(x + 1, y) + 1) / 2;
            const int vert = (at(x, y - 1) + at(x, y + 1) + 1) / 2;
            int r, g, b;
            if (y % 2 == 0 && x % 2 == 0) {
                g = at(x, y);
                r = horiz;
                b = vert;
            } else if (y % 2 == 0) {
                r = at(x, y);
                g = cross;
                b = diag;
            } else if (x % 2 == 0) {
                b = at(x, y);
                g = cross;
                r = diag;
            } else {
                g = at(x, y);
                b = horiz;
                r = vert;
            }
            std::uint8_t* o = &out[(std::size_t(y - 2) * (w - 4) + (x - 2)) * 3];
            o[0] = std::uint8_t(b);
            o[1] = std::uint8_t(g);
            o[2] = std::uint8_t(r);
        }
    return out;
}

template <typename Case> std::string caseName(const ::testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

} // namespace

TEST(KercolBunchedToBayer, InterleavesTheTwoHalvesOfEachRow) {
    Handle h;
    // Row 0: even columns 10 11 12 13, odd columns 20 21 22 23; row 1 likewise with 3x / 4x.
    std::vector<std::uint8_t> bunched = {10, 11, 12, 13, 20, 21, 22, 23,
                                         30, 31, 32, 33, 40, 41, 42, 43};
    std::vector<std::uint8_t> bayer(16, 0);
    ASSERT_EQ(KERC_BunchedToBayer(h, bunched.data(), bayer.data(), 8, 2), 0u);
    EXPECT_EQ(bayer, (std::vector<std::uint8_t>{10, 20, 11, 21, 12, 22, 13, 23, 30, 40, 31, 41, 32,
                                                42, 33, 43}));
    // The same buffer may serve as both frames.
    ASSERT_EQ(KERC_BunchedToBayer(h, bunched.data(), bunched.data(), 8, 2), 0u);
    EXPECT_EQ(bunched, bayer);
}

TEST(KercolBunchedToBayer, InvertsBunchingOfAWholeFrame) {
    Handle h;
    const auto bayer = mosaic(detailedPicture(kW, kH));
    auto bunched = bunch(bayer, kW, kH);
    std::vector<std::uint8_t> out(bayer.size());
    ASSERT_EQ(KERC_BunchedToBayer(h, bunched.data(), out.data(), kW, kH), 0u);
    EXPECT_EQ(out, bayer);
}

TEST(KercolBunchedToBayer, RefusesBadFramesAndTouchesNothing) {
    Handle h;
    std::vector<std::uint8_t> in(64, 7), out(64, 0xAB);
    struct Case {
        std::uint32_t w, h, status;
    } cases[] = {
        {7, 2, KERC_ERR_FRAME}, // odd width: the halves cannot be equal
        {0, 2, KERC_ERR_FRAME},
        {8, 0, KERC_ERR_FRAME},
        {16386, 1, KERC_ERR_FRAME}, // larger than any frame the library accepts
        {2, 1, KERC_OK},            // the smallest frame
    };
    for (const auto& c : cases) {
        std::fill(out.begin(), out.end(), 0xAB);
        EXPECT_EQ(KERC_BunchedToBayer(h, in.data(), out.data(), c.w, c.h), c.status)
            << c.w << " x " << c.h;
        if (c.status != KERC_OK) {
            EXPECT_EQ(out, std::vector<std::uint8_t>(64, 0xAB));
        }
    }
    EXPECT_EQ(out[2], 0xAB); // a 2 x 1 frame writes two bytes, no more
    EXPECT_EQ(KERC_BunchedToBayer(h, nullptr, out.data(), 8, 2), std::uint32_t(KERC_ERR_POINTER));
    EXPECT_EQ(KERC_BunchedToBayer(h, in.data(), nullptr, 8, 2), std::uint32_t(KERC_ERR_POINTER));
    EXPECT_EQ(KERC_BunchedToBayer(0, in.data(), out.data(), 8, 2), std::uint32_t(KERC_ERR_HANDLE));
}

struct FlatCase {
    const char* name;
    std::uint8_t r, g, b;
};

class KercolFlatPatch : public ::testing::TestWithParam<FlatCase> {};

// A flat patch must come back exactly, in the right channel of the B, G, R output.
TEST_P(KercolFlatPatch, LandsInItsChannelsExactly) {
    const FlatCase c = GetParam();
    Handle h;
    const auto out = convert(h, mosaic(flatPicture(kW, kH, c.r, c.g, c.b)), kW, kH);
    expectFlat(out, c.b, c.g, c.r);
}

INSTANTIATE_TEST_SUITE_P(Colours, KercolFlatPatch,
                         ::testing::Values(FlatCase{"red", 255, 0, 0}, FlatCase{"green", 0, 255, 0},
                                           FlatCase{"blue", 0, 0, 255},
                                           FlatCase{"white", 255, 255, 255},
                                           FlatCase{"black", 0, 0, 0},
                                           FlatCase{"orange", 230, 120, 20}),
                         caseName<FlatCase>);

TEST(KercolDemosaic, PatchesKeepTheirPlace) {
    // Left half red, right half blue: away from the seam each side keeps its colour.
    Picture p = flatPicture(kW, kH, 255, 0, 0);
    for (int y = 0; y < kH; ++y)
        for (int x = kW / 2; x < kW; ++x) {
            p.at(x, y)[0] = 0;
            p.at(x, y)[2] = 255;
        }
    Handle h;
    const auto out = convert(h, mosaic(p), kW, kH);
    const int ow = kW - 4;
    for (int y = 0; y < kH - 4; y += 37) {
        const std::uint8_t* left = &out[(std::size_t(y) * ow + 10) * 3];
        const std::uint8_t* right = &out[(std::size_t(y) * ow + ow - 10) * 3];
        EXPECT_EQ(left[0], 0);
        EXPECT_EQ(left[2], 255);
        EXPECT_EQ(right[0], 255);
        EXPECT_EQ(right[2], 0);
    }
}

TEST(KercolDemosaic, SmoothPictureComesBackAbove35dB) {
    const Picture original = smoothPicture(kW, kH);
    Handle h;
    const double psnr = psnrAgainstInterior(convert(h, mosaic(original), kW, kH), original);
    std::printf("smooth picture 640 x 480 through mosaic and back: PSNR %.2f dB\n", psnr);
    RecordProperty("psnr_db", std::to_string(psnr));
    EXPECT_GE(psnr, 35.0);
}

TEST(KercolDemosaic, BeatsPlainBilinearOnDetail) {
    const Picture original = detailedPicture(kW, kH);
    const auto bayer = mosaic(original);
    Handle h;
    const double ours = psnrAgainstInterior(convert(h, bayer, kW, kH), original);
    const double plain = psnrAgainstInterior(bilinear(bayer, kW, kH), original);
    std::printf("detailed picture: PSNR %.2f dB, plain bilinear %.2f dB\n", ours, plain);
    EXPECT_GT(ours, plain + 1.0);
}

TEST(KercolDemosaic, SmallFramesAreAsGoodAsLargeOnes) {
    // The 176 x 144 picture's widened frame and an odd-sized region (mode 1).
    for (auto [w, h] : {std::pair{180, 148}, std::pair{97, 61}}) {
        const Picture original = smoothPicture(w, h);
        Handle handle;
        setMode(handle, KERC_MODE_ANY_FRAME);
        std::uint32_t status = 99;
        const auto out = convert(handle, mosaic(original), w, h, &status);
        ASSERT_EQ(status, 0u) << w << " x " << h;
        EXPECT_GE(psnrAgainstInterior(out, original), 35.0) << w << " x " << h;
    }
}

TEST(KercolLevels, BlackOffsetIsSubtractedAndWhiteLevelStretches) {
    struct Case {
        std::uint16_t black, white;
        std::uint8_t in;
        int out;
    } cases[] = {
        {16, 255, 16, 0},                         // black itself
        {16, 255, 10, 0},                         // below black clamps to 0
        {16, 255, 255, 255}, {16, 255, 135, 127}, // (135 - 16) x 255 / 239 = 126.97
        {16, 250, 250, 255},                      // the camera library's fallback levels
        {16, 250, 133, 128},                      // (133 - 16) x 255 / 234 = 127.5 -> rounds up
        {0, 200, 100, 128},                       // 100 x 255 / 200 = 127.5
        {0, 200, 240, 255},                       // above white saturates
    };
    for (const auto& c : cases) {
        Handle h;
        ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_WHITE_LEVEL, (void*)&c.white, 2), 0u);
        ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_BLACK_OFFSET, (void*)&c.black, 2), 0u);
        SCOPED_TRACE(testing::Message()
                     << "black " << c.black << " white " << c.white << " in " << int(c.in));
        setMode(h, KERC_MODE_ANY_FRAME);
        const auto any = convert(h, mosaic(flatPicture(20, 20, c.in, c.in, c.in)), 20, 20);
        expectFlat(any, c.out, c.out, c.out, 1);
    }
}

TEST(KercolLevels, WhiteAtOrBelowBlackSaturatesInsteadOfDividingByZero) {
    Handle h;
    setMode(h, KERC_MODE_ANY_FRAME);
    const std::uint16_t black = 100, white = 50;
    ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_BLACK_OFFSET, (void*)&black, 2), 0u);
    ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_WHITE_LEVEL, (void*)&white, 2), 0u);
    expectFlat(convert(h, mosaic(flatPicture(9, 9, 101, 101, 101)), 9, 9), 255, 255, 255);
    expectFlat(convert(h, mosaic(flatPicture(9, 9, 99, 99, 99)), 9, 9), 0, 0, 0);
}

struct MatrixCase {
    const char* name;
    float m[9];
    std::uint8_t in[3]; // R, G, B
    int out[3];         // R, G, B
};

class KercolMatrix : public ::testing::TestWithParam<MatrixCase> {};

TEST_P(KercolMatrix, MixesChannels) {
    const MatrixCase& c = GetParam();
    Handle h;
    setMode(h, KERC_MODE_ANY_FRAME);
    ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_MATRIX, (void*)c.m, 36), 0u);
    const auto out = convert(h, mosaic(flatPicture(12, 10, c.in[0], c.in[1], c.in[2])), 12, 10);
    expectFlat(out, c.out[2], c.out[1], c.out[0], 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KercolMatrix,
    ::testing::Values(
        MatrixCase{"swap_red_blue", {0, 0, 1, 0, 1, 0, 1, 0, 0}, {200, 100, 30}, {30, 100, 200}},
        MatrixCase{"grey_from_green", {0, 1, 0, 0, 1, 0, 0, 1, 0}, {200, 77, 30}, {77, 77, 77}},
        // The built-in "SA" matrix: rows sum to 1, so grey stays grey.
        MatrixCase{"sensor_a_on_grey",
                   {2.135f, -1.193f, 0.058f, -0.376f, 1.741f, -0.365f, 0.018f, -1.188f, 2.17f},
                   {90, 90, 90},
                   {90, 90, 90}},
        MatrixCase{"sensor_a_on_colour",
                   {2.135f, -1.193f, 0.058f, -0.376f, 1.741f, -0.365f, 0.018f, -1.188f, 2.17f},
                   {120, 100, 80},
                   {142, 100, 57}},
        MatrixCase{
            "negative_clamps_to_zero", {-1, 0, 0, 0, 1, 0, 0, 0, 1}, {50, 60, 70}, {0, 60, 70}},
        // Entries of 4 and more take the single-precision path; the results must agree.
        MatrixCase{"large_entries", {5, 0, 0, 0, 4, 0, 0, 0, -6}, {20, 30, 40}, {100, 120, 0}},
        MatrixCase{"entry_just_below_four",
                   {3.99995f, 0, 0, 0, 1, 0, 0, 0, 1},
                   {50, 60, 70},
                   {200, 60, 70}},
        MatrixCase{"saturates_bright", {16, 0, 0, 0, 1, 0, 0, 0, 1}, {200, 60, 70}, {255, 60, 70}}),
    caseName<MatrixCase>);

TEST(KercolMatrix, BothArithmeticPathsAgreeOnADetailedPicture) {
    // Entries below 4 run in 16-bit fixed point; scaling them by 255/63 (white 63) pushes the
    // same matrix over 4 and into single precision. Compare against the expected arithmetic.
    const Picture original = detailedPicture(100, 80);
    const float m[9] = {1.2f, -0.1f, -0.1f, -0.2f, 1.3f, -0.1f, 0.0f, -0.3f, 1.3f};
    std::vector<std::uint8_t> results[2];
    const std::uint16_t whites[2] = {255, 63};
    for (int i = 0; i < 2; ++i) {
        Handle h;
        setMode(h, KERC_MODE_ANY_FRAME);
        ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_MATRIX, (void*)m, 36), 0u);
        ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_WHITE_LEVEL, (void*)&whites[i], 2), 0u);
        // Scale the picture so that both settings see the same relative levels.
        Picture scaled = original;
        for (auto& v : scaled.rgb)
            v = std::uint8_t(std::lround(v * whites[i] / 255.0));
        results[i] = convert(h, mosaic(scaled), 100, 80);
    }
    int worst = 0;
    for (std::size_t i = 0; i < results[0].size(); ++i)
        worst = std::max(worst, std::abs(int(results[0][i]) - int(results[1][i])));
    // The dark copy was quantised to 64 levels: 4 output steps apart at most, plus rounding.
    EXPECT_LE(worst, 8);
}

TEST(KercolGamma, AppliesThePowerCurveWhenOn) {
    struct Case {
        std::uint8_t on;
        std::uint16_t milli;
        std::uint8_t in;
        int out;
    } cases[] = {
        {0, 2200, 64, 64},  {1, 2200, 64, 136}, // 255 x (64/255)^(1/2.2) = 136.1
        {1, 2200, 0, 0},    {1, 2200, 255, 255}, {1, 1000, 64, 64}, // exponent 1 is linear
        {1, 4000, 16, 128},                                         // 255 x (16/255)^(1/4) = 127.6
    };
    for (const auto& c : cases) {
        Handle h;
        setMode(h, KERC_MODE_ANY_FRAME);
        ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_GAMMA, (void*)&c.on, 1), 0u);
        ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_GAMMA_EXPONENT, (void*)&c.milli, 2), 0u);
        SCOPED_TRACE(testing::Message()
                     << "gamma " << int(c.on) << " exponent " << c.milli << " in " << int(c.in));
        expectFlat(convert(h, mosaic(flatPicture(9, 9, c.in, c.in, c.in)), 9, 9), c.out, c.out,
                   c.out);
    }
}

TEST(KercolGamma, ExponentOneLooksUpWhatGammaOffComputes) {
    // Gamma off is computed, gamma on is looked up; with exponent 1 both must agree to the byte.
    const auto bayer = mosaic(detailedPicture(kW, kH));
    Handle off, on;
    const std::uint8_t one = 1;
    const std::uint16_t linear = 1000;
    ASSERT_EQ(KERC_SetParameter(on, KERC_PARAM_GAMMA, (void*)&one, 1), 0u);
    ASSERT_EQ(KERC_SetParameter(on, KERC_PARAM_GAMMA_EXPONENT, (void*)&linear, 2), 0u);
    const float m[9] = {1.4f, -0.2f, -0.2f, -0.1f, 1.2f, -0.1f, -0.3f, -0.3f, 1.6f};
    for (std::uint32_t h : {std::uint32_t(off), std::uint32_t(on)})
        ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_MATRIX, (void*)m, 36), 0u);
    EXPECT_EQ(convert(off, bayer, kW, kH), convert(on, bayer, kW, kH));
}

TEST(KercolGamma, ChangingASettingAfterAConversionTakesEffect) {
    // Regression guard for the derived tables: they must follow every parameter change.
    Handle h;
    setMode(h, KERC_MODE_ANY_FRAME);
    const auto bayer = mosaic(flatPicture(9, 9, 64, 64, 64));
    expectFlat(convert(h, bayer, 9, 9), 64, 64, 64);
    const std::uint8_t on = 1;
    ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_GAMMA, (void*)&on, 1), 0u);
    expectFlat(convert(h, bayer, 9, 9), 136, 136, 136);
    ASSERT_EQ(KERC_LoadDeviceDefaults(h, 0), 0u);
    setMode(h, KERC_MODE_ANY_FRAME);
    expectFlat(convert(h, bayer, 9, 9), 64, 64, 64);
}

TEST(KercolFrames, WritesExactlyTheInteriorAndNotOneByteMore) {
    for (auto [w, h] : {std::pair{5, 5}, std::pair{6, 7}, std::pair{7, 9}, std::pair{33, 5}}) {
        Handle handle;
        setMode(handle, KERC_MODE_ANY_FRAME);
        std::vector<std::uint8_t> bayer(std::size_t(w) * h, 100);
        const std::size_t size = std::size_t(w - 4) * (h - 4) * 3;
        std::vector<std::uint8_t> out(size + 64, 0xEE);
        ASSERT_EQ(KERC_Colour(handle, bayer.data(), out.data(), w, h, 0), 0u) << w << " x " << h;
        for (std::size_t i = 0; i < size; ++i)
            ASSERT_EQ(out[i], 100) << w << " x " << h << " byte " << i;
        for (std::size_t i = size; i < out.size(); ++i)
            ASSERT_EQ(out[i], 0xEE) << w << " x " << h << " byte " << i;
    }
}

TEST(KercolFrames, RefusesFramesTooSmallOrTooLarge) {
    Handle h;
    setMode(h, KERC_MODE_ANY_FRAME);
    std::vector<std::uint8_t> bayer(64, 1), out(64, 0xEE);
    for (auto [w, hh] : {std::pair{4u, 10u}, std::pair{10u, 4u}, std::pair{0u, 0u},
                         std::pair{1u, 1u}, std::pair{16385u, 5u}, std::pair{5u, 0xFFFFFFFFu}}) {
        EXPECT_EQ(KERC_Colour(h, bayer.data(), out.data(), w, hh, 0), std::uint32_t(KERC_ERR_FRAME))
            << w << " x " << hh;
    }
    EXPECT_EQ(out, std::vector<std::uint8_t>(64, 0xEE));
    EXPECT_EQ(KERC_Colour(h, nullptr, out.data(), 9, 9, 0), std::uint32_t(KERC_ERR_POINTER));
    EXPECT_EQ(KERC_Colour(h, bayer.data(), nullptr, 9, 9, 0), std::uint32_t(KERC_ERR_POINTER));
    EXPECT_EQ(KERC_Colour(h, bayer.data(), out.data(), 9, 9, 1), std::uint32_t(KERC_ERR_ARGUMENT));
    EXPECT_EQ(KERC_Colour(0, bayer.data(), out.data(), 9, 9, 0), std::uint32_t(KERC_ERR_HANDLE));
}

TEST(KercolModes, CameraFrameModeServesOnlyTheCameraFrames) {
    struct Case {
        int w, h;
        bool camera;
    } cases[] = {
        {356, 292, true},  {644, 484, true},  {180, 148, true}, {324, 244, true},
        {84, 68, true},    {178, 146, false}, // the small format before widening
        {644, 485, false}, {484, 644, false}, {20, 20, false},  {5, 5, false},
    };
    for (const auto& c : cases) {
        Handle h;
        std::vector<std::uint8_t> bayer(std::size_t(c.w) * c.h, 50);
        std::vector<std::uint8_t> out(std::size_t(c.w - 4) * (c.h - 4) * 3, 0xEE);
        const std::uint32_t status = KERC_Colour(h, bayer.data(), out.data(), c.w, c.h, 0);
        if (c.camera) {
            EXPECT_EQ(status, 0u) << c.w << " x " << c.h;
        } else {
            EXPECT_EQ(status, std::uint32_t(KERC_RETRY_MODE)) << c.w << " x " << c.h;
            EXPECT_EQ(out[0], 0xEE) << "nothing written before the retry";
            setMode(h, KERC_MODE_ANY_FRAME);
            EXPECT_EQ(KERC_Colour(h, bayer.data(), out.data(), c.w, c.h, 0), 0u);
            EXPECT_EQ(out[0], 50);
        }
    }
}

TEST(KercolHandles, ConvertSideBySideOnSeveralThreads) {
    const Picture original = smoothPicture(kW, kH);
    const auto bayer = mosaic(original);
    Handle reference;
    const auto expected = convert(reference, bayer, kW, kH);
    std::vector<std::uint8_t> results[3];
    std::vector<std::thread> threads;
    for (auto& result : results)
        threads.emplace_back([&bayer, &result] {
            Handle h;
            for (int i = 0; i < 5; ++i)
                result = convert(h, bayer, kW, kH);
        });
    for (auto& t : threads)
        t.join();
    for (const auto& result : results)
        EXPECT_EQ(result, expected);
}
