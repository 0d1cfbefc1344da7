// Block upload (plain and addressed), bulk reads, image headers and flags through the fakes.
#include "tests/camera/upload_fixture.h"

namespace kerris::camera::testing {
namespace {

// The reply of command 0x90: start address, total size, frame width and height.
std::vector<uint8_t> locationReply(uint32_t start, uint32_t total, uint16_t w, uint16_t h) {
    std::vector<uint8_t> r(16, 0);
    putBe32(r, 0, start);
    putBe32(r, 4, total);
    putBe16(r, 8, w);
    putBe16(r, 10, h);
    return r;
}

uint32_t be32At(const std::vector<uint8_t>& v, size_t at) {
    return uint32_t(v.at(at)) << 24 | uint32_t(v.at(at + 1)) << 16 | uint32_t(v.at(at + 2)) << 8 |
           v.at(at + 3);
}

// The (address, length) pairs of the bulk read commands (0x03) sent.
std::vector<std::pair<uint32_t, uint32_t>> bulkRequests(const FakeTransport& cti) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const Call& call : cti.calls("CtiCommand"))
        if (call.args[1] == 0x03)
            out.emplace_back(be32At(call.data, 0), be32At(call.data, 4));
    return out;
}

// A 96 x 96 picture: frame 100 x 100, 10000 raw bytes.
constexpr uint32_t kSide = 100;
constexpr uint32_t kTotal = kSide * kSide;

class BlockTest : public CameraTest {
protected:
    std::vector<uint8_t> frame = patternFrame(kSide, kSide);

    void openPlain() {
        open(kVersionOlder, 0);
        cti.setReply(0x83, descriptorReply(kSide, kSide, kTotal, 0x21));
        cti.queueData(frame);
    }
    void openAddressed(uint32_t start = 0x00012000) {
        open(kVersionExtended, kCapSettle);
        cti.setReply(0x90, locationReply(start, kTotal, kSide, kSide));
        cti.queueData(frame);
    }
    // The picture holds the frame's colour conversion.
    void expectConverted(const Picture& picture) {
        for (int32_t y : {0, 50, 95})
            for (int32_t x : {0, 51, 95})
                expectPixel(picture.at(x, y), bayerOf(frame, kSide, y + 2, x + 2),
                            std::to_string(x) + "," + std::to_string(y));
    }
};

// ---- Plain block upload --------------------------------------------------------------------

TEST_F(BlockTest, PlainUploadInBlocksOf4000) {
    openPlain();
    Picture picture(96, 96);
    uint32_t done = 0xDEAD;
    CpiImageDescriptor d{};
    EXPECT_EQ(CpiReadFirstImageBlock(c, 7, picture.image, 4000, &done, &d), 6u);
    EXPECT_EQ(done, 4000u);
    EXPECT_EQ(d.rawWidth, kSide);
    EXPECT_EQ(d.rawDataSize, kTotal);
    EXPECT_EQ(d.imageFlags, 0x21);
    EXPECT_EQ(cti.lockBalance(), 1) << "the lock is held between blocks";
    EXPECT_EQ(CpiReadNextImageBlock(c, &done), 6u);
    EXPECT_EQ(done, 8000u);
    EXPECT_EQ(cti.lockBalance(), 1);
    EXPECT_EQ(CpiReadNextImageBlock(c, &done), 0u);
    EXPECT_EQ(done, 10000u);
    EXPECT_EQ(cti.lockBalance(), 0);

    const std::vector<Call> reads = cti.calls("CtiDataRead");
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[0].args[1], 4000u);
    EXPECT_EQ(reads[1].args[1], 4000u);
    EXPECT_EQ(reads[2].args[1], 2000u);
    EXPECT_EQ(count("CtiHandleLockThread"), 1u);
    EXPECT_EQ(count("CtiHandleUnLock"), 1u);
    EXPECT_TRUE(bulkRequests(cti).empty()) << "a plain camera is only read";
    EXPECT_EQ(resetRuns(), 0);
    expectConverted(picture);
    EXPECT_EQ(CpiReadNextImageBlock(c, &done), 0x3002u) << "the upload is over";
}

TEST_F(BlockTest, BlockLargerThanThePictureReadsEverythingAtOnce) {
    openPlain();
    Picture picture(96, 96);
    uint32_t done = 0;
    EXPECT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 1u << 20, &done, nullptr), 0u);
    EXPECT_EQ(done, kTotal);
    EXPECT_EQ(cti.calls("CtiDataRead").at(0).args[1], kTotal);
    EXPECT_EQ(cti.lockBalance(), 0);
    expectConverted(picture);
}

