// Opening and closing cameras: transport choice, the steps of an open failing one by one,
// the echo test at open, and what a closed connection is still good for.
#include "tests/camera/camera_fixture.h"

#include <string>

namespace kerris::camera::testing {
namespace {

using OpenTest = CameraTest;

TEST_F(OpenTest, UsbCameraOpensWithItsIdAndClosesCleanly) {
    usb.setOpen(0, 7, 0x99);
    setCamera({});
    CpiConnection* c = kUntouched;
    uint16_t id = 0;
    ASSERT_EQ(CpiCameraOpen(0x2000, 3, &c, &id), uint32_t(kCpiOk));
    ASSERT_NE(c, kUntouched);
    EXPECT_EQ(id, 0x2007);
    auto opens = usb.calls("CtiHandleOpen");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].args[0], 3u);      // port
    EXPECT_EQ(opens[0].args[1], 0x2000u); // selector, unchanged
    // Camera information, then the echo test as a task, then the colour data length.
    EXPECT_EQ(usb.requests(), (std::vector<uint8_t>{0x85, 0x88, 0x8A}));
    auto echo = usb.calls("CtiCommand")[1];
    EXPECT_EQ(echo.args[2], 0x78u);
    EXPECT_EQ(echo.args[3], 0x56u);
    EXPECT_EQ(echo.args[5], 1u); // started as a task
    auto wait = usb.calls("CtiTaskWaitComplete");
    ASSERT_EQ(wait.size(), 1u);
    EXPECT_EQ(wait[0].args[1], 50u);
    auto kercOpen = colour.calls("KERC_Open");
    ASSERT_EQ(kercOpen.size(), 1u);
    EXPECT_EQ(kercOpen[0].args[0], 0u);
    EXPECT_EQ(kercOpen[0].args[1], 0u);
    EXPECT_TRUE(serial.log().empty());

    CpiCameraInfo info{};
    ASSERT_EQ(CpiGetCameraInfo(c, &info), uint32_t(kCpiOk));
    EXPECT_EQ(info.cameraId, 0x2007);

    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
    auto closes = usb.calls("CtiHandleClose");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].args[0], 0x99u);
    auto kercClose = colour.calls("KERC_Close");
    ASSERT_EQ(kercClose.size(), 1u);
    EXPECT_EQ(kercClose[0].args[0], 0x5EEDu);
}

TEST_F(OpenTest, UnknownSelectorIsRefusedBeforeAnyLoad) {
    for (uint32_t selector : {0x3000u, 0x0100u, 0xFF00u, 0x3020u}) {
        SCOPED_TRACE(selector);
        CpiConnection* c = kUntouched;
        uint16_t id = 0xABCD;
        EXPECT_EQ(CpiCameraOpen(selector, 0, &c, &id), uint32_t(kCpiNoTransport));
        EXPECT_EQ(c, nullptr);
        EXPECT_EQ(id, 0xABCD);
    }
    EXPECT_TRUE(usb.log().empty());
    EXPECT_TRUE(serial.log().empty());
    EXPECT_TRUE(colour.log().empty());
}

TEST_F(OpenTest, NullConnectionPointerIsAValueError) {
    EXPECT_EQ(CpiCameraOpen(0x2000, 0, nullptr, nullptr), uint32_t(kCpiBadValue));
    EXPECT_TRUE(usb.log().empty());
}

TEST_F(OpenTest, AnyTransportFallsBackToTheSerialLinkWhenUsbFails) {
    usb.setOpen(0x2222);
    serial.setOpen(0, 4, 0x55);
    setCamera({});
    CpiConnection* c = kUntouched;
    uint16_t id = 0;
    ASSERT_EQ(CpiCameraOpen(0x0000, 1, &c, &id), uint32_t(kCpiOk));
    EXPECT_EQ(id, 0x1004);
    EXPECT_EQ(usb.calls("CtiHandleOpen").size(), 1u);
    EXPECT_EQ(serial.calls("CtiHandleOpen").size(), 1u);
    // Everything after the open goes to the serial link.
    EXPECT_EQ(usb.requests(), std::vector<uint8_t>{});
    EXPECT_EQ(serial.requests(), (std::vector<uint8_t>{0x85, 0x88, 0x8A}));
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(OpenTest, LastFailingAttemptDecidesTheStatus) {
    usb.setOpen(0x2222);
    serial.setOpen(0x3333);
    CpiConnection* c = kUntouched;
    EXPECT_EQ(CpiCameraOpen(0x0000, 0, &c, nullptr), 0x3333u);
    EXPECT_EQ(c, nullptr);
}

TEST_F(OpenTest, SerialOnlyAndUsbOnlySelectorsTryOneTransport) {
    serial.setOpen(0x3333);
    CpiConnection* c = kUntouched;
    EXPECT_EQ(CpiCameraOpen(0x1000, 0, &c, nullptr), 0x3333u);
    EXPECT_EQ(c, nullptr);
    EXPECT_TRUE(usb.log().empty());

    usb.setOpen(0x2222);
    c = kUntouched;
    EXPECT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), 0x2222u);
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(serial.calls("CtiHandleOpen").size(), 1u);
}

