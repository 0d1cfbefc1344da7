// The hive files under damage, failing steps, crashes and concurrent writers, and the read cache.
#include "tests/registry/registry_fixture.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kerris::registry;
using detail::StoreStep;

namespace {

using HiveStore = RegistryFolder;

const std::string kGoodHive = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Veltrane]\n"
                              "\"Keep\"=\"this\"\n\"Blob\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,"
                              "0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n  17,18,19\n\n";

// Collects what the damage reporter is told.
struct Reports {
    std::vector<std::string> messages;
    void install() {
        setDamageReporter([this](const std::string& m) { messages.push_back(m); });
    }
};

TEST_F(HiveStore, ADamagedHiveIsMovedAsideReportedOnceAndReplaced) {
    std::string garbage;
    for (int i = 0; i < 3000; ++i)
        garbage += static_cast<char>((i * 7919) % 251 + 1);
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"truncated inside a hex line", kGoodHive.substr(0, kGoodHive.find("16,") + 1)},
        {"truncated inside a text", kGoodHive.substr(0, kGoodHive.find("this") + 2)},
        {"truncated inside the header", "REGED"},
        {"empty", ""},
        {"zeros", std::string(4096, '\0')},
        {"garbage", garbage},
        {"another hive's keys", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n\"a\"=\"b\"\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(m_dir);
        detail::clearHiveCache();
        writeFile(userFile(), c.text);
        Reports reports;
        reports.install();

        // Reads find nothing and leave the file where it is.
        EXPECT_FALSE(Key::open(Hive::CurrentUser, "Software\\Veltrane"));
        EXPECT_FALSE(Key::open(Hive::CurrentUser, ""));
        EXPECT_TRUE(reports.messages.empty());
        EXPECT_EQ(readFile(userFile()), c.text);

        // The first write moves it aside and reports it.
        auto key = Key::create(Hive::CurrentUser, "Software\\Veltrane");
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->writeString("New", "value"));
        ASSERT_EQ(reports.messages.size(), 1u);
        EXPECT_NE(reports.messages[0].find(userFile().string()), std::string::npos);
        EXPECT_NE(reports.messages[0].find("user.reg.corrupt-1"), std::string::npos);
        EXPECT_EQ(reports.messages[0].find('\n'), std::string::npos) << "one line";
        EXPECT_EQ(readFile(m_dir / "user.reg.corrupt-1"), c.text);

        // The fresh hive holds what was written since, and nothing is reported again.
        detail::clearHiveCache();
        EXPECT_EQ(key->readString("New"), "value");
        EXPECT_EQ(key->valueNames(), std::vector<std::string>{"New"});
        ASSERT_TRUE(key->writeDword("More", 1));
        EXPECT_EQ(reports.messages.size(), 1u);
        EXPECT_EQ(folderEntries(),
                  (std::vector<std::string>{"user.reg", "user.reg.corrupt-1", "user.reg.lock"}));
    }
}

// Regression: a damaged hive remembered by earlier reads was reported without its reason.
TEST_F(HiveStore, AReportAfterCachedReadsStillSaysWhatIsWrong) {
    writeFile(userFile(), "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=dword:xyz\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    uint64_t parses = detail::hiveParseCount();
    EXPECT_FALSE(Key::open(Hive::CurrentUser, "A"));
    EXPECT_FALSE(Key::open(Hive::CurrentUser, "A"));
    EXPECT_EQ(detail::hiveParseCount() - parses, 1u);
    Reports reports;
    reports.install();
    ASSERT_TRUE(Key::create(Hive::CurrentUser, "A"));
    ASSERT_EQ(reports.messages.size(), 1u);
    EXPECT_NE(reports.messages[0].find("line 3: a dword"), std::string::npos)
        << reports.messages[0];
}

TEST_F(HiveStore, AsideNamesNeverReplaceEarlierOnes) {
    writeFile(m_dir / "user.reg.corrupt-1", "first");
    writeFile(m_dir / "user.reg.corrupt-3", "third");
    Reports reports;
    reports.install();
    for (const char* damaged : {"bad one", "bad two"}) {
        writeFile(userFile(), damaged);
        ASSERT_TRUE(Key::create(Hive::CurrentUser, "K"));
    }
    EXPECT_EQ(readFile(m_dir / "user.reg.corrupt-1"), "first");
    EXPECT_EQ(readFile(m_dir / "user.reg.corrupt-2"), "bad one");
    EXPECT_EQ(readFile(m_dir / "user.reg.corrupt-3"), "third");
    EXPECT_EQ(readFile(m_dir / "user.reg.corrupt-4"), "bad two");
    EXPECT_EQ(reports.messages.size(), 2u);
}

TEST_F(HiveStore, TheDefaultReporterWritesToStandardError) {
    writeFile(userFile(), "not a hive");
    testing::internal::CaptureStderr();
    ASSERT_TRUE(Key::create(Hive::CurrentUser, "K"));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("user.reg.corrupt-1"), std::string::npos) << err;
}