TEST_F(BlockTest, PartialDeliveriesAdvanceByWhatArrived) {
    openPlain();
    cti.setReadLimit(3000);
    Picture picture(96, 96);
    uint32_t done = 0;
    EXPECT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 4000, &done, nullptr), 6u);
    EXPECT_EQ(done, 3000u);
    EXPECT_EQ(CpiReadNextImageBlock(c, &done), 6u);
    EXPECT_EQ(done, 6000u);
    EXPECT_EQ(CpiReadNextImageBlock(c, nullptr), 6u);
    EXPECT_EQ(CpiReadNextImageBlock(c, &done), 0u);
    EXPECT_EQ(done, kTotal);
    const std::vector<Call> reads = cti.calls("CtiDataRead");
    ASSERT_EQ(reads.size(), 4u);
    EXPECT_EQ(reads[3].args[1], 1000u) << "only what remains is asked for";
    expectConverted(picture);
    EXPECT_EQ(cti.lockBalance(), 0);
}

TEST_F(BlockTest, PlainReadAcceptsTheTransportsShortResults) {
    openPlain();
    cti.failNthCall("CtiDataRead", 2, 0x1004);
    Picture picture(96, 96);
    uint32_t done = 0;
    EXPECT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 5000, &done, nullptr), 6u);
    EXPECT_EQ(CpiReadNextImageBlock(c, &done), 6u) << "0x1004 delivered nothing, no failure";
    EXPECT_EQ(done, 5000u);
    EXPECT_EQ(resetRuns(), 0);
    EXPECT_EQ(CpiReadNextImageBlock(c, &done), 0u);
    EXPECT_EQ(done, kTotal);
}

TEST_F(BlockTest, NextAndCancelWithoutAFirstBlock) {
    open();
    uint32_t done = 0xDEAD;
    EXPECT_EQ(CpiReadNextImageBlock(c, &done), 0x3002u);
    EXPECT_EQ(done, 0xDEADu);
    EXPECT_EQ(CpiCancelImageBlockUpload(c), 0x3002u);
    EXPECT_TRUE(cti.log().empty());
}

TEST_F(BlockTest, CancelResetsAndReleasesTheLock) {
    openPlain();
    Picture picture(96, 96);
    picture.fill(0x44);
    ASSERT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 4000, nullptr, nullptr), 6u);
    cti.failRequest(0x00, 0x61, 2);
    EXPECT_EQ(CpiCancelImageBlockUpload(c), 0u) << "the reset sequence's result";
    EXPECT_EQ(resetRuns(), 1);
    EXPECT_EQ(countRequest(0x00), 3u);
    EXPECT_EQ(cti.lockBalance(), 0);
    EXPECT_TRUE(picture.allEqual(0x44));
    EXPECT_EQ(CpiCancelImageBlockUpload(c), 0x3002u);
    EXPECT_EQ(CpiReadNextImageBlock(c, nullptr), 0x3002u);
}

TEST_F(BlockTest, CancelPassesAFailingResetOn) {
    openPlain();
    Picture picture(96, 96);
    ASSERT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 4000, nullptr, nullptr), 6u);
    cti.failRequest(0x00, 0x61);
    EXPECT_EQ(CpiCancelImageBlockUpload(c), 0x61u);
    EXPECT_EQ(countRequest(0x00), 5u);
    EXPECT_EQ(cti.lockBalance(), 0);
    EXPECT_EQ(CpiReadNextImageBlock(c, nullptr), 0x3002u);
}

// ---- Failure paths of the plain upload -----------------------------------------------------

TEST_F(BlockTest, LockFailureIsReturnedAtOnce) {
    openPlain();
    cti.failEntry("CtiHandleLockThread", 0x70);
    Picture picture(96, 96);
    EXPECT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 4000, nullptr, nullptr), 0x70u);
    EXPECT_TRUE(cti.calls("CtiCommand").empty());
    EXPECT_EQ(CpiReadNextImageBlock(c, nullptr), 0x3002u);
}

TEST_F(BlockTest, DescriptorFailureEndsWithoutReset) {
    openPlain();
    cti.failRequest(0x83, 0x52);
    Picture picture(96, 96);
    CpiImageDescriptor d;
    std::memset(&d, 0xEE, sizeof d);
    EXPECT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 4000, nullptr, &d), 0x52u);
    EXPECT_EQ(resetRuns(), 0);
    EXPECT_EQ(cti.lockBalance(), 0);
    EXPECT_EQ(d.rawWidth, 0xEEEE);
    EXPECT_EQ(CpiReadNextImageBlock(c, nullptr), 0x3002u);
}