TEST_F(OpenTest, CameraIdPointerMayBeNull) {
    setCamera({});
    CpiConnection* c = nullptr;
    ASSERT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), uint32_t(kCpiOk));
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

class SerialOnlyMachine : public CameraTest {
protected:
    SerialOnlyMachine() : CameraTest({"libkerrissl.so", "libkercol.so"}) {}
};

TEST_F(SerialOnlyMachine, AnySelectorOpensTheSerialCamera) {
    serial.setOpen(0, 2, 0x77);
    setCamera({});
    CpiConnection* c = kUntouched;
    uint16_t id = 0;
    ASSERT_EQ(CpiCameraOpen(0x0000, 0, &c, &id), uint32_t(kCpiOk));
    EXPECT_EQ(id, 0x1002);
    EXPECT_TRUE(usb.log().empty()); // the USB library is nowhere to be found
    CpiCameraInfo info{};
    ASSERT_EQ(CpiGetCameraInfo(c, &info), uint32_t(kCpiOk));
    EXPECT_EQ(info.cameraId, 0x1002);
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(SerialOnlyMachine, UsbSelectorReportsTheMissingLibrary) {
    CpiConnection* c = kUntouched;
    EXPECT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), uint32_t(kCpiTransportMissing));
    EXPECT_EQ(c, nullptr);
}

// ---- The echo test at open ---------------------------------------------------------------

TEST_F(OpenTest, WrongEchoHandsBackAnOpenConnection) {
    setCamera({});
    usb.setReply(0x88, {0x79, 0x56});
    CpiConnection* c = kUntouched;
    ASSERT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), uint32_t(kCpiEchoMismatch));
    ASSERT_NE(c, kUntouched);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(colour.log().empty()); // the colour library is not reached
    EXPECT_EQ(CpiSetNoOfRetrys(c, 3), uint32_t(kCpiOk));
    EXPECT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
    EXPECT_EQ(usb.calls("CtiHandleClose").size(), 1u);
}

TEST_F(OpenTest, EchoTaskThatNeverFinishesIsAborted) {
    setCamera({});
    usb.setTaskWait(0x11, false);
    CpiConnection* c = kUntouched;
    ASSERT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), uint32_t(kCpiTaskIncomplete));
    ASSERT_NE(c, nullptr);
    ASSERT_NE(c, kUntouched);
    auto aborts = usb.calls("CtiTaskAbort");
    ASSERT_EQ(aborts.size(), 1u);
    EXPECT_EQ(aborts[0].args[0], usb.calls("CtiTaskWaitComplete")[0].args[0]); // the same task
    EXPECT_EQ(usb.pendingTasks(), 0u);
    EXPECT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

struct EchoStartCase {
    const char* name;
    uint32_t version;
    uint32_t startStatus;
    uint32_t expected;
};

class EchoStartTest : public CameraTest, public ::testing::WithParamInterface<EchoStartCase> {};

// 0x41 means "started" only from a camera without the extended command set.
TEST_P(EchoStartTest, StartStatusOfTheEchoTask) {
    const EchoStartCase& tc = GetParam();
    CameraInfoReply info;
    info.version = tc.version;
    setCamera(info);
    usb.setTaskStart(tc.startStatus);
    CpiConnection* c = kUntouched;
    uint32_t status = CpiCameraOpen(0x2000, 0, &c, nullptr);
    EXPECT_EQ(status, tc.expected);
    ASSERT_NE(c, nullptr);
    ASSERT_NE(c, kUntouched);
    EXPECT_EQ(usb.calls("CtiTaskWaitComplete").size(), tc.expected == kCpiOk ? 1u : 0u);
    EXPECT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

INSTANTIATE_TEST_SUITE_P(Versions, EchoStartTest,
                         ::testing::Values(EchoStartCase{"older_0x41", kOlderVersion, 0x41, kCpiOk},
                                           EchoStartCase{"extended_0x41", kExtendedVersion, 0x41,
                                                         0x41},
                                           EchoStartCase{"high_byte_0x41", 0x01000000, 0x41, 0x41},
                                           EchoStartCase{"older_other", kOlderVersion, 0x44, 0x44},
                                           EchoStartCase{"older_ok", kOlderVersion, 0, kCpiOk}),
                         CaseName());

struct EchoWaitCase {
    const char* name;
    uint32_t waitStatus;
    uint32_t expected;
};

class EchoWaitTest : public CameraTest, public ::testing::WithParamInterface<EchoWaitCase> {};

// Finished (0, 0x42, 0x3003) compares the echo; anything else is passed on.
TEST_P(EchoWaitTest, WaitStatusOfTheEchoTask) {
    setCamera({});
    usb.setTaskWait(GetParam().waitStatus, true);
    CpiConnection* c = kUntouched;
    EXPECT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), GetParam().expected);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

