// Shared ground of the camera library's tests: the fakes in a module folder of their own, a
// private registry folder, camera replies built field by field, and the check that nothing is
// left loaded or open when a test ends.
#pragma once

#include "camera/cpi.h"
#include "tests/fakes/fake_control.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace kerris::camera::testing {

using fakes::Call;
using fakes::FakeColour;
using fakes::FakeTransport;
using fakes::ModuleFolder;

// A pointer no call should ever write: a test sees what was stored and what was left alone.
inline CpiConnection* const kUntouched = reinterpret_cast<CpiConnection*>(uintptr_t(0xDEADBEEF));

// Camera versions on either side of the extended command set.
inline constexpr uint32_t kOlderVersion = 0x00600000;
inline constexpr uint32_t kExtendedVersion = 0x00610000;

// The 16 reply bytes of command 0x85.
struct CameraInfoReply {
    uint32_t version = kOlderVersion;
    uint16_t sensor = 0;
    uint8_t capabilities = 0; // r6: bit 0 settle wait, bit 3 thumbnails stored, ...
    uint8_t r7 = 0;
    uint16_t word1 = 0;
    uint16_t word2 = 0;
    uint32_t cameraLong = 0;

    std::vector<uint8_t> bytes() const {
        return {uint8_t(version >> 24),
                uint8_t(version >> 16),
                uint8_t(version >> 8),
                uint8_t(version),
                uint8_t(sensor >> 8),
                uint8_t(sensor),
                capabilities,
                r7,
                uint8_t(word1 >> 8),
                uint8_t(word1),
                uint8_t(word2 >> 8),
                uint8_t(word2),
                uint8_t(cameraLong >> 24),
                uint8_t(cameraLong >> 16),
                uint8_t(cameraLong >> 8),
                uint8_t(cameraLong)};
    }
};

namespace {
// Prints a parameterised case (declared in a test's unnamed namespace) by its `name` field.
template <typename Case>
requires requires(const Case& c) {
    c.name;
}
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}
} // namespace

// Names parameterised cases after their `name` field.
struct CaseName {
    template <typename Info> std::string operator()(const Info& p) const { return p.param.name; }
};

inline std::vector<uint8_t> be16Bytes(uint16_t v) {
    return {uint8_t(v >> 8), uint8_t(v)};
}

// A temporary registry folder for the test's process (KERRIS_REGISTRY_DIR).
class RegistryFolder {
public:
    RegistryFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kerris-registry-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_folder = pattern;
        setenv("KERRIS_REGISTRY_DIR", m_folder.c_str(), 1);
    }
    ~RegistryFolder() {
        unsetenv("KERRIS_REGISTRY_DIR");
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }

private:
    std::filesystem::path m_folder;
};

// The fixture: USB, serial and colour fakes reachable (unless a test names other files), the
// fakes reset, and at the end every fake unloaded by the camera library with no handle open.
class CameraTest : public ::testing::Test {
protected:
    explicit CameraTest(std::initializer_list<std::string> modules = {"libkerrisu.so",
                                                                      "libkerrissl.so",
                                                                      "libkercol.so"})
        : m_modules(modules) {
        usb.reset();
        serial.reset();
        colour.reset();
    }

    void TearDown() override {
        const int32_t usbHandles = usb.openHandles();
        const int32_t serialHandles = serial.openHandles();
        const int32_t colourHandles = colour.openHandles();
        EXPECT_EQ(usbHandles, leftUsbHandles) << "USB handles left open";
        EXPECT_EQ(serialHandles, 0) << "serial handles left open";
        EXPECT_EQ(colourHandles, 0) << "colour handles left open";
        EXPECT_EQ(usb.malformedRecords() + serial.malformedRecords(), 0u)
            << "malformed command records";
        usb.unload();
        serial.unload();
        colour.unload();
        EXPECT_FALSE(fakes::isLoaded(usb.path())) << "USB transport left loaded";
        EXPECT_FALSE(fakes::isLoaded(serial.path())) << "serial transport left loaded";
        EXPECT_FALSE(fakes::isLoaded(colour.path())) << "colour library left loaded";
    }

    // Sets the camera's information reply on both transports.
    void setCamera(const CameraInfoReply& info) const {
        usb.setReply(0x85, info.bytes());
        serial.setReply(0x85, info.bytes());
    }

    // Opens a USB camera that must open cleanly; the log starts empty afterwards.
    CpiConnection* openUsb(const CameraInfoReply& info = {}) {
        setCamera(info);
        CpiConnection* c = nullptr;
        EXPECT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), uint32_t(kCpiOk));
        usb.clearLog();
        colour.clearLog();
        return c;
    }

    // Handles a test expects the USB fake to keep (a transport that refused to close).
    int32_t leftUsbHandles = 0;
    RegistryFolder registry;
    ModuleFolder m_modules;
    FakeTransport usb{"libkerrisu.so"};
    FakeTransport serial{"libkerrissl.so"};
    FakeColour colour{"libkercol.so"};
};

} // namespace kerris::camera::testing