TEST_F(BlockTest, WrongPictureSizeResetsAndReadsNothing) {
    openPlain();
    Picture picture(352, 288);
    EXPECT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 4000, nullptr, nullptr), 10u);
    EXPECT_EQ(count("CtiDataRead"), 0u);
    EXPECT_EQ(resetRuns(), 1);
    EXPECT_EQ(cti.lockBalance(), 0);
    EXPECT_EQ(CpiReadNextImageBlock(c, nullptr), 0x3002u);
}

TEST_F(BlockTest, RawSizeSmallerThanTheFrameIsRefused) {
    open(kVersionOlder, 0);
    cti.setReply(0x83, descriptorReply(kSide, kSide, kTotal - 1));
    Picture picture(96, 96);
    EXPECT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 4000, nullptr, nullptr), 10u);
    EXPECT_EQ(count("CtiDataRead"), 0u);
    EXPECT_EQ(resetRuns(), 1);
    EXPECT_EQ(cti.lockBalance(), 0);
}

TEST_F(BlockTest, FirstBlockReadFailureResetsInTheBlockAndAfterIt) {
    openPlain();
    cti.failNthCall("CtiDataRead", 1, 0x2222);
    Picture picture(96, 96);
    uint32_t done = 0xDEAD;
    EXPECT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 4000, &done, nullptr), 0x2222u);
    EXPECT_EQ(done, 0u) << "a plain block always reports its progress";
    EXPECT_EQ(resetRuns(), 2);
    EXPECT_EQ(cti.lockBalance(), 0);
    EXPECT_EQ(CpiReadNextImageBlock(c, nullptr), 0x3002u);
}

TEST_F(BlockTest, LaterBlockReadFailureResetsOnceAndEnds) {
    openPlain();
    Picture picture(96, 96);
    picture.fill(0x66);
    uint32_t done = 0;
    ASSERT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 4000, &done, nullptr), 6u);
    cti.failNthCall("CtiDataRead", 1, 0x2223);
    EXPECT_EQ(CpiReadNextImageBlock(c, &done), 0x2223u);
    EXPECT_EQ(done, 4000u);
    EXPECT_EQ(resetRuns(), 1);
    EXPECT_EQ(cti.lockBalance(), 0);
    EXPECT_TRUE(picture.allEqual(0x66));
    EXPECT_EQ(CpiReadNextImageBlock(c, &done), 0x3002u);
}

TEST_F(BlockTest, ColourFailureOnTheLastBlockEndsTheUpload) {
    openPlain();
    kerc.failEntry("KERC_Colour", 3);
    Picture picture(96, 96);
    picture.fill(0x77);
    ASSERT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 6000, nullptr, nullptr), 6u);
    uint32_t done = 0;
    EXPECT_EQ(CpiReadNextImageBlock(c, &done), 0x4000u);
    EXPECT_EQ(done, kTotal);
    EXPECT_EQ(resetRuns(), 0) << "a later block's conversion failure does not reset";
    EXPECT_EQ(cti.lockBalance(), 0);
    EXPECT_TRUE(picture.allEqual(0x77));
}

TEST_F(BlockTest, ColourFailureInTheFirstBlockResets) {
    openPlain();
    kerc.failEntry("KERC_Colour", 3);
    Picture picture(96, 96);
    EXPECT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, kTotal, nullptr, nullptr), 0x4000u);
    EXPECT_EQ(resetRuns(), 1);
    EXPECT_EQ(cti.lockBalance(), 0);
}

TEST_F(BlockTest, WidenedSmallFormatInBlocks) {
    open(kVersionOlder, 0);
    cti.setReply(0x83, descriptorReply(178, 146, 178 * 146));
    const std::vector<uint8_t> qcif = patternFrame(178, 146);
    cti.queueData(qcif);
    Picture picture(176, 144);
    CpiImageDescriptor d{};
    uint32_t done = 0;
    ASSERT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 10000, &done, &d), 6u);
    EXPECT_EQ(d.rawWidth, 180);
    EXPECT_EQ(d.rawHeight, 148);
    ASSERT_EQ(CpiReadNextImageBlock(c, &done), 6u);
    ASSERT_EQ(CpiReadNextImageBlock(c, &done), 0u);
    EXPECT_EQ(done, 178u * 146);
    const Call colour = kerc.calls("KERC_Colour").at(0);
    EXPECT_EQ(colour.args[1], 180u);
    EXPECT_EQ(colour.args[2], 148u);
    expectPixel(picture.at(10, 20), bayerOf(qcif, 178, 22, 12), "inside");
    expectPixel(picture.at(175, 143), sampleAt(143, 177), "patched corner");
}

