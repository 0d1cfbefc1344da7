// Opening regular files for reading: what is refused, and that nothing waits on a FIFO.
#include "platform/fs/regular_file.h"
#include "tests/platform/fifo_watch.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using kerris::fs::openRegularFileForReading;

class RegularFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("kerris-fs-" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }
    std::string path(const char* name) const { return (root / name).string(); }
    fs::path root;
};

TEST_F(RegularFileTest, OpensARegularFileBlockingAndCloseOnExec) {
    std::ofstream(path("a.bmp")) << "BMxyz";
    const int fd = openRegularFileForReading(path("a.bmp"));
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << "blocking mode is restored";
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_ACCMODE, O_RDONLY);
    char bytes[8] = {};
    EXPECT_EQ(::read(fd, bytes, sizeof bytes), 5);
    EXPECT_STREQ(bytes, "BMxyz");
    ::close(fd);
}

TEST_F(RegularFileTest, FollowsALinkToARegularFile) {
    std::ofstream(path("target.jpg")) << "data";
    fs::create_symlink(path("target.jpg"), path("link.jpg"));
    const int fd = openRegularFileForReading(path("link.jpg"));
    EXPECT_GE(fd, 0);
    ::close(fd);
}

struct Refusal {
    const char* name;
    int error;
};

class RegularFileRefuses : public RegularFileTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RegularFileRefuses, AnythingElseWithoutWaiting) {
    ASSERT_EQ(::mkfifo(path("fifo.bmp").c_str(), 0600), 0);
    fs::create_directory(path("folder.jpg"));
    fs::create_symlink(path("fifo.bmp"), path("fifo-link.jpg"));
    fs::create_symlink(path("nowhere"), path("dangling.jpg"));
    fs::create_symlink("/dev/zero", path("device.jpg"));
    const Refusal& r = GetParam();
    const std::string target = r.name[0] == '\0' ? std::string() : path(r.name);
    kerris::test::FifoWatch watch(path("fifo.bmp"));
    errno = 0;
    const int fd = openRegularFileForReading(target);
    EXPECT_TRUE(watch.finish()) << r.name << ": waited on the FIFO";
    EXPECT_EQ(fd, -1) << r.name;
    EXPECT_EQ(errno, r.error) << r.name;
    if (fd >= 0)
        ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Paths, RegularFileRefuses,
                         ::testing::Values(Refusal{"fifo.bmp", EINVAL},
                                           Refusal{"fifo-link.jpg", EINVAL},
                                           Refusal{"folder.jpg", EISDIR},
                                           Refusal{"device.jpg", EINVAL},
                                           Refusal{"dangling.jpg", ENOENT},
                                           Refusal{"missing.jpg", ENOENT}, Refusal{"", EINVAL}));

TEST_F(RegularFileTest, AFifoWithAWriterIsRefusedToo) {
    ASSERT_EQ(::mkfifo(path("busy.jpg").c_str(), 0600), 0);
    // A reader end held open lets a writer in without waiting; the writer keeps it open.
    const int reader = ::open(path("busy.jpg").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const int writer = ::open(path("busy.jpg").c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    EXPECT_EQ(openRegularFileForReading(path("busy.jpg")), -1);
    EXPECT_EQ(errno, EINVAL);
    ::close(writer);
    ::close(reader);
}
