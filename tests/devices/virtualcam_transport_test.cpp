// The transport libraries through their Cti entry points: exports, enumeration, handles,
// locks, tasks, names, versions and error texts.
#include "tests/devices/virtualcam_fixture.h"

#include <elf.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

namespace vcamtest {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kBadHandle = 0x2001, kNoCamera = 0x2002, kBadArgument = 0x2003,
                   kBadRecord = 0x2004, kLockTimeout = 0x2005, kNotLocked = 0x2006,
                   kBadTask = 0x200D, kTaskPending = 0x11, kTaskStarted = 0x41,
                   kNoSerialCamera = 0x42;

// The names a shared library defines in its dynamic symbol table.
std::set<std::string> definedDynamicSymbols(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::set<std::string> names;
    if (file.size() < sizeof(Elf64_Ehdr))
        return names;
    const auto* eh = reinterpret_cast<const Elf64_Ehdr*>(file.data());
    if (eh->e_shoff + size_t(eh->e_shnum) * sizeof(Elf64_Shdr) > file.size())
        return names;
    const auto* sections = reinterpret_cast<const Elf64_Shdr*>(file.data() + eh->e_shoff);
    for (int i = 0; i < eh->e_shnum; ++i) {
        if (sections[i].sh_type != SHT_DYNSYM)
            continue;
        const Elf64_Shdr& strings = sections[sections[i].sh_link];
        const auto* symbols =
            reinterpret_cast<const Elf64_Sym*>(file.data() + sections[i].sh_offset);
        for (size_t k = 0; k < sections[i].sh_size / sizeof(Elf64_Sym); ++k) {
            const Elf64_Sym& s = symbols[k];
            if (s.st_shndx == SHN_UNDEF || ELF64_ST_BIND(s.st_info) == STB_LOCAL || s.st_name == 0)
                continue;
            names.insert(file.data() + strings.sh_offset + s.st_name);
        }
    }
    return names;
}

TEST(TransportExports, ExactlyTheCtiEntryPoints) {
    const std::set<std::string> expected{
        "CtiHandleOpen",     "CtiHandleClose",      "CtiHandleLockThread", "CtiHandleUnLock",
        "CtiCommand",        "CtiTaskWaitComplete", "CtiTaskAbort",        "CtiDataRead",
        "CtiResetTransport", "CtiGetVersion",       "CtiCameraEnum",       "CtiCameraNameGet",
        "CtiCameraNameSet",  "CtiGetErrorText"};
    for (const char* file : {"libkerrisu.so", "libkerrissl.so"}) {
        std::set<std::string> names = definedDynamicSymbols(libraryPath(file));
        // Reserved names (a sanitizer runtime's hooks) aside, nothing else of ours may show.
        std::erase_if(names, [](const std::string& n) { return n.rfind("__", 0) == 0; });
        EXPECT_EQ(names, expected) << file;
    }
}

using Enumeration = VirtualCameraTest;

TEST_F(Enumeration, FreshInstallHasOneUsbCameraAndNoSerialOne) {
    uint8_t numbers[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    uint8_t count = 0xEE;
    EXPECT_EQ(usb.enumerate(0, 0, 4, numbers, &count), 0u);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(numbers[0], 0);
    EXPECT_EQ(numbers[1], 0xEE);
    EXPECT_EQ(serial.enumerate(0, 0, 4, numbers, &count), kNoSerialCamera);
    EXPECT_EQ(count, 0);
}

TEST_F(Enumeration, CountBeyondCapacityFillsOnlyCapacity) {
    setDword("Cameras", 3, "USB");
    setDword("Cameras", 2, "Serial");
    uint8_t numbers[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    uint8_t count = 0;
    EXPECT_EQ(usb.enumerate(0, 0, 2, numbers, &count), 0u);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(numbers[0], 0);
    EXPECT_EQ(numbers[1], 1);
    EXPECT_EQ(numbers[2], 0xEE);
    EXPECT_EQ(serial.enumerate(0, 0, 4, numbers, &count), 0u);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(usb.enumerate(0, 0, 0, nullptr, &count), 0u);
    EXPECT_EQ(count, 3);
}

TEST_F(Enumeration, CountIsCappedAtSixteen) {
    setDword("Cameras", 1000);
    uint8_t numbers[255];
    uint8_t count = 0;
    EXPECT_EQ(usb.enumerate(0, 0, 255, numbers, &count), 0u);
    EXPECT_EQ(count, 16);
}

TEST_F(Enumeration, MissingPointersAreRefused) {
    uint8_t numbers[1];
    uint8_t count;
    EXPECT_EQ(usb.enumerate(0, 0, 1, numbers, nullptr), kBadArgument);
    EXPECT_EQ(usb.enumerate(0, 0, 1, nullptr, &count), kBadArgument);
}

using Handles = VirtualCameraTest;

TEST_F(Handles, OpenAndCloseOnBothTransports) {
    setDword("Cameras", 2, "Serial");
    uint32_t h = open(usb);
    EXPECT_EQ(h >> 24, 0x55u);
    uint32_t s = open(serial, 1);
    EXPECT_EQ(s >> 24, 0x53u);
    uint32_t version = 0;
    EXPECT_EQ(serial.version(s, &version), 0u);
    EXPECT_EQ(version & 0xFFFF, 0x0203u);
    close(usb, h);
    EXPECT_EQ(usb.handleClose(h), kBadHandle);
    EXPECT_EQ(usb.version(h, &version), kBadHandle);
    // A serial handle means nothing to the USB library.
    EXPECT_EQ(usb.version(s, &version), kBadHandle);
}

TEST_F(Handles, OpenRefusesBadPortsAndPointers) {
    uint8_t number;
    uint32_t handle = 0xdeadbeef;
    EXPECT_EQ(usb.handleOpen(1, 0, &number, &handle), kNoCamera);
    EXPECT_EQ(handle, 0xdeadbeefu);
    EXPECT_EQ(serial.handleOpen(0, 0, &number, &handle), kNoCamera);
    EXPECT_EQ(usb.handleOpen(0, 0, nullptr, &handle), kBadArgument);
    EXPECT_EQ(usb.handleOpen(0, 0, &number, nullptr), kBadArgument);
}

TEST_F(Handles, ClosedHandleIsRefusedEverywhere) {
    uint32_t h = open(usb);
    close(usb, h);
    Command c(0x85, 0, 0, 16);
    uint8_t buffer[4];
    uint32_t got;
    EXPECT_EQ(run(h, c), kBadHandle);
    EXPECT_EQ(usb.read(h, buffer, 4, &got, 0), kBadHandle);
    EXPECT_EQ(usb.lock(h, 0), kBadHandle);
    EXPECT_EQ(usb.unlock(h), kBadHandle);
    EXPECT_EQ(usb.reset(h), kBadHandle);
    EXPECT_EQ(usb.handleClose(0), kBadHandle);
}

TEST_F(Handles, MalformedRecordsAreRefused) {
    uint32_t h = open(usb);
    Command noMarker(0x85, 0, 0, 16);
    noMarker.record.marker = 0;
    EXPECT_EQ(run(h, noMarker), kBadRecord);
    Command noBuffer(0x85, 0, 0, 16);
    noBuffer.record.data = nullptr;
    EXPECT_EQ(run(h, noBuffer), kBadRecord);
    EXPECT_EQ(usb.command(h, nullptr, nullptr), kBadArgument);
    // A length no command needs is refused before anything is written.
    Command huge(0x85, 0, 0, 16, 0xEE);
    huge.record.length = 0xFFFFFFFF;
    EXPECT_EQ(run(h, huge), kBadRecord);
    CtiTask task = nullptr;
    EXPECT_EQ(usb.command(h, &huge.record, &task), kBadRecord);
    EXPECT_EQ(task, nullptr);
    EXPECT_EQ(huge.data[0], 0xEE);
    Command largest(0x85, 0, 0, 4096);
    EXPECT_EQ(run(h, largest), 0u);
}

TEST_F(Handles, AtMostSixtyFourOpenAtOnce) {
    std::vector<uint32_t> handles;
    uint8_t number;
    uint32_t handle;
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(usb.handleOpen(0, 0, &number, &handle), 0u) << i;
        handles.push_back(handle);
    }
    EXPECT_EQ(usb.handleOpen(0, 0, &number, &handle), 0x2011u);
    EXPECT_EQ(std::set<uint32_t>(handles.begin(), handles.end()).size(), 64u);
    for (uint32_t h : handles)
        EXPECT_EQ(usb.handleClose(h), 0u);
    EXPECT_EQ(usb.handleOpen(0, 0, &number, &handle), 0u);
    EXPECT_EQ(usb.handleClose(handle), 0u);
}

using Locking = VirtualCameraTest;

TEST_F(Locking, SecondHandleTimesOutWhileTheFirstHoldsIt) {
    uint32_t a = open(usb), b = open(usb);
    ASSERT_EQ(usb.lock(a, 100), 0u);
    const auto start = Clock::now();
    EXPECT_EQ(usb.lock(b, 60), kLockTimeout);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(60));
    EXPECT_EQ(usb.lock(b, 0), kLockTimeout);
    EXPECT_EQ(usb.unlock(b), kNotLocked);
    ASSERT_EQ(usb.unlock(a), 0u);
    EXPECT_EQ(usb.lock(b, 0), 0u);
    EXPECT_EQ(usb.unlock(b), 0u);
    EXPECT_EQ(usb.unlock(b), kNotLocked);
}

TEST_F(Locking, ReentrantForTheHoldingThread) {
    uint32_t a = open(usb), b = open(usb);
    ASSERT_EQ(usb.lock(a, 0), 0u);
    ASSERT_EQ(usb.lock(a, 0), 0u);
    EXPECT_EQ(usb.unlock(a), 0u);
    EXPECT_EQ(usb.lock(b, 0), kLockTimeout); // still held once
    EXPECT_EQ(usb.unlock(a), 0u);
    EXPECT_EQ(usb.lock(b, 0), 0u);
}

TEST_F(Locking, WaiterGetsTheLockWhenReleased) {
    uint32_t a = open(usb), b = open(usb);
    ASSERT_EQ(usb.lock(a, 0), 0u);
    std::atomic<uint32_t> result{0xFFFFFFFF};
    std::thread waiter([&] {
        result = usb.lock(b, 5000);
        if (result == 0)
            usb.unlock(b);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(result.load(), 0xFFFFFFFFu); // still waiting
    usb.unlock(a);
    waiter.join();
    EXPECT_EQ(result.load(), 0u);
}

TEST_F(Locking, SameHandleOnAnotherThreadWaits) {
    uint32_t a = open(usb);
    ASSERT_EQ(usb.lock(a, 0), 0u);
    uint32_t result = 0;
    std::thread other([&] { result = usb.lock(a, 20); });
    other.join();
    EXPECT_EQ(result, kLockTimeout);
    EXPECT_EQ(usb.unlock(a), 0u);
}

TEST_F(Locking, ClosingTheHolderReleasesIt) {
    uint32_t a = open(usb), b = open(usb);
    ASSERT_EQ(usb.lock(a, 0), 0u);
    close(usb, a);
    EXPECT_EQ(usb.lock(b, 0), 0u);
}

using Tasks = VirtualCameraTest;

TEST_F(Tasks, EchoTaskCompletesIntoTheRecord) {
    uint32_t h = open(usb);
    Command echo(0x88, 0x78, 0x56, 2);
    CtiTask task = nullptr;
    ASSERT_EQ(usb.command(h, &echo.record, &task), 0u);
    ASSERT_NE(task, nullptr);
    EXPECT_EQ(echo.data, (std::vector<uint8_t>{0, 0})); // not before completion
    EXPECT_EQ(usb.wait(&task, 50), 0u);
    EXPECT_EQ(task, nullptr);
    EXPECT_EQ(echo.data, (std::vector<uint8_t>{0x78, 0x56}));
}

TEST_F(Tasks, OlderCamerasReportTheTaskStarted) {
    setDword("Generation", 0);
    uint32_t h = open(usb);
    Command echo(0x88, 0x34, 0x12, 2);
    CtiTask task = nullptr;
    ASSERT_EQ(usb.command(h, &echo.record, &task), kTaskStarted);
    EXPECT_EQ(usb.wait(&task, 50), 0u);
    EXPECT_EQ(echo.data[1], 0x12);
}

TEST_F(Tasks, SlowTaskPendsThenAborts) {
    setDword("TaskDelay", 10000);
    uint32_t h = open(usb);
    Command echo(0x88, 1, 2, 2, 0xAA);
    CtiTask task = nullptr;
    ASSERT_EQ(usb.command(h, &echo.record, &task), 0u);
    const auto start = Clock::now();
    EXPECT_EQ(usb.wait(&task, 30), kTaskPending);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
    ASSERT_NE(task, nullptr);
    CtiTask copy = task;
    EXPECT_EQ(usb.abort(&task), 0u);
    EXPECT_EQ(task, nullptr);
    EXPECT_EQ(usb.wait(&copy, 10), kBadTask);
    EXPECT_EQ(usb.abort(&copy), kBadTask);
    EXPECT_EQ(echo.data, (std::vector<uint8_t>{0xAA, 0xAA})); // never written
}

TEST_F(Tasks, DelayedTaskCompletesWithinALongerWait) {
    setDword("TaskDelay", 40);
    uint32_t h = open(usb);
    Command echo(0x88, 9, 8, 2);
    CtiTask task = nullptr;
    ASSERT_EQ(usb.command(h, &echo.record, &task), 0u);
    EXPECT_EQ(usb.wait(&task, 1), kTaskPending);
    EXPECT_EQ(usb.wait(&task, 2000), 0u);
    EXPECT_EQ(echo.data[0], 9);
}

TEST_F(Tasks, NeverCompletingTaskAndAbortFromAnotherThread) {
    setDword("TaskDelay", 0xFFFFFFFF);
    uint32_t h = open(usb);
    Command echo(0x88, 1, 2, 2);
    CtiTask task = nullptr;
    ASSERT_EQ(usb.command(h, &echo.record, &task), 0u);
    CtiTask waited = task;
    uint32_t result = 0;
    const auto start = Clock::now();
    std::thread waiter([&] { result = usb.wait(&waited, 5000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(usb.abort(&task), 0u);
    waiter.join();
    // The waiter returns at the abort, not after its 5 seconds: "aborted" when it was already
    // waiting, "no such task" in the rare case that the abort came before it started.
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(4000));
    EXPECT_TRUE(result == 0x200Eu || result == kBadTask) << std::hex << result;
}

TEST_F(Tasks, FailedCommandCompletesWithItsStatusAndClosingDropsTasks) {
    uint32_t h = open(usb);
    Command unknown(0x99, 0, 0, 2);
    CtiTask task = nullptr;
    ASSERT_EQ(usb.command(h, &unknown.record, &task), 0u);
    EXPECT_EQ(usb.wait(&task, 10), 0x2007u);
    Command echo(0x88, 1, 2, 2);
    ASSERT_EQ(usb.command(h, &echo.record, &task), 0u);
    close(usb, h);
    EXPECT_EQ(usb.wait(&task, 10), kBadTask);
    EXPECT_EQ(usb.wait(nullptr, 10), kBadArgument);
    EXPECT_EQ(usb.abort(nullptr), kBadArgument);
}

using Names = VirtualCameraTest;

TEST_F(Names, DefaultSetAndTruncated) {
    char buffer[64];
    EXPECT_EQ(usb.nameGet(0, sizeof buffer, buffer), 0u);
    EXPECT_STREQ(buffer, "Kerris Virtual Camera 1 (USB)");
    char renamed[] = "Kitchen";
    EXPECT_EQ(usb.nameSet(0, 0, renamed), 0u);
    EXPECT_EQ(usb.nameGet(0, 0, buffer), 0u);
    EXPECT_STREQ(buffer, "Kitchen");
    // Only 31 characters are kept; a small buffer gets a cut, terminated name.
    std::string longName(50, 'x');
    EXPECT_EQ(usb.nameSet(0, 64, longName.data()), 0u);
    EXPECT_EQ(usb.nameGet(0, 0, buffer), 0u);
    EXPECT_EQ(std::string(buffer), std::string(31, 'x'));
    char tiny[4] = {1, 1, 1, 1};
    EXPECT_EQ(usb.nameGet(0, 3, tiny), 0u);
    EXPECT_STREQ(tiny, "xx");
    EXPECT_EQ(tiny[3], 1);
    // An unterminated buffer is read only up to its size.
    char unterminated[3] = {'a', 'b', 'c'};
    EXPECT_EQ(usb.nameSet(0, 3, unterminated), 0u);
    EXPECT_EQ(usb.nameGet(0, 0, buffer), 0u);
    EXPECT_STREQ(buffer, "abc");
}

TEST_F(Names, RegistryThatCannotBeWrittenFailsTheRename) {
    // A registry folder below a plain file can be neither read nor created.
    const fs::path blocker = fs::path(getenv("KERRIS_REGISTRY_DIR")) / "blocker";
    { std::ofstream(blocker) << "x"; }
    setenv("KERRIS_REGISTRY_DIR", (blocker / "registry").c_str(), 1);
    char name[] = "Garden";
    EXPECT_EQ(usb.nameSet(0, 0, name), 0x2013u);
    char buffer[40];
    EXPECT_EQ(usb.nameGet(0, 0, buffer), 0u); // the default is still there
    EXPECT_STREQ(buffer, "Kerris Virtual Camera 1 (USB)");
}

TEST_F(Names, UnknownCamerasAndNullBuffers) {
    char buffer[32];
    EXPECT_EQ(usb.nameGet(1, 0, buffer), kNoCamera);
    EXPECT_EQ(serial.nameGet(0, 0, buffer), kNoCamera);
    EXPECT_EQ(usb.nameGet(0, 0, nullptr), kBadArgument);
    EXPECT_EQ(usb.nameSet(0, 0, nullptr), kBadArgument);
}

using ErrorTexts = VirtualCameraTest;

TEST_F(ErrorTexts, KnownUnknownAndCut) {
    char buffer[128];
    struct Case {
        uint32_t code;
        const char* text;
    } cases[] = {
        {0, "The operation completed successfully"},
        {kLockTimeout, "The camera is in use: its lock was not free in time"},
        {0x1003, "The camera sent fewer bytes than were asked for"},
        {0x12345, "Unknown error 0x12345"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(usb.errorText(0, c.code, buffer, sizeof buffer), 0u);
        EXPECT_STREQ(buffer, c.text);
    }
    char small[5] = {1, 1, 1, 1, 1};
    EXPECT_EQ(usb.errorText(0, 0, small, 4), 0u);
    EXPECT_STREQ(small, "The");
    EXPECT_EQ(small[4], 1);
    EXPECT_EQ(usb.errorText(0, 0, buffer, 0), kBadArgument);
    EXPECT_EQ(usb.errorText(0, 0, nullptr, 10), kBadArgument);
}

} // namespace
} // namespace vcamtest
