// Outside libraries that lack entry points: only the calls that need a missing name fail
// (0x3003 from the transport, 1 from the colour library) and everything else carries on.
#include "tests/camera/camera_fixture.h"

#include <cstring>

namespace kerris::camera::testing {
namespace {

// USB is the lean transport (open, close, command, task wait and data read only), the serial
// link and colour library are complete.
class LeanTransportTest : public CameraTest {
protected:
    LeanTransportTest() : CameraTest({"lean/libkerrisu.so", "libkerrissl.so", "libkercol.so"}) {
        lean.reset();
    }
    void TearDown() override {
        EXPECT_EQ(lean.openHandles(), 0);
        lean.unload();
        EXPECT_FALSE(fakes::isLoaded(lean.path()));
        CameraTest::TearDown();
    }
    CpiConnection* openLean() {
        lean.setReply(0x85, CameraInfoReply{}.bytes());
        CpiConnection* c = nullptr;
        EXPECT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), uint32_t(kCpiOk));
        lean.clearLog();
        return c;
    }
    FakeTransport lean{"lean/libkerrisu.so"};
};

TEST_F(LeanTransportTest, OpenWorksWithoutTheTransportVersion) {
    CpiConnection* c = openLean();
    CpiCameraInfo info{};
    ASSERT_EQ(CpiGetCameraInfo(c, &info), uint32_t(kCpiOk));
    EXPECT_EQ(info.interfaceVersions, 0x00000104u);
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(LeanTransportTest, MissingEntriesFailTheirCallsOnlyAndEveryTime) {
    CpiConnection* c = openLean();
    char text[32] = "untouched";
    EXPECT_EQ(CpiGetErrorText(c, 1, text, sizeof text), uint32_t(kCpiNoTransport));
    EXPECT_EQ(CpiGetErrorText(c, 1, text, sizeof text), uint32_t(kCpiNoTransport));
    EXPECT_STREQ(text, "untouched");
    uint8_t buffer[4];
    EXPECT_EQ(CpiBulkUpload(c, 0, 4, buffer, 0), uint32_t(kCpiNoTransport)); // no lock entry
    // The reset carries on without the transport reset.
    EXPECT_EQ(CpiResetComms(c), uint32_t(kCpiOk));
    EXPECT_EQ(lean.requests(), (std::vector<uint8_t>{0x04, 0x00}));
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(LeanTransportTest, EchoTaskIsAbandonedEvenWithoutAnAbortEntry) {
    lean.setReply(0x85, CameraInfoReply{}.bytes());
    lean.setTaskWait(0x11, false);
    CpiConnection* c = nullptr;
    EXPECT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), uint32_t(kCpiTaskIncomplete));
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(LeanTransportTest, EnumerationTreatsAMissingEnumEntryAsNoCameras) {
    serial.setCameras({6});
    uint16_t ids[4] = {};
    uint8_t count = 0;
    ASSERT_EQ(CpiCameraEnum(0, 0, 4, ids, &count), uint32_t(kCpiOk));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(ids[0], 0x1006);
}

TEST_F(LeanTransportTest, NameOperationOnALeanTransportIs3003) {
    char name[32];
    EXPECT_EQ(CpiCameraNameGet(0x2001, 0, name), uint32_t(kCpiNoTransport));
    EXPECT_EQ(CpiCameraNameSet(0x2001, 0, name), uint32_t(kCpiNoTransport));
}

// The colour library lacks the device defaults, queries and conversions.
class LeanColourTest : public CameraTest {
protected:
    LeanColourTest() : CameraTest({"libkerrisu.so", "lean/libkercol.so"}) { lean.reset(); }
    void TearDown() override {
        EXPECT_EQ(lean.openHandles(), 0);
        lean.unload();
        EXPECT_FALSE(fakes::isLoaded(lean.path()));
        CameraTest::TearDown();
    }
    FakeColour lean{"lean/libkercol.so"};
};

TEST_F(LeanColourTest, MissingDeviceDefaultsCountAsFailedAndQueriesLeaveTheMatrix) {
    CameraInfoReply reply;
    reply.sensor = 0x1941;
    CpiConnection* c = openUsb(reply);
    (void)c;
    ASSERT_NE(c, nullptr);
    // Looked at after the open: the fallback values, the mode and the sensor matrix were set.
    std::vector<uint32_t> order;
    for (auto& call : lean.calls("KERC_SetParameter"))
        order.push_back(call.args[1]);
    EXPECT_EQ(order, (std::vector<uint32_t>{0, 2, 24, 11}));
    float matrix[9] = {9, 9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(CpiGetColourMatrix(c, matrix), uint32_t(kCpiOk));
    EXPECT_EQ(matrix[0], 9.0f);
    ASSERT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
    EXPECT_EQ(lean.calls("KERC_Close").size(), 1u);
}

} // namespace
} // namespace kerris::camera::testing
