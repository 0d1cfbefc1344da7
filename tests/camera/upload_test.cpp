// Picture upload through the fakes: records, size checks, widening, row order, colour retry,
// regions, thumbnails, raw frames, untrusted camera data and every failure path.
#include "tests/camera/upload_fixture.h"

#include <functional>

namespace kerris::camera::testing {
namespace {

// ---- Picture records -----------------------------------------------------------------------

TEST(PictureRecord, CreateFillsTheBitmapHeader) {
    CpiImage* image = CpiCreateImage(7, 5);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->headerSize, 40u);
    EXPECT_EQ(image->width, 7);
    EXPECT_EQ(image->height, 5);
    EXPECT_EQ(image->planes, 1);
    EXPECT_EQ(image->bitsPerPixel, 24);
    EXPECT_EQ(image->compression, 0u);
    EXPECT_EQ(image->imageSize, 7u * 5 * 3);
    EXPECT_EQ(image->xPixelsPerMetre | image->yPixelsPerMetre | image->coloursUsed |
                  image->coloursImportant,
              0u);
    EXPECT_EQ(CpiFreeImage(image), 0u);
}

TEST(PictureRecord, CreateRefusesSizesItCannotHold) {
    EXPECT_EQ(CpiCreateImage(-1, 5), nullptr);
    EXPECT_EQ(CpiCreateImage(5, -1), nullptr);
    EXPECT_EQ(CpiCreateImage(INT32_MAX, INT32_MAX), nullptr);
    EXPECT_EQ(CpiCreateImage(65536, 32768), nullptr) << "image size past 32 bits";
}

TEST(PictureRecord, FreeAnswersFiveNineAndZero) {
    EXPECT_EQ(CpiFreeImage(nullptr), 5u);

    struct {
        const char* field;
        void (*spoil)(CpiImage*);
    } cases[] = {
        {"width 0", [](CpiImage* i) { i->width = 0; }},
        {"width negative", [](CpiImage* i) { i->width = -3; }},
        {"height 0", [](CpiImage* i) { i->height = 0; }},
        {"height negative", [](CpiImage* i) { i->height = -1; }},
        {"image size 0", [](CpiImage* i) { i->imageSize = 0; }},
    };
    for (const auto& c : cases) {
        CpiImage* image = CpiCreateImage(4, 4);
        ASSERT_NE(image, nullptr);
        const CpiImage saved = *image;
        c.spoil(image);
        EXPECT_EQ(CpiFreeImage(image), 9u) << c.field;
        // Nothing was freed: the record is still ours to mend and free.
        *image = saved;
        EXPECT_EQ(CpiFreeImage(image), 0u) << c.field;
    }
}

// ---- Whole pictures ------------------------------------------------------------------------

using UploadTest = CameraTest;

TEST_F(UploadTest, VgaPictureIntoCifRecordIsRefusedBeforeReading) {
    open();
    cti.setReply(0x83, descriptorReply(644, 484, 644 * 484));
    Picture picture(352, 288);
    picture.fill(0xA5);
    CpiImageDescriptor d;
    std::memset(&d, 0xEE, sizeof d);
    EXPECT_EQ(CpiUploadImage(c, 3, picture.image, &d), 10u);
    EXPECT_EQ(count("CtiDataRead"), 0u);
    EXPECT_EQ(resetRuns(), 1);
    EXPECT_EQ(cti.lockBalance(), 0);
    EXPECT_TRUE(picture.allEqual(0xA5));
    EXPECT_EQ(d.rawWidth, 0xEEEE) << "descriptor written on failure";
    // The descriptor command named the picture: index high byte in A, low byte in B.
    const Call first = cti.calls("CtiCommand").front();
    EXPECT_EQ(first.args[1], 0x83u);
    EXPECT_EQ(first.args[2], 0u);
    EXPECT_EQ(first.args[3], 3u);
}

TEST_F(UploadTest, QcifFrameIsWidenedTo180x148) {
    open();
    const uint32_t w = 178, h = 146;
    cti.setReply(0x83, descriptorReply(w, h, w * h, 0x42));
    std::vector<uint8_t> frame = patternFrame(w, h);
    cti.queueData(frame);
    Picture picture(176, 144);
    CpiImageDescriptor d{};
    ASSERT_EQ(CpiUploadImage(c, 0x0102, picture.image, &d), 0u);

    // The whole raw data size was read once; conversion saw the widened frame.
    ASSERT_EQ(count("CtiDataRead"), 1u);
    EXPECT_EQ(cti.calls("CtiDataRead")[0].args[1], w * h);
    const Call bayer = kerc.calls("KERC_BunchedToBayer").at(0);
    EXPECT_EQ(bayer.args[1], 180u);
    EXPECT_EQ(bayer.args[2], 148u);
    const Call colour = kerc.calls("KERC_Colour").at(0);
    EXPECT_EQ(colour.args[1], 180u);
    EXPECT_EQ(colour.args[2], 148u);
    EXPECT_EQ(d.rawWidth, 180);
    EXPECT_EQ(d.rawHeight, 148);
    EXPECT_EQ(d.rawDataSize, w * h);
    EXPECT_EQ(d.descriptorWord1, 0x1122);
    EXPECT_EQ(d.imageFlags, 0x42);

    // The camera's last row ends in 4 samples taken from row h - 3.
    for (uint32_t col = w - 4; col < w; ++col)
        frame[(h - 1) * w + col] = frame[(h - 3) * w + col];
    // Every visible pixel comes from the camera's frame at a stride of 180: a conversion of the
    // unwidened frame would shift every row after the first.
    for (int32_t y = 0; y < 144; ++y) {
        for (int32_t x = 0; x < 176; ++x) {
            const uint8_t* pixel = picture.at(x, y);
            const uint8_t expected = bayerOf(frame, w, y + 2, x + 2);
            if (pixel[0] != expected) {
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << int(pixel[0])
                              << ", expected " << int(expected);
                return;
            }
        }
    }
    // The patched samples show in the last picture row (camera row 145).
    expectPixel(picture.at(175, 143), sampleAt(143, 177), "patched corner");
    EXPECT_EQ(cti.lockBalance(), 0);
    EXPECT_EQ(resetRuns(), 0);
}

TEST_F(UploadTest, RowsAreStoredBottomUp) {
    open();
    // A 4 x 3 picture from an 8 x 7 frame: any size works for a plain upload.
    cti.setReply(0x83, descriptorReply(8, 7, 56));
    const std::vector<uint8_t> frame = patternFrame(8, 7);
    cti.queueData(frame);
    Picture picture(4, 3);
    ASSERT_EQ(CpiUploadImage(c, 0, picture.image, nullptr), 0u);
    // The first stored row is the picture's bottom row (frame row 4).
    for (int32_t x = 0; x < 4; ++x) {
        expectPixel(picture.pixels() + x * 3, bayerOf(frame, 8, 4, x + 2), "first stored row");
        expectPixel(picture.pixels() + (2 * 4 + x) * 3, bayerOf(frame, 8, 2, x + 2),
                    "last stored row");
    }
}

TEST_F(UploadTest, ColourAnswerSevenSwitchesToModeOneAndRetriesOnce) {
    open();
    cti.setReply(0x83, descriptorReply(8, 7, 56));
    cti.queueData(patternFrame(8, 7));
    kerc.failNthCall("KERC_Colour", 1, 7);
    Picture picture(4, 3);
    ASSERT_EQ(CpiUploadImage(c, 0, picture.image, nullptr), 0u);

    const std::vector<Call> log = kerc.log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].name, "KERC_BunchedToBayer");
    EXPECT_EQ(log[1].name, "KERC_Colour");
    EXPECT_EQ(log[2].name, "KERC_SetParameter");
    EXPECT_EQ(log[2].args[1], 24u);
    EXPECT_EQ(log[2].args[2], 4u);
    EXPECT_EQ(log[2].data, (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(log[3].name, "KERC_Colour");
    EXPECT_EQ(log[0].args[0], 0x5EEDu) << "the connection's colour handle";
}

TEST_F(UploadTest, ColourFailureLeavesThePictureAndSkipsTheReset) {
    struct {
        const char* name;
        std::vector<uint32_t> answers; // successive KERC_Colour failures
        size_t colourCalls;
    } cases[] = {
        {"seven twice", {7, 7}, 2},
        {"other failure", {3}, 1},
        {"seven then other", {7, 9}, 2},
    };
    open();
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        kerc.clearLog();
        cti.clearLog();
        cti.setReply(0x83, descriptorReply(8, 7, 56));
        cti.queueData(patternFrame(8, 7));
        for (size_t i = 0; i < k.answers.size(); ++i)
            kerc.failNthCall("KERC_Colour", uint32_t(i + 1), k.answers[i]);
        Picture picture(4, 3);
        picture.fill(0x5A);
        CpiImageDescriptor d;
        std::memset(&d, 0xEE, sizeof d);
        EXPECT_EQ(CpiUploadImage(c, 0, picture.image, &d), 0x4000u);
        EXPECT_TRUE(picture.allEqual(0x5A));
        EXPECT_EQ(kerc.calls("KERC_Colour").size(), k.colourCalls);
        EXPECT_EQ(resetRuns(), 0);
        EXPECT_EQ(cti.lockBalance(), 0);
        EXPECT_EQ(d.rawWidth, 0xEEEE);
    }
}

