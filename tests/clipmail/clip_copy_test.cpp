// CopyClip: the sequence of names, copies that other processes hold open, no torn copies.
#include "clipmail/clip_copy.h"

#include "tests/clipmail/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace kerris::clipmail {
namespace {

// Another process that holds files open read-only until it is released.
class Holder {
public:
    explicit Holder(const std::vector<std::string>& paths) {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            for (const std::string& p : paths)
                if (::open(p.c_str(), O_RDONLY) < 0)
                    ::_exit(1);
            const char ok = 1;
            (void)!::write(ready[1], &ok, 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char ok = 0;
        m_holding = m_pid > 0 && ::read(ready[0], &ok, 1) == 1 && ok == 1;
        ::close(ready[0]);
    }
    ~Holder() { release(); }
    void release() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    bool holding() const { return m_holding; }

private:
    pid_t m_pid = -1;
    bool m_holding = false;
};

class CopyClipTest : public ::testing::Test {
protected:
    std::string folder() const { return dir.path().toStdString() + "/"; }
    void record(const std::string& content) { test::writeText(folder() + "VideoRec.wmv", content); }
    std::string contentOf(const std::string& name) const {
        const std::vector<uint8_t> bytes = test::readBytes(folder() + name);
        return std::string(bytes.begin(), bytes.end());
    }
    QStringList files() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    QTemporaryDir dir;
};

TEST(CopyNames, FirstCopyThenTheNumberedOnes) {
    EXPECT_EQ(copyName(0), "Murvone.wmv");
    EXPECT_EQ(copyName(1), "Murvane1.wmv");
    EXPECT_EQ(copyName(12), "Murvane12.wmv");
    EXPECT_EQ(copyName(kCopyNameLimit - 1), "Murvane99.wmv");
}

TEST_F(CopyClipTest, NoRecordingNoCopy) {
    EXPECT_EQ(CopyClip(folder()), std::nullopt);
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(CopyClipTest, FreeFirstNameIsReplacedByEachCopy) {
    record("first clip");
    ASSERT_EQ(CopyClip(folder()), folder() + "Murvone.wmv");
    EXPECT_EQ(contentOf("Murvone.wmv"), "first clip");
    record("second, longer clip");
    ASSERT_EQ(CopyClip(folder()), folder() + "Murvone.wmv");
    EXPECT_EQ(contentOf("Murvone.wmv"), "second, longer clip");
    // Written beside the target and renamed: nothing else is left in the folder.
    EXPECT_EQ(files(), QStringList({"Murvone.wmv", "VideoRec.wmv"}));
}

TEST_F(CopyClipTest, ACopyHeldOpenElsewhereIsNeverTouched) {
    record("clip one");
    ASSERT_TRUE(CopyClip(folder()));
    struct stat before {};
    ASSERT_EQ(::stat((folder() + "Murvone.wmv").c_str(), &before), 0);
    {
        Holder player({folder() + "Murvone.wmv"});
        ASSERT_TRUE(player.holding());
        EXPECT_TRUE(isOpenElsewhere(folder() + "Murvone.wmv"));
        record("clip two");
        EXPECT_EQ(CopyClip(folder()), folder() + "Murvane1.wmv");
        EXPECT_EQ(contentOf("Murvane1.wmv"), "clip two");
        // The held copy is the same file with the same bytes.
        struct stat after {};
        ASSERT_EQ(::stat((folder() + "Murvone.wmv").c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(contentOf("Murvone.wmv"), "clip one");
        {
            Holder mail({folder() + "Murvane1.wmv"});
            ASSERT_TRUE(mail.holding());
            EXPECT_EQ(CopyClip(folder()), folder() + "Murvane2.wmv");
        }
        // Murvane1 was let go: it is the first free name again.
        EXPECT_EQ(CopyClip(folder()), folder() + "Murvane1.wmv");
    }
    EXPECT_FALSE(isOpenElsewhere(folder() + "Murvone.wmv"));
    record("clip three");
    EXPECT_EQ(CopyClip(folder()), folder() + "Murvone.wmv");
    EXPECT_EQ(contentOf("Murvone.wmv"), "clip three");
}

TEST_F(CopyClipTest, OurOwnReadingDoesNotCount) {
    record("clip");
    ASSERT_TRUE(CopyClip(folder()));
    const int fd = ::open((folder() + "Murvone.wmv").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(isOpenElsewhere(folder() + "Murvone.wmv"));
    EXPECT_EQ(CopyClip(folder()), folder() + "Murvone.wmv");
    ::close(fd);
}

TEST_F(CopyClipTest, EveryNameHeldEndsTheSequence) {
    record("clip");
    std::vector<std::string> all;
    for (int i = 0; i < kCopyNameLimit; ++i) {
        test::writeText(folder() + copyName(i), "older");
        all.push_back(folder() + copyName(i));
    }
    Holder holder(all);
    ASSERT_TRUE(holder.holding());
    EXPECT_EQ(CopyClip(folder()), std::nullopt);
    for (const std::string& path : all)
        EXPECT_EQ(test::readBytes(path).size(), 5u) << path;
}

TEST_F(CopyClipTest, ACopyThatCannotBeWrittenFailsWithoutTryingOtherNames) {
    record("clip");
    ASSERT_TRUE(QDir(dir.path()).mkdir("Murvone.wmv"));
    EXPECT_EQ(CopyClip(folder()), std::nullopt);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(folder() + "Murvane1.wmv")));
    EXPECT_EQ(files(), QStringList({"VideoRec.wmv"}));
}

TEST_F(CopyClipTest, EmptyRecordingCopiesAsEmpty) {
    record("");
    ASSERT_EQ(CopyClip(folder()), folder() + "Murvone.wmv");
    EXPECT_TRUE(test::readBytes(folder() + "Murvone.wmv").empty());
}

} // namespace
} // namespace kerris::clipmail
