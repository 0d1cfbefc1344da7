// The connection frame: closing, the connection check of every export, enumeration, camera
// names, error texts, the reset sequence and the sync.
#include "tests/camera/camera_fixture.h"

#include <cstring>
#include <functional>
#include <string>

namespace kerris::camera::testing {
namespace {

using FrameTest = CameraTest;

// ---- Closing ------------------------------------------------------------------------------

TEST_F(FrameTest, CloseRefusedByTheTransportKeepsTheConnection) {
    CpiConnection* c = openUsb();
    usb.failNthCall("CtiHandleClose", 1, 0x777);
    EXPECT_EQ(CpiCameraClose(c), 0x777u);
    EXPECT_TRUE(colour.calls("KERC_Close").empty());
    // Still open and usable: a command goes out, then the retried close succeeds.
    EXPECT_EQ(CpiResetImageIndex(c, 1), uint32_t(kCpiOk));
    EXPECT_EQ(usb.requests().back(), 0x06);
    EXPECT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(FrameTest, ClosedConnectionIsRefusedWithoutReadingIt) {
    CpiConnection* c = openUsb();
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
    usb.clearLog();
    // The record is freed: under the address sanitizer a read of it would stop the test here.
    EXPECT_EQ(CpiCameraClose(c), uint32_t(kCpiBadConnection));
    EXPECT_EQ(CpiResetComms(c), uint32_t(kCpiBadConnection));
    uint16_t error = 0;
    EXPECT_EQ(CpiGetLastError(c, &error), uint32_t(kCpiBadConnection));
    EXPECT_TRUE(usb.log().empty());
}

// ---- The connection check of every export -----------------------------------------------

struct ExportCall {
    const char* name;
    std::function<uint32_t(CpiConnection*)> call;
};

std::vector<ExportCall> connectionExports() {
    static uint8_t bytes[64];
    static float matrix[9];
    static CpiCameraInfo info;
    static CpiImageInfo imageInfo;
    static CpiImageInfoEx infoEx;
    static CpiCameraStateInfo state;
    static CpiImageDescriptor descriptor;
    static uint32_t value;
    static uint16_t word;
    static char text[64];
    return {
        {"CpiCameraClose", [](CpiConnection* c) { return CpiCameraClose(c); }},
        {"CpiGetErrorText",
         [](CpiConnection* c) { return CpiGetErrorText(c, 1, text, sizeof text); }},
        {"CpiGetLastError", [](CpiConnection* c) { return CpiGetLastError(c, &word); }},
        {"CpiSetNoOfRetrys", [](CpiConnection* c) { return CpiSetNoOfRetrys(c, 1); }},
        {"CpiSetLockTimeout", [](CpiConnection* c) { return CpiSetLockTimeout(c, 1); }},
        {"CpiResetComms", [](CpiConnection* c) { return CpiResetComms(c); }},
        {"CpiSyncCamera", [](CpiConnection* c) { return CpiSyncCamera(c); }},
        {"CpiGetCameraInfo", [](CpiConnection* c) { return CpiGetCameraInfo(c, &info); }},
        {"CpiGetImageInfo", [](CpiConnection* c) { return CpiGetImageInfo(c, &imageInfo); }},
        {"CpiGetImageInfoEx", [](CpiConnection* c) { return CpiGetImageInfoEx(c, 0, &infoEx); }},
        {"CpiGetCameraStateInfo",
         [](CpiConnection* c) { return CpiGetCameraStateInfo(c, &state); }},
        {"CpiGetPowerStatus", [](CpiConnection* c) { return CpiGetPowerStatus(c, &value); }},
        {"CpiGetImageFormat",
         [](CpiConnection* c) { return CpiGetImageFormat(c, &value, &imageInfo); }},
        {"CpiGetImageFormatEx",
         [](CpiConnection* c) { return CpiGetImageFormatEx(c, 0, &value, &infoEx); }},
        {"CpiSetImageFormat", [](CpiConnection* c) { return CpiSetImageFormat(c, 1); }},
        {"CpiReadCtrlReg", [](CpiConnection* c) { return CpiReadCtrlReg(c, 0, 1, 4, bytes); }},
        {"CpiWriteCtrlReg", [](CpiConnection* c) { return CpiWriteCtrlReg(c, 0, 1, 4, bytes); }},
        {"CpiReadSdram", [](CpiConnection* c) { return CpiReadSdram(c, 0, 4, bytes, 0); }},
        {"CpiWriteSdram", [](CpiConnection* c) { return CpiWriteSdram(c, 0, 4, bytes, 0); }},
        {"CpiTestControl", [](CpiConnection* c) { return CpiTestControl(c, 1, 2, bytes, 4); }},
        {"CpiGrabImage", [](CpiConnection* c) { return CpiGrabImage(c, 1, 1); }},
        {"CpiResetImageIndex", [](CpiConnection* c) { return CpiResetImageIndex(c, 1); }},
        {"CpiSetColourMatrix", [](CpiConnection* c) { return CpiSetColourMatrix(c, matrix); }},
        {"CpiGetColourMatrix", [](CpiConnection* c) { return CpiGetColourMatrix(c, matrix); }},
        {"CpiUploadImage",
         [](CpiConnection* c) { return CpiUploadImage(c, 0, nullptr, &descriptor); }},
        {"CpiBulkUpload", [](CpiConnection* c) { return CpiBulkUpload(c, 0, 4, bytes, 0); }},
        {"CpiGetImageHeader",
         [](CpiConnection* c) { return CpiGetImageHeader(c, 0, &descriptor); }},
        {"CpiReadNextImageBlock",
         [](CpiConnection* c) { return CpiReadNextImageBlock(c, &value); }},
    };
}

TEST_F(FrameTest, EveryExportRefusesANullOrForeignConnection) {
    // A record that looks open but was never made by CpiCameraOpen.
    alignas(8) unsigned char foreign[1024] = {'C', 'P', 'I', 'D'};
    alignas(8) unsigned char closed[1024] = {'N', 'U', 'L', 'L'};
    for (const auto& e : connectionExports()) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.call(nullptr), uint32_t(kCpiBadConnection));
        EXPECT_EQ(e.call(reinterpret_cast<CpiConnection*>(foreign)), uint32_t(kCpiBadConnection));
        EXPECT_EQ(e.call(reinterpret_cast<CpiConnection*>(closed)), uint32_t(kCpiBadConnection));
    }
    EXPECT_EQ(std::memcmp(foreign, "CPID", 4), 0);
    EXPECT_TRUE(usb.log().empty());
    EXPECT_TRUE(colour.log().empty());
}

TEST_F(FrameTest, RequiredPointersAreCheckedAfterTheConnection) {
    CpiConnection* c = openUsb();
    uint32_t value = 0;
    EXPECT_EQ(CpiGetLastError(c, nullptr), uint32_t(kCpiNullPointer));
    EXPECT_EQ(CpiGetCameraInfo(c, nullptr), uint32_t(kCpiNullPointer));
    EXPECT_EQ(CpiGetImageInfo(c, nullptr), uint32_t(kCpiNullPointer));
    EXPECT_EQ(CpiGetImageInfoEx(c, 0, nullptr), uint32_t(kCpiNullPointer));
    EXPECT_EQ(CpiGetCameraStateInfo(c, nullptr), uint32_t(kCpiNullPointer));
    EXPECT_EQ(CpiGetPowerStatus(c, nullptr), uint32_t(kCpiNullPointer));
    EXPECT_EQ(CpiGetImageFormat(c, nullptr, nullptr), uint32_t(kCpiNullPointer));
    EXPECT_EQ(CpiGetImageFormatEx(c, 0, nullptr, nullptr), uint32_t(kCpiNullPointer));
    EXPECT_EQ(CpiGetCameraInfo(nullptr, nullptr), uint32_t(kCpiBadConnection));
    EXPECT_TRUE(usb.log().empty());
    (void)value;
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

// ---- Enumeration --------------------------------------------------------------------------

TEST_F(FrameTest, EnumerationStopsAtCapacityButCountsEveryCamera) {
    usb.setCameras({1, 2, 3});
    serial.setCameras({9});
    uint16_t ids[3] = {0xEEEE, 0xEEEE, 0xEEEE};
    uint8_t count = 0xEE;
    ASSERT_EQ(CpiCameraEnum(11, 22, 2, ids, &count), uint32_t(kCpiOk));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(ids[0], 0x2001);
    EXPECT_EQ(ids[1], 0x2002);
    EXPECT_EQ(ids[2], 0xEEEE);
    auto calls = usb.calls("CtiCameraEnum");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args[0], 11u);
    EXPECT_EQ(calls[0].args[1], 22u);
    EXPECT_EQ(calls[0].args[2], 2u);
    EXPECT_TRUE(serial.log().empty()); // the serial pass is skipped
}

TEST_F(FrameTest, SerialCamerasFollowTheUsbOnesInTheRoomLeft) {
    usb.setCameras({5});
    serial.setCameras({1, 2, 3});
    uint16_t ids[4] = {0xEEEE, 0xEEEE, 0xEEEE, 0xEEEE};
    uint8_t count = 0;
    ASSERT_EQ(CpiCameraEnum(0, 0, 3, ids, &count), uint32_t(kCpiOk));
    EXPECT_EQ(count, 4);
    EXPECT_EQ(ids[0], 0x2005);
    EXPECT_EQ(ids[1], 0x1001);
    EXPECT_EQ(ids[2], 0x1002);
    EXPECT_EQ(ids[3], 0xEEEE);
    // The serial pass is asked with the full capacity.
    EXPECT_EQ(serial.calls("CtiCameraEnum")[0].args[2], 3u);
}

struct EnumCase {
    const char* name;
    uint32_t usbStatus;
    uint32_t serialStatus;
    uint32_t expected;
    uint8_t expectedCount;
};

class EnumStatusTest : public CameraTest, public ::testing::WithParamInterface<EnumCase> {};

TEST_P(EnumStatusTest, ResultOfBothPasses) {
    const EnumCase& tc = GetParam();
    usb.setCameras({1}, tc.usbStatus);
    serial.setCameras({2}, tc.serialStatus);
    uint16_t ids[4] = {};
    uint8_t count = 0xEE;
    EXPECT_EQ(CpiCameraEnum(0, 0, 4, ids, &count), tc.expected);
    EXPECT_EQ(count, tc.expectedCount);
}

INSTANTIATE_TEST_SUITE_P(
    Passes, EnumStatusTest,
    ::testing::Values(EnumCase{"both_found", 0, 0, kCpiOk, 2},
                      EnumCase{"usb_none", 0x3003, 0, kCpiOk, 1},
                      EnumCase{"serial_none_0x3003", 0, 0x3003, kCpiOk, 1},
                      EnumCase{"serial_none_0x42", 0, 0x42, kCpiOk, 1},
                      EnumCase{"usb_error_replaced_by_serial", 0x99, 0, kCpiOk, 1},
                      EnumCase{"serial_error", 0, 0x98, 0x98, 1},
                      EnumCase{"usb_0x42_is_an_error", 0x42, 0x3003, kCpiOk, 0}),
    CaseName());

class EnumUsbOnly : public CameraTest {
protected:
    EnumUsbOnly() : CameraTest({"libkerrisu.so"}) {}
};

TEST_F(EnumUsbOnly, UsbErrorStandsWhenTheSerialLibraryIsMissing) {
    usb.setCameras({1}, 0x99);
    uint16_t ids[2] = {};
    uint8_t count = 0xEE;
    EXPECT_EQ(CpiCameraEnum(0, 0, 2, ids, &count), 0x99u);
    EXPECT_EQ(count, 0);
}

TEST_F(FrameTest, EnumerationNeedsBothOutPointers) {
    uint16_t ids[2];
    uint8_t count;
    EXPECT_EQ(CpiCameraEnum(0, 0, 2, nullptr, &count), uint32_t(kCpiNullPointer));
    EXPECT_EQ(CpiCameraEnum(0, 0, 2, ids, nullptr), uint32_t(kCpiNullPointer));
    EXPECT_TRUE(usb.log().empty());
}

TEST_F(FrameTest, ZeroCapacityStillCounts) {
    usb.setCameras({1, 2});
    serial.setCameras({3});
    uint16_t ids[1] = {0xEEEE};
    uint8_t count = 0;
    ASSERT_EQ(CpiCameraEnum(0, 0, 0, ids, &count), uint32_t(kCpiOk));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(ids[0], 0xEEEE);
}

TEST_F(FrameTest, EnumerationLeavesTheOpenCameraReachable) {
    CpiConnection* c = openUsb();
    serial.setCameras({1});
    uint16_t ids[4];
    uint8_t count = 0;
    ASSERT_EQ(CpiCameraEnum(0, 0, 4, ids, &count), uint32_t(kCpiOk));
    usb.clearLog();
    EXPECT_EQ(CpiResetImageIndex(c, 3), uint32_t(kCpiOk));
    EXPECT_EQ(usb.requests(), std::vector<uint8_t>{0x06});
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

// ---- Camera names -------------------------------------------------------------------------

TEST_F(FrameTest, NameOperationsChooseTheTransportFromTheId) {
    char name[32] = {};
    usb.setName("Usb5");
    ASSERT_EQ(CpiCameraNameGet(0x2005, 77, name), uint32_t(kCpiOk));
    EXPECT_STREQ(name, "Usb5");
    auto get = usb.calls("CtiCameraNameGet");
    ASSERT_EQ(get.size(), 1u);
    EXPECT_EQ(get[0].args[0], 5u);
    EXPECT_EQ(get[0].args[1], 77u);

    char newName[] = "Serial";
    ASSERT_EQ(CpiCameraNameSet(0x1003, 1, newName), uint32_t(kCpiOk));
    auto set = serial.calls("CtiCameraNameSet");
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].args[0], 3u);
    EXPECT_EQ(std::string(set[0].data.begin(), set[0].data.end()), "Serial");
}

