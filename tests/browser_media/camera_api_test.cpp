// Binding the camera library: the table of names, a missing library, a partial one.
#include "browser/media/camera_api.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

using namespace lumicart::media;

namespace {

TEST(CameraApi, NamesAreTheFortyOneExportsOnceEach) {
    std::set<std::string> unique(kCameraApiNames.begin(), kCameraApiNames.end());
    EXPECT_EQ(unique.size(), kCameraApiCount);
    EXPECT_EQ(std::string(kCameraApiNames.front()), "CpiCameraEnum");
    EXPECT_EQ(std::string(kCameraApiNames[3]), "CpiCameraOpen");
    EXPECT_EQ(std::string(kCameraApiNames.back()), "CpiGetImageFormat");
    EXPECT_EQ(sizeof(CameraApi), kCameraApiCount * sizeof(void*));
}

TEST(CameraApi, MissingLibraryLeavesTheTableEmpty) {
    ::setenv("KERRIS_MODULE_PATH", "/nonexistent", 1);
    ::setenv("KERRIS_MODULE_PATH_ONLY", "1", 1);
    CameraLibrary library;
    EXPECT_FALSE(library.load());
    ::unsetenv("KERRIS_MODULE_PATH_ONLY");
    EXPECT_FALSE(library.isLoaded());
    EXPECT_FALSE(library.api().hasBrowserEntryPoints());
    EXPECT_EQ(library.api().CpiCameraOpen, nullptr);
}

TEST(CameraApi, NullHandleBindsNothing) {
    CameraApi api;
    api.CpiCameraOpen = reinterpret_cast<decltype(api.CpiCameraOpen)>(&std::abort);
    BindCameraApi(nullptr, api);
    EXPECT_EQ(api.CpiCameraOpen, nullptr) << "binding starts from an empty table";
}

// The real library, when this build has it: every one of the 41 names resolves.
TEST(CameraApi, BuiltLibraryResolvesEveryName) {
    const char* build = std::getenv("KERRIS_BUILD_DIR");
    if (!build || !std::filesystem::exists(std::string(build) + "/lib/libkerriscp.so"))
        GTEST_SKIP() << "libkerriscp.so is not built";
    ::setenv("KERRIS_MODULE_PATH", (std::string(build) + "/lib").c_str(), 1);
    CameraLibrary library;
    ASSERT_TRUE(library.load());
    auto handle = kerris::module::load(kCameraLibraryName);
    for (const char* name : kCameraApiNames)
        EXPECT_NE(kerris::module::symbol(handle, name), nullptr) << name;
    kerris::module::release(handle);
    EXPECT_TRUE(library.api().hasBrowserEntryPoints());
    library.unload();
    EXPECT_EQ(library.api().CpiUploadImage, nullptr);
}

} // namespace