TEST_F(HiveStore, AReporterMayUseTheRegistry) {
    writeFile(userFile(), "not a hive");
    int calls = 0;
    setDamageReporter([&](const std::string& m) {
        ++calls;
        // Runs after the lock is released: this write must not wait on it.
        ASSERT_TRUE(Key::create(Hive::CurrentUser, "Log")->writeString("Damage", m));
    });
    ASSERT_TRUE(Key::create(Hive::CurrentUser, "K"));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(Key::open(Hive::CurrentUser, "Log")->readString("Damage"));
    EXPECT_TRUE(Key::open(Hive::CurrentUser, "K"));
}

TEST_F(HiveStore, AHiveThatCannotBeReadIsNeitherMovedNorReplaced) {
    // A folder where the file should be: neither a damaged file nor a missing one.
    std::filesystem::create_directories(userFile() / "inside");
    Reports reports;
    reports.install();
    EXPECT_FALSE(Key::open(Hive::CurrentUser, ""));
    EXPECT_FALSE(Key::create(Hive::CurrentUser, "K"));
    EXPECT_TRUE(reports.messages.empty());
    EXPECT_TRUE(std::filesystem::is_directory(userFile() / "inside"));
    // The other hives are unaffected.
    EXPECT_TRUE(Key::create(Hive::LocalMachine, "K"));
}

TEST_F(HiveStore, AHugeFileIsNotTakenForAHive) {
    // Sparse: it costs no disk space, only its size matters.
    writeFile(userFile(), kGoodHive);
    ASSERT_EQ(truncate(userFile().c_str(), off_t{300} << 20), 0);
    Reports reports;
    reports.install();
    EXPECT_FALSE(Key::open(Hive::CurrentUser, "Software\\Veltrane"));
    EXPECT_FALSE(Key::create(Hive::CurrentUser, "K"));
    EXPECT_TRUE(reports.messages.empty());
    EXPECT_EQ(std::filesystem::file_size(userFile()), uintmax_t{300} << 20);
}

// Every step of a write, failing in turn, leaves the hive as it was and no temporary file.
TEST_F(HiveStore, AFailingStepLeavesTheHiveAsItWas) {
    const StoreStep steps[] = {StoreStep::CreateFolder, StoreStep::OpenLock, StoreStep::Lock,
                               StoreStep::ReadHive,     StoreStep::CreateTemp, StoreStep::WriteTemp,
                               StoreStep::SyncTemp,     StoreStep::Rename};
    ASSERT_TRUE(Key::create(Hive::CurrentUser, "K")->writeString("v", "before"));
    const std::string before = readFile(userFile());
    auto key = Key::open(Hive::CurrentUser, "K");
    ASSERT_TRUE(key);
    for (StoreStep failing : steps) {
        SCOPED_TRACE(static_cast<int>(failing));
        int reached = 0;
        detail::setFaultInjector([&](StoreStep s) {
            ++reached;
            return s == failing;
        });
        EXPECT_FALSE(key->writeString("v", "after"));
        EXPECT_FALSE(key->removeValue("v"));
        EXPECT_FALSE(Key::create(Hive::CurrentUser, "New"));
        EXPECT_FALSE(Key::remove(Hive::CurrentUser, "K"));
        EXPECT_GT(reached, 0);
        detail::setFaultInjector({});
        EXPECT_EQ(readFile(userFile()), before);
        EXPECT_EQ(folderEntries(), (std::vector<std::string>{"user.reg", "user.reg.lock"}));
        detail::clearHiveCache();
        EXPECT_EQ(key->readString("v"), "before");
    }
    EXPECT_TRUE(key->writeString("v", "after"));
    EXPECT_EQ(key->readString("v"), "after");
}