// ---- Regions -------------------------------------------------------------------------------

class RegionTest : public CameraTest {
protected:
    std::vector<uint8_t> frame = patternFrame(356, 292);

    // An older camera with one CIF picture: sizes from 0x86, the frame from 0x83.
    void SetUp() override {
        CameraTest::SetUp();
        open();
        cti.setReply(0x86, imageInfoReply(1, 1, 356, 292, 356 * 292));
        cti.setReply(0x83, descriptorReply(356, 292, 356 * 292));
        cti.queueData(frame);
    }
};

TEST_F(RegionTest, RegionAtTheRightEdgeIsCropped) {
    Picture picture(100, 80);
    const uint32_t x = 356 - 104, y = 10;
    CpiImageDescriptor d{};
    ASSERT_EQ(CpiUploadImageROI(c, 0, picture.image, &d, x, y), 0u);
    EXPECT_EQ(d.rawWidth, 356) << "the full frame's descriptor";
    EXPECT_EQ(d.rawHeight, 292);
    const Call colour = kerc.calls("KERC_Colour").at(0);
    EXPECT_EQ(colour.args[1], 104u);
    EXPECT_EQ(colour.args[2], 84u);
    // For an even x the region's mosaic is the frame's mosaic shifted by (x, y).
    for (int32_t py : {0, 1, 40, 79})
        for (int32_t px : {0, 1, 50, 98, 99})
            expectPixel(picture.at(px, py), bayerOf(frame, 356, y + py + 2, x + px + 2),
                        std::to_string(px) + "," + std::to_string(py));
    EXPECT_EQ(cti.lockBalance(), 0);
}

