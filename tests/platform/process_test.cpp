// Starting a program detached and moving between folders.
#include "platform/process/process.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class ProcessFolder : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("kerris-process-" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root);
        saved = fs::current_path();
        fs::current_path(root);
    }
    void TearDown() override {
        fs::current_path(saved);
        fs::remove_all(root);
    }
    fs::path root, saved;
};

TEST_F(ProcessFolder, StartsOnlyExecutablePrograms) {
    using kerris::process::startDetached;
    EXPECT_FALSE(startDetached(""));
    EXPECT_FALSE(startDetached("missing.exe"));
    std::ofstream("plain.exe") << "#!/bin/sh\ntouch ran\n";
    EXPECT_FALSE(startDetached("plain.exe")) << "not executable";
    // Executable but not a program the system can run: exec fails, reported as not started.
    std::ofstream("broken.exe") << "\x7f" "ELF garbage";
    fs::permissions("broken.exe", fs::perms::owner_all);
    EXPECT_FALSE(startDetached("broken.exe"));

    std::ofstream("good.exe") << "#!/bin/sh\ntouch ran\n";
    fs::permissions("good.exe", fs::perms::owner_all);
    EXPECT_TRUE(startDetached("good.exe"));
    auto until = std::chrono::steady_clock::now() + 10s;
    while (!fs::exists("ran") && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(fs::exists("ran"));
}

TEST_F(ProcessFolder, FolderChanges) {
    using namespace kerris::process;
    fs::create_directories("sub");
    EXPECT_FALSE(setCurrentFolder(""));
    EXPECT_FALSE(setCurrentFolder("absent"));
    EXPECT_TRUE(setCurrentFolder("sub"));
    EXPECT_EQ(fs::path(*currentFolder()), fs::canonical(root / "sub"));
}