INSTANTIATE_TEST_SUITE_P(Results, EchoWaitTest,
                         ::testing::Values(EchoWaitCase{"finished", 0, kCpiOk},
                                           EchoWaitCase{"finished_0x42", 0x42, kCpiOk},
                                           EchoWaitCase{"finished_0x3003", 0x3003, kCpiOk},
                                           EchoWaitCase{"failed", 0x1234, 0x1234}),
                         CaseName());

// ---- Every step of the open failing in turn ----------------------------------------------

enum class Fault {
    UsbLibraryMissing,
    HandleOpen,
    CameraInfo,
    TransportVersion,
    EchoCommand,
    EchoWait,
    SettleRead,
    ColourLibraryMissing,
    ColourOpenRefused,
    ColourOpenRefusedAndCloseFails,
    DeviceDefaults,
    ColourDataLength,
};

struct OpenFaultCase {
    const char* name;
    Fault fault;
    uint32_t expected;
    bool handedBack; // the caller receives an open connection with the status
};

class OpenFaultTest : public CameraTest, public ::testing::WithParamInterface<OpenFaultCase> {
protected:
    OpenFaultTest()
        : CameraTest(GetParam().fault == Fault::UsbLibraryMissing
                         ? std::initializer_list<std::string>{"libkercol.so"}
                     : GetParam().fault == Fault::ColourLibraryMissing
                         ? std::initializer_list<std::string>{"libkerrisu.so"}
                         : std::initializer_list<std::string>{"libkerrisu.so", "libkercol.so"}) {}
};

TEST_P(OpenFaultTest, FailsWithItsStatusAndLeavesNothingBehind) {
    const OpenFaultCase& tc = GetParam();
    CameraInfoReply info;
    if (tc.fault == Fault::SettleRead) {
        info.version = kExtendedVersion;
        info.capabilities = 0x01;
    }
    setCamera(info);
    switch (tc.fault) {
    case Fault::UsbLibraryMissing:
    case Fault::ColourLibraryMissing:
        break;
    case Fault::HandleOpen:
        usb.failEntry("CtiHandleOpen", 0x501);
        break;
    case Fault::CameraInfo:
        usb.failRequest(0x85, 0x502);
        break;
    case Fault::TransportVersion:
        usb.failEntry("CtiGetVersion", 0x503);
        break;
    case Fault::EchoCommand:
        usb.failRequest(0x88, 0x504);
        break;
    case Fault::EchoWait:
        usb.failEntry("CtiTaskWaitComplete", 0x505);
        break;
    case Fault::SettleRead:
        usb.failRequest(0x8D, 0x506);
        break;
    case Fault::ColourOpenRefused:
        colour.setOpenHandle(0);
        break;
    case Fault::ColourOpenRefusedAndCloseFails:
        colour.setOpenHandle(0);
        usb.failEntry("CtiHandleClose", 0x507);
        break;
    case Fault::DeviceDefaults:
        colour.failEntry("KERC_LoadDeviceDefaults", 0x508);
        break;
    case Fault::ColourDataLength:
        usb.failRequest(0x8A, 0x509);
        break;
    }
    CpiConnection* c = kUntouched;
    uint32_t status = CpiCameraOpen(0x2000, 0, &c, nullptr);
    EXPECT_EQ(status, tc.expected);
    if (tc.expected == kCpiColourFailed) {
        EXPECT_EQ(c, kUntouched); // nothing stored
        EXPECT_EQ(usb.calls("CtiHandleClose").size(), 1u);
        // A transport that refuses to close keeps its handle; the library lets go of the rest.
        if (tc.fault == Fault::ColourOpenRefusedAndCloseFails)
            leftUsbHandles = 1;
    } else if (tc.handedBack || tc.expected == kCpiOk) {
        ASSERT_NE(c, kUntouched);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
    } else {
        EXPECT_EQ(c, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, OpenFaultTest,
    ::testing::Values(
        OpenFaultCase{"usb_library_missing", Fault::UsbLibraryMissing, kCpiTransportMissing, false},
        OpenFaultCase{"handle_open", Fault::HandleOpen, 0x501, false},
        OpenFaultCase{"camera_info_unchecked", Fault::CameraInfo, kCpiOk, false},
        OpenFaultCase{"transport_version_unchecked", Fault::TransportVersion, kCpiOk, false},
        OpenFaultCase{"echo_command", Fault::EchoCommand, 0x504, true},
        OpenFaultCase{"echo_wait", Fault::EchoWait, 0x505, true},
        OpenFaultCase{"settle_read", Fault::SettleRead, 0x506, true},
        OpenFaultCase{"colour_library_missing", Fault::ColourLibraryMissing, kCpiColourFailed,
                      false},
        OpenFaultCase{"colour_open_refused", Fault::ColourOpenRefused, kCpiColourFailed, false},
        OpenFaultCase{"colour_refused_close_fails", Fault::ColourOpenRefusedAndCloseFails,
                      kCpiColourFailed, false},
        OpenFaultCase{"device_defaults_unchecked", Fault::DeviceDefaults, kCpiOk, false},
        OpenFaultCase{"colour_data_unchecked", Fault::ColourDataLength, kCpiOk, false}),
    CaseName());

} // namespace
} // namespace kerris::camera::testing
