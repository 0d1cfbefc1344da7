// Safe file writing: what a commit leaves, under both kinds of new file, and what a writer that
// fails, is killed or meets the file-size limit leaves behind (nothing).
#include "platform/fs/safe_file.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kerris::fs {
namespace {

namespace stdfs = std::filesystem;

std::string readAll(const stdfs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeRaw(const stdfs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

std::vector<std::string> entries(const stdfs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : stdfs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Each case runs with unnamed files and again with the hidden named fallback.
class SafeFileTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kerris-safe-file-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        detail::forceNamedTemporaries(GetParam());
    }
    void TearDown() override {
        detail::forceNamedTemporaries(false);
        stdfs::remove_all(m_dir);
    }
    stdfs::path m_dir;
};

struct CommitCase {
    const char* name;
    bool existing;
    Commit how;
    CommitResult expected;
    const char* content; // the target's content afterwards
};

TEST_P(SafeFileTest, CommitsAsAskedAndLeavesOnlyTheTarget) {
    const CommitCase cases[] = {
        {"new name, no replace", false, Commit::NoReplace, CommitResult::Committed, "new"},
        {"taken name, no replace", true, Commit::NoReplace, CommitResult::NameTaken, "old"},
        {"new name, replace", false, Commit::Replace, CommitResult::Committed, "new"},
        {"taken name, replace", true, Commit::Replace, CommitResult::Committed, "new"},
    };
    for (const CommitCase& c : cases) {
        SCOPED_TRACE(c.name);
        const stdfs::path target = m_dir / "picture.bmp";
        stdfs::remove(target);
        if (c.existing)
            writeRaw(target, "old");
        std::string error;
        EXPECT_EQ(writeFile(target.string(), std::string_view("new"), c.how, error), c.expected)
            << error;
        EXPECT_EQ(readAll(target), c.content);
        EXPECT_EQ(entries(m_dir), std::vector<std::string>{"picture.bmp"});
    }
}

TEST_P(SafeFileTest, ANewFileTakesTheModeLessTheUmask) {
    const mode_t old = ::umask(022);
    std::string error;
    ASSERT_EQ(
        writeFile((m_dir / "a").string(), std::string_view("x"), Commit::NoReplace, error, 0640),
        CommitResult::Committed);
    ASSERT_EQ(
        writeFile((m_dir / "b").string(), std::string_view("x"), Commit::Replace, error, 0777),
        CommitResult::Committed);
    ::umask(old);
    struct stat a, b;
    ASSERT_EQ(::stat((m_dir / "a").c_str(), &a), 0);
    ASSERT_EQ(::stat((m_dir / "b").c_str(), &b), 0);
    EXPECT_EQ(a.st_mode & 0777, 0640u);
    EXPECT_EQ(b.st_mode & 0777, 0755u);
}

TEST_P(SafeFileTest, AFileNeverCommittedLeavesNothing) {
    std::string error;
    {
        auto file = SafeFile::create((m_dir / "x.bmp").string(), error);
        ASSERT_TRUE(file) << error;
        ASSERT_TRUE(file->write(std::string(100000, 'z')));
    }
    EXPECT_TRUE(entries(m_dir).empty());
}

TEST_P(SafeFileTest, AMissingFolderIsAClearError) {
    std::string error;
    EXPECT_EQ(
        writeFile((m_dir / "gone" / "x").string(), std::string_view("x"), Commit::Replace, error),
        CommitResult::Failed);
    EXPECT_NE(error.find("cannot create a file"), std::string::npos) << error;
}

// Past the file-size limit the write fails as a full disk does: the process lives on (no
// SIGXFSZ), the old file stays and no temporary file is left.
TEST_P(SafeFileTest, TheFileSizeLimitIsAFailedWriteNotADeath) {
    const stdfs::path target = m_dir / "big.bmp";
    writeRaw(target, "old");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct rlimit limit {
            512 * 1024, 512 * 1024
        };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string error;
        const std::string big(2 * 1024 * 1024, 'b');
        const CommitResult r = writeFile(target.string(), big, Commit::Replace, error);
        ::_exit(r == CommitResult::Failed && error.find("too large") != std::string::npos ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readAll(target), "old");
    EXPECT_EQ(entries(m_dir), std::vector<std::string>{"big.bmp"});
}

// A writer killed in the middle of a large write: the old file is intact; with unnamed files
// nothing is left at all, with the fallback the hidden file goes with the next writer once it
// is stale.
TEST_P(SafeFileTest, AWriterKilledMidwayLeavesTheOldFileAndNoTemporary) {
    const stdfs::path target = m_dir / "hive.reg";
    writeRaw(target, "old");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        std::string error;
        auto file = SafeFile::create(target.string(), error);
        const std::string block(1 << 20, 'n');
        for (int i = 0; file && i < 64; ++i) {
            file->write(block);
            if (i == 2)
                (void)!::write(ready[1], "r", 1);
        }
        ::pause(); // never commits: the parent kills it first
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(readAll(target), "old");
    std::vector<std::string> left = entries(m_dir);
    if (!GetParam()) {
        EXPECT_EQ(left, std::vector<std::string>{"hive.reg"});
        return;
    }
    ASSERT_EQ(left.size(), 2u); // the hidden file of the dead writer
    EXPECT_EQ(left[0].rfind(std::string(kTemporaryPrefix), 0), 0u) << left[0];
    EXPECT_EQ(removeStaleTemporaries(m_dir.string()), 0) << "not stale yet";
    const stdfs::path hidden = m_dir / left[0];
    stdfs::last_write_time(hidden, stdfs::file_time_type::clock::now() - std::chrono::hours(1));
    EXPECT_EQ(removeStaleTemporaries(m_dir.string()), 1);
    EXPECT_EQ(entries(m_dir), std::vector<std::string>{"hive.reg"});
}

TEST_P(SafeFileTest, AWriteAfterAFailureIsRefusedAndCommitFails) {
    std::string error;
    auto file = SafeFile::create((m_dir / "x").string(), error);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->write("a", 1));
    EXPECT_EQ(file->commit(Commit::NoReplace), CommitResult::Committed);
    EXPECT_FALSE(file->write("b", 1));
    EXPECT_EQ(file->commit(Commit::NoReplace), CommitResult::Failed);
    EXPECT_EQ(readAll(m_dir / "x"), "a");
}

INSTANTIATE_TEST_SUITE_P(Kinds, SafeFileTest, ::testing::Values(false, true),
                         [](const auto& kind) { return kind.param ? "named" : "unnamed"; });

} // namespace
} // namespace kerris::fs
