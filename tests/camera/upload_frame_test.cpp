// Frame arithmetic of the uploads: size checks, widening, cropping, subsampling, row order.
#include "camera/frame.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

namespace kerris::camera {
namespace {

// A frame whose byte at (row, col) is row * 16 + col, so a wrong source is visible in the hex.
std::vector<uint8_t> hexFrame(uint32_t w, uint32_t h) {
    std::vector<uint8_t> f(size_t{w} * h);
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t c = 0; c < w; ++c)
            f[size_t{r} * w + c] = static_cast<uint8_t>(r * 16 + c);
    return f;
}

// A frame whose byte at (row, col) carries both coordinates (mod 256) for large frames.
uint8_t mark(uint32_t row, uint32_t col) {
    return static_cast<uint8_t>(row * 7 + col * 3);
}

std::vector<uint8_t> markedFrame(uint32_t w, uint32_t h) {
    std::vector<uint8_t> f(size_t{w} * h);
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t c = 0; c < w; ++c)
            f[size_t{r} * w + c] = mark(r, c);
    return f;
}

CpiImageDescriptor descriptorOf(uint16_t w, uint16_t h, uint32_t rawSize) {
    CpiImageDescriptor d{};
    d.rawWidth = w;
    d.rawHeight = h;
    d.rawDataSize = rawSize;
    d.descriptorWord1 = 0xBEEF;
    return d;
}

TEST(PictureFormat, KnownSizesOnly) {
    EXPECT_EQ(pictureFormat(352, 288), kCpiFormatCif);
    EXPECT_EQ(pictureFormat(640, 480), kCpiFormatVga);
    EXPECT_EQ(pictureFormat(176, 144), kCpiFormatQcif);
    EXPECT_EQ(pictureFormat(320, 240), kCpiFormatQvga);
    EXPECT_EQ(pictureFormat(288, 352), -1);
    EXPECT_EQ(pictureFormat(0, 0), -1);
    EXPECT_TRUE(needsWidening(176, 144));
    EXPECT_TRUE(needsWidening(320, 240));
    EXPECT_FALSE(needsWidening(352, 288));
    EXPECT_FALSE(needsWidening(144, 176));
}

struct PlanCase {
    const char* name;
    int64_t width, height;
    uint16_t rawWidth, rawHeight;
    uint32_t rawSize;
    uint32_t status;
    uint16_t grownWidth, grownHeight; // the descriptor afterwards
    bool widen;
};

