// The library's exported interface as a file: exactly the 41 Cpi names leave it, nothing
// internal resolves, and the identification text survives in its constant data.
#include "camera/cpi.h"
#include "tests/fakes/fake_control.h"
#include "tests/support/exported_names.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// The 41 names of the interface, in the order of camera/cpi.h. Fixed here, not derived from the
// sources present, so that a lost source file or a lost name fails this test.
const std::vector<std::string> kInterface = {
    "CpiCameraEnum",
    "CpiCameraNameGet",
    "CpiCameraNameSet",
    "CpiCameraOpen",
    "CpiCameraClose",
    "CpiGetErrorText",
    "CpiGetLastError",
    "CpiSetNoOfRetrys",
    "CpiSetLockTimeout",
    "CpiResetComms",
    "CpiSyncCamera",
    "CpiGetCameraInfo",
    "CpiGetImageInfo",
    "CpiGetImageInfoEx",
    "CpiGetCameraStateInfo",
    "CpiGetPowerStatus",
    "CpiGetImageFormat",
    "CpiGetImageFormatEx",
    "CpiSetImageFormat",
    "CpiReadCtrlReg",
    "CpiWriteCtrlReg",
    "CpiReadSdram",
    "CpiWriteSdram",
    "CpiTestControl",
    "CpiGrabImage",
    "CpiResetImageIndex",
    "CpiCreateImage",
    "CpiFreeImage",
    "CpiUploadThumbnail",
    "CpiUploadImage",
    "CpiUploadImageROI",
    "CpiUploadRawImage",
    "CpiReadFirstImageBlock",
    "CpiReadNextImageBlock",
    "CpiCancelImageBlockUpload",
    "CpiBulkUpload",
    "CpiGetImageHeader",
    "CpiGetImageFlags",
    "CpiUploadImageFlags",
    "CpiSetColourMatrix",
    "CpiGetColourMatrix",
};

std::filesystem::path buildDir() {
    const char* dir = std::getenv("KERRIS_BUILD_DIR");
    return dir ? dir : ".";
}
std::filesystem::path libraryPath() {
    return buildDir() / "lib" / "libkerriscp.so";
}

std::set<std::string> expectedNames() {
    return {kInterface.begin(), kInterface.end()};
}

TEST(Exports, TheWholeInterfaceHasFortyOneNames) {
    EXPECT_EQ(kInterface.size(), 41u);
    EXPECT_EQ(expectedNames().size(), 41u); // no name twice
}

TEST(Exports, ExactlyTheInterfaceLeavesTheLibrary) {
    ASSERT_TRUE(std::filesystem::exists(libraryPath())) << libraryPath();
    std::set<std::string> names = kerris::test::exportedNames(libraryPath());
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names, expectedNames());
}

TEST(Exports, EveryNameResolvesAndNothingInternalDoes) {
    void* library = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const auto& name : expectedNames())
        EXPECT_NE(dlsym(library, name.c_str()), nullptr) << name;
    for (const char* internal :
         {"kerrisIdentification", "_ZN6kerris6camera16isOpenConnectionEPK13CpiConnection",
          "_ZN6kerris6camera13resetSequenceEP13CpiConnection", "CtiCommand", "KERC_Open"})
        EXPECT_EQ(dlsym(library, internal), nullptr) << internal;
    dlclose(library);
}

TEST(Exports, IdentificationTextIsInTheFile) {
    std::ifstream file(libraryPath(), std::ios::binary);
    ASSERT_TRUE(file);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(bytes.find("IDENT{TYPE:Release#VERSION: 1-03#BUILD: SDK#}"), std::string::npos);
}

// Unloading the library takes the active transport library with it (a camera left open keeps
// it active until then).
TEST(Unload, ReleasesTheActiveTransport) {
    kerris::fakes::ModuleFolder modules({"libkerrisu.so", "libkercol.so"});
    kerris::fakes::FakeTransport usb;
    usb.reset();
    kerris::fakes::FakeColour colour;
    colour.reset();
    void* library = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto open = reinterpret_cast<decltype(&CpiCameraOpen)>(dlsym(library, "CpiCameraOpen"));
    ASSERT_NE(open, nullptr);
    CpiConnection* c = nullptr;
    ASSERT_EQ(open(0x2000, 0, &c, nullptr), uint32_t(kCpiOk));
#if defined(__SANITIZE_ADDRESS__)
    __lsan_ignore_object(c); // the camera is left open on purpose
#endif
    usb.unload();
    EXPECT_TRUE(kerris::fakes::isLoaded(usb.path())); // held by the open connection
    dlclose(library);
    EXPECT_FALSE(kerris::fakes::isLoaded(usb.path()));
}

} // namespace