TEST_F(RegionTest, RegionOutsideTheFrameLeavesThePictureAlone) {
    struct {
        const char* name;
        uint32_t x, y;
    } cases[] = {
        {"one past the right edge", 356 - 103, 0}, {"two past the right edge", 356 - 102, 0},
        {"past the bottom", 0, 292 - 83},          {"position wrapping 32 bits", 0xFFFFFFFEu, 0},
        {"row wrapping 32 bits", 0, 0xFFFFFFFFu},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        cti.clearLog();
        kerc.clearLog();
        Picture picture(100, 80);
        picture.fill(0x3C);
        CpiImageDescriptor d{};
        EXPECT_EQ(CpiUploadImageROI(c, 0, picture.image, &d, k.x, k.y), 0u);
        EXPECT_TRUE(picture.allEqual(0x3C));
        EXPECT_EQ(count("CtiDataRead"), 1u) << "the frame is read all the same";
        EXPECT_TRUE(kerc.log().empty());
        EXPECT_EQ(d.rawWidth, 356);
        EXPECT_EQ(resetRuns(), 0);
        EXPECT_EQ(cti.lockBalance(), 0);
        cti.queueData(frame);
    }
}

TEST_F(RegionTest, SizeCheckIsMadeForTheFullPicture) {
    // The camera reports CIF, the frame is VGA: refused before reading.
    cti.setReply(0x83, descriptorReply(644, 484, 644 * 484));
    Picture picture(100, 80);
    EXPECT_EQ(CpiUploadImageROI(c, 0, picture.image, nullptr, 0, 0), 10u);
    EXPECT_EQ(count("CtiDataRead"), 0u);
    EXPECT_EQ(resetRuns(), 1);
    EXPECT_EQ(cti.lockBalance(), 0);
}

