// The launcher picks the installer folder by language and starts it without waiting.
#include "launcher/language_folder.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

TEST(LanguageFolder, ChineseVariantsAndEverythingElse) {
    struct Case {
        uint16_t id;
        const char* folder;
    } cases[] = {{1028, "cht"}, {2052, "chs"}, {3076, "chs"}, {4100, "chs"}, {5124, "chs"},
                 {1033, "eng"}, {1041, "eng"}, {1031, "eng"}, {0, "eng"},    {1042, "eng"}};
    for (const auto& c : cases)
        EXPECT_STREQ(kerris::launcher::LanguageFolder(c.id), c.folder) << c.id;
}

// A medium in a temporary folder whose installers note where they ran and then linger.
class Medium : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("langstart-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }

    void addFolder(const std::string& name) {
        fs::create_directories(root / name);
        const fs::path setup = root / name / "Setup.exe";
        std::ofstream(setup) << "#!/bin/sh\npwd > started\nsleep 1\necho done > finished\n";
        fs::permissions(setup, fs::perms::owner_all);
    }

    // Runs the built launcher in the medium's root with LANG set; returns its exit status and
    // how long it took.
    std::pair<int, std::chrono::milliseconds> run(const std::string& lang) {
        std::vector<std::string> env = {"LANG=" + lang, "PATH=/usr/bin:/bin"};
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        const char* exe = std::getenv("LANGSTART");
        EXPECT_NE(exe, nullptr);
        std::string program = exe ? exe : "langstart";
        char* argv[] = {program.data(), nullptr};

        auto saved = fs::current_path();
        fs::current_path(root);
        auto start = std::chrono::steady_clock::now();
        pid_t pid = -1;
        int rc = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data());
        fs::current_path(saved);
        EXPECT_EQ(rc, 0);
        int status = -1;
        waitpid(pid, &status, 0);
        auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, took};
    }

    // Waits for a file the installer writes; the installer runs on after the launcher ends.
    bool appears(const fs::path& file, std::chrono::milliseconds limit = 10000ms) {
        auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            if (fs::exists(file) && fs::file_size(file) > 0)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    std::string firstLine(const fs::path& file) {
        std::ifstream in(file);
        std::string line;
        std::getline(in, line);
        return line;
    }

    fs::path root;
};

TEST_F(Medium, HongKongStartsTheSimplifiedInstallerAndReturnsAtOnce) {
    addFolder("cht");
    addFolder("chs");
    addFolder("eng");
    auto [status, took] = run("zh_HK.UTF-8");
    EXPECT_EQ(status, 0);
    // The installer lingers for a second; the launcher must not wait for it.
    EXPECT_FALSE(fs::exists(root / "chs" / "finished"));
    EXPECT_LT(took.count(), 900);
    ASSERT_TRUE(appears(root / "chs" / "started"));
    EXPECT_EQ(fs::canonical(firstLine(root / "chs" / "started")), fs::canonical(root / "chs"));
    ASSERT_TRUE(appears(root / "chs" / "finished")) << "the installer must outlive the launcher";
    EXPECT_FALSE(fs::exists(root / "cht" / "started"));
    EXPECT_FALSE(fs::exists(root / "eng" / "started"));
}

TEST_F(Medium, TaiwanWithoutItsFolderFallsBackToEnglish) {
    addFolder("chs");
    addFolder("eng");
    auto [status, took] = run("zh_TW.UTF-8");
    EXPECT_EQ(status, 0);
    ASSERT_TRUE(appears(root / "eng" / "started"));
    EXPECT_FALSE(fs::exists(root / "chs" / "started"));
}

TEST_F(Medium, TaiwanStartsTraditional) {
    addFolder("cht");
    addFolder("eng");
    auto [status, took] = run("zh_TW.Big5");
    EXPECT_EQ(status, 0);
    ASSERT_TRUE(appears(root / "cht" / "started"));
}

TEST_F(Medium, NoLanguageFolderStartsNothingAndStillSucceeds) {
    fs::create_directories(root / "other");
    const fs::path stray = root / "Setup.exe"; // must not be started from the medium's root
    std::ofstream(stray) << "#!/bin/sh\ntouch ran\n";
    fs::permissions(stray, fs::perms::owner_all);
    auto [status, took] = run("ja_JP.UTF-8");
    EXPECT_EQ(status, 0);
    EXPECT_LT(took.count(), 900);
    EXPECT_FALSE(fs::exists(root / "ran"));
}

TEST_F(Medium, EnglishFolderWithoutInstallerIsSilent) {
    fs::create_directories(root / "eng");
    auto [status, took] = run("en_US.UTF-8");
    EXPECT_EQ(status, 0);
}

TEST_F(Medium, CurrentFolderIsRestoredInProcess) {
    addFolder("eng");
    auto saved = fs::current_path();
    fs::current_path(root);
    EXPECT_TRUE(kerris::launcher::LaunchInstaller(1033));
    EXPECT_EQ(fs::current_path(), root);
    fs::current_path(saved);
    ASSERT_TRUE(appears(root / "eng" / "finished"));
}

} // namespace