TEST_F(HiveStore, ADamagedHiveThatCannotBeMovedIsKept) {
    writeFile(userFile(), "damaged");
    Reports reports;
    reports.install();
    detail::setFaultInjector([](StoreStep s) { return s == StoreStep::MoveAside; });
    EXPECT_FALSE(Key::create(Hive::CurrentUser, "K"));
    EXPECT_EQ(readFile(userFile()), "damaged");
    EXPECT_TRUE(reports.messages.empty());
    detail::setFaultInjector({});
    EXPECT_TRUE(Key::create(Hive::CurrentUser, "K"));
    EXPECT_EQ(reports.messages.size(), 1u);
    EXPECT_EQ(readFile(m_dir / "user.reg.corrupt-1"), "damaged");
}

TEST_F(HiveStore, ALaterWriteRemovesTemporaryFilesOfADeadWriter) {
    writeFile(userFile(), kGoodHive);
    writeFile(m_dir / "user.reg.tmp-a1b2c3", "REGEDIT4\n[HKEY_CURR");
    writeFile(m_dir / "system.reg.tmp-a1b2c3", "another hive's");
    ASSERT_TRUE(Key::create(Hive::CurrentUser, "K"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "user.reg.tmp-a1b2c3"));
    EXPECT_TRUE(std::filesystem::exists(m_dir / "system.reg.tmp-a1b2c3"));
    EXPECT_EQ(Key::open(Hive::CurrentUser, "Software\\Veltrane")->readString("Keep"), "this");
}