TEST_F(RegionTest, UnknownPictureFormatEndsBeforeTheDescriptor) {
    cti.setReply(0x86, imageInfoReply(1, 1, 300, 200, 300 * 200));
    Picture picture(100, 80);
    EXPECT_EQ(CpiUploadImageROI(c, 0, picture.image, nullptr, 0, 0), 10u);
    EXPECT_EQ(countRequest(0x83), 0u);
    EXPECT_EQ(count("CtiDataRead"), 0u);
    EXPECT_EQ(cti.lockBalance(), 0);
}

// ---- Thumbnails ----------------------------------------------------------------------------

using ThumbnailTest = CameraTest;

TEST_F(ThumbnailTest, StoredThumbnailOnExtendedCameraIsRetried) {
    open(kVersionExtended, kCapThumbnails);
    ASSERT_EQ(CpiSetNoOfRetrys(c, 2), 0u);
    cti.failRequest(0x84, 0x99);
    Picture picture(80, 64);
    EXPECT_EQ(CpiUploadThumbnail(c, 0, picture.image, nullptr), 0x99u);
    EXPECT_EQ(countRequest(0x84), 3u) << "retry count + 1 attempts";
    EXPECT_EQ(count("CtiHandleLockThread"), 1u) << "all under one lock";
    EXPECT_EQ(cti.lockBalance(), 0);
    EXPECT_EQ(resetRuns(), 0) << "a failing descriptor command does not reset";
}

TEST_F(ThumbnailTest, StoredThumbnailSucceedsOnALaterAttempt) {
    open(kVersionExtended, kCapThumbnails);
    cti.setReply(0x84, descriptorReply(84, 68, 84 * 68));
    // The first attempt's read fails (reset), the second delivers.
    cti.failNthCall("CtiDataRead", 1, 0x1234);
    cti.queueData(patternFrame(84, 68));
    Picture picture(80, 64);
    CpiImageDescriptor d{};
    EXPECT_EQ(CpiUploadThumbnail(c, 0, picture.image, &d), 0u);
    EXPECT_EQ(countRequest(0x84), 2u);
    EXPECT_EQ(resetRuns(), 1);
    EXPECT_EQ(d.rawWidth, 84);
    EXPECT_EQ(cti.lockBalance(), 0);
}

TEST_F(ThumbnailTest, StoredThumbnailOnOlderCameraIsTriedOnce) {
    open(kVersionOlder, kCapThumbnails);
    cti.failRequest(0x84, 0x99);
    Picture picture(80, 64);
    EXPECT_EQ(CpiUploadThumbnail(c, 0, picture.image, nullptr), 0x99u);
    EXPECT_EQ(countRequest(0x84), 1u);
    EXPECT_EQ(cti.lockBalance(), 0);
}

TEST_F(ThumbnailTest, SubsampledFromTheFullPicture) {
    open(kVersionOlder, 0);
    // CIF picture, thumbnail 80 x 64 (frame 84 x 68) of 5712 raw bytes.
    cti.setReply(0x86, imageInfoReply(1, 1, 356, 292, 356 * 292, 84, 68, 5712));
    cti.setReply(0x83, descriptorReply(356, 292, 356 * 292, 0x09));
    const std::vector<uint8_t> frame = patternFrame(356, 292);
    cti.queueData(frame);
    Picture picture(80, 64);
    CpiImageDescriptor d{};
    ASSERT_EQ(CpiUploadThumbnail(c, 0, picture.image, &d), 0u);
    EXPECT_EQ(countRequest(0x84), 0u);
    EXPECT_EQ(d.rawWidth, 84);
    EXPECT_EQ(d.rawHeight, 68);
    EXPECT_EQ(d.rawDataSize, 5712u);
    EXPECT_EQ(d.imageFlags, 0x09) << "the rest of the picture's descriptor";
    const Call colour = kerc.calls("KERC_Colour").at(0);
    EXPECT_EQ(colour.args[1], 84u);
    EXPECT_EQ(colour.args[2], 68u);

    // Steps 356 / 84 = 4 and 292 / 68 = 4: thumbnail row 2i + j is frame row 8i + j, and each
    // half takes every 4th byte of the frame row's half.
    auto thumbBayer = [&](uint32_t row, uint32_t col) {
        const uint32_t frameRow = 8 * (row / 2) + row % 2;
        const uint32_t k = col / 2;
        return col % 2 == 0 ? frame[frameRow * 356 + 4 * k] : frame[frameRow * 356 + 178 + 4 * k];
    };
    for (int32_t y : {0, 1, 2, 63})
        for (int32_t x : {0, 1, 2, 79})
            expectPixel(picture.at(x, y), thumbBayer(y + 2, x + 2),
                        std::to_string(x) + "," + std::to_string(y));
    EXPECT_EQ(cti.lockBalance(), 0);
}

