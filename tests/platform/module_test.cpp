// Libraries are found by their system name along the documented search order.
#include "platform/module/module.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace kerris;

TEST(ModuleName, DllNamesBecomeSharedObjects) {
    EXPECT_EQ(module::libraryFileName("kerriscp.dll"), "libkerriscp.so");
    EXPECT_EQ(module::libraryFileName("KERCOL.DLL"), "libKERCOL.so");
    EXPECT_EQ(module::libraryFileName("kerrisu"), "libkerrisu.so");
    EXPECT_EQ(module::libraryFileName("libm.so.6"), "libm.so.6");
    EXPECT_EQ(module::libraryFileName("/opt/x/libk.so"), "/opt/x/libk.so");
}

class ModuleSearch : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("KERRIS_MODULE_PATH");
        had = old != nullptr;
        saved = old ? old : "";
        a = std::getenv("PROBE_A");
        b = std::getenv("PROBE_B");
        ASSERT_TRUE(a && b);
    }
    void TearDown() override {
        if (had)
            setenv("KERRIS_MODULE_PATH", saved.c_str(), 1);
        else
            unsetenv("KERRIS_MODULE_PATH");
    }
    int valueOf(module::Handle h) {
        auto fn = reinterpret_cast<int (*)()>(module::symbol(h, "ProbeValue"));
        return fn ? fn() : -1;
    }
    bool had = false;
    std::string saved;
    const char* a = nullptr;
    const char* b = nullptr;
};

TEST_F(ModuleSearch, ModulePathFoldersAreSearchedInOrder) {
    setenv("KERRIS_MODULE_PATH", (std::string("/nonexistent:") + b + ":" + a).c_str(), 1);
    module::Handle h = module::load("kerrisprobe.dll");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(valueOf(h), 2);
    EXPECT_EQ(module::symbol(h, "NoSuchEntry"), nullptr);
    EXPECT_TRUE(module::release(h));
}

TEST_F(ModuleSearch, MissingLibraryAndMisuse) {
    setenv("KERRIS_MODULE_PATH", a, 1);
    EXPECT_EQ(module::load("kerrisnothere.dll"), nullptr);
    EXPECT_EQ(module::load(""), nullptr);
    EXPECT_EQ(module::symbol(nullptr, "ProbeValue"), nullptr);
    EXPECT_FALSE(module::release(nullptr));
}

TEST_F(ModuleSearch, LoadsAreCounted) {
    setenv("KERRIS_MODULE_PATH", a, 1);
    module::Handle first = module::load("kerrisprobe.dll");
    module::Handle second = module::load("kerrisprobe.dll");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(module::release(second));
    // Still loaded: the first reference holds it.
    EXPECT_EQ(valueOf(first), 1);
    EXPECT_TRUE(module::release(first));
}

TEST(ModuleFolder, ExecutableFolderEndsInSlash) {
    std::string folder = module::executableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(folder.front(), '/');
}
