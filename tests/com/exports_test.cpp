// The runtime as a file: exactly its twelve names leave libkerriscom.so, nothing internal
// resolves.
#include "tests/support/exported_names.h"
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

namespace {

const std::set<std::string> kExports = {
    "CoInitialize",       "CoUninitialize",
    "CoCreateInstance",   "SysAllocString",
    "SysAllocStringLen",  "SysFreeString",
    "SysStringLen",       "SetErrorInfo",
    "GetErrorInfo",       "KerrisSetErrorDescription",
    "KerrisWindowHandle", "KerrisWindowFromHandle",
};

std::filesystem::path libraryPath() {
    const char* dir = std::getenv("KERRIS_BUILD_DIR");
    return std::filesystem::path(dir ? dir : ".") / "lib" / "libkerriscom.so";
}

TEST(Exports, ExactlyTheRuntimeLeavesTheLibrary) {
    ASSERT_TRUE(std::filesystem::exists(libraryPath())) << libraryPath();
    EXPECT_EQ(kerris::test::exportedNames(libraryPath()), kExports);
}

TEST(Exports, EveryNameResolvesAndNothingInternalDoes) {
    // Never unloaded: the Qt libraries it brings along keep state that does not survive it.
    void* library = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const auto& name : kExports)
        EXPECT_NE(dlsym(library, name.c_str()), nullptr) << name;
    for (const char* internal :
         {"_ZN6kerris3com13utf16FromUtf8B5cxx11ESt17basic_string_viewIcSt11char_traitsIcEE",
          "_ZN6kerris3com8guidTextB5cxx11ERKNS0_4GUIDE",
          "_ZN6kerris6module4loadESt17basic_string_viewIcSt11char_traitsIcEE", "DllGetClassObject",
          "VariantClear"})
        EXPECT_EQ(dlsym(library, internal), nullptr) << internal;
    dlclose(library);
}

} // namespace