TEST_F(ThumbnailTest, SubsampledThumbnailThatDoesNotFitIsRefusedBeforeReading) {
    struct {
        const char* name;
        std::vector<uint8_t> info;
        uint16_t frameWidth, frameHeight;
        int32_t pictureWidth, pictureHeight;
    } cases[] = {
        {"record of the picture's size", imageInfoReply(1, 1, 356, 292, 356 * 292, 84, 68, 5712),
         356, 292, 176, 144},
        // A thumbnail frame wider than the picture's must not make the subsampling write past
        // the frame.
        {"thumbnail wider than the picture",
         imageInfoReply(1, 1, 180, 148, 180 * 148, 200, 68, 5712), 178, 146, 196, 64},
    };
    open(kVersionOlder, 0);
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        cti.clearLog();
        cti.setReply(0x86, k.info);
        cti.setReply(0x83,
                     descriptorReply(k.frameWidth, k.frameHeight, k.frameWidth * k.frameHeight));
        Picture picture(k.pictureWidth, k.pictureHeight);
        EXPECT_EQ(CpiUploadThumbnail(c, 0, picture.image, nullptr), 10u);
        EXPECT_EQ(count("CtiDataRead"), 0u);
        EXPECT_EQ(resetRuns(), 1);
        EXPECT_EQ(cti.lockBalance(), 0);
    }
}

// ---- Raw frames ----------------------------------------------------------------------------

using RawTest = CameraTest;

TEST_F(RawTest, QcifFrameIsWidenedAndStoredBottomUp) {
    open();
    const uint32_t w = 178, h = 146, ow = 180, oh = 148;
    cti.setReply(0x83, descriptorReply(w, h, w * h));
    std::vector<uint8_t> frame = patternFrame(w, h);
    cti.queueData(frame);
    std::vector<uint8_t> buffer(ow * oh + 1, 0xEE);
    CpiImageDescriptor d{};
    ASSERT_EQ(CpiUploadRawImage(c, 0, buffer.data(), &d), 0u);
    EXPECT_EQ(buffer.back(), 0xEE) << "wrote past the frame";
    EXPECT_EQ(d.rawWidth, ow);
    EXPECT_EQ(d.rawHeight, oh);
    EXPECT_EQ(d.rawDataSize, w * h);
    EXPECT_TRUE(kerc.calls("KERC_Colour").empty()) << "raw frames are not coloured";
    const Call bayer = kerc.calls("KERC_BunchedToBayer").at(0);
    EXPECT_EQ(bayer.args[1], ow);
    EXPECT_EQ(bayer.args[2], oh);

    // Stored row 0 is the widened frame's last row, a copy of camera row 145 (patched).
    for (uint32_t col = w - 4; col < w; ++col)
        frame[(h - 1) * w + col] = frame[(h - 3) * w + col];
    EXPECT_EQ(buffer[0], frame[145 * w + 0]);
    EXPECT_EQ(buffer[1], frame[145 * w + 89]);
    // Stored row oh - 1 is camera row 0: even samples from the first half, odd from the second.
    const uint8_t* top = &buffer[(oh - 1) * ow];
    for (uint32_t col = 0; col < 178; ++col)
        ASSERT_EQ(top[col], bayerOf(frame, w, 0, col)) << col;
    EXPECT_EQ(cti.lockBalance(), 0);
}

TEST_F(RawTest, CifFrameIsNotWidened) {
    open();
    cti.setReply(0x83, descriptorReply(356, 292, 356 * 292));
    cti.queueData(patternFrame(356, 292));
    std::vector<uint8_t> buffer(356 * 292);
    CpiImageDescriptor d{};
    ASSERT_EQ(CpiUploadRawImage(c, 0, buffer.data(), &d), 0u);
    EXPECT_EQ(d.rawWidth, 356);
    EXPECT_EQ(d.rawHeight, 292);
}

