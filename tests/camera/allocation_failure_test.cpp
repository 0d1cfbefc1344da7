// Memory running out inside the library: the connection record, the enumeration array and
// command records each fail with their own status and leave nothing behind. The test program
// supplies the non-throwing allocation functions, which the library's calls bind to, and makes
// the n-th one fail.
#include "tests/camera/camera_fixture.h"

#include <cstdlib>
#include <new>

// The replacements below pair malloc with free on purpose; the compiler cannot see that the
// operators it matches are these.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
// -1: never fail; n >= 0: the allocation after n more succeeds fails.
int g_failAfter = -1;

void* allocate(std::size_t size, bool counted) noexcept {
    if (counted && g_failAfter >= 0 && g_failAfter-- == 0)
        return nullptr;
    return std::malloc(size ? size : 1);
}
} // namespace

// Every form the library or the standard library may pair is replaced, so that allocation and
// release always meet (malloc and free underneath).
void* operator new(std::size_t size) {
    if (void* p = allocate(size, false))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = allocate(size, false))
        return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, true);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, true);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace kerris::camera::testing {
namespace {

class AllocationTest : public CameraTest {
protected:
    void TearDown() override {
        g_failAfter = -1;
        CameraTest::TearDown();
    }
};

TEST_F(AllocationTest, ConnectionRecordThatCannotBeMadeIsStatusEight) {
    setCamera({});
    CpiConnection* c = kUntouched;
    g_failAfter = 0;
    EXPECT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), uint32_t(kCpiOutOfMemory));
    EXPECT_EQ(c, nullptr);
    EXPECT_TRUE(usb.log().empty());
}

TEST_F(AllocationTest, TransportBindingThatCannotBeMadeCountsAsAMissingLibrary) {
    setCamera({});
    CpiConnection* c = kUntouched;
    g_failAfter = 1;
    EXPECT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), uint32_t(kCpiTransportMissing));
    EXPECT_EQ(c, nullptr);
    EXPECT_TRUE(usb.log().empty());
}

TEST_F(AllocationTest, CommandRecordThatCannotBeMadeSendsNothing) {
    CpiConnection* c = openUsb();
    g_failAfter = 0;
    EXPECT_EQ(CpiResetImageIndex(c, 1), uint32_t(kCpiNoCommandRecord));
    uint16_t error = 0xEEEE;
    g_failAfter = 0;
    EXPECT_EQ(CpiGetLastError(c, &error), uint32_t(kCpiNoCommandRecord));
    EXPECT_EQ(error, 0xEEEE);
    EXPECT_TRUE(usb.calls("CtiCommand").empty());
    g_failAfter = -1;
    EXPECT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(AllocationTest, EchoRecordThatCannotBeMadeFailsTheOpenWithTheConnectionHandedBack) {
    setCamera({});
    CpiConnection* c = kUntouched;
    g_failAfter = 3; // the connection, the transport binding, the 0x85 record, then the echo
    EXPECT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), uint32_t(kCpiNoCommandRecord));
    ASSERT_NE(c, kUntouched);
    ASSERT_NE(c, nullptr);
    g_failAfter = -1;
    EXPECT_EQ(usb.requests(), std::vector<uint8_t>{0x85});
    EXPECT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
}

TEST_F(AllocationTest, EnumerationArrayThatCannotBeMadeIsStatusEight) {
    usb.setCameras({1});
    uint16_t ids[2] = {0xEEEE, 0xEEEE};
    uint8_t count = 0xEE;
    g_failAfter = 0;
    EXPECT_EQ(CpiCameraEnum(0, 0, 2, ids, &count), uint32_t(kCpiOutOfMemory));
    EXPECT_EQ(ids[0], 0xEEEE);
    EXPECT_TRUE(usb.log().empty());
}

} // namespace
} // namespace kerris::camera::testing
