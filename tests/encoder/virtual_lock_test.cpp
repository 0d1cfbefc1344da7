// Exclusive use of the virtual devices, in one process and across processes, and the check
// whether the install step registered them.
#include "platform/encoder/virtual_devices.h"
#include "tests/encoder/virtual_test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace kerris::encoder;

namespace {

// One device as the tests take it: open it, and the text of its refusal.
struct Device {
    const char* name;
    std::function<std::shared_ptr<void>(std::string& error)> open;
    const char* inUse;
    const char* lockFile;
};

const Device kDevices[] = {
    {"video",
     [](std::string& error) -> std::shared_ptr<void> {
         return VirtualCameraVideo::open(320, 240, 15, error);
     },
     "The video device \"Kerris Camera\" is in use by another program", "kerris-camera-video.lock"},
    {"audio",
     [](std::string& error) -> std::shared_ptr<void> {
         return VirtualCameraMicrophone::open(22050, 1, error);
     },
     "The audio device \"Kerris Camera Microphone\" is in use by another program",
     "kerris-camera-microphone.lock"},
};

class LockTest : public VirtualDeviceTest, public ::testing::WithParamInterface<Device> {};

TEST_P(LockTest, SecondOpenInThisProcessFails) {
    const Device& device = GetParam();
    std::string error;
    auto first = device.open(error);
    ASSERT_TRUE(first) << error;
    EXPECT_TRUE(std::filesystem::exists(m_root / "runtime" / device.lockFile));
    error.clear();
    EXPECT_FALSE(device.open(error));
    EXPECT_EQ(error, device.inUse);
}

TEST_P(LockTest, ReleasedWhenTheDeviceIsDestroyed) {
    const Device& device = GetParam();
    std::string error;
    for (int round = 0; round < 3; ++round) {
        auto opened = device.open(error);
        ASSERT_TRUE(opened) << "round " << round << ": " << error;
    }
}

TEST_P(LockTest, AnotherProcessCannotOpenItWhileHeld) {
    const Device& device = GetParam();
    std::string error;
    auto held = device.open(error);
    ASSERT_TRUE(held) << error;
    const int status = inChild([&] {
        std::string childError;
        if (device.open(childError))
            return 1;
        return childError == device.inUse ? 0 : 2;
    });
    EXPECT_EQ(status, 0) << "1: the child opened it, 2: the child got another error";
    held.reset();
    EXPECT_EQ(inChild([&] {
                  std::string childError;
                  return device.open(childError) ? 0 : 1;
              }),
              0)
        << "the child must get the device once it is let go";
}

TEST_P(LockTest, HeldByAnotherProcessUntilItEnds) {
    const Device& device = GetParam();
    int toParent[2];
    int toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::string childError;
        auto opened = device.open(childError);
        const char ready = opened ? 'y' : 'n';
        char go = 0;
        if (write(toParent[1], &ready, 1) != 1 || read(toChild[0], &go, 1) != 1)
            _exit(3);
        _exit(0); // the process ends with the device open: its lock goes with it
    }
    char ready = 0;
    ASSERT_EQ(read(toParent[0], &ready, 1), 1);
    ASSERT_EQ(ready, 'y');
    std::string error;
    EXPECT_FALSE(device.open(error));
    EXPECT_EQ(error, device.inUse);
    const char go = 'g';
    ASSERT_EQ(write(toChild[1], &go, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]})
        close(fd);
    error.clear();
    EXPECT_TRUE(device.open(error)) << error;
}

TEST_P(LockTest, UnusableLockFolderFailsWithItsReason) {
    const Device& device = GetParam();
    setenv("XDG_RUNTIME_DIR", (m_root / "no-such-folder").c_str(), 1);
    std::string error;
    EXPECT_FALSE(device.open(error));
    EXPECT_NE(error.find("no-such-folder"), std::string::npos) << error;
    EXPECT_EQ(error.find("in use"), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(Devices, LockTest, ::testing::ValuesIn(kDevices),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(VirtualDeviceTest, VideoAndMicrophoneAreTakenSeparately) {
    std::string error;
    auto video = VirtualCameraVideo::open(160, 120, 30, error);
    ASSERT_TRUE(video) << error;
    auto mic = VirtualCameraMicrophone::open(48000, 2, error);
    EXPECT_TRUE(mic) << error;
}

TEST_F(VirtualDeviceTest, WithoutARuntimeFolderTheLockIsPerUserInTmp) {
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(virtualdev::lockFilePath("kerris-camera-video"),
              "/tmp/kerris-camera-video-" + std::to_string(getuid()) + ".lock");
    setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(virtualdev::lockFolder(), "/tmp");
}

TEST_F(VirtualDeviceTest, InstalledOnlyWhenBothDevicesAreRegistered) {
    using kerris::registry::Hive;
    using kerris::registry::Key;
    EXPECT_FALSE(virtualDevicesInstalled());
    auto key = Key::create(Hive::LocalMachine, virtualdev::kDevicesKey);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->writeString("Kerris Camera", "video"));
    EXPECT_FALSE(virtualDevicesInstalled()) << "the microphone is missing";
    ASSERT_TRUE(key->writeDword("Kerris Camera Microphone", 1));
    EXPECT_FALSE(virtualDevicesInstalled()) << "a value of the wrong type";
    ASSERT_TRUE(key->writeString("Kerris Camera Microphone", "audio"));
    EXPECT_TRUE(virtualDevicesInstalled());
    ASSERT_TRUE(key->removeValue("Kerris Camera"));
    EXPECT_FALSE(virtualDevicesInstalled());
}

} // namespace
