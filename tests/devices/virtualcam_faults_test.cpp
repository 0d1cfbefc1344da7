// Fault injection from the registry: failed and short reads, lost commands, busy state, wrong
// echo, a sticky last error; counted per handle.
#include "tests/devices/virtualcam_fixture.h"

namespace vcamtest {
namespace {

constexpr uint32_t kReadFailed = 0x200F, kCommandFailed = 0x2010, kShortTransfer = 0x1003,
                   kNoTransfer = 0x1004;

using Faults = VirtualCameraTest;

// Starts a 100-byte transfer from camera memory address 0x10000.
void startTransfer(uint32_t handle, Cti& usb) {
    Command bulk(0x03, 0, 0, 8);
    bulk.data = {0, 1, 0, 0, 0, 0, 0, 100};
    ASSERT_EQ(usb.command(handle, &bulk.record, nullptr), 0u);
}

struct ReadStep {
    uint32_t length;
    uint32_t status;
    uint32_t delivered;
};

struct ReadCase {
    const char* name;
    std::vector<std::pair<const char*, uint32_t>> settings;
    std::vector<ReadStep> steps;
};

TEST_F(Faults, DataReads) {
    const ReadCase cases[] = {
        {"failed second read drops the transfer",
         {{"FailReadAt", 2}},
         {{10, 0, 10}, {10, kReadFailed, 0}, {10, kNoTransfer, 0}}},
        {"failed reads with a chosen status, twice",
         {{"FailReadAt", 1}, {"FailReadCount", 2}, {"FailReadStatus", 0x1004}},
         {{10, 0x1004, 0}, {10, 0x1004, 0}, {10, kNoTransfer, 0}}},
        {"short read delivers half and the transfer goes on",
         {{"ShortReadAt", 1}},
         {{40, 0, 20}, {80, 0, 80}, {1, kNoTransfer, 0}}},
        {"short read of three bytes with a status",
         {{"ShortReadAt", 2}, {"ShortReadBytes", 3}, {"ShortReadStatus", 0x1003}},
         {{10, 0, 10}, {10, 0x1003, 3}, {87, 0, 87}}},
        {"two short reads in a row",
         {{"ShortReadAt", 1}, {"ShortReadCount", 2}, {"ShortReadBytes", 5}},
         {{10, 0, 5}, {10, 0, 5}, {10, 0, 10}}},
        {"short read at the end of the transfer still reports the end",
         {{"ShortReadAt", 1}},
         {{200, kShortTransfer, 100}}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& [name, value] : c.settings)
            setDword(name, value);
        uint32_t h = open(usb);
        startTransfer(h, usb);
        std::vector<uint8_t> buffer(256);
        for (const ReadStep& step : c.steps) {
            uint32_t got = 0xdeadbeef;
            EXPECT_EQ(usb.read(h, buffer.data(), step.length, &got, 0), step.status);
            EXPECT_EQ(got, step.delivered);
        }
        close(usb, h);
        for (const auto& [name, value] : c.settings)
            Key::open(Hive::LocalMachine, kSettingsKey)->removeValue(name);
    }
}

TEST_F(Faults, ShortReadKeepsTheBytesInOrder) {
    setDword("ShortReadAt", 1);
    setDword("ShortReadBytes", 7);
    uint32_t h = open(usb);
    Command desc(0x83, 0, 0, 16);
    ASSERT_EQ(run(h, desc), 0u);
    const uint32_t size = desc.big32(0);
    std::vector<uint8_t> pieces(size);
    uint32_t got = 0;
    ASSERT_EQ(usb.read(h, pieces.data(), size, &got, 0), 0u);
    ASSERT_EQ(got, 7u);
    ASSERT_EQ(usb.read(h, pieces.data() + 7, size - 7, &got, 0), 0u);
    ASSERT_EQ(run(h, desc), 0u);
    EXPECT_EQ(readAll(h, size), pieces);
}

TEST_F(Faults, ReadsAreCountedPerHandle) {
    setDword("FailReadAt", 2);
    uint32_t a = open(usb), b = open(usb);
    uint8_t buffer[4];
    uint32_t got;
    startTransfer(a, usb);
    EXPECT_EQ(usb.read(a, buffer, 4, &got, 0), 0u);
    startTransfer(b, usb);
    EXPECT_EQ(usb.read(b, buffer, 4, &got, 0), 0u); // b's first read
    EXPECT_EQ(usb.read(a, buffer, 4, &got, 0), kReadFailed);
}

TEST_F(Faults, BusyStateForSomeReadsOrAlways) {
    struct Case {
        uint32_t busy;
        std::vector<uint8_t> expected;
    } cases[] = {{0, {0, 0, 0}}, {2, {1, 1, 0}}, {0xFFFFFFFF, {1, 1, 1}}};
    for (const Case& c : cases) {
        setDword("Busy", c.busy);
        uint32_t h = open(usb);
        std::vector<uint8_t> seen;
        for (int i = 0; i < 3; ++i) {
            Command state(0x8D, 0, 0, 8);
            ASSERT_EQ(run(h, state), 0u);
            seen.push_back(state.data[1]);
        }
        EXPECT_EQ(seen, c.expected) << c.busy;
        close(usb, h);
    }
}

TEST_F(Faults, WrongEchoDirectAndAsTask) {
    setDword("WrongEcho", 0x0101);
    uint32_t h = open(usb);
    Command echo(0x88, 0x78, 0x56, 2);
    ASSERT_EQ(run(h, echo), 0u);
    EXPECT_EQ(echo.data[0] | echo.data[1] << 8, 0x5779);
    Command task(0x88, 0x78, 0x56, 2);
    CtiTask t = nullptr;
    ASSERT_EQ(usb.command(h, &task.record, &t), 0u);
    ASSERT_EQ(usb.wait(&t, 50), 0u);
    EXPECT_NE(task.data[0] | task.data[1] << 8, 0x5678);
}

TEST_F(Faults, LostCommandsByCountAndByCode) {
    struct Case {
        const char* name;
        uint32_t at, count, code, status;
        std::vector<uint8_t> requests;
        std::vector<uint32_t> expected;
    } cases[] = {
        {"third command of any kind",
         3,
         1,
         0xFFFFFFFF,
         0,
         {0x85, 0x88, 0x85, 0x85},
         {0, 0, kCommandFailed, 0}},
        {"second bulk read request only",
         2,
         1,
         0x03,
         0,
         {0x03, 0x85, 0x03, 0x85, 0x03},
         {0, 0, kCommandFailed, 0, 0}},
        {"two in a row with a chosen status",
         1,
         2,
         0xFFFFFFFF,
         0x1004,
         {0x85, 0x85, 0x85},
         {0x1004, 0x1004, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setDword("FailCommandAt", c.at);
        setDword("FailCommandCount", c.count);
        setDword("FailCommandCode", c.code);
        setDword("FailCommandStatus", c.status);
        uint32_t h = open(usb);
        for (size_t i = 0; i < c.requests.size(); ++i) {
            Command cmd(c.requests[i], 0, 0,
                        c.requests[i] == 0x03   ? 8
                        : c.requests[i] == 0x88 ? 2
                                                : 16,
                        0xEE);
            if (c.requests[i] == 0x03)
                cmd.data = {0, 1, 0, 0, 0, 0, 0, 8};
            const uint32_t status = run(h, cmd);
            EXPECT_EQ(status, c.expected[i]) << "command " << i;
            if (status != 0 && cmd.record.request >= 0x80) {
                EXPECT_EQ(cmd.data[0], 0xEE) << "a lost command writes no reply";
            }
        }
        close(usb, h);
    }
}

TEST_F(Faults, LostCommandLeavesALinkErrorAndNoTask) {
    setDword("FailCommandAt", 1);
    uint32_t h = open(usb);
    Command echo(0x88, 1, 2, 2);
    CtiTask task = nullptr;
    EXPECT_EQ(usb.command(h, &echo.record, &task), kCommandFailed);
    EXPECT_EQ(task, nullptr);
    Command error(0x80, 0, 0, 2);
    ASSERT_EQ(run(h, error), 0u);
    EXPECT_EQ(error.data[0], 4);
}

TEST_F(Faults, StickyLastErrorClearsAfterItsReads) {
    setDword("StickyLastError", 2);
    uint32_t h = open(usb);
    Command bad(0x83, 0, 99, 16);
    ASSERT_EQ(run(h, bad), 0x200Au);
    std::vector<uint8_t> seen;
    for (int i = 0; i < 4; ++i) {
        Command error(0x80, 0, 0, 2);
        ASSERT_EQ(run(h, error), 0u);
        seen.push_back(error.data[0]);
    }
    EXPECT_EQ(seen, (std::vector<uint8_t>{2, 2, 2, 0}));
}

TEST_F(Faults, ResetTransportDropsThePendingTransfer) {
    uint32_t h = open(usb);
    startTransfer(h, usb);
    EXPECT_EQ(usb.reset(h), 0u);
    uint32_t status = 0;
    readAll(h, 4, &status);
    EXPECT_EQ(status, kNoTransfer);
}

} // namespace
} // namespace vcamtest