TEST_F(FrameTest, NameOperationsRejectUnknownIdsAndNullBuffers) {
    char name[32];
    EXPECT_EQ(CpiCameraNameGet(0x3005, 0, name), uint32_t(kCpiBadValue));
    EXPECT_EQ(CpiCameraNameSet(0x0005, 0, name), uint32_t(kCpiBadValue));
    EXPECT_EQ(CpiCameraNameGet(0x2005, 0, nullptr), uint32_t(kCpiNullPointer));
    EXPECT_EQ(CpiCameraNameGet(0x3005, 0, nullptr), uint32_t(kCpiNullPointer)); // buffer first
    EXPECT_TRUE(usb.log().empty());
    EXPECT_TRUE(serial.log().empty());
}

TEST_F(FrameTest, NameOperationPassesTheTransportResult) {
    char name[32];
    usb.failEntry("CtiCameraNameGet", 0x4242);
    EXPECT_EQ(CpiCameraNameGet(0x2001, 0, name), 0x4242u);
}

TEST_F(EnumUsbOnly, NameOperationOnAMissingTransportIsAValueError) {
    char name[32];
    EXPECT_EQ(CpiCameraNameGet(0x1001, 0, name), uint32_t(kCpiBadValue));
}

// ---- Error texts, retries, lock timeout ---------------------------------------------------