class PlanFrame : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanFrame, ChecksSizeAndGrowsSmallFormats) {
    const PlanCase& c = GetParam();
    CpiImageDescriptor d = descriptorOf(c.rawWidth, c.rawHeight, c.rawSize);
    FramePlan plan;
    plan.width = 0xDEAD;
    EXPECT_EQ(planFrame(c.width, c.height, d, plan), c.status);
    EXPECT_EQ(d.rawWidth, c.grownWidth);
    EXPECT_EQ(d.rawHeight, c.grownHeight);
    EXPECT_EQ(d.rawDataSize, c.rawSize);
    EXPECT_EQ(d.descriptorWord1, 0xBEEF);
    if (c.status != kCpiOk) {
        EXPECT_EQ(plan.width, 0xDEADu) << "plan written on failure";
        return;
    }
    EXPECT_EQ(plan.widen, c.widen);
    EXPECT_EQ(plan.width, c.grownWidth);
    EXPECT_EQ(plan.height, c.grownHeight);
    EXPECT_EQ(plan.cameraWidth, c.widen ? c.rawWidth : c.grownWidth);
    EXPECT_EQ(plan.cameraHeight, c.widen ? c.rawHeight : c.grownHeight);
    EXPECT_EQ(plan.rawSize, c.rawSize);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlanFrame,
    ::testing::Values(
        PlanCase{"Cif", 352, 288, 356, 292, 356 * 292, kCpiOk, 356, 292, false},
        PlanCase{"Vga", 640, 480, 644, 484, 644 * 484, kCpiOk, 644, 484, false},
        PlanCase{"QcifWidened", 176, 144, 178, 146, 178 * 146, kCpiOk, 180, 148, true},
        PlanCase{"QvgaWidened", 320, 240, 322, 242, 322 * 242, kCpiOk, 324, 244, true},
        PlanCase{"RawLargerThanFrame", 352, 288, 356, 292, 356 * 292 + 100, kCpiOk, 356, 292,
                 false},
        PlanCase{"OddSizeNoFormat", 33, 17, 37, 21, 37 * 21, kCpiOk, 37, 21, false},
        PlanCase{"VgaIntoCif", 352, 288, 644, 484, 644 * 484, kCpiWrongSize, 644, 484, false},
        PlanCase{"QcifFullFrameGrowsPast", 176, 144, 180, 148, 180 * 148, kCpiWrongSize, 182, 150,
                 false},
        PlanCase{"OneShortInWidth", 352, 288, 355, 292, 355 * 292, kCpiWrongSize, 355, 292, false},
        PlanCase{"RawOneShort", 352, 288, 356, 292, 356 * 292 - 1, kCpiWrongSize, 356, 292, false},
        PlanCase{"RawOneShortWidened", 176, 144, 178, 146, 178 * 146 - 1, kCpiWrongSize, 180, 148,
                 false},
        PlanCase{"RawZero", 352, 288, 356, 292, 0, kCpiWrongSize, 356, 292, false},
        PlanCase{"RawHuge", 352, 288, 356, 292, 0xFFFFFFFFu, kCpiWrongSize, 356, 292, false},
        PlanCase{"RawJustOverCap", 352, 288, 356, 292, uint32_t(kMaxFrameBytes + 1), kCpiWrongSize,
                 356, 292, false},
        PlanCase{"FrameOverCap", 65531, 65531, 65535, 65535, 0xFFFFFFFFu, kCpiWrongSize, 65535,
                 65535, false},
        PlanCase{"ZeroPicture", 0, 0, 4, 4, 16, kCpiWrongSize, 4, 4, false},
        PlanCase{"NegativePicture", -4, -4, 0, 0, 0, kCpiWrongSize, 0, 0, false},
        PlanCase{"HugePicture", INT32_MAX, INT32_MAX, 3, 3, 9, kCpiWrongSize, 3, 3, false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(PictureOfFrame, MapsFramesToFormats) {
    struct {
        uint32_t w, h;
        bool ok;
        int32_t pw, ph;
    } cases[] = {
        {356, 292, true, 352, 288},  {644, 484, true, 640, 480}, {178, 146, true, 176, 144},
        {180, 148, true, 176, 144},  {322, 242, true, 320, 240}, {324, 244, true, 320, 240},
        {179, 146, false, 0, 0},     {3, 3, false, 0, 0},        {0, 0, false, 0, 0},
        {65535, 65535, false, 0, 0},
    };
    for (const auto& c : cases) {
        int32_t w = -7, h = -7;
        EXPECT_EQ(pictureOfFrame(c.w, c.h, w, h), c.ok) << c.w << "x" << c.h;
        EXPECT_EQ(w, c.ok ? c.pw : -7) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.ok ? c.ph : -7) << c.w << "x" << c.h;
    }
}

TEST(WidenFrame, SmallFrameByHand) {
    std::vector<uint8_t> in = hexFrame(8, 4);
    std::vector<uint8_t> out(10 * 6, 0xEE);
    ASSERT_TRUE(widenFrame(in, 8, 4, out));
    // Row 3's last 4 bytes come from row 1; each half grows by its second-to-last byte; rows 2
    // and 3 are repeated at the end.
    const std::vector<uint8_t> expected = {
        0x00, 0x01, 0x02, 0x03, 0x02, 0x04, 0x05, 0x06, 0x07, 0x06, //
        0x10, 0x11, 0x12, 0x13, 0x12, 0x14, 0x15, 0x16, 0x17, 0x16, //
        0x20, 0x21, 0x22, 0x23, 0x22, 0x24, 0x25, 0x26, 0x27, 0x26, //
        0x30, 0x31, 0x32, 0x33, 0x32, 0x14, 0x15, 0x16, 0x17, 0x16, //
        0x20, 0x21, 0x22, 0x23, 0x22, 0x24, 0x25, 0x26, 0x27, 0x26, //
        0x30, 0x31, 0x32, 0x33, 0x32, 0x14, 0x15, 0x16, 0x17, 0x16,
    };
    EXPECT_EQ(out, expected);
    // The patch of the camera's last row is made in the camera frame itself.
    EXPECT_EQ(in[3 * 8 + 4], 0x14);
    EXPECT_EQ(in[3 * 8 + 3], 0x33);
}

TEST(WidenFrame, QcifFrameTo180x148) {
    const uint32_t w = 178, h = 146, ow = 180, oh = 148;
    std::vector<uint8_t> in = markedFrame(w, h);
    std::vector<uint8_t> out(ow * oh + 1, 0xEE);
    ASSERT_TRUE(widenFrame(in, w, h, std::span(out).first(ow * oh)));
    EXPECT_EQ(out.back(), 0xEE) << "wrote past the frame";

    auto src = [&](uint32_t r, uint32_t c) {
        // The camera's last row ends with row h - 3's samples.
        if (r == h - 1 && c >= w - 4)
            return mark(h - 3, c);
        return mark(r, c);
    };
    for (uint32_t r = 0; r < oh; ++r) {
        const uint32_t from = r < h ? r : r - 2;
        const uint8_t* row = &out[r * ow];
        for (uint32_t c = 0; c < 89; ++c)
            ASSERT_EQ(row[c], src(from, c)) << r << "," << c;
        ASSERT_EQ(row[89], src(from, 87)) << r;
        for (uint32_t c = 0; c < 89; ++c)
            ASSERT_EQ(row[90 + c], src(from, 89 + c)) << r << "," << c;
        ASSERT_EQ(row[179], src(from, 176)) << r;
    }
}

TEST(WidenFrame, RefusesFramesThatDoNotFit) {
    std::vector<uint8_t> in = hexFrame(8, 4);
    const std::vector<uint8_t> original = in;
    std::vector<uint8_t> out(10 * 6, 0xEE);
    const std::vector<uint8_t> untouched = out;

    EXPECT_FALSE(widenFrame(in, 7, 4, out)) << "odd width";
    EXPECT_FALSE(widenFrame(in, 2, 4, out)) << "narrower than the patch";
    EXPECT_FALSE(widenFrame(in, 8, 2, out)) << "no row h - 3";
    EXPECT_FALSE(widenFrame(std::span(in).first(8 * 4 - 1), 8, 4, out)) << "short input";
    EXPECT_FALSE(widenFrame(in, 8, 4, std::span(out).first(10 * 6 - 1))) << "short output";
    EXPECT_FALSE(widenFrame(in, 8, 5, out)) << "more rows than the input";
    EXPECT_EQ(in, original);
    EXPECT_EQ(out, untouched);
}

TEST(RegionFits, Boundaries) {
    struct {
        uint32_t x, y, w, h;
        bool fits;
    } cases[] = {
        {0, 0, 356, 292, true},
        {0, 0, 357, 292, false},
        {0, 0, 356, 293, false},
        {1, 0, 356, 292, false},
        {0, 1, 356, 292, false},
        {100, 50, 256, 242, true},
        {101, 50, 256, 242, false},
        {100, 51, 256, 242, false},
        {356, 0, 0, 0, true},
        {0xFFFFFFFFu, 0, 4, 4, false},
        {0, 0xFFFFFFFFu, 4, 4, false},
        {4, 4, 0xFFFFFFFFu, 4, false},
        {0xFFFFFFF0u, 0xFFFFFFF0u, 0x20, 0x20, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(regionFits(356, 292, c.x, c.y, c.w, c.h), c.fits)
            << c.x << "," << c.y << " " << c.w << "x" << c.h;
}

TEST(CropRegion, KeepsBothHalvesAtTheSameOffset) {
    const std::vector<uint8_t> in = hexFrame(8, 4);
    std::vector<uint8_t> out(4 * 2 + 1, 0xEE);
    ASSERT_TRUE(cropRegion(in, 8, 4, 2, 1, 4, 2, std::span(out).first(8)));
    const std::vector<uint8_t> expected = {0x11, 0x12, 0x15, 0x16, 0x21, 0x22, 0x25, 0x26, 0xEE};
    EXPECT_EQ(out, expected);
}

TEST(CropRegion, WholeFrameIsACopy) {
    const std::vector<uint8_t> in = hexFrame(8, 4);
    std::vector<uint8_t> out(8 * 4);
    ASSERT_TRUE(cropRegion(in, 8, 4, 0, 0, 8, 4, out));
    EXPECT_EQ(out, in);
}

TEST(CropRegion, RefusesWhatDoesNotFit) {
    const std::vector<uint8_t> in = hexFrame(8, 4);
    std::vector<uint8_t> out(64, 0xEE);
    const std::vector<uint8_t> untouched = out;
    EXPECT_FALSE(cropRegion(in, 8, 4, 1, 0, 8, 4, out)) << "past the right edge";
    EXPECT_FALSE(cropRegion(in, 8, 4, 0, 1, 8, 4, out)) << "past the bottom";
    EXPECT_FALSE(cropRegion(in, 8, 4, 0xFFFFFFFEu, 0, 4, 4, out)) << "wrapping position";
    EXPECT_FALSE(cropRegion(std::span(in).first(31), 8, 4, 0, 0, 4, 4, out)) << "short frame";
    EXPECT_FALSE(cropRegion(in, 8, 4, 0, 0, 8, 4, std::span(out).first(31))) << "short output";
    EXPECT_EQ(out, untouched);
}

TEST(SubsampleFrame, TakesEveryStepInBothHalvesOfRowPairs) {
    std::vector<uint8_t> in = hexFrame(16, 8);
    ASSERT_TRUE(subsampleFrame(in, 16, 8, 8, 4));
    // Column step 2, row step 2: row pairs (0, 1) and (4, 5); each half from its own start.
    const std::vector<uint8_t> expected = {
        0x00, 0x02, 0x04, 0x06, 0x08, 0x0A, 0x0C, 0x0E, //
        0x10, 0x12, 0x14, 0x16, 0x18, 0x1A, 0x1C, 0x1E, //
        0x40, 0x42, 0x44, 0x46, 0x48, 0x4A, 0x4C, 0x4E, //
        0x50, 0x52, 0x54, 0x56, 0x58, 0x5A, 0x5C, 0x5E,
    };
    EXPECT_EQ(std::vector<uint8_t>(in.begin(), in.begin() + 32), expected);
}

TEST(SubsampleFrame, VgaFrameToThumbnailStaysInsideTheFrame) {
    // 644 x 484 to 84 x 68: steps 7 and 7; the last pair read is rows 462 and 463.
    const uint32_t fw = 644, fh = 484, tw = 84, th = 68;
    std::vector<uint8_t> in = markedFrame(fw, fh);
    ASSERT_TRUE(subsampleFrame(in, fw, fh, tw, th));
    const uint8_t* last = &in[(th - 1) * tw];
    EXPECT_EQ(last[0], mark(463, 0));
    EXPECT_EQ(last[41], mark(463, 41 * 7));
    EXPECT_EQ(last[42], mark(463, 322));
    EXPECT_EQ(last[83], mark(463, 322 + 41 * 7));
}

TEST(SubsampleFrame, RefusesLargerTargets) {
    std::vector<uint8_t> in = hexFrame(8, 4);
    const std::vector<uint8_t> original = in;
    EXPECT_FALSE(subsampleFrame(in, 8, 4, 10, 4));
    EXPECT_FALSE(subsampleFrame(in, 8, 4, 8, 6));
    EXPECT_FALSE(subsampleFrame(in, 8, 4, 0, 4));
    EXPECT_FALSE(subsampleFrame(std::span(in).first(31), 8, 4, 4, 2));
    EXPECT_EQ(in, original);
}

TEST(CopyRowsBottomUp, ReversesRowOrder) {
    const std::vector<uint8_t> top = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<uint8_t> out(10, 0xEE);
    ASSERT_TRUE(copyRowsBottomUp(top, 3, 3, std::span(out).first(9)));
    const std::vector<uint8_t> expected = {7, 8, 9, 4, 5, 6, 1, 2, 3, 0xEE};
    EXPECT_EQ(out, expected);
    EXPECT_FALSE(copyRowsBottomUp(top, 3, 4, out)) << "source too short";
    EXPECT_FALSE(copyRowsBottomUp(top, 3, 3, std::span(out).first(8))) << "target too short";
}

TEST(BlockDelivery, NeverPastTheRequestOrTheTotal) {
    struct {
        uint32_t done, asked, got, total;
        bool fits;
    } cases[] = {
        {0, 4000, 4000, 10000, true},
        {8000, 2000, 2000, 10000, true},
        {8000, 2000, 1999, 10000, true},
        {0, 4000, 0, 10000, true},
        {0, 4000, 4001, 10000, false},
        {8000, 2000, 2001, 10000, false},
        {9000, 4000, 1001, 10000, false},
        {10001, 0, 0, 10000, false},
        {0, 0xFFFFFFFFu, 0xFFFFFFFFu, 10000, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(blockDeliveryFits(c.done, c.asked, c.got, c.total), c.fits)
            << c.done << " " << c.asked << " " << c.got << " " << c.total;
}

} // namespace
} // namespace kerris::camera