// ---- Addressed block upload ----------------------------------------------------------------

TEST_F(BlockTest, AddressedUploadRequestsEachBlockByAddress) {
    openAddressed(0x00012000);
    Picture picture(96, 96);
    uint32_t done = 0;
    CpiImageDescriptor d;
    std::memset(&d, 0xEE, sizeof d);
    EXPECT_EQ(CpiReadFirstImageBlock(c, 0x0203, picture.image, 4000, &done, &d), 6u);
    EXPECT_EQ(d.rawWidth, kSide);
    EXPECT_EQ(d.rawHeight, kSide);
    EXPECT_EQ(d.rawDataSize, kTotal);
    EXPECT_EQ(d.descriptorWord1, 0) << "the location's other fields are 0";
    EXPECT_EQ(d.imageFlags, 0);
    EXPECT_EQ(CpiReadNextImageBlock(c, &done), 6u);
    EXPECT_EQ(CpiReadNextImageBlock(c, &done), 0u);
    EXPECT_EQ(done, kTotal);

    const Call location = cti.calls("CtiCommand").at(0);
    EXPECT_EQ(location.args[1], 0x90u);
    EXPECT_EQ(location.args[2], 0x02u);
    EXPECT_EQ(location.args[3], 0x03u);
    const auto requests = bulkRequests(cti);
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {
        {0x00012000, 4000}, {0x00012000 + 4000, 4000}, {0x00012000 + 8000, 2000}};
    EXPECT_EQ(requests, expected);
    EXPECT_EQ(countRequest(0x83), 0u);
    EXPECT_EQ(resetRuns(), 0);
    EXPECT_EQ(cti.lockBalance(), 0);
    expectConverted(picture);
}

TEST_F(BlockTest, ExtendedCameraWithoutCapabilityBitIsReadPlain) {
    open(kVersionExtended, 0);
    cti.setReply(0x83, descriptorReply(kSide, kSide, kTotal));
    cti.queueData(frame);
    Picture picture(96, 96);
    EXPECT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, kTotal, nullptr, nullptr), 0u);
    EXPECT_EQ(countRequest(0x90), 0u);
    EXPECT_TRUE(bulkRequests(cti).empty());
}

TEST_F(BlockTest, AddressedLocationThatDoesNotFitIsRefused) {
    struct {
        const char* name;
        uint32_t total;
        uint16_t w, h;
    } cases[] = {
        {"total short of the frame", kTotal - 1, kSide, kSide},
        {"total zero", 0, kSide, kSide},
        {"frame of another size", kTotal, kSide + 2, kSide},
        {"total absurdly large", 0xFFFFFFFFu, kSide, kSide},
    };
    open(kVersionExtended, kCapSettle);
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        cti.clearLog();
        cti.setReply(0x90, locationReply(0, k.total, k.w, k.h));
        Picture picture(96, 96);
        uint32_t done = 0xDEAD;
        EXPECT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 4000, &done, nullptr), 10u);
        EXPECT_EQ(done, 0xDEADu);
        EXPECT_TRUE(bulkRequests(cti).empty());
        EXPECT_EQ(count("CtiDataRead"), 0u);
        EXPECT_EQ(resetRuns(), 1);
        EXPECT_EQ(cti.lockBalance(), 0);
    }
}

TEST_F(BlockTest, AddressedLocationFailureDoesNotReset) {
    open(kVersionExtended, kCapSettle);
    cti.failRequest(0x90, 0x58);
    Picture picture(96, 96);
    EXPECT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 4000, nullptr, nullptr), 0x58u);
    EXPECT_EQ(resetRuns(), 0);
    EXPECT_EQ(cti.lockBalance(), 0);
}

// One scripted trouble in the first addressed block, and what the library must do about it.
struct AddressedCase {
    const char* name;
    void (*script)(const FakeTransport&);
    uint32_t status;   // of CpiReadFirstImageBlock
    size_t attempts;   // bulk read commands sent
    size_t lastErrors; // command 0x80 sent
    int resets;        // reset sequences run
};

void PrintTo(const AddressedCase& k, std::ostream* os) {
    *os << k.name;
}

class AddressedRetryTest : public BlockTest, public ::testing::WithParamInterface<AddressedCase> {};