TEST_F(HiveStore, AWriteKeepsTheFilesPermissions) {
    writeFile(userFile(), kGoodHive);
    ASSERT_EQ(chmod(userFile().c_str(), 0600), 0);
    ASSERT_TRUE(Key::create(Hive::CurrentUser, "K"));
    struct stat st;
    ASSERT_EQ(stat(userFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// Runs body in a child process; its exit status is 0 when body returned true.
pid_t spawn(const std::function<bool()>& body) {
    pid_t pid = fork();
    if (pid == 0)
        _exit(body() ? 0 : 1);
    return pid;
}

bool exitedCleanly(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(HiveStore, TwoProcessesWritingOneHiveLoseNothing) {
    constexpr uint32_t kWrites = 300;
    ASSERT_TRUE(Key::create(Hive::CurrentUser, "Shared"));
    auto writer = [](const char* prefix) {
        return [prefix] {
            auto key = Key::open(Hive::CurrentUser, "Shared");
            if (!key)
                return false;
            for (uint32_t i = 0; i < kWrites; ++i)
                if (!key->writeDword(std::string(prefix) + std::to_string(i), i * 3 + 1))
                    return false;
            return true;
        };
    };
    auto start = std::chrono::steady_clock::now();
    pid_t a = spawn(writer("a"));
    pid_t b = spawn(writer("b"));
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_TRUE(exitedCleanly(a));
    EXPECT_TRUE(exitedCleanly(b));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    RecordProperty("writes_per_second", static_cast<int>(2 * kWrites / seconds));
    std::printf("2 processes x %u writes: %.0f writes/s\n", kWrites, 2 * kWrites / seconds);

    detail::clearHiveCache();
    auto key = Key::open(Hive::CurrentUser, "Shared");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->valueNames().size(), 2 * kWrites);
    for (uint32_t i = 0; i < kWrites; ++i) {
        EXPECT_EQ(key->readDword("a" + std::to_string(i)), i * 3 + 1);
        EXPECT_EQ(key->readDword("b" + std::to_string(i)), i * 3 + 1);
    }
}

TEST_F(HiveStore, ThreadsWritingOneHiveLoseNothing) {
    constexpr int kThreads = 4, kWrites = 40;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < kWrites; ++i) {
                auto key = Key::create(Hive::LocalMachine, "T" + std::to_string(t));
                if (!key || !key->writeDword("v" + std::to_string(i), static_cast<uint32_t>(i)))
                    ++failures;
                if (!Key::open(Hive::LocalMachine, "T" + std::to_string(t)))
                    ++failures;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    detail::clearHiveCache();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(Key::open(Hive::LocalMachine, "T" + std::to_string(t))->valueNames().size(),
                  static_cast<size_t>(kWrites));
}

TEST_F(HiveStore, AReaderNeverSeesAHalfWrittenHive) {
    ASSERT_TRUE(Key::create(Hive::CurrentUser, "R"));
    pid_t writer = spawn([] {
        auto key = Key::open(Hive::CurrentUser, "R");
        for (uint32_t i = 0; key && i < 200; ++i)
            if (!key->writeString("v" + std::to_string(i), std::string(200, 'x')))
                return false;
        return key.has_value();
    });
    ASSERT_GT(writer, 0);
    size_t seen = 0, reads = 0;
    int status = 0;
    while (waitpid(writer, &status, WNOHANG) == 0) {
        auto key = Key::open(Hive::CurrentUser, "R");
        ASSERT_TRUE(key) << "after " << reads << " reads";
        size_t n = key->valueNames().size();
        EXPECT_GE(n, seen);
        seen = n;
        ++reads;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_GT(reads, 0u);
}

TEST_F(HiveStore, AWriterKilledMidwayLeavesAWholeHive) {
    Reports reports;
    reports.install();
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(Key::create(Hive::CurrentUser, "Crash"));
        pid_t writer = spawn([] {
            auto key = Key::open(Hive::CurrentUser, "Crash");
            for (uint32_t i = 0; key; ++i)
                key->writeBinary("v" + std::to_string(i % 500), &i, sizeof i);
            return false;
        });
        ASSERT_GT(writer, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + 20 * round));
        kill(writer, SIGKILL);
        int status = 0;
        waitpid(writer, &status, 0);
        detail::clearHiveCache();
        auto key = Key::open(Hive::CurrentUser, "Crash");
        ASSERT_TRUE(key);
        // Whatever is left over is cleaned up by the next write, which finds a whole hive.
        ASSERT_TRUE(key->writeDword("after", 1));
        EXPECT_TRUE(reports.messages.empty());
    }
}

TEST_F(HiveStore, RepeatedReadsParseOnce) {
    writeFile(userFile(), kGoodHive);
    // The cache trusts a file only once its time stamp is clearly in the past.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    auto key = Key::open(Hive::CurrentUser, "Software\\Veltrane");
    ASSERT_TRUE(key);
    uint64_t before = detail::hiveParseCount();
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(key->readString("Keep"), "this");
    EXPECT_LE(detail::hiveParseCount() - before, 1u);
}

TEST_F(HiveStore, AReadSeesAChangeMadeBehindItsBack) {
    writeFile(userFile(), kGoodHive);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    auto key = Key::open(Hive::CurrentUser, "Software\\Veltrane");
    ASSERT_TRUE(key);
    ASSERT_EQ(key->readString("Keep"), "this");
    ASSERT_EQ(key->readString("Keep"), "this");

    // The same size, written in place, with the old modification time put back.
    struct stat st;
    ASSERT_EQ(stat(userFile().c_str(), &st), 0);
    std::string changed = kGoodHive;
    changed.replace(changed.find("this"), 4, "that");
    int fd = open(userFile().c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, changed.data(), changed.size()), static_cast<ssize_t>(changed.size()));
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(futimens(fd, times), 0);
    close(fd);
    EXPECT_EQ(key->readString("Keep"), "that");

    // A damaged file read from the cache stays damaged, and a repaired one is seen.
    writeFile(userFile(), "broken");
    EXPECT_FALSE(key->readString("Keep"));
    EXPECT_FALSE(key->readString("Keep"));
    writeFile(userFile(), kGoodHive);
    EXPECT_EQ(key->readString("Keep"), "this");
}

} // namespace
