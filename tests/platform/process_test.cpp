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
    std::ofstream("broken.exe") << "\x7f"
                                   "ELF garbage";
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

namespace {
void script(const char* name, const std::string& body) {
    std::ofstream(name) << "#!/bin/sh\n" << body;
    fs::permissions(name, fs::perms::owner_all);
}
} // namespace

TEST_F(ProcessFolder, ArgumentsReachTheDetachedProgramAsTheyAre) {
    script("args.exe",
           "for a in \"$@\"; do printf '[%s]' \"$a\"; done > out.part; mv out.part out\n");
    ASSERT_TRUE(kerris::process::startDetached("args.exe", {"a b", "", "'q'", "-x", "$HOME"}));
    for (int i = 0; i < 500 && !fs::exists("out"); ++i)
        std::this_thread::sleep_for(10ms);
    std::ifstream out("out");
    std::string text((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "[a b][]['q'][-x][$HOME]");
}

TEST_F(ProcessFolder, ReadOutputGivesWhatAProgramWroteWhenItSucceeds) {
    using kerris::process::readOutput;
    script("echo.exe", "printf '%s\\n' \"$@\"; echo noise >&2\n");
    EXPECT_EQ(readOutput("echo.exe", {"one", "two words"}, 1024, 5000), "one\ntwo words\n");
    script("silent.exe", "exit 0\n");
    EXPECT_EQ(readOutput("silent.exe", {}, 1024, 5000), "");
    script("fails.exe", "echo partial; exit 3\n");
    EXPECT_FALSE(readOutput("fails.exe", {}, 1024, 5000));
    EXPECT_FALSE(readOutput("missing.exe", {}, 1024, 5000));
    EXPECT_FALSE(readOutput("", {}, 1024, 5000));
}

TEST_F(ProcessFolder, ReadOutputStopsAtItsLimitAndItsDeadline) {
    using kerris::process::readOutput;
    script("eight.exe", "printf 12345678\n");
    EXPECT_EQ(readOutput("eight.exe", {}, 8, 5000), "12345678");
    EXPECT_FALSE(readOutput("eight.exe", {}, 7, 5000));
    script("hangs.exe", "echo started; exec sleep 30\n");
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(readOutput("hangs.exe", {}, 1024, 300));
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s); // killed, not waited for
}