TEST_P(AddressedRetryTest, FollowsTheRetryRules) {
    const AddressedCase& k = GetParam();
    openAddressed();
    ASSERT_EQ(CpiSetNoOfRetrys(c, 2), 0u); // three attempts, two re-reads of the last error
    k.script(cti);
    Picture picture(96, 96);
    uint32_t done = 0xDEAD;
    EXPECT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 4000, &done, nullptr), k.status);
    EXPECT_EQ(bulkRequests(cti).size(), k.attempts);
    EXPECT_EQ(countRequest(0x80), k.lastErrors);
    EXPECT_EQ(resetRuns(), k.resets);
    if (k.status == 6) {
        EXPECT_EQ(done, 4000u);
        EXPECT_EQ(cti.lockBalance(), 1);
        EXPECT_EQ(CpiCancelImageBlockUpload(c), 0u);
    } else {
        EXPECT_EQ(done, 0xDEADu) << "an addressed failure reports no progress";
    }
    EXPECT_EQ(cti.lockBalance(), 0);
    for (const auto& request : bulkRequests(cti))
        EXPECT_EQ(request, (std::pair<uint32_t, uint32_t>{0x00012000, 4000}))
            << "every attempt asks for the same block";
}

const AddressedCase kAddressedCases[] = {
    {"clean", [](const FakeTransport&) {}, 6, 1, 0, 0},
    {"command short result retried without reset",
     [](const FakeTransport& t) { t.failRequest(0x03, 0x1003, 1); }, 6, 2, 0, 0},
    {"data short result retried without reset",
     [](const FakeTransport& t) { t.failNthCall("CtiDataRead", 1, 0x1004); }, 6, 2, 0, 0},
    {"data failure resets, then succeeds",
     [](const FakeTransport& t) { t.failNthCall("CtiDataRead", 1, 0x2000); }, 6, 2, 0, 1},
    {"command failure with a clear last error",
     [](const FakeTransport& t) { t.failRequest(0x03, 0x3100, 1); }, 6, 2, 1, 0},
    {"last error unreadable resets",
     [](const FakeTransport& t) {
         t.failRequest(0x03, 0x3100, 1);
         t.failRequest(0x80, 0x3200, 1);
     },
     6, 2, 1, 1},
    {"last error clears on re-read: fresh record and reset",
     [](const FakeTransport& t) {
         t.failRequest(0x03, 0x3100, 1);
         t.queueReply(0x80, {5, 0});
         t.queueReply(0x80, {5, 0});
     },
     6, 2, 3, 1},
    {"last error never clears: reset, stop, final reset",
     [](const FakeTransport& t) {
         t.failRequest(0x03, 0x3100, 1);
         t.setReply(0x80, {5, 0});
     },
     0x3100, 1, 3, 3},
    {"every command fails: three attempts, final reset",
     [](const FakeTransport& t) { t.failRequest(0x03, 0x3100); }, 0x3100, 3, 3, 2},
    {"every data read fails: reset per attempt and a final one",
     [](const FakeTransport& t) { t.failEntry("CtiDataRead", 0x2000); }, 0x2000, 3, 0, 5},
    {"every data read short: only the final reset and the first block's",
     [](const FakeTransport& t) { t.failEntry("CtiDataRead", 0x1003); }, 0x1003, 3, 0, 2},
};

INSTANTIATE_TEST_SUITE_P(Cases, AddressedRetryTest, ::testing::ValuesIn(kAddressedCases));

TEST_F(BlockTest, AddressedFailureOnALaterBlockEndsWithoutTheFirstBlocksReset) {
    openAddressed();
    ASSERT_EQ(CpiSetNoOfRetrys(c, 0), 0u);
    Picture picture(96, 96);
    uint32_t done = 0;
    ASSERT_EQ(CpiReadFirstImageBlock(c, 0, picture.image, 4000, &done, nullptr), 6u);
    cti.failNthCall("CtiDataRead", 1, 0x2000);
    EXPECT_EQ(CpiReadNextImageBlock(c, &done), 0x2000u);
    EXPECT_EQ(done, 4000u);
    EXPECT_EQ(resetRuns(), 2) << "the attempt's reset and the final one";
    EXPECT_EQ(cti.lockBalance(), 0);
    EXPECT_EQ(CpiReadNextImageBlock(c, &done), 0x3002u);
}

// ---- Bulk read -----------------------------------------------------------------------------

using BulkTest = CameraTest;

