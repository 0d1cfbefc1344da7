// Shared fixture of the virtual camera suites: a private registry folder, the transport
// libraries loaded by file name, helpers to shape the camera and to send it commands.
#pragma once

#include "camera/cti.h"
#include "devices/virtualcam/bitmap_file.h"
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace vcamtest {

namespace fs = std::filesystem;
using kerris::registry::Hive;
using kerris::registry::Key;

inline constexpr const char* kSettingsKey = "SOFTWARE\\Kerris\\VirtualCamera";

// The entry points of one transport library, resolved by name.
struct Cti {
    void* library = nullptr;
    decltype(&CtiHandleOpen) handleOpen = nullptr;
    decltype(&CtiHandleClose) handleClose = nullptr;
    decltype(&CtiHandleLockThread) lock = nullptr;
    decltype(&CtiHandleUnLock) unlock = nullptr;
    decltype(&CtiCommand) command = nullptr;
    decltype(&CtiTaskWaitComplete) wait = nullptr;
    decltype(&CtiTaskAbort) abort = nullptr;
    decltype(&CtiDataRead) read = nullptr;
    decltype(&CtiResetTransport) reset = nullptr;
    decltype(&CtiGetVersion) version = nullptr;
    decltype(&CtiCameraEnum) enumerate = nullptr;
    decltype(&CtiCameraNameGet) nameGet = nullptr;
    decltype(&CtiCameraNameSet) nameSet = nullptr;
    decltype(&CtiGetErrorText) errorText = nullptr;
};

inline std::string buildDir() {
    const char* dir = std::getenv("KERRIS_BUILD_DIR");
    return dir ? dir : ".";
}

inline std::string libraryPath(const char* file) {
    return buildDir() + "/lib/" + file;
}

template <typename T> void resolve(void* library, const char* name, T& slot) {
    slot = reinterpret_cast<T>(dlsym(library, name));
    ASSERT_NE(slot, nullptr) << name;
}

inline void loadCti(const char* file, Cti& cti) {
    cti.library = dlopen(libraryPath(file).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(cti.library, nullptr) << dlerror();
    resolve(cti.library, "CtiHandleOpen", cti.handleOpen);
    resolve(cti.library, "CtiHandleClose", cti.handleClose);
    resolve(cti.library, "CtiHandleLockThread", cti.lock);
    resolve(cti.library, "CtiHandleUnLock", cti.unlock);
    resolve(cti.library, "CtiCommand", cti.command);
    resolve(cti.library, "CtiTaskWaitComplete", cti.wait);
    resolve(cti.library, "CtiTaskAbort", cti.abort);
    resolve(cti.library, "CtiDataRead", cti.read);
    resolve(cti.library, "CtiResetTransport", cti.reset);
    resolve(cti.library, "CtiGetVersion", cti.version);
    resolve(cti.library, "CtiCameraEnum", cti.enumerate);
    resolve(cti.library, "CtiCameraNameGet", cti.nameGet);
    resolve(cti.library, "CtiCameraNameSet", cti.nameSet);
    resolve(cti.library, "CtiGetErrorText", cti.errorText);
}

// A command record with its own buffer, as the camera library builds them.
struct Command {
    CtiCommandRecord record{};
    std::vector<uint8_t> data;

    Command(uint8_t request, uint8_t a, uint8_t b, uint32_t length, uint8_t fill = 0)
        : data(length, fill) {
        record.request = request;
        record.valueA = a;
        record.valueB = b;
        record.data = length ? data.data() : nullptr;
        record.length = length;
        record.marker = kCtiRecordMarker;
    }
    uint32_t big32(size_t at) const {
        return uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 |
               uint32_t(data[at + 2]) << 8 | data[at + 3];
    }
    uint16_t big16(size_t at) const { return uint16_t(data[at] << 8 | data[at + 1]); }
};

// Each test gets its own registry folder and picture folder; the transport libraries are
// loaded once per process and every handle a test opens is closed after it.
class VirtualCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kerris-vcam-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        fs::create_directories(m_root / "registry");
        fs::create_directories(m_root / "pictures");
        setenv("KERRIS_REGISTRY_DIR", (m_root / "registry").c_str(), 1);
        ASSERT_NO_FATAL_FAILURE(loadCti("libkerrisu.so", usb));
        ASSERT_NO_FATAL_FAILURE(loadCti("libkerrissl.so", serial));
    }

    void TearDown() override {
        for (auto [cti, handle] : m_open)
            cti->handleClose(handle);
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    fs::path pictureFolder() const { return m_root / "pictures"; }

    // Writes a value under the settings key, or its "USB" / "Serial" sub-key.
    void setDword(const char* name, uint32_t value, const char* subKey = nullptr) {
        auto key = Key::create(Hive::LocalMachine, keyPath(subKey));
        ASSERT_TRUE(key.has_value());
        ASSERT_TRUE(key->writeDword(name, value));
    }
    void setString(const char* name, const std::string& value, const char* subKey = nullptr) {
        auto key = Key::create(Hive::LocalMachine, keyPath(subKey));
        ASSERT_TRUE(key.has_value());
        ASSERT_TRUE(key->writeString(name, value));
    }
    void setBinary(const char* name, const std::vector<uint8_t>& value) {
        auto key = Key::create(Hive::LocalMachine, kSettingsKey);
        ASSERT_TRUE(key.has_value());
        ASSERT_TRUE(key->writeBinary(name, value.data(), value.size()));
    }
    // Points the camera at this test's picture folder.
    void usePictureFolder() { setString("PictureFolder", pictureFolder().string()); }
    void addPicture(const std::string& name, const kerris::virtualcam::Picture& picture) {
        ASSERT_TRUE(kerris::virtualcam::writeBitmapFile(pictureFolder() / name, picture));
    }

    // Opens camera `port`; the handle is closed after the test.
    uint32_t open(Cti& cti, uint32_t port = 0) {
        uint8_t number = 0xEE;
        uint32_t handle = 0;
        const uint32_t status = cti.handleOpen(port, 0, &number, &handle);
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(number, port);
        if (status == 0)
            m_open.push_back({&cti, handle});
        return handle;
    }
    void close(Cti& cti, uint32_t handle) {
        EXPECT_EQ(cti.handleClose(handle), 0u);
        std::erase_if(m_open, [&](const auto& e) { return e.first == &cti && e.second == handle; });
    }

    uint32_t run(uint32_t handle, Command& c, Cti* cti = nullptr) {
        return (cti ? *cti : usb).command(handle, &c.record, nullptr);
    }
    // Reads `length` bytes of the pending transfer in one call.
    std::vector<uint8_t> readAll(uint32_t handle, uint32_t length, uint32_t* status = nullptr) {
        std::vector<uint8_t> out(length);
        uint32_t got = 0xdeadbeef;
        const uint32_t s = usb.read(handle, out.data(), length, &got, 0);
        if (status)
            *status = s;
        else
            EXPECT_EQ(s, 0u);
        out.resize(got == 0xdeadbeef ? 0 : got);
        return out;
    }

    Cti usb;
    Cti serial;

private:
    static std::string keyPath(const char* subKey) {
        std::string path = kSettingsKey;
        if (subKey)
            path += std::string("\\") + subKey;
        return path;
    }

    fs::path m_root;
    std::vector<std::pair<Cti*, uint32_t>> m_open;
};

} // namespace vcamtest
