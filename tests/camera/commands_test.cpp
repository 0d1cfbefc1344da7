// The camera command set through the exports: value bytes and payloads of every control
// command, argument checks that send nothing, and the records decoded from replies.
#include "tests/camera/camera_fixture.h"

#include <chrono>
#include <climits>
#include <cstring>
#include <string>

namespace kerris::camera::testing {
namespace {

class CommandTest : public CameraTest {
protected:
    void SetUp() override { c = openUsb(info); }
    void TearDown() override {
        EXPECT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
        CameraTest::TearDown();
    }
    // The one command the call sent: request, value A, value B and outgoing data.
    Call onlyCommand() const {
        auto commands = usb.calls("CtiCommand");
        EXPECT_EQ(commands.size(), 1u);
        return commands.empty() ? Call{} : commands[0];
    }

    CameraInfoReply info;
    CpiConnection* c = nullptr;
};

class ExtendedCommandTest : public CommandTest {
protected:
    ExtendedCommandTest() { info.version = kExtendedVersion; }
};

// ---- Control commands ---------------------------------------------------------------------

struct GrabCase {
    const char* name;
    uint32_t index;
    uint32_t keep;
    uint8_t valueA;
    uint8_t valueB;
};

class GrabTest : public CommandTest, public ::testing::WithParamInterface<GrabCase> {};

TEST_P(GrabTest, ModeAndIndexBits) {
    const GrabCase& tc = GetParam();
    ASSERT_EQ(CpiGrabImage(c, tc.index, tc.keep), uint32_t(kCpiOk));
    Call call = onlyCommand();
    EXPECT_EQ(call.args[1], 0x05u);
    EXPECT_EQ(call.args[2], tc.valueA);
    EXPECT_EQ(call.args[3], tc.valueB);
    EXPECT_EQ(call.args[4], 0u);
}

INSTANTIATE_TEST_SUITE_P(Modes, GrabTest,
                         ::testing::Values(GrabCase{"last_discard", 0xFFFF, 0, 0xDF, 0xFF},
                                           GrabCase{"last_keep", 0xFFFF, 1, 0x9F, 0xFF},
                                           GrabCase{"last_in_low_half", 0x1FFFF, 7, 0x9F, 0xFF},
                                           GrabCase{"index_discard", 0x0123, 0, 0x41, 0x23},
                                           GrabCase{"index_keep", 0x0A05, 1, 0x0A, 0x05},
                                           GrabCase{"only_bits_8_to_11", 0xF7F3, 1, 0x07, 0xF3}),
                         CaseName());

TEST_F(CommandTest, ImageFormatOutOfRangeSendsNothing) {
    for (int32_t format : {4, -1, 100, INT32_MIN}) {
        SCOPED_TRACE(format);
        EXPECT_EQ(CpiSetImageFormat(c, format), uint32_t(kCpiBadValue));
    }
    EXPECT_TRUE(usb.log().empty());
}

TEST_F(CommandTest, ImageFormatIsSentAsAnEightBytePayload) {
    for (int32_t format = 0; format <= 3; ++format) {
        usb.clearLog();
        ASSERT_EQ(CpiSetImageFormat(c, format), uint32_t(kCpiOk));
        Call call = onlyCommand();
        EXPECT_EQ(call.args[1], 0x07u);
        EXPECT_EQ(call.args[2], 1u);
        EXPECT_EQ(call.args[3], 0u);
        EXPECT_EQ(call.data, (std::vector<uint8_t>{uint8_t(format), 0, 0, 0, 0, 0, 0, 0}));
    }
}

struct RegisterCheckCase {
    const char* name;
    uint32_t length;
    bool nullBuffer;
    uint32_t expected;
};

class RegisterCheckTest : public CommandTest,
                          public ::testing::WithParamInterface<RegisterCheckCase> {};

// The same checks guard all four register and SDRAM transfers; nothing is sent when they fail.
TEST_P(RegisterCheckTest, LengthAndBuffer) {
    const RegisterCheckCase& tc = GetParam();
    uint8_t buffer[32] = {};
    uint8_t* b = tc.nullBuffer ? nullptr : buffer;
    EXPECT_EQ(CpiReadCtrlReg(c, 0, 1, tc.length, b), tc.expected);
    EXPECT_EQ(CpiWriteCtrlReg(c, 0, 1, tc.length, b), tc.expected);
    EXPECT_EQ(CpiReadSdram(c, 0x100, tc.length, b, 0), tc.expected);
    EXPECT_EQ(CpiWriteSdram(c, 0x100, tc.length, b, 0), tc.expected);
    EXPECT_TRUE(usb.log().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RegisterCheckTest,
    ::testing::Values(RegisterCheckCase{"length_17", 17, false, kCpiBadValue},
                      RegisterCheckCase{"length_0", 0, false, kCpiBadValue},
                      RegisterCheckCase{"low_half_17", 0x50011, false, kCpiBadValue},
                      RegisterCheckCase{"low_half_0", 0x10000, false, kCpiBadValue},
                      RegisterCheckCase{"null_buffer_first", 17, true, kCpiNullPointer},
                      RegisterCheckCase{"null_buffer", 4, true, kCpiNullPointer}),
    CaseName());

TEST_F(CommandTest, ReadControlRegisterCopiesTheReply) {
    usb.setReply(0x81, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17});
    uint8_t buffer[17] = {};
    ASSERT_EQ(CpiReadCtrlReg(c, 0x12, 0x34, 16, buffer), uint32_t(kCpiOk));
    Call call = onlyCommand();
    EXPECT_EQ(call.args[1], 0x81u);
    EXPECT_EQ(call.args[2], 0x34u); // low
    EXPECT_EQ(call.args[3], 0x12u); // high
    EXPECT_EQ(call.args[4], 16u);
    EXPECT_EQ(buffer[15], 16);
    EXPECT_EQ(buffer[16], 0); // never more than asked
}

TEST_F(CommandTest, ReadControlRegisterUsesTheLowHalfOfTheLength) {
    uint8_t buffer[16] = {};
    ASSERT_EQ(CpiReadCtrlReg(c, 0, 0, 0x70001, buffer), uint32_t(kCpiOk));
    EXPECT_EQ(onlyCommand().args[4], 1u);
}

TEST_F(CommandTest, FailedReadLeavesTheBufferAlone) {
    usb.failRequest(0x81, 0x71);
    uint8_t buffer[4] = {9, 9, 9, 9};
    EXPECT_EQ(CpiReadCtrlReg(c, 0, 0, 4, buffer), 0x71u);
    EXPECT_EQ(buffer[0], 9);
}

TEST_F(CommandTest, WriteControlRegisterSendsTheBytes) {
    uint8_t buffer[3] = {0xA, 0xB, 0xC};
    ASSERT_EQ(CpiWriteCtrlReg(c, 0x02, 0x01, 3, buffer), uint32_t(kCpiOk));
    Call call = onlyCommand();
    EXPECT_EQ(call.args[1], 0x01u);
    EXPECT_EQ(call.args[2], 0x01u);
    EXPECT_EQ(call.args[3], 0x02u);
    EXPECT_EQ(call.data, (std::vector<uint8_t>{0xA, 0xB, 0xC}));
}

TEST_F(CommandTest, SdramWithoutAddressSendsOnlyTheTransfer) {
    uint8_t buffer[4] = {};
    ASSERT_EQ(CpiReadSdram(c, 0xFFFFFFFF, 4, buffer, 0), uint32_t(kCpiOk));
    Call call = onlyCommand();
    EXPECT_EQ(call.args[1], 0x82u);
    EXPECT_EQ(call.args[2], 0u);
    EXPECT_EQ(call.args[3], 0u);
}

TEST_F(CommandTest, SdramWithAddressWritesItBigEndianFirst) {
    usb.setReply(0x82, {0x11, 0x22});
    uint8_t buffer[2] = {};
    ASSERT_EQ(CpiReadSdram(c, 0x12345678, 2, buffer, 5), uint32_t(kCpiOk));
    auto commands = usb.calls("CtiCommand");
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].args[1], 0x01u);
    EXPECT_EQ(commands[0].args[2], 1u);
    EXPECT_EQ(commands[0].args[3], 2u);
    EXPECT_EQ(commands[0].data, (std::vector<uint8_t>{0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(commands[1].args[1], 0x82u);
    EXPECT_EQ(commands[1].args[2], 1u); // mode non-zero
    EXPECT_EQ(buffer[1], 0x22);
}

TEST_F(CommandTest, SdramStopsWhenTheAddressWriteFails) {
    usb.failRequest(0x01, 0x72);
    uint8_t buffer[2] = {1, 2};
    EXPECT_EQ(CpiWriteSdram(c, 0, 2, buffer, 1), 0x72u);
    EXPECT_EQ(usb.requests(), std::vector<uint8_t>{0x01});
}

TEST_F(CommandTest, WriteSdramSendsTheBytesWithTheMode) {
    uint8_t buffer[2] = {7, 8};
    ASSERT_EQ(CpiWriteSdram(c, 0xFFFFFFFF, 2, buffer, 0), uint32_t(kCpiOk));
    Call call = onlyCommand();
    EXPECT_EQ(call.args[1], 0x02u);
    EXPECT_EQ(call.args[2], 0u);
    EXPECT_EQ(call.data, (std::vector<uint8_t>{7, 8}));
}

TEST_F(CommandTest, TestControlSendsTheLowByteOfTheLength) {
    uint8_t data[300];
    for (size_t i = 0; i < sizeof data; ++i)
        data[i] = uint8_t(i);
    ASSERT_EQ(CpiTestControl(c, 0x11, 0x22, data, 0x105), uint32_t(kCpiOk));
    Call call = onlyCommand();
    EXPECT_EQ(call.args[1], 0x08u);
    EXPECT_EQ(call.args[2], 0x11u);
    EXPECT_EQ(call.args[3], 0x22u);
    EXPECT_EQ(call.data, (std::vector<uint8_t>{0, 1, 2, 3, 4}));
}

TEST_F(CommandTest, TestControlWithoutDataNeedsNoBuffer) {
    EXPECT_EQ(CpiTestControl(c, 1, 2, nullptr, 0x100), uint32_t(kCpiOk));
    EXPECT_EQ(onlyCommand().args[4], 0u);
    usb.clearLog();
    EXPECT_EQ(CpiTestControl(c, 1, 2, nullptr, 3), uint32_t(kCpiNullPointer));
    EXPECT_TRUE(usb.log().empty());
}

TEST_F(CommandTest, ResetImageIndexSplitsTheIndex) {
    ASSERT_EQ(CpiResetImageIndex(c, 0xAB1234), uint32_t(kCpiOk));
    Call call = onlyCommand();
    EXPECT_EQ(call.args[1], 0x06u);
    EXPECT_EQ(call.args[2], 0x12u);
    EXPECT_EQ(call.args[3], 0x34u);
}

TEST_F(CommandTest, ControlCommandsPassTransportFailures) {
    usb.failEntry("CtiCommand", 0x1777);
    EXPECT_EQ(CpiGrabImage(c, 1, 1), 0x1777u);
    EXPECT_EQ(CpiResetImageIndex(c, 1), 0x1777u);
    EXPECT_EQ(CpiSetImageFormat(c, 1), 0x1777u);
    usb.failEntry("CtiCommand", 0);
}

// ---- Queries ------------------------------------------------------------------------------

TEST_F(CommandTest, LastErrorIsLowByteFirst) {
    usb.setReply(0x80, {0x34, 0x12});
    uint16_t error = 0;
    ASSERT_EQ(CpiGetLastError(c, &error), uint32_t(kCpiOk));
    EXPECT_EQ(error, 0x1234);
    EXPECT_EQ(onlyCommand().args[4], 2u);
}

TEST_F(CommandTest, PowerStatusIsBitTwoOfRegister0041) {
    for (uint8_t reg : {0x04, 0xFB, 0x00, 0xFF}) {
        SCOPED_TRACE(int(reg));
        usb.clearLog();
        usb.setReply(0x81, {reg});
        uint32_t status = 0xEE;
        ASSERT_EQ(CpiGetPowerStatus(c, &status), uint32_t(kCpiOk));
        EXPECT_EQ(status, (reg & 4) ? 1u : 0u);
        Call call = onlyCommand();
        EXPECT_EQ(call.args[2], 0x41u);
        EXPECT_EQ(call.args[3], 0u);
        EXPECT_EQ(call.args[4], 1u);
    }
}

TEST_F(CommandTest, CameraInformationIsDecodedFieldByField) {
    usb.setVersion(0xABCD0102);
    CameraInfoReply reply;
    reply.version = 0x00601234;
    reply.sensor = 0x1944;
    reply.capabilities = 0x3F;
    reply.word1 = 0x1111;
    reply.word2 = 0x2222;
    reply.cameraLong = 0x33334444;
    usb.setReply(0x85, reply.bytes());
    CpiCameraInfo info{};
    ASSERT_EQ(CpiGetCameraInfo(c, &info), uint32_t(kCpiOk));
    EXPECT_EQ(info.cameraVersion, 0x00601234u);
    EXPECT_EQ(info.sensorId, 0x1944);
    EXPECT_EQ(info.interfaceVersions, 0x01020104u);
    EXPECT_EQ(info.cameraWord1, 0x1111);
    EXPECT_EQ(info.cameraWord2, 0x2222);
    EXPECT_EQ(info.cameraLong, 0x33334444u);
    EXPECT_EQ(info.cameraId, 0x2001);
    EXPECT_EQ(info.capabilityBit0, 1);
    EXPECT_EQ(info.capabilityBit1, 1);
    EXPECT_EQ(info.capabilityBit2, 1);
    EXPECT_EQ(info.thumbnailsStored, 1u);
    EXPECT_EQ(info.capabilityBit4, 1u);
    EXPECT_EQ(info.capabilityBit5, 1u);

    reply.capabilities = 0x0A; // bits 1 and 3 only
    usb.setReply(0x85, reply.bytes());
    ASSERT_EQ(CpiGetCameraInfo(c, &info), uint32_t(kCpiOk));
    EXPECT_EQ(info.capabilityBit0, 0);
    EXPECT_EQ(info.capabilityBit1, 1);
    EXPECT_EQ(info.capabilityBit2, 0);
    EXPECT_EQ(info.thumbnailsStored, 1u);
    EXPECT_EQ(info.capabilityBit4, 0u);
}

TEST_F(CommandTest, FailedCameraInformationLeavesTheRecordAlone) {
    usb.failRequest(0x85, 0x73);
    CpiCameraInfo info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_EQ(CpiGetCameraInfo(c, &info), 0x73u);
    EXPECT_EQ(info.sensorId, 0xABAB);
}

struct ImageInfoCase {
    const char* name;
    uint16_t rawWidth;
    uint16_t rawHeight;
    uint16_t width;
    uint16_t height;
};

class ImageInfoTest : public CommandTest, public ::testing::WithParamInterface<ImageInfoCase> {};

TEST_P(ImageInfoTest, SizesAreFourLessWithTheSmallFrameRule) {
    const ImageInfoCase& tc = GetParam();
    std::vector<uint8_t> reply = {0x01, 0x02, 0x03, 0x04};
    for (uint8_t b : be16Bytes(tc.rawWidth))
        reply.push_back(b);
    for (uint8_t b : be16Bytes(tc.rawHeight))
        reply.push_back(b);
    for (uint8_t b : {0x00, 0x01, 0x8C, 0xA0, 84, 68, 0x16, 0x50})
        reply.push_back(b);
    usb.setReply(0x86, reply);
    CpiImageInfo info{};
    ASSERT_EQ(CpiGetImageInfo(c, &info), uint32_t(kCpiOk));
    EXPECT_EQ(info.ImageCount, 0x0102);
    EXPECT_EQ(info.HeaderCount, 0x0304);
    EXPECT_EQ(info.imageWidth, tc.width);
    EXPECT_EQ(info.imageHeight, tc.height);
    EXPECT_EQ(info.rawImageSize, 0x18CA0u);
    EXPECT_EQ(info.thumbnailWidth, 80);
    EXPECT_EQ(info.thumbnailHeight, 64);
    EXPECT_EQ(info.rawThumbnailSize, 0x1650);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ImageInfoTest,
                         ::testing::Values(ImageInfoCase{"qcif_frame", 178, 146, 176, 144},
                                           ImageInfoCase{"qvga_frame", 322, 242, 320, 240},
                                           ImageInfoCase{"cif_frame", 356, 292, 352, 288},
                                           ImageInfoCase{"vga_frame", 644, 484, 640, 480},
                                           ImageInfoCase{"qcif_full_frame", 180, 148, 176, 144},
                                           ImageInfoCase{"half_rule_width_only", 178, 148, 174,
                                                         144}),
                         CaseName());

TEST_F(CommandTest, OlderCameraInfoExIsTheImageInformation) {
    usb.setReply(0x86, {0, 3, 0, 2, 0x01, 0x64, 0x01, 0x24, 0, 0, 0x80, 0, 84, 68, 0x16, 0x50});
    CpiImageInfoEx ex{};
    ASSERT_EQ(CpiGetImageInfoEx(c, 9, &ex), uint32_t(kCpiOk));
    EXPECT_EQ(ex.imageWidth, 352);
    EXPECT_EQ(ex.imageHeight, 288);
    EXPECT_EQ(ex.rawImageSize, 0x8000u);
    EXPECT_EQ(ex.thumbnailWidth, 80);
    EXPECT_EQ(ex.rawThumbnailSize, 0x1650);
    EXPECT_EQ(usb.requests(), std::vector<uint8_t>{0x86}); // the index is not used
}

TEST_F(ExtendedCommandTest, InfoExComesFromTheImageDescriptor) {
    usb.setReply(0x8F, {0, 0, 0x66, 0x99, 0, 178, 0, 146, 0, 0, 0, 0, 0, 0, 0, 0});
    CpiImageInfoEx ex{};
    ASSERT_EQ(CpiGetImageInfoEx(c, 0x0102, &ex), uint32_t(kCpiOk));
    EXPECT_EQ(ex.imageWidth, 176);
    EXPECT_EQ(ex.imageHeight, 144);
    EXPECT_EQ(ex.rawImageSize, 0x6699u);
    EXPECT_EQ(ex.thumbnailWidth, 80);
    EXPECT_EQ(ex.thumbnailHeight, 64);
    EXPECT_EQ(ex.rawThumbnailSize, 5712);
    Call call = onlyCommand();
    EXPECT_EQ(call.args[1], 0x8Fu);
    EXPECT_EQ(call.args[2], 0x01u);
    EXPECT_EQ(call.args[3], 0x02u);
}

TEST_F(ExtendedCommandTest, CameraStateComesFromCommand8D) {
    usb.setReply(0x8D, {7, 1, 0, 5, 0, 6, 0, 0});
    CpiCameraStateInfo state{};
    ASSERT_EQ(CpiGetCameraStateInfo(c, &state), uint32_t(kCpiOk));
    EXPECT_EQ(state.byte0, 7);
    EXPECT_EQ(state.busy, 1);
    EXPECT_EQ(state.ImageCount, 5);
    EXPECT_EQ(state.HeaderCount, 6);
}

TEST_F(CommandTest, OlderCameraStateIsComputedFromImageInformation) {
    usb.setReply(0x86, {0, 5, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    CpiCameraStateInfo state{};
    std::memset(&state, 0xAB, sizeof state);
    ASSERT_EQ(CpiGetCameraStateInfo(c, &state), uint32_t(kCpiOk));
    EXPECT_EQ(state.byte0, 0);
    EXPECT_EQ(state.busy, 0);
    EXPECT_EQ(state.ImageCount, 5);
    EXPECT_EQ(state.HeaderCount, 6);
    EXPECT_EQ(usb.requests(), std::vector<uint8_t>{0x86});
}

// The extended command set: version bits 24-31 non-zero, or bits 16-23 at least 0x61.
struct VersionCase {
    const char* name;
    uint32_t version;
    bool extended;
};

class VersionRuleTest : public CameraTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionRuleTest, StateQueryFollowsTheCommandSet) {
    CameraInfoReply reply;
    reply.version = GetParam().version;
    CpiConnection* c = openUsb(reply);
    CpiCameraStateInfo state{};
    ASSERT_EQ(CpiGetCameraStateInfo(c, &state), uint32_t(kCpiOk));
    EXPECT_EQ(usb.requests(), std::vector<uint8_t>{uint8_t(GetParam().extended ? 0x8D : 0x86)});
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionRuleTest,
                         ::testing::Values(VersionCase{"v60", 0x00600000, false},
                                           VersionCase{"v60_low_bits_set", 0x0060FFFF, false},
                                           VersionCase{"v61", 0x00610000, true},
                                           VersionCase{"vFF", 0x00FF0000, true},
                                           VersionCase{"high_byte", 0x01000000, true},
                                           VersionCase{"zero", 0, false}),
                         CaseName());

TEST_F(CommandTest, ImageFormatReadsByteZeroAndOptionallyTheInformation) {
    usb.setReply(0x87, {3, 9, 9, 9, 9, 9, 9, 9});
    uint32_t format = 0xEE;
    ASSERT_EQ(CpiGetImageFormat(c, &format, nullptr), uint32_t(kCpiOk));
    EXPECT_EQ(format, 3u);
    EXPECT_EQ(usb.requests(), std::vector<uint8_t>{0x87});

    usb.clearLog();
    usb.failRequest(0x86, 0x74);
    CpiImageInfo info{};
    EXPECT_EQ(CpiGetImageFormat(c, &format, &info), 0x74u);
    EXPECT_EQ(usb.requests(), (std::vector<uint8_t>{0x87, 0x86}));
}

TEST_F(CommandTest, ImageFormatExMapsTheSizeToAFormat) {
    usb.setReply(0x86, {0, 1, 0, 1, 0x02, 0x84, 0x01, 0xE4, 0, 0, 0, 0, 84, 68, 0, 0});
    uint32_t format = 0xEE;
    CpiImageInfoEx ex{};
    ASSERT_EQ(CpiGetImageFormatEx(c, 0, &format, &ex), uint32_t(kCpiOk));
    EXPECT_EQ(format, 1u);
    EXPECT_EQ(ex.imageWidth, 640);
}

TEST_F(CommandTest, ImageFormatExOfAnUnknownSizeIs10AndStillCopiesTheSizes) {
    usb.setReply(0x86, {0, 1, 0, 1, 0x00, 0x68, 0x00, 0x54, 0, 0, 0, 0, 84, 68, 0, 0});
    uint32_t format = 0xEE;
    CpiImageInfoEx ex{};
    EXPECT_EQ(CpiGetImageFormatEx(c, 0, &format, &ex), uint32_t(kCpiWrongSize));
    EXPECT_EQ(format, 0xEEu);
    EXPECT_EQ(ex.imageWidth, 100);
    EXPECT_EQ(ex.imageHeight, 80);
    EXPECT_EQ(CpiGetImageFormatEx(c, 0, &format, nullptr), uint32_t(kCpiWrongSize));
}

TEST_F(CommandTest, QueriesPassTransportFailuresAndLeaveRecordsAlone) {
    usb.failEntry("CtiCommand", 0x75);
    CpiImageInfo info;
    std::memset(&info, 0xAB, sizeof info);
    CpiImageInfoEx ex;
    std::memset(&ex, 0xAB, sizeof ex);
    uint32_t format = 0xEE;
    uint16_t error = 0xEEEE;
    EXPECT_EQ(CpiGetImageInfo(c, &info), 0x75u);
    EXPECT_EQ(CpiGetImageInfoEx(c, 0, &ex), 0x75u);
    EXPECT_EQ(CpiGetImageFormatEx(c, 0, &format, &ex), 0x75u);
    EXPECT_EQ(CpiGetLastError(c, &error), 0x75u);
    EXPECT_EQ(info.ImageCount, 0xABAB);
    EXPECT_EQ(ex.imageWidth, 0xABAB);
    EXPECT_EQ(format, 0xEEu);
    EXPECT_EQ(error, 0xEEEE);
    usb.failEntry("CtiCommand", 0);
}

// ---- Settle wait --------------------------------------------------------------------------

class SettleTest : public CameraTest {};

TEST_F(SettleTest, ExtendedCameraIsPolledWhileBusy) {
    CameraInfoReply reply;
    reply.version = kExtendedVersion;
    reply.capabilities = 0x01;
    setCamera(reply);
    usb.queueReply(0x8D, {0, 1, 0, 0, 0, 0, 0, 0});
    usb.queueReply(0x8D, {0, 1, 0, 0, 0, 0, 0, 0});
    usb.setReply(0x8D, {0, 0, 0, 0, 0, 0, 0, 0});
    CpiConnection* c = nullptr;
    ASSERT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), uint32_t(kCpiOk));
    EXPECT_EQ(usb.requests(), (std::vector<uint8_t>{0x85, 0x88, 0x8D, 0x8D, 0x8D, 0x8A}));
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(SettleTest, ExtendedCameraThatStaysBusyIsReadTwentyMoreTimes) {
    CameraInfoReply reply;
    reply.version = kExtendedVersion;
    reply.capabilities = 0x01;
    setCamera(reply);
    usb.setReply(0x8D, {0, 1, 0, 0, 0, 0, 0, 0});
    CpiConnection* c = nullptr;
    ASSERT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), uint32_t(kCpiOk)); // the last read's result
    size_t reads = 0;
    for (uint8_t r : usb.requests())
        reads += r == 0x8D;
    EXPECT_EQ(reads, 21u);
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(SettleTest, PollingStopsAtAFailedRead) {
    CameraInfoReply reply;
    reply.version = kExtendedVersion;
    reply.capabilities = 0x01;
    setCamera(reply);
    usb.queueReply(0x8D, {0, 1, 0, 0, 0, 0, 0, 0});
    usb.failNthCall("CtiCommand", 4, 0x76); // 0x85, echo, first 0x8D, then this one
    CpiConnection* c = nullptr;
    EXPECT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), 0x76u);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(SettleTest, OlderCameraPausesTwoSeconds) {
    CameraInfoReply reply;
    reply.capabilities = 0x01;
    setCamera(reply);
    CpiConnection* c = nullptr;
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), uint32_t(kCpiOk));
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(1950));
    EXPECT_EQ(usb.requests(), (std::vector<uint8_t>{0x85, 0x88, 0x8A})); // nothing is polled
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(SettleTest, CameraWithoutCapabilityBitZeroDoesNotWait) {
    CameraInfoReply reply;
    reply.version = kExtendedVersion;
    reply.capabilities = 0xFE;
    setCamera(reply);
    CpiConnection* c = nullptr;
    ASSERT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), uint32_t(kCpiOk));
    EXPECT_EQ(usb.requests(), (std::vector<uint8_t>{0x85, 0x88, 0x8A}));
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

} // namespace
} // namespace kerris::camera::testing