TEST_F(BulkTest, ReadsCameraMemoryUnderTheLock) {
    open();
    cti.queueData({1, 2, 3, 4, 5, 6, 7, 8});
    std::vector<uint8_t> buffer(9, 0xEE);
    EXPECT_EQ(CpiBulkUpload(c, 0x89ABCDEF, 8, buffer.data(), 0x5555), 0u);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 0xEE}));
    const auto requests = bulkRequests(cti);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], (std::pair<uint32_t, uint32_t>{0x89ABCDEF, 8}));
    const std::vector<Call> log = cti.log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].name, "CtiHandleLockThread");
    EXPECT_EQ(log[1].name, "CtiCommand");
    EXPECT_EQ(log[2].name, "CtiDataRead");
    EXPECT_EQ(log[2].args[2], 0u) << "the reserved argument is 0";
    EXPECT_EQ(log[3].name, "CtiHandleUnLock");
}

TEST_F(BulkTest, FailuresAreReturnedAndTheLockReleased) {
    struct {
        const char* name;
        void (*script)(const FakeTransport&);
        uint32_t status;
        int resets;
    } cases[] = {
        {"lock", [](const FakeTransport& t) { t.failEntry("CtiHandleLockThread", 0x71); }, 0x71, 0},
        {"command", [](const FakeTransport& t) { t.failRequest(0x03, 0x72); }, 0x72, 0},
        {"data read", [](const FakeTransport& t) { t.failEntry("CtiDataRead", 0x73); }, 0x73, 1},
        {"short delivery",
         [](const FakeTransport& t) {
             t.queueData({1, 2, 3});
         },
         10, 1},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        SetUp();
        open();
        k.script(cti);
        std::vector<uint8_t> buffer(8, 0xEE);
        EXPECT_EQ(CpiBulkUpload(c, 0, 8, buffer.data(), 0), k.status);
        EXPECT_EQ(resetRuns(), k.resets);
        EXPECT_EQ(cti.lockBalance(), 0);
        TearDown();
    }
}

TEST_F(BulkTest, ChecksComeFirst) {
    open();
    uint8_t byte = 0;
    EXPECT_EQ(CpiBulkUpload(nullptr, 0, 1, &byte, 0), 0x20u);
    EXPECT_EQ(CpiBulkUpload(c, 0, 1, nullptr, 0), 5u);
    EXPECT_TRUE(cti.log().empty());
}

// ---- Image headers -------------------------------------------------------------------------

using HeaderTest = CameraTest;

TEST_F(HeaderTest, ExtendedCameraReadsCommand8FUnderTheLock) {
    open(kVersionExtended, 0);
    cti.setReply(0x8F, descriptorReply(356, 292, 356 * 292, 0x0C));
    CpiImageDescriptor h{};
    ASSERT_EQ(CpiGetImageHeader(c, 0x0105, &h), 0u);
    EXPECT_EQ(h.rawWidth, 356);
    EXPECT_EQ(h.rawHeight, 292);
    EXPECT_EQ(h.rawDataSize, 356u * 292);
    EXPECT_EQ(h.descriptorWord2, 0x3344);
    EXPECT_EQ(h.imageFlags, 0x0C);
    const std::vector<Call> log = cti.log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].name, "CtiHandleLockThread");
    EXPECT_EQ(log[1].args[1], 0x8Fu);
    EXPECT_EQ(log[1].args[2], 0x01u);
    EXPECT_EQ(log[1].args[3], 0x05u);
    EXPECT_EQ(log[2].name, "CtiHandleUnLock");
}

TEST_F(HeaderTest, OlderCameraReadsIndexTwoFromAddress288) {
    open(kVersionOlder, 0);
    cti.queueData({0xA0, 0xA1, 0xA2, 0xA3, 0x12, 0x34, 0x56, 0x78, 0xB1, 0xB2, 0xB3, 0xF1, 0xC0,
                   0xC1, 0xC2, 0xC3});
    cti.setReply(0x86, imageInfoReply(3, 3, 178, 146, 26000));
    CpiImageDescriptor h{};
    ASSERT_EQ(CpiGetImageHeader(c, 2, &h), 0u);
    const auto requests = bulkRequests(cti);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], (std::pair<uint32_t, uint32_t>{288, 16}));
    EXPECT_EQ(h.descriptorWord1, 0x1234);
    EXPECT_EQ(h.descriptorWord2, 0x5678);
    EXPECT_EQ(h.descriptorByte1, 0xB1);
    EXPECT_EQ(h.descriptorByte2, 0xB2);
    EXPECT_EQ(h.descriptorByte3, 0xB3);
    EXPECT_EQ(h.imageFlags, 0xF1);
    EXPECT_EQ(h.rawWidth, 176) << "the picture size of the image information";
    EXPECT_EQ(h.rawHeight, 144);
    EXPECT_EQ(h.rawDataSize, 26000u);
    // Bulk read, then the echo test, then the image information.
    const std::vector<uint8_t> order = cti.requests();
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[0], 0x03);
    EXPECT_EQ(order[1], 0x88);
    EXPECT_EQ(order[2], 0x86);
    EXPECT_EQ(cti.lockBalance(), 0);
}

