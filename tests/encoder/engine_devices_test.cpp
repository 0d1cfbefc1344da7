// The device lists without hardware: capture node candidates that are no capture devices, a
// folder that does not exist, and a machine without a sound server.
#include "platform/encoder/capture_session.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kerris::encoder {
namespace {

namespace fs = std::filesystem;

class EngineDeviceListTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kerris-devlist-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        // No virtual devices registered in this registry folder.
        setenv("KERRIS_REGISTRY_DIR", (m_root / "registry").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("KERRIS_VIDEO_DEVICE_DIR");
        unsetenv("PULSE_SERVER");
        fs::remove_all(m_root);
    }
    fs::path m_root;
};

TEST_F(EngineDeviceListTest, NodesWithoutTheCaptureCapabilityAreNotListed) {
    const fs::path dev = m_root / "dev";
    fs::create_directories(dev / "video3"); // a folder
    std::ofstream(dev / "video0") << "a regular file";
    fs::create_symlink("/dev/null", dev / "video1");     // a character device, not V4L2
    fs::create_symlink("/dev/zero", dev / "video10");    // the same, numbered past 9
    fs::create_symlink(dev / "missing", dev / "video4"); // dangling
    ASSERT_EQ(mkfifo((dev / "video5").c_str(), 0600), 0);
    for (const char* name : {"video", "videoX", "video-1", "vbi0", "media0"})
        fs::create_symlink("/dev/null", dev / name);
    setenv("KERRIS_VIDEO_DEVICE_DIR", dev.c_str(), 1);
    EXPECT_TRUE(listVideoDevices().empty());
}

TEST_F(EngineDeviceListTest, AMissingDeviceFolderListsNothing) {
    setenv("KERRIS_VIDEO_DEVICE_DIR", (m_root / "nowhere").c_str(), 1);
    EXPECT_TRUE(listVideoDevices().empty());
}

TEST_F(EngineDeviceListTest, WithoutASoundServerTheListComesQuicklyFromAlsa) {
    setenv("PULSE_SERVER", ("unix:" + (m_root / "no-server").string()).c_str(), 1);
    const auto start = std::chrono::steady_clock::now();
    const std::vector<DeviceInfo> devices = listAudioDevices();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    for (const DeviceInfo& device : devices) {
        EXPECT_EQ(device.backend, "alsa") << device.friendlyName;
        EXPECT_EQ(device.address.rfind("hw:", 0), 0u) << device.address;
    }
}

} // namespace
} // namespace kerris::encoder
