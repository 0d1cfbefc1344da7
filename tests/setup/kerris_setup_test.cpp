// The installer's per-user step: it registers the camera driver and seeds the browser's first
// start, and never overrides what the user or the browser already saved.
#include "platform/capture/capture.h"
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using kerris::registry::Hive;
using kerris::registry::Key;

class KerrisSetup : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("kerris-setup-" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "home");
        setenv("KERRIS_REGISTRY_DIR", (root / "registry").c_str(), 1);
        setenv("HOME", (root / "home").c_str(), 1);
        unsetenv("XDG_PICTURES_DIR");
        fs::create_directories(root / "dev");
        setenv("KERRIS_VIDEO_DEVICE_DIR", (root / "dev").c_str(), 1); // no real capture devices
    }
    void TearDown() override { fs::remove_all(root); }

    int run(const std::string& args = "") {
        const char* exe = std::getenv("KERRIS_SETUP");
        EXPECT_NE(exe, nullptr);
        int status = std::system((std::string(exe ? exe : "false") + " " + args).c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    bool driverRegistered() {
        for (const auto& d : kerris::capture::CaptureDrivers())
            if (d.name == kerris::capture::kCameraDriverName)
                return true;
        return false;
    }
    fs::path root;
};

TEST_F(KerrisSetup, FirstRunRegistersTheDriverAndSeedsEveryBrowserSetting) {
    ASSERT_EQ(run(), 0);
    EXPECT_TRUE(driverRegistered());
    auto key = Key::open(Hive::CurrentUser, "SOFTWARE\\VELTRANE\\Lumicart");
    ASSERT_TRUE(key);
    const std::string folder = (root / "home" / "Pictures" / "Kerris").string() + "/";
    EXPECT_EQ(key->readString("RunDefaultPath"), folder);
    EXPECT_TRUE(fs::is_directory(folder));
    // The browser stops reading at the first missing value: every one must be there.
    for (const char* name :
         {"WindowState", "Left", "Top", "Height", "Width", "Panel1Width", "TreeView1Height"})
        EXPECT_TRUE(key->readDword(name)) << name;
    EXPECT_EQ(key->readDword("WindowState"), 0u);
}

TEST_F(KerrisSetup, AgainKeepsWhatWasSavedAndRemoveUnregisters) {
    {
        auto key = Key::create(Hive::CurrentUser, "SOFTWARE\\VELTRANE\\Lumicart");
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->writeString("RunDefaultPath", "/srv/photos/"));
    }
    ASSERT_EQ(run(), 0);
    ASSERT_EQ(run(), 0);
    auto key = Key::open(Hive::CurrentUser, "SOFTWARE\\VELTRANE\\Lumicart");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->readString("RunDefaultPath"), "/srv/photos/");
    EXPECT_FALSE(key->readDword("Width")) << "a saved key is the browser's own";
    EXPECT_EQ(kerris::capture::CaptureDrivers().size(), 1u) << "registered once";

    ASSERT_EQ(run("--remove"), 0);
    EXPECT_FALSE(driverRegistered());
    EXPECT_EQ(run("--bogus"), 2);
}