TEST_F(FrameTest, ErrorTextComesFromTheTransport) {
    usb.setOpen(0, 1, 0x1111);
    CpiConnection* c = openUsb();
    char text[64] = {};
    ASSERT_EQ(CpiGetErrorText(c, 0x43, text, sizeof text), uint32_t(kCpiOk));
    EXPECT_STREQ(text, "fake error 0x43");
    auto calls = usb.calls("CtiGetErrorText");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args[0], 0x1111u);
    EXPECT_EQ(calls[0].args[2], uint32_t(sizeof text));
    usb.clearLog();
    EXPECT_EQ(CpiGetErrorText(c, 0x43, text, 0), uint32_t(kCpiBadValue));
    EXPECT_EQ(CpiGetErrorText(c, 0x43, nullptr, 64), uint32_t(kCpiBadValue));
    EXPECT_TRUE(usb.log().empty());
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(FrameTest, LockTimeoutKeepsItsLowSixteenBitsOnTheWayToTheTransport) {
    CpiConnection* c = openUsb();
    uint8_t buffer[4];
    usb.queueData({1, 2, 3, 4});
    ASSERT_EQ(CpiBulkUpload(c, 0, 4, buffer, 0), uint32_t(kCpiOk)); // the default first
    ASSERT_EQ(CpiSetLockTimeout(c, 70000), uint32_t(kCpiOk));
    usb.queueData({1, 2, 3, 4});
    ASSERT_EQ(CpiBulkUpload(c, 0, 4, buffer, 0), uint32_t(kCpiOk));
    auto locks = usb.calls("CtiHandleLockThread");
    ASSERT_EQ(locks.size(), 2u);
    EXPECT_EQ(locks[0].args[1], 20000u);
    EXPECT_EQ(locks[1].args[1], 4464u);
    EXPECT_EQ(usb.lockBalance(), 0);
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

// ---- Reset sequence and sync --------------------------------------------------------------

TEST_F(FrameTest, ResetSendsAbortResetsTheLinkAndIdles) {
    CpiConnection* c = openUsb();
    EXPECT_EQ(CpiResetComms(c), uint32_t(kCpiOk));
    auto log = usb.log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].name, "CtiCommand");
    EXPECT_EQ(log[0].args[1], 0x04u);
    EXPECT_EQ(log[0].args[4], 0u); // no data
    EXPECT_EQ(log[1].name, "CtiResetTransport");
    EXPECT_EQ(log[2].name, "CtiCommand");
    EXPECT_EQ(log[2].args[1], 0x00u);
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(FrameTest, ResetIgnoresAbortAndLinkFailuresAndRetriesIdle) {
    CpiConnection* c = openUsb();
    usb.failRequest(0x04, 0x51);
    usb.failEntry("CtiResetTransport", 0x52);
    usb.failRequest(0x00, 0x53, 3);
    EXPECT_EQ(CpiResetComms(c), uint32_t(kCpiOk));
    EXPECT_EQ(usb.requests(), (std::vector<uint8_t>{0x04, 0x00, 0x00, 0x00, 0x00}));
    usb.failEntry("CtiResetTransport", 0);
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(FrameTest, ResetGivesUpAfterFiveIdleAttempts) {
    CpiConnection* c = openUsb();
    usb.failRequest(0x00, 0x53);
    EXPECT_EQ(CpiResetComms(c), 0x53u);
    EXPECT_EQ(usb.requests(), (std::vector<uint8_t>{0x04, 0x00, 0x00, 0x00, 0x00, 0x00}));
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(FrameTest, SyncSendsAPlainEchoThenTheEchoTest) {
    CpiConnection* c = openUsb();
    usb.failRequest(0x88, 0x61, 1); // the plain echo's failure is ignored
    EXPECT_EQ(CpiSyncCamera(c), uint32_t(kCpiOk));
    auto commands = usb.calls("CtiCommand");
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].args[1], 0x88u);
    EXPECT_EQ(commands[0].args[2], 0x34u);
    EXPECT_EQ(commands[0].args[3], 0x12u);
    EXPECT_EQ(commands[0].args[5], 0u); // not a task
    EXPECT_EQ(commands[1].args[2], 0x78u);
    EXPECT_EQ(commands[1].args[3], 0x56u);
    EXPECT_EQ(commands[1].args[5], 1u);
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(FrameTest, SyncReturnsTheEchoFailure) {
    CpiConnection* c = openUsb();
    usb.queueReply(0x88, {0, 0}); // the plain echo
    usb.queueReply(0x88, {0x78, 0x57});
    EXPECT_EQ(CpiSyncCamera(c), uint32_t(kCpiEchoMismatch));
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

} // namespace
} // namespace kerris::camera::testing
