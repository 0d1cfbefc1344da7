// The colour library's vector conversions (AVX2, AVX-512) against its plain x86-64 code: the same
// bytes for every frame size the camera sends, for small and odd sizes around the vector widths,
// and for every kind of settings (neutral, camera-like with gamma, matrices that need the
// single-precision path, levels that saturate), and not one byte written past the picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "devices/kercol/colour_settings.h"
#include "devices/kercol/conversion.h"

using namespace kercol;

namespace {

constexpr std::uint8_t kGuard = 0xA5;
constexpr std::size_t kGuardBytes = 256;

struct Size {
    std::uint32_t w, h;
};

// The frames the virtual camera sends (raw, and after widening), the thumbnail's, and sizes
// around the 16- and 64-pixel steps of the vector code (output width w - 4), odd ones included.
constexpr Size kSizes[] = {
    {644, 484}, {356, 292}, {324, 244}, {322, 242}, {180, 148}, {178, 146}, {84, 68},
    {5, 5},     {6, 5},     {7, 9},     {8, 6},     {19, 7},    {20, 6},    {21, 8},
    {22, 5},    {33, 17},   {36, 5},    {37, 6},    {67, 13},   {68, 6},    {69, 8},
    {70, 7},    {71, 5},    {131, 7},   {133, 9},   {200, 11},  {1001, 6},
};

struct SettingsCase {
    const char* name;
    float matrix[9];
    std::uint16_t black, white;
    bool gammaOn;
    std::uint16_t gammaMilli;
};

constexpr float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

const SettingsCase kSettings[] = {
    {"neutral", {1, 0, 0, 0, 1, 0, 0, 0, 1}, 0, 255, false, 2200},
    {"sensor SA, black 16, white 250, gamma 2.2",
     {2.135f, -1.193f, 0.058f, -0.376f, 1.741f, -0.365f, 0.018f, -1.188f, 2.17f},
     16,
     250,
     true,
     2200},
    {"sensor SB, gamma 1.0",
     {2.035f, -0.965f, -0.069f, -0.189f, 1.435f, -0.247f, -0.114f, -0.415f, 1.529f},
     10,
     240,
     true,
     1000},
    {"sensor SB without gamma",
     {2.035f, -0.965f, -0.069f, -0.189f, 1.435f, -0.247f, -0.114f, -0.415f, 1.529f},
     0,
     255,
     false,
     2200},
    // 3.99995 x 8192 rounds to 2^15: the first entry that needs single precision.
    {"entry just below 4, gamma 4.0", {3.99995f, 0, 0, 0, 1, 0, 0, 0, -1}, 0, 255, true, 4000},
    {"large entries, gamma 1.8",
     {16, -16, 3, -7.5f, 9.25f, 0.5f, 0.001f, -0.001f, 15.999f},
     5,
     200,
     true,
     1800},
    {"large entries without gamma", {-16, 8, 12, 4, -4, 4, 1, 2, -3}, 30, 100, false, 2200},
    {"white below black: every pixel saturates", {1, 0, 0, 0, 1, 0, 0, 0, 1}, 200, 100, true, 2200},
    {"black 254, white 255", {1, 0.25f, 0, 0, 1, 0, -0.5f, 0, 1}, 254, 255, false, 2200},
    {"negative short matrix", {-3.9f, 1, 0, 2, -3.9f, 3.9f, 0, 0, -1}, 64, 192, true, 2200},
};

ColourSettings settingsOf(const SettingsCase& c) {
    ColourSettings s = deviceDefaults();
    for (int i = 0; i < 9; ++i)
        s.matrix[i] = c.matrix[i];
    s.blackOffset = c.black;
    s.whiteLevel = c.white;
    s.gammaOn = c.gammaOn;
    s.gammaMilli = c.gammaMilli;
    return s;
}

// Uniform noise, and noise of only 0 and 255 (the largest kernel sums either way).
std::vector<std::uint8_t> randomFrame(std::mt19937& random, std::size_t size, bool extremes) {
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> frame(size);
    for (auto& v : frame)
        v = std::uint8_t(extremes ? (byte(random) & 1) * 255 : byte(random));
    return frame;
}

// Converted frame followed by guard bytes that must stay untouched.
std::vector<std::uint8_t> convertOn(ConversionPath path, const ConversionTables& tables,
                                    const std::vector<std::uint8_t>& bayer, Size size) {
    std::vector<std::uint8_t> out(std::size_t(size.w - 4) * (size.h - 4) * 3 + kGuardBytes, kGuard);
    std::vector<std::int16_t> scratch(3 * std::size_t(size.w - 4));
    convertFrame(path, tables, bayer.data(), out.data(), size.w, size.h, scratch.data());
    return out;
}

std::string pathName(ConversionPath path) {
    switch (path) {
    case ConversionPath::baseline:
        return "baseline";
    case ConversionPath::avx2:
        return "avx2";
    case ConversionPath::avx512:
        return "avx512";
    }
    return "unknown";
}

class KercolVectorPath : public ::testing::TestWithParam<ConversionPath> {
protected:
    void SetUp() override {
        if (!pathSupported(GetParam()))
            GTEST_SKIP() << "this processor does not run the " << pathName(GetParam()) << " path";
    }
};

TEST_P(KercolVectorPath, ConvertsEveryFrameLikeThePlainCode) {
    std::mt19937 random(20261208);
    auto tables = std::make_unique<ConversionTables>();
    for (const SettingsCase& settings : kSettings) {
        buildTables(settingsOf(settings), *tables);
        for (const Size size : kSizes)
            for (const bool extremes : {false, true}) {
                SCOPED_TRACE(std::string(settings.name) + ", " + std::to_string(size.w) + " x " +
                             std::to_string(size.h) + (extremes ? ", 0/255 noise" : ", noise"));
                const auto bayer = randomFrame(random, std::size_t(size.w) * size.h, extremes);
                const auto want = convertOn(ConversionPath::baseline, *tables, bayer, size);
                const auto got = convertOn(GetParam(), *tables, bayer, size);
                ASSERT_EQ(want.size(), got.size());
                const auto first = std::mismatch(want.begin(), want.end(), got.begin());
                const std::size_t at = std::size_t(first.first - want.begin());
                ASSERT_EQ(at, want.size())
                    << "first difference at byte " << at << " (pixel " << at / 3 << " of "
                    << (size.w - 4) * (size.h - 4) << "): " << int(*first.second) << " instead of "
                    << int(*first.first);
            }
    }
}

// The identity settings must give back the mosaic's own samples, so a path that merely agreed
// with a broken plain path on noise would still be caught here.
TEST_P(KercolVectorPath, KeepsTheSamplesOfAFlatFrame) {
    auto tables = std::make_unique<ConversionTables>();
    ColourSettings s = deviceDefaults();
    for (int i = 0; i < 9; ++i)
        s.matrix[i] = kIdentity[i];
    buildTables(s, *tables);
    const Size size{644, 484};
    // G R / B G with G = 90, R = 200, B = 30: every pixel comes back as B, G, R = 30, 90, 200.
    std::vector<std::uint8_t> bayer(std::size_t(size.w) * size.h);
    for (std::uint32_t y = 0; y < size.h; ++y)
        for (std::uint32_t x = 0; x < size.w; ++x)
            bayer[y * size.w + x] = (y % 2 == 0) ? (x % 2 == 0 ? 90 : 200) : (x % 2 == 0 ? 30 : 90);
    const auto got = convertOn(GetParam(), *tables, bayer, size);
    const std::size_t pixels = std::size_t(size.w - 4) * (size.h - 4);
    for (std::size_t i = 0; i < pixels; ++i) {
        ASSERT_EQ(got[3 * i], 30) << "pixel " << i;
        ASSERT_EQ(got[3 * i + 1], 90) << "pixel " << i;
        ASSERT_EQ(got[3 * i + 2], 200) << "pixel " << i;
    }
    EXPECT_EQ(got[3 * pixels], kGuard);
}

TEST_P(KercolVectorPath, InterleavesBunchedRowsLikeThePlainCode) {
    std::mt19937 random(4711);
    // Widths around the 32- and 64-pair steps, and the camera's.
    const std::uint32_t widths[] = {2,   4,   30,  62,  64,  66,  126, 128,
                                    130, 132, 254, 322, 356, 644, 2050};
    for (const std::uint32_t w : widths)
        for (const std::uint32_t h : {1u, 3u}) {
            SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
            const auto bunched = randomFrame(random, std::size_t(w) * h, false);
            std::vector<std::uint8_t> row(w);
            std::vector<std::uint8_t> want(bunched.size() + kGuardBytes, kGuard);
            std::vector<std::uint8_t> got(want.size(), kGuard);
            bunchedToBayer(ConversionPath::baseline, bunched.data(), want.data(), w, h, row.data());
            bunchedToBayer(GetParam(), bunched.data(), got.data(), w, h, row.data());
            EXPECT_EQ(got, want);
            // In place, through the row buffer.
            std::vector<std::uint8_t> same(bunched);
            same.resize(bunched.size() + kGuardBytes, kGuard);
            bunchedToBayer(GetParam(), same.data(), same.data(), w, h, row.data());
            EXPECT_EQ(same, want);
        }
}

INSTANTIATE_TEST_SUITE_P(Paths, KercolVectorPath,
                         ::testing::Values(ConversionPath::avx2, ConversionPath::avx512),
                         [](const auto& param) { return pathName(param.param); });

TEST(KercolPaths, TheBestPathIsOneTheProcessorRuns) {
    EXPECT_TRUE(pathSupported(ConversionPath::baseline));
    EXPECT_TRUE(pathSupported(bestPath()));
    // A processor with AVX-512 (F, BW, VBMI) has AVX2 as well.
    if (pathSupported(ConversionPath::avx512)) {
        EXPECT_TRUE(pathSupported(ConversionPath::avx2));
        EXPECT_EQ(bestPath(), ConversionPath::avx512);
    } else if (pathSupported(ConversionPath::avx2)) {
        EXPECT_EQ(bestPath(), ConversionPath::avx2);
    }
}

} // namespace