TEST_F(RawTest, FramesOfNoFormatOrShortRawDataAreRefused) {
    struct {
        const char* name;
        uint16_t w, h;
        uint32_t rawSize;
    } cases[] = {
        {"no format", 200, 200, 200 * 200},
        {"tiny", 3, 3, 9},
        {"raw data short of the frame", 356, 292, 356 * 292 - 1},
        {"raw data absurdly large", 356, 292, 0xFFFFFFF0u},
    };
    open();
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        cti.clearLog();
        cti.setReply(0x83, descriptorReply(k.w, k.h, k.rawSize));
        std::vector<uint8_t> buffer(644 * 484, 0xEE);
        EXPECT_EQ(CpiUploadRawImage(c, 0, buffer.data(), nullptr), 10u);
        EXPECT_EQ(count("CtiDataRead"), 0u);
        EXPECT_EQ(resetRuns(), 1);
        EXPECT_EQ(cti.lockBalance(), 0);
        EXPECT_EQ(buffer[0], 0xEE);
    }
}

TEST_F(RawTest, BayerFailureIsAColourFailure) {
    open();
    cti.setReply(0x83, descriptorReply(356, 292, 356 * 292));
    cti.queueData(patternFrame(356, 292));
    kerc.failEntry("KERC_BunchedToBayer", 5);
    std::vector<uint8_t> buffer(356 * 292, 0xEE);
    EXPECT_EQ(CpiUploadRawImage(c, 0, buffer.data(), nullptr), 0x4000u);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(cti.lockBalance(), 0);
}

// ---- Untrusted transfers and failure paths -------------------------------------------------

// One upload export, called on an 8 x 7 frame that makes a 4 x 3 picture.
struct UploadCall {
    const char* name;
    std::function<uint32_t(CpiConnection*, CpiImage*)> call;
};

void PrintTo(const UploadCall& call, std::ostream* os) {
    *os << call.name;
}

const UploadCall kUploads[] = {
    {"image", [](CpiConnection* c, CpiImage* p) { return CpiUploadImage(c, 0, p, nullptr); }},
    {"thumbnail",
     [](CpiConnection* c, CpiImage* p) { return CpiUploadThumbnail(c, 0, p, nullptr); }},
    {"raw", [](CpiConnection* c,
               CpiImage* p) { return CpiUploadRawImage(c, 0, cpiImagePixels(p), nullptr); }},
};

class UploadFailureTest : public CameraTest, public ::testing::WithParamInterface<UploadCall> {
protected:
    // A camera that keeps thumbnails (so the thumbnail is an ordinary upload of 0x84) with a
    // CIF frame for every descriptor command.
    void SetUp() override {
        CameraTest::SetUp();
        open(kVersionOlder, kCapThumbnails);
        cti.setReply(0x83, descriptorReply(356, 292, 356 * 292));
        cti.setReply(0x84, descriptorReply(356, 292, 356 * 292));
    }
    uint32_t run(Picture& picture) { return GetParam().call(c, picture.image); }
};

TEST_P(UploadFailureTest, LockFailureIsReturnedAtOnce) {
    cti.failEntry("CtiHandleLockThread", 0x77);
    Picture picture(352, 288);
    EXPECT_EQ(run(picture), 0x77u);
    EXPECT_TRUE(cti.calls("CtiCommand").empty());
    EXPECT_TRUE(cti.calls("CtiHandleUnLock").empty());
}

TEST_P(UploadFailureTest, LockTimeoutIsTheConnections) {
    ASSERT_EQ(CpiSetLockTimeout(c, 70000), 0u);
    cti.queueData(patternFrame(356, 292));
    Picture picture(352, 288);
    EXPECT_EQ(run(picture), 0u);
    ASSERT_EQ(count("CtiHandleLockThread"), 1u);
    EXPECT_EQ(cti.calls("CtiHandleLockThread")[0].args[1], 70000u & 0xFFFF);
    EXPECT_EQ(cti.lockBalance(), 0);
}

TEST_P(UploadFailureTest, DescriptorFailureDoesNotReset) {
    cti.failRequest(0x83, 0x31);
    cti.failRequest(0x84, 0x31);
    Picture picture(352, 288);
    EXPECT_EQ(run(picture), 0x31u);
    EXPECT_EQ(resetRuns(), 0);
    EXPECT_EQ(count("CtiDataRead"), 0u);
    EXPECT_EQ(cti.lockBalance(), 0);
}