TEST_F(HeaderTest, OlderCameraIndexIsTakenAs16Bits) {
    open(kVersionOlder, 0);
    cti.queueData(std::vector<uint8_t>(16, 0));
    CpiImageDescriptor h{};
    ASSERT_EQ(CpiGetImageHeader(c, 0x10003, &h), 0u);
    EXPECT_EQ(bulkRequests(cti).at(0).first, (3u + 16) * 16);
}

TEST_F(HeaderTest, OlderCameraFailures) {
    struct {
        const char* name;
        void (*script)(const FakeTransport&);
        uint32_t status;
        size_t echoes;
    } cases[] = {
        {"echo fails once",
         [](const FakeTransport& t) {
             t.queueReply(0x88, {0, 0});
         },
         0, 2},
        {"echo fails twice",
         [](const FakeTransport& t) {
             t.queueReply(0x88, {0, 0});
             t.queueReply(0x88, {1, 0});
         },
         0x43, 2},
        {"bulk read fails", [](const FakeTransport& t) { t.failRequest(0x03, 0x91); }, 0x91, 0},
        {"image information fails", [](const FakeTransport& t) { t.failRequest(0x86, 0x92); }, 0x92,
         1},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        SetUp();
        open(kVersionOlder, 0);
        cti.queueData(std::vector<uint8_t>(16, 0x5A));
        k.script(cti);
        CpiImageDescriptor h;
        std::memset(&h, 0xEE, sizeof h);
        EXPECT_EQ(CpiGetImageHeader(c, 0, &h), k.status);
        EXPECT_EQ(countRequest(0x88), k.echoes);
        if (k.status != 0)
            EXPECT_EQ(h.rawWidth, 0xEEEE) << "header written on failure";
        else
            EXPECT_EQ(h.imageFlags, 0x5A);
        EXPECT_EQ(cti.lockBalance(), 0);
        TearDown();
    }
}

TEST_F(HeaderTest, ChecksComeFirst) {
    open();
    CpiImageDescriptor h{};
    uint8_t flags = 0;
    EXPECT_EQ(CpiGetImageHeader(nullptr, 0, &h), 0x20u);
    EXPECT_EQ(CpiGetImageHeader(c, 0, nullptr), 5u);
    EXPECT_EQ(CpiGetImageFlags(nullptr, 0, &flags), 0x20u);
    EXPECT_EQ(CpiGetImageFlags(c, 0, nullptr), 5u);
    EXPECT_EQ(CpiUploadImageFlags(nullptr, &flags, 1, nullptr, nullptr), 0x20u);
    EXPECT_EQ(CpiUploadImageFlags(c, nullptr, 1, nullptr, nullptr), 5u);
    EXPECT_EQ(CpiReadFirstImageBlock(c, 0, nullptr, 1, nullptr, nullptr), 5u);
    EXPECT_EQ(CpiReadFirstImageBlock(nullptr, 0, nullptr, 1, nullptr, nullptr), 0x20u);
    EXPECT_EQ(CpiReadNextImageBlock(nullptr, nullptr), 0x20u);
    EXPECT_EQ(CpiCancelImageBlockUpload(nullptr), 0x20u);
    EXPECT_TRUE(cti.log().empty());
}

// ---- Flags ---------------------------------------------------------------------------------

using FlagsTest = CameraTest;

// The reply of command 0x8D: byte 0, busy, image count, header count.
std::vector<uint8_t> stateReply(uint16_t images, uint16_t headers) {
    std::vector<uint8_t> r(8, 0);
    putBe16(r, 2, images);
    putBe16(r, 4, headers);
    return r;
}

TEST_F(FlagsTest, GetImageFlagsIsTheHeadersFlagsByte) {
    open(kVersionExtended, 0);
    cti.setReply(0x8F, descriptorReply(84, 68, 5712, 0xA7));
    uint8_t flags = 0;
    EXPECT_EQ(CpiGetImageFlags(c, 4, &flags), 0u);
    EXPECT_EQ(flags, 0xA7);
    cti.failRequest(0x8F, 0x93);
    flags = 0x11;
    EXPECT_EQ(CpiGetImageFlags(c, 4, &flags), 0x93u);
    EXPECT_EQ(flags, 0x11);
}

TEST_F(FlagsTest, BufferShorterThanTheHeaderCount) {
    open(kVersionExtended, 0);
    cti.setReply(0x8D, stateReply(4, 5));
    std::vector<uint8_t> buffer(8, 0xEE);
    uint16_t headers = 0, images = 0;
    EXPECT_EQ(CpiUploadImageFlags(c, buffer.data(), 3, &headers, &images), 3u);
    EXPECT_EQ(buffer, std::vector<uint8_t>(8, 0xEE));
    EXPECT_EQ(headers, 5);
    EXPECT_EQ(images, 4);
    EXPECT_EQ(countRequest(0x8F), 0u);
    // Only the low 16 bits of the length count.
    EXPECT_EQ(CpiUploadImageFlags(c, buffer.data(), 0x10003, nullptr, nullptr), 3u);
}

TEST_F(FlagsTest, EveryHeadersFlagsByteInOrder) {
    open(kVersionExtended, 0);
    cti.setReply(0x8D, stateReply(3, 3));
    for (uint8_t f : {0x10, 0x20, 0x30})
        cti.queueReply(0x8F, descriptorReply(84, 68, 5712, f));
    std::vector<uint8_t> buffer(5, 0xEE);
    uint16_t headers = 0, images = 0;
    EXPECT_EQ(CpiUploadImageFlags(c, buffer.data(), 3, &headers, &images), 0u);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0x10, 0x20, 0x30, 0xEE, 0xEE}));
    EXPECT_EQ(headers, 3);
    EXPECT_EQ(images, 3);
    std::vector<uint32_t> indices;
    for (const Call& call : cti.calls("CtiCommand"))
        if (call.args[1] == 0x8F)
            indices.push_back(call.args[2] << 8 | call.args[3]);
    EXPECT_EQ(indices, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(cti.lockBalance(), 0);
}

TEST_F(FlagsTest, FailingHeaderGetsFFAndEndsTheWalk) {
    open(kVersionExtended, 0);
    cti.setReply(0x8D, stateReply(9, 4));
    cti.queueReply(0x8F, descriptorReply(84, 68, 5712, 0x10));
    std::vector<uint8_t> buffer(4, 0xEE);
    uint16_t headers = 0, images = 0;
    // Commands from here: the state, header 0, header 1 (fails).
    cti.failNthCall("CtiCommand", 3, 0x94);
    EXPECT_EQ(CpiUploadImageFlags(c, buffer.data(), 4, &headers, &images), 0x94u);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0x10, 0xFF, 0xEE, 0xEE}));
    EXPECT_EQ(headers, 4);
    EXPECT_EQ(images, 9);
    EXPECT_EQ(countRequest(0x8F), 2u) << "the walk stops at the failure";
    EXPECT_EQ(cti.lockBalance(), 0);
}

TEST_F(FlagsTest, StateFailureReportsNothing) {
    open(kVersionExtended, 0);
    cti.failRequest(0x8D, 0x95);
    std::vector<uint8_t> buffer(4, 0xEE);
    uint16_t headers = 0x1111, images = 0x2222;
    EXPECT_EQ(CpiUploadImageFlags(c, buffer.data(), 4, &headers, &images), 0x95u);
    EXPECT_EQ(headers, 0x1111);
    EXPECT_EQ(images, 0x2222);
    EXPECT_EQ(buffer, std::vector<uint8_t>(4, 0xEE));
}

TEST_F(FlagsTest, OlderCameraCountsComeFromTheImageInformation) {
    open(kVersionOlder, 0);
    cti.setReply(0x86, imageInfoReply(6, 2, 356, 292, 356 * 292));
    cti.queueData({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC1, 0, 0, 0, 0});
    cti.queueData({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC2, 0, 0, 0, 0});
    std::vector<uint8_t> buffer(2, 0xEE);
    uint16_t headers = 0, images = 0;
    EXPECT_EQ(CpiUploadImageFlags(c, buffer.data(), 2, &headers, &images), 0u);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0xC1, 0xC2}));
    EXPECT_EQ(headers, 2);
    EXPECT_EQ(images, 6);
    const auto requests = bulkRequests(cti);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].first, 256u);
    EXPECT_EQ(requests[1].first, 272u);
}

} // namespace
} // namespace kerris::camera::testing