TEST_P(UploadFailureTest, DataReadFailureResetsAndPassesTheStatusOn) {
    cti.failEntry("CtiDataRead", 0x1003);
    Picture picture(352, 288);
    picture.fill(0x11);
    EXPECT_EQ(run(picture), 0x1003u) << "outside a block upload 0x1003 is a failure";
    EXPECT_EQ(resetRuns(), 1);
    EXPECT_EQ(cti.lockBalance(), 0);
    EXPECT_TRUE(picture.allEqual(0x11));
    EXPECT_TRUE(kerc.log().empty());
}

TEST_P(UploadFailureTest, ShortDeliveryIsAFailedTransfer) {
    struct {
        const char* name;
        uint32_t queued;
    } cases[] = {{"nothing", 0}, {"one byte short", 356 * 292 - 1}, {"half", 356 * 146}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        cti.clearLog();
        kerc.clearLog();
        std::vector<uint8_t> data = patternFrame(356, 292);
        data.resize(k.queued);
        cti.queueData(data);
        Picture picture(352, 288);
        picture.fill(0x22);
        EXPECT_EQ(run(picture), 10u);
        EXPECT_EQ(resetRuns(), 1);
        EXPECT_EQ(cti.lockBalance(), 0);
        EXPECT_TRUE(picture.allEqual(0x22));
        EXPECT_TRUE(kerc.log().empty());
    }
}

TEST_P(UploadFailureTest, RawSizeSmallerThanTheFrameIsRefusedBeforeReading) {
    cti.setReply(0x83, descriptorReply(356, 292, 100));
    cti.setReply(0x84, descriptorReply(356, 292, 100));
    cti.queueData(std::vector<uint8_t>(100, 1));
    Picture picture(352, 288);
    picture.fill(0x33);
    EXPECT_EQ(run(picture), 10u);
    EXPECT_EQ(count("CtiDataRead"), 0u);
    EXPECT_EQ(resetRuns(), 1);
    EXPECT_EQ(cti.lockBalance(), 0);
    EXPECT_TRUE(picture.allEqual(0x33));
}

TEST_P(UploadFailureTest, ResetSequenceRepeatsIdleUpToFiveTimes) {
    cti.failEntry("CtiDataRead", 0x2001);
    cti.failRequest(0x00, 0x45);
    Picture picture(352, 288);
    EXPECT_EQ(run(picture), 0x2001u) << "the transfer's status, not the reset's";
    EXPECT_EQ(countRequest(0x04), 1u);
    EXPECT_EQ(count("CtiResetTransport"), 1u);
    EXPECT_EQ(countRequest(0x00), 5u);
    EXPECT_EQ(cti.lockBalance(), 0);
}

TEST_P(UploadFailureTest, ConnectionAndPointerChecksComeFirst) {
    Picture picture(352, 288);
    EXPECT_EQ(GetParam().call(nullptr, picture.image), 0x20u);
    CpiConnection* bogus = reinterpret_cast<CpiConnection*>(const_cast<char*>("NOPE-not-a-camera"));
    EXPECT_EQ(GetParam().call(bogus, picture.image), 0x20u);
    EXPECT_TRUE(cti.log().empty());
}

INSTANTIATE_TEST_SUITE_P(Uploads, UploadFailureTest, ::testing::ValuesIn(kUploads),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(UploadTest, RequiredPointersAreChecked) {
    open();
    CpiImageDescriptor d{};
    EXPECT_EQ(CpiUploadImage(c, 0, nullptr, &d), 5u);
    EXPECT_EQ(CpiUploadImageROI(c, 0, nullptr, &d, 0, 0), 5u);
    EXPECT_EQ(CpiUploadThumbnail(c, 0, nullptr, &d), 5u);
    EXPECT_EQ(CpiUploadRawImage(c, 0, nullptr, &d), 5u);
    Picture picture(4, 4);
    EXPECT_EQ(CpiUploadImageROI(nullptr, 0, picture.image, &d, 0, 0), 0x20u);
    EXPECT_TRUE(cti.log().empty());
}

} // namespace
} // namespace kerris::camera::testing
